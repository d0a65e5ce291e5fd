#include "image/png.h"

#include <png.h>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "core/error.h"
#include "io/files.h"
#include "image/image_buffer.h"

// libpng reports an error by calling our error callback, which must not
// return: it longjmps back to the setjmp of the call that led there. Every
// libpng call therefore runs inside Guarded(), whose frame and whose
// steps' frames own nothing with a destructor; the structs, buffers and
// messages they use belong to the caller, which sees a plain `false`.
namespace Brimwork {
namespace {

constexpr std::array<uint8_t, 8> Signature{137, 80, 78, 71, 13, 10, 26, 10};

// A packed image holds at most INT32_MAX bytes at 2 a pixel, so neither
// side can pass 2^30 - 1 when the other is at least 1.
constexpr png_uint_32 MostSide = (png_uint_32{1} << 30) - 1;
// zlib inflates at most about 1032 : 1; rows that would need more than
// this from the file are refused before anything is allocated for them.
constexpr int64_t MostInflation = 1100;
constexpr int64_t InflationSlack = int64_t{1} << 20;
// The chunks kept (PLTE, tRNS) are small; every other ancillary chunk is
// skipped unread.
constexpr png_alloc_size_t MostChunkBytes = png_alloc_size_t{1} << 20;

// What libpng's callbacks share with the caller: the message of a failure,
// the warnings before it and the input being read. Trivially destructible.
struct LibpngState {
    char error[256] = {};
    char warnings[256] = {};
    const uint8_t* input = nullptr;
    size_t inputSize = 0;
    size_t inputRead = 0;
};

void AppendBounded(char* to, size_t capacity, const char* text)
{
    const size_t used = std::strlen(to);
    if (used + 1 >= capacity)
        return;
    std::strncat(to, text, capacity - used - 1);
}

void OnError(png_structp png, png_const_charp message)
{
    auto* state = static_cast<LibpngState*>(png_get_error_ptr(png));
    state->error[0] = '\0';
    AppendBounded(state->error, sizeof state->error, message);
    png_longjmp(png, 1);
}

// Warnings do not stop a read; they are kept only to explain an invalid
// IHDR, which libpng reports as warnings followed by one error.
void OnWarning(png_structp png, png_const_charp message)
{
    auto* state = static_cast<LibpngState*>(png_get_error_ptr(png));
    if (state->warnings[0] != '\0')
        AppendBounded(state->warnings, sizeof state->warnings, "; ");
    AppendBounded(state->warnings, sizeof state->warnings, message);
}

std::string MessageOf(const LibpngState& state)
{
    std::string message = state.error[0] != '\0' ? state.error : "libpng failed without a message";
    // IHDR is the first chunk, so every warning so far is about it.
    if (message == "Invalid IHDR data" && state.warnings[0] != '\0')
        message += std::string(" (") + state.warnings + ")";
    return message;
}

void ReadInput(png_structp png, png_bytep out, size_t length)
{
    auto* state = static_cast<LibpngState*>(png_get_io_ptr(png));
    if (length > state->inputSize - state->inputRead)
        png_error(png, "the file ends early");
    std::memcpy(out, state->input + state->inputRead, length);
    state->inputRead += length;
}

// Where an encoded PNG goes. Append catches a failed allocation, so that
// the write callback can report it to libpng once no C++ object is live.
struct OutputSink {
    std::vector<uint8_t>* bytes = nullptr;

    bool Append(const uint8_t* data, size_t length) noexcept
    {
        try {
            bytes->insert(bytes->end(), data, data + length);
            return true;
        } catch (const std::exception&) {
            return false;
        }
    }
};

void WriteOutput(png_structp png, png_bytep data, size_t length)
{
    if (!static_cast<OutputSink*>(png_get_io_ptr(png))->Append(data, length))
        png_error(png, "out of memory for the encoded image");
}

void FlushOutput(png_structp) {}

using Step = void (*)(png_structp png, png_infop info, void* data);

// Runs one step of libpng calls; false when libpng reported an error.
bool Guarded(png_structp png, png_infop info, Step step, void* data)
{
    if (setjmp(png_jmpbuf(png)) != 0)
        return false;
    step(png, info, data);
    return true;
}

// ---- Reading --------------------------------------------------------------

class PngReadStruct {
public:
    PngReadStruct(LibpngState& state, const std::string& name)
    {
        png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, OnError, OnWarning);
        if (png_ != nullptr)
            info_ = png_create_info_struct(png_);
        if (info_ == nullptr) {
            png_destroy_read_struct(&png_, nullptr, nullptr);
            throw Error("Cannot read " + name + ": libpng could not start (out of memory)");
        }
    }
    PngReadStruct(const PngReadStruct&) = delete;
    PngReadStruct& operator=(const PngReadStruct&) = delete;
    ~PngReadStruct() { png_destroy_read_struct(&png_, &info_, nullptr); }

