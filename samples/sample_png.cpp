#include "samples/sample_png.h"

#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace Brimwork::Samples {
namespace {

// What the libpng calls need, prepared beforehand: a libpng error longjmps
// out of them, so they own nothing that needs destroying.
struct WriteJob {
    const PngSamples* picture = nullptr;
    std::FILE* file = nullptr;
    png_bytepp rows = nullptr;
    const png_color* palette = nullptr;
    char message[256] = {};
};

void OnError(png_structp png, png_const_charp message)
{
    auto* job = static_cast<WriteJob*>(png_get_error_ptr(png));
    std::snprintf(job->message, sizeof job->message, "%s", message);
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

bool WriteAll(png_structp png, png_infop info, WriteJob* job)
{
    if (setjmp(png_jmpbuf(png)) != 0)
        return false;
    const PngSamples& picture = *job->picture;
    png_init_io(png, job->file);
    png_set_IHDR(png, info, picture.width, picture.height, picture.bitDepth, static_cast<int>(picture.colour),
                 picture.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!picture.palette.empty())
        png_set_PLTE(png, info, job->palette, static_cast<int>(picture.palette.size()));
    if (!picture.paletteAlpha.empty())
        png_set_tRNS(png, info, picture.paletteAlpha.data(), static_cast<int>(picture.paletteAlpha.size()), nullptr);
    png_write_info(png, info);
    if (picture.bitDepth < 8)
        png_set_packing(png);  // one sample a byte in the rows given
    png_write_image(png, job->rows);
    png_write_end(png, info);
    return true;
}

// The rows as libpng's writer takes them: a byte a sample below 16 bits,
// two bytes high byte first at 16.
std::vector<std::vector<uint8_t>> RowsOf(const PngSamples& picture)
{
    const size_t perRow = size_t{picture.width} * static_cast<size_t>(ChannelsOf(picture.colour));
    if (picture.samples.size() != perRow * picture.height)
        throw std::runtime_error("the samples do not fill the picture");
    std::vector<std::vector<uint8_t>> rows(picture.height);
    for (size_t y = 0; y < rows.size(); ++y) {
        for (size_t i = 0; i < perRow; ++i) {
            const uint16_t sample = picture.samples[y * perRow + i];
            if (picture.bitDepth == 16)
                rows[y].push_back(static_cast<uint8_t>(sample >> 8));
            rows[y].push_back(static_cast<uint8_t>(sample));
        }
    }
    return rows;
}

}  // namespace

int ChannelsOf(PngColour colour)
{
    switch (colour) {
    case PngColour::Grey:
    case PngColour::Palette:
        return 1;
    case PngColour::GreyAlpha:
        return 2;
    case PngColour::Rgb:
        return 3;
    case PngColour::Rgba:
        return 4;
    }
    return 0;
}

std::vector<uint8_t> WritePngWithLibpng(const PngSamples& picture)
{
    auto rows = RowsOf(picture);
    std::vector<png_bytep> rowPointers;
    for (auto& row : rows)
        rowPointers.push_back(row.data());
    std::vector<png_color> palette;
    for (const auto& [red, green, blue] : picture.palette)
        palette.push_back({red, green, blue});

    char* buffer = nullptr;
    size_t size = 0;
    WriteJob job{&picture, open_memstream(&buffer, &size), rowPointers.data(), palette.data()};
    if (job.file == nullptr)
        throw std::runtime_error("open_memstream failed");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &job, OnError, OnWarning);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    const bool written = info != nullptr && WriteAll(png, info, &job);
    png_destroy_write_struct(&png, &info);
    std::fclose(job.file);
    std::vector<uint8_t> bytes(buffer, buffer + size);
    std::free(buffer);
    if (!written)
        throw std::runtime_error(std::string("libpng could not write the PNG: ") + job.message);
    return bytes;
}

}  // namespace Brimwork::Samples