    png_structp png() const { return png_; }
    png_infop info() const { return info_; }

private:
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
};

void ReadUpToImageData(png_structp png, png_infop info, void* state)
{
    png_set_read_fn(png, state, ReadInput);
    png_set_user_limits(png, MostSide, MostSide);
    png_set_chunk_malloc_max(png, MostChunkBytes);
    // A negative count: skip every chunk but IHDR, PLTE, tRNS, IDAT and IEND.
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    png_read_info(png, info);
}

// Every colour type and depth becomes 8-bit RGB: palettes and grey are
// expanded, 16-bit channels keep their high byte, alpha is dropped.
void AskForRgb8(png_structp png, png_infop info, void*)
{
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_strip_alpha(png);
    png_set_gray_to_rgb(png);
    png_read_update_info(png, info);
}

void ReadRow(png_structp png, png_infop, void* row)
{
    png_read_row(png, static_cast<png_bytep>(row), nullptr);
}

void ReadToEnd(png_structp png, png_infop, void*)
{
    png_read_end(png, nullptr);
}

struct Size {
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int32_t packedBytes = 0;
};

// Refuses, before anything is allocated for them, an image too large to
// be held packed and one whose rows could not inflate from a file this
// small.
Size CheckedSize(png_structp png, png_infop info, size_t fileBytes, const std::string& name)
{
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    const std::string size = std::to_string(width) + " x " + std::to_string(height);
    const int64_t packedBytes = int64_t{width} * height * 2;
    if (packedBytes > std::numeric_limits<int32_t>::max())
        throw Error("Cannot read " + name + ": its " + size + " pixels are too many for an image (" +
                    std::to_string(packedBytes) + " bytes at 16 bits a pixel, more than 2147483647)");

    const int64_t bitsPerPixel = int64_t{png_get_channels(png, info)} * png_get_bit_depth(png, info);
    const int64_t rowBytes = 1 + (int64_t{width} * bitsPerPixel + 7) / 8;  // with its filter byte
    const int64_t rawBytes = rowBytes * height;
    const int64_t mostFromFile =
        static_cast<int64_t>(std::min<size_t>(fileBytes, std::numeric_limits<int64_t>::max() / (2 * MostInflation))) *
            MostInflation +
        InflationSlack;
    if (rawBytes > mostFromFile)
        throw Error("Cannot read " + name + ": its " + size + " pixels cannot come from a file of " +
                    std::to_string(fileBytes) + " bytes");
    return {width, height, static_cast<int32_t>(packedBytes)};
}

// The rows of one pass of the image: all of it, or one of the seven
// Adam7 passes of an interlaced image.
struct Pass {
    png_uint_32 rows = 0;
    png_uint_32 columns = 0;
    png_uint_32 firstRow = 0;
    png_uint_32 firstColumn = 0;
    int rowShift = 0;
    int columnShift = 0;
};

std::vector<Pass> PassesOf(const Size& size, bool interlaced)
{
    if (!interlaced)
        return {{size.height, size.width, 0, 0, 0, 0}};
    std::vector<Pass> passes;
    for (int pass = 0; pass < 7; ++pass) {
        const Pass each{static_cast<png_uint_32>(PNG_PASS_ROWS(size.height, pass)),
                        static_cast<png_uint_32>(PNG_PASS_COLS(size.width, pass)),
                        static_cast<png_uint_32>(PNG_PASS_START_ROW(pass)),
                        static_cast<png_uint_32>(PNG_PASS_START_COL(pass)),
                        PNG_PASS_ROW_SHIFT(pass),
                        PNG_PASS_COL_SHIFT(pass)};
        // libpng skips the passes that hold no pixel.
        if (each.rows > 0 && each.columns > 0)
            passes.push_back(each);
    }
    return passes;
}

uint16_t WordOf(const uint8_t* rgb)
{
    return static_cast<uint16_t>((rgb[0] >> 3) << 10 | (rgb[1] >> 3) << 5 | rgb[2] >> 3);
}

// Puts row `row` of the pass, 8-bit RGB, into its pixels of the packed image.
void PutPassRow(const std::vector<uint8_t>& rgb, const Pass& pass, png_uint_32 row, const Size& size,
                std::vector<uint8_t>& words)
{
    const size_t y = pass.firstRow + (size_t{row} << pass.rowShift);
    for (size_t column = 0; column < pass.columns; ++column) {
        const size_t x = pass.firstColumn + (column << pass.columnShift);
        Bytes::PutInt16(words, (y * size.width + x) * 2, static_cast<int16_t>(WordOf(&rgb[column * 3])));
    }
}

// ---- Writing --------------------------------------------------------------

class PngWriteStruct {
public:
    PngWriteStruct(LibpngState& state, const std::string& what)
    {
        png_ = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, OnError, OnWarning);
        if (png_ != nullptr)
            info_ = png_create_info_struct(png_);
        if (info_ == nullptr) {
            png_destroy_write_struct(&png_, nullptr);
            throw Error("Cannot write " + what + " as PNG: libpng could not start (out of memory)");
        }
    }
    PngWriteStruct(const PngWriteStruct&) = delete;
    PngWriteStruct& operator=(const PngWriteStruct&) = delete;
    ~PngWriteStruct() { png_destroy_write_struct(&png_, &info_); }

    png_structp png() const { return png_; }
    png_infop info() const { return info_; }

private:
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
};

struct HeaderJob {
    OutputSink* sink = nullptr;
    png_uint_32 width = 0;
    png_uint_32 height = 0;
};

void WriteHeader(png_structp png, png_infop info, void* data)
{
    const auto* job = static_cast<const HeaderJob*>(data);
    png_set_write_fn(png, job->sink, WriteOutput, FlushOutput);
    png_set_user_limits(png, MostSide, MostSide);
    png_set_IHDR(png, info, job->width, job->height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
}

void WriteRow(png_structp png, png_infop, void* row)
{
    png_write_row(png, static_cast<png_bytep>(row));
}

void WriteToEnd(png_structp png, png_infop, void*)
{
    png_write_end(png, nullptr);
}

uint8_t Widened(int fiveBits)
{
    return static_cast<uint8_t>(fiveBits << 3 | fiveBits >> 2);
}

void RequireEncodable(const ImageBuffer& packed, const std::string& what)
{
    const std::string size = std::to_string(packed.ImageWidth) + " x " + std::to_string(packed.ImageHeight);
    if (packed.ImageWidth <= 0 || packed.ImageHeight <= 0)
        throw Error("Cannot write " + what + " as PNG: the image has no pixels (" + size +
                    "), and a PNG cannot hold an image without pixels");
    const int64_t bytes = int64_t{packed.ImageWidth} * packed.ImageHeight * 2;
    if (static_cast<int64_t>(packed.ImageBytes.size()) != bytes)
        throw Error("Cannot write " + what + " as PNG: the " + size + " image holds " +
                    std::to_string(packed.ImageBytes.size()) + " bytes, not the " + std::to_string(bytes) +
                    " of its packed pixels");
}

}  // namespace

std::vector<uint8_t> EncodePng(const ImageBuffer& packed, const std::string& what)
{
    RequireEncodable(packed, what);
    const auto width = static_cast<size_t>(packed.ImageWidth);
    const auto height = static_cast<size_t>(packed.ImageHeight);
    LibpngState state;
    std::vector<uint8_t> encoded;
    OutputSink sink{&encoded};
    PngWriteStruct writer(state, what);
    const auto fail = [&] { throw Error("Cannot write " + what + " as PNG: " + MessageOf(state)); };

    HeaderJob header{&sink, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height)};
    if (!Guarded(writer.png(), writer.info(), WriteHeader, &header))
        fail();
    std::vector<uint8_t> rgb(width * 3);
    for (size_t y = 0; y < height; ++y) {
        for (size_t x = 0; x < width; ++x) {
            const uint16_t word = Bytes::UInt16At(packed.ImageBytes, (y * width + x) * 2);
            rgb[x * 3] = Widened(word >> 10 & 31);
            rgb[x * 3 + 1] = Widened(word >> 5 & 31);
            rgb[x * 3 + 2] = Widened(word & 31);
        }
        if (!Guarded(writer.png(), writer.info(), WriteRow, rgb.data()))
            fail();
    }
    if (!Guarded(writer.png(), writer.info(), WriteToEnd, nullptr))
        fail();
    return encoded;
}

int64_t PixelsWithBit15(const ImageBuffer& packed)
{
    const auto pixels = PackedPixels(packed);
    int64_t count = 0;
    for (size_t at = 1; at < pixels.size(); at += 2)
        count += pixels[at] >> 7;
    return count;
}

void WritePNG(FileSystem& files, const std::filesystem::path& fileName, const ImageBuffer& packed)
{
    const auto encoded = EncodePng(packed, fileName.string());
    // Written whole under another name and then renamed, so that a failure
    // never costs a file that was there before.
    WriteWholeFile(files, fileName,
                   std::string_view(reinterpret_cast<const char*>(encoded.data()), encoded.size()));
}

void DecodePng(std::span<const uint8_t> bytes, const std::string& name, ImageBuffer& packed)
{
    if (!LooksLikePng(bytes))
        throw Error("Cannot read " + name + ": it is not a PNG file (it does not begin with the PNG signature)");
    LibpngState state;
    state.input = bytes.data();
    state.inputSize = bytes.size();
    PngReadStruct reader(state, name);
    const auto fail = [&] { throw Error("Cannot read " + name + ": " + MessageOf(state)); };

    if (!Guarded(reader.png(), reader.info(), ReadUpToImageData, &state))
        fail();
    const Size size = CheckedSize(reader.png(), reader.info(), bytes.size(), name);
    const bool interlaced = png_get_interlace_type(reader.png(), reader.info()) != PNG_INTERLACE_NONE;
    if (!Guarded(reader.png(), reader.info(), AskForRgb8, nullptr))
        fail();
    if (png_get_channels(reader.png(), reader.info()) != 3 || png_get_bit_depth(reader.png(), reader.info()) != 8 ||
        png_get_rowbytes(reader.png(), reader.info()) != size_t{size.width} * 3)
        throw Error("Cannot read " + name + ": libpng did not turn its pixels into 8-bit RGB");

    std::vector<uint8_t> words(static_cast<size_t>(size.packedBytes));
    std::vector<uint8_t> rgb(size_t{size.width} * 3);
    // Without libpng's own interlace handling, an interlaced image comes
    // pass by pass, each pass's rows holding only its own pixels: one row
    // of memory is enough.
    for (const Pass& pass : PassesOf(size, interlaced)) {
        for (png_uint_32 row = 0; row < pass.rows; ++row) {
            if (!Guarded(reader.png(), reader.info(), ReadRow, rgb.data()))
                fail();
            PutPassRow(rgb, pass, row, size, words);
        }
    }
    if (!Guarded(reader.png(), reader.info(), ReadToEnd, nullptr))
        fail();

    packed.ImageBytes = std::move(words);
    packed.ImageWidth = static_cast<int32_t>(size.width);
    packed.ImageHeight = static_cast<int32_t>(size.height);
}

void ReadPNG(FileSystem& files, const std::filesystem::path& fileName, ImageBuffer& packed)
{
    const std::string name = fileName.string();
    auto file = files.OpenForReading(fileName);
    if (file->Size() > MostPngFileBytes)
        throw Error("Cannot read " + name + ": the file holds " + std::to_string(file->Size()) +
                    " bytes, more than the " + std::to_string(MostPngFileBytes) + " a PNG may hold here");
    std::vector<uint8_t> bytes(static_cast<size_t>(file->Size()));
    file->ReadAt(0, bytes);
    file.reset();
    DecodePng(bytes, name, packed);
}

bool LooksLikePng(std::span<const uint8_t> bytes)
{
    return bytes.size() >= Signature.size() && std::equal(Signature.begin(), Signature.end(), bytes.begin());
}

}  // namespace Brimwork
