#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "core/error.h"
#include "testing/memory_files.h"
#include "image/image_buffer.h"
#include "image/png.h"
#include "samples/sample_png.h"
#include "testing/faulty_files.h"

namespace Brimwork {
namespace {

namespace fs = std::filesystem;
using ByteList = std::vector<uint8_t>;
using Samples::PngColour;

const fs::path Folder = "/work";

uint16_t Word(int red, int green, int blue)
{
    return static_cast<uint16_t>(red << 10 | green << 5 | blue);
}

ImageBuffer Image(int32_t width, int32_t height, const std::function<uint16_t(int32_t x, int32_t y)>& word)
{
    ImageBuffer image{width, height, ByteList(static_cast<size_t>(width) * static_cast<size_t>(height) * 2)};
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            Bytes::PutInt16(image.ImageBytes, static_cast<size_t>(y * width + x) * 2, static_cast<int16_t>(word(x, y)));
    return image;
}

// Words spread over every channel value, bit 15 clear.
ImageBuffer Scrambled(int32_t width, int32_t height)
{
    return Image(width, height, [](int32_t x, int32_t y) {
        return static_cast<uint16_t>((static_cast<uint32_t>(x) * 40503u + static_cast<uint32_t>(y) * 9973u) & 0x7FFF);
    });
}

bool SameImage(const ImageBuffer& a, const ImageBuffer& b)
{
    return a.ImageWidth == b.ImageWidth && a.ImageHeight == b.ImageHeight && a.ImageBytes == b.ImageBytes;
}

std::string ErrorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const Error& error) {
        return error.what();
    }
    return "no error";
}

// The 8-bit RGB bytes of a PNG as libpng's simplified reader gives them.
ByteList RgbThroughLibpng(const ByteList& file)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_memory(&image, file.data(), file.size()) == 0)
        return {};
    image.format = PNG_FORMAT_RGB;
    ByteList rgb(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr) == 0)
        return {};
    return rgb;
}

// ---- Editing a PNG's chunks -----------------------------------------------

constexpr size_t FirstChunk = 8;
constexpr size_t IhdrData = FirstChunk + 8;

uint32_t BigEndianAt(const ByteList& bytes, size_t at)
{
    return uint32_t{bytes[at]} << 24 | uint32_t{bytes[at + 1]} << 16 | uint32_t{bytes[at + 2]} << 8 | bytes[at + 3];
}

void PutBigEndian(ByteList& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

ByteList Chunk(const std::string& type, const ByteList& data)
{
    ByteList chunk(4);
    PutBigEndian(chunk, 0, static_cast<uint32_t>(data.size()));
    chunk.insert(chunk.end(), type.begin(), type.end());
    chunk.insert(chunk.end(), data.begin(), data.end());
    const uint32_t crc = static_cast<uint32_t>(crc32(0, chunk.data() + 4, static_cast<uInt>(chunk.size() - 4)));
    chunk.resize(chunk.size() + 4);
    PutBigEndian(chunk, chunk.size() - 4, crc);
    return chunk;
}

// The file with IHDR's fields changed by `edit` and its CRC made right again.
ByteList WithHeader(ByteList file, const std::function<void(ByteList& ihdr)>& edit)
{
    ByteList ihdr(file.begin() + IhdrData, file.begin() + IhdrData + 13);
    edit(ihdr);
    const ByteList chunk = Chunk("IHDR", ihdr);
    std::copy(chunk.begin(), chunk.end(), file.begin() + FirstChunk);
    return file;
}

ByteList WithSize(const ByteList& file, uint32_t width, uint32_t height)
{
    return WithHeader(file, [&](ByteList& ihdr) {
        PutBigEndian(ihdr, 0, width);
        PutBigEndian(ihdr, 4, height);
    });
}

// Where the first chunk of the type begins.
size_t FindChunk(const ByteList& file, const std::string& type)
{
    for (size_t at = FirstChunk; at + 12 <= file.size(); at += 12 + BigEndianAt(file, at))
        if (std::string(file.begin() + static_cast<ptrdiff_t>(at + 4), file.begin() + static_cast<ptrdiff_t>(at + 8)) == type)
            return at;
    ADD_FAILURE() << "no " << type << " chunk";
    return 0;
}

ByteList WithChunkBefore(ByteList file, const std::string& before, const ByteList& chunk)
{
    file.insert(file.begin() + static_cast<ptrdiff_t>(FindChunk(file, before)), chunk.begin(), chunk.end());
    return file;
}

ByteList Flipped(ByteList file, size_t at)
{
    file[at] ^= 0x40;
    return file;
}

ByteList Cut(const ByteList& file, size_t size)
{
    return ByteList(file.begin(), file.begin() + static_cast<ptrdiff_t>(size));
}

// ---- Writing --------------------------------------------------------------

TEST(PngWrite, EveryPackedImageReadsBackExactly)
{
    std::vector<ImageBuffer> images;
    for (auto [width, height] : std::vector<std::pair<int32_t, int32_t>>{
             {1, 1}, {2, 1}, {1, 2}, {3, 3}, {7, 5}, {13, 1}, {300, 7}, {7, 300}, {1000, 1}, {1, 1000}})
        images.push_back(Scrambled(width, height));
    images.push_back(Image(256, 128, [](int32_t x, int32_t y) { return static_cast<uint16_t>(y * 256 + x); }));

    for (const ImageBuffer& image : images) {
        const ByteList file = EncodePng(image, "picture");
        EXPECT_TRUE(LooksLikePng(file));
        ImageBuffer read;
        DecodePng(file, "picture.png", read);
        EXPECT_TRUE(SameImage(read, image)) << image.ImageWidth << " x " << image.ImageHeight;
    }
}

// Each 5-bit value v is stored as (v << 3) | (v >> 2), so 31 is full 255.
TEST(PngWrite, WidensEachChannelToEightBitsForEditors)
{
    const std::vector<std::pair<int, uint8_t>> widened{{0, 0}, {1, 8}, {15, 123}, {16, 132}, {30, 247}, {31, 255}};
    const ImageBuffer image = Image(static_cast<int32_t>(widened.size()), 3, [&](int32_t x, int32_t y) {
        const int v = widened[static_cast<size_t>(x)].first;
        return y == 0 ? Word(v, 0, 0) : y == 1 ? Word(0, v, 31 - v) : static_cast<uint16_t>(0x8000 | Word(v, v, v));
    });
    const ByteList file = EncodePng(image, "picture");
    EXPECT_EQ(file[IhdrData + 8], 8) << "bit depth";
    EXPECT_EQ(file[IhdrData + 9], 2) << "colour type RGB";
    EXPECT_EQ(file[IhdrData + 12], 0) << "not interlaced";

    const ByteList rgb = RgbThroughLibpng(file);
    ASSERT_EQ(rgb.size(), widened.size() * 3 * 3);
    for (size_t x = 0; x < widened.size(); ++x) {
        const uint8_t v = widened[x].second;
        const uint8_t opposite = widened[widened.size() - 1 - x].second;
        const auto pixel = [&](size_t y) { return ByteList(&rgb[(y * widened.size() + x) * 3], &rgb[(y * widened.size() + x) * 3 + 3]); };
        EXPECT_EQ(pixel(0), (ByteList{v, 0, 0}));
        EXPECT_EQ(pixel(1), (ByteList{0, v, opposite}));
        EXPECT_EQ(pixel(2), (ByteList{v, v, v})) << "bit 15 is not a colour";
    }
}

TEST(PngWrite, CountsThePixelsWhoseBit15ThePngLoses)
{
    ImageBuffer empty;
    MakeEmptyImage(empty);
    const ImageBuffer marked = Image(5, 4, [](int32_t x, int32_t y) {
        return static_cast<uint16_t>((x + y) % 3 == 0 ? 0x8000 | (x * 7) : 0x7FFF);
    });
    EXPECT_EQ(PixelsWithBit15(empty), 0);
    EXPECT_EQ(PixelsWithBit15(Scrambled(30, 30)), 0);
    EXPECT_EQ(PixelsWithBit15(marked), 7);

    ImageBuffer read;
    DecodePng(EncodePng(marked, "marked"), "marked.png", read);
    EXPECT_EQ(PixelsWithBit15(read), 0);
    for (size_t at = 0; at < read.ImageBytes.size(); at += 2)
        EXPECT_EQ(Bytes::UInt16At(read.ImageBytes, at), Bytes::UInt16At(marked.ImageBytes, at) & 0x7FFF);
}

TEST(PngWrite, RefusesWhatIsNotAPackedImageWithPixels)
{
    ImageBuffer empty;
    MakeEmptyImage(empty);
    const struct {
        ImageBuffer image;
        std::string says;
    } cases[] = {
        {empty, "has no pixels (0 x 0)"},
        {ImageBuffer{0, 20, {}}, "has no pixels (0 x 20)"},
        {ImageBuffer{4, 0, {}}, "has no pixels (4 x 0)"},
        {ImageBuffer{-1, 3, ByteList(6)}, "has no pixels (-1 x 3)"},
        {ImageBuffer{3, 2, ByteList(10)}, "holds 10 bytes, not the 12"},
    };
    for (const auto& each : cases) {
        const std::string message = ErrorOf([&] { EncodePng(each.image, "RAINBOW image 3"); });
        EXPECT_NE(message.find("Cannot write RAINBOW image 3 as PNG: "), std::string::npos) << message;
        EXPECT_NE(message.find(each.says), std::string::npos) << message;
    }
}

// ---- Reading every kind of PNG --------------------------------------------

struct Kind {
    PngColour colour;
    int bitDepth;
    bool paletteAlpha = false;
};

// A channel's sample as the 8 bits an editor would show: low depths scaled
// to the full range, 16 bits by their high byte.
int EightBits(uint16_t sample, int bitDepth)
{
    if (bitDepth == 16)
        return sample >> 8;
    return sample * 255 / ((1 << bitDepth) - 1);
}

// Samples that tell truncation from rounding at 16 bits come first; the rest are scrambled.
uint16_t SampleAt(size_t index, int bitDepth)
{
    static const std::array<uint16_t, 6> first{0x07FF, 0xF7FF, 0x0800, 0xFFFF, 0x0000, 0x8480};
    const uint32_t value = index < first.size() ? first[index] : static_cast<uint32_t>(index * 2654435761u >> 7);
    return static_cast<uint16_t>(value & ((1u << bitDepth) - 1));
}

Samples::PngSamples Picture(const Kind& kind, bool interlaced, uint32_t width, uint32_t height)
{
    Samples::PngSamples picture{kind.colour, kind.bitDepth, interlaced, width, height, {}, {}, {}};
    const size_t count = size_t{width} * height * static_cast<size_t>(Samples::ChannelsOf(kind.colour));
    for (size_t i = 0; i < count; ++i)
        picture.samples.push_back(SampleAt(i, kind.bitDepth));
    if (kind.colour == PngColour::Palette) {
        for (int entry = 0; entry < (1 << kind.bitDepth); ++entry) {
            picture.palette.push_back({static_cast<uint8_t>(entry * 37), static_cast<uint8_t>(entry * 91 + 5),
                                       static_cast<uint8_t>(255 - entry)});
            if (kind.paletteAlpha)
                picture.paletteAlpha.push_back(static_cast<uint8_t>(entry * 13));
        }
    }
    return picture;
}

// The 5-5-5 word each pixel of the picture should read as.
uint16_t ExpectedWord(const Samples::PngSamples& picture, size_t pixel)
{
    const auto channels = static_cast<size_t>(Samples::ChannelsOf(picture.colour));
    const auto sample = [&](size_t channel) { return picture.samples[pixel * channels + channel]; };
    int rgb[3];
    if (picture.colour == PngColour::Palette) {
        const auto& entry = picture.palette[sample(0)];
        for (int c = 0; c < 3; ++c)
            rgb[c] = entry[static_cast<size_t>(c)];
    } else {
        const bool grey = picture.colour == PngColour::Grey || picture.colour == PngColour::GreyAlpha;
        for (size_t c = 0; c < 3; ++c)
            rgb[c] = EightBits(sample(grey ? 0 : c), picture.bitDepth);
    }
    return Word(rgb[0] >> 3, rgb[1] >> 3, rgb[2] >> 3);
}

TEST(PngRead, TakesTheTopFiveBitsOfEveryColourTypeDepthAndInterlace)
{
    const Kind kinds[] = {
        {PngColour::Grey, 1},       {PngColour::Grey, 2},          {PngColour::Grey, 4},
        {PngColour::Grey, 8},       {PngColour::Grey, 16},         {PngColour::GreyAlpha, 8},
        {PngColour::GreyAlpha, 16}, {PngColour::Palette, 1},       {PngColour::Palette, 2},
        {PngColour::Palette, 4},    {PngColour::Palette, 4, true}, {PngColour::Palette, 8},
        {PngColour::Palette, 8, true}, {PngColour::Rgb, 8},        {PngColour::Rgb, 16},
        {PngColour::Rgba, 8},       {PngColour::Rgba, 16},
    };
    // 11 x 9 gives every Adam7 pass pixels and rows that end inside a byte.
    for (const Kind& kind : kinds) {
        for (bool interlaced : {false, true}) {
            const auto picture = Picture(kind, interlaced, 11, 9);
            ImageBuffer read;
            DecodePng(Samples::WritePngWithLibpng(picture), "kind.png", read);
            ImageBuffer expected = Image(11, 9, [&](int32_t x, int32_t y) {
                return ExpectedWord(picture, static_cast<size_t>(y * 11 + x));
            });
            EXPECT_TRUE(SameImage(read, expected))
                << "colour type " << static_cast<int>(kind.colour) << ", " << kind.bitDepth << " bits"
                << (kind.paletteAlpha ? ", tRNS" : "") << (interlaced ? ", interlaced" : "");
        }
    }
}

// Only IHDR, PLTE, tRNS, IDAT and IEND matter; text, colour profiles and
// private chunks are skipped unread, even when damaged.
TEST(PngRead, SkipsAncillaryChunksEvenDamagedOnes)
{
    const ImageBuffer image = Scrambled(9, 4);
    const ByteList file = EncodePng(image, "picture");
    ByteList text = Chunk("tEXt", ByteList{'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 'h', 'i'});
    text.back() ^= 1;
    const ByteList withChunks = WithChunkBefore(WithChunkBefore(file, "IDAT", text), "IEND",
                                                Chunk("prVt", ByteList(100000, 7)));
    ImageBuffer read;
    DecodePng(withChunks, "chunks.png", read);
    EXPECT_TRUE(SameImage(read, image));
}

// ---- Refusals -------------------------------------------------------------

TEST(PngRead, RefusesMalformedFilesNamingThemAndLeavingTheBufferAlone)
{
    const ByteList good = EncodePng(Scrambled(4, 4), "picture");
    const size_t idat = FindChunk(good, "IDAT");
    const struct {
        std::string what;
        ByteList file;
        std::string says;
    } cases[] = {
        {"no bytes", {}, "not a PNG file"},
        {"a TGA file", {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 16, 32, 0, 0}, "not a PNG file"},
        {"the signature only", Cut(good, 8), "the file ends early"},
        {"cut inside the image data", Cut(good, idat + 12), "the file ends early"},
        {"cut before IEND", Cut(good, good.size() - 12), "the file ends early"},
        {"IHDR's CRC wrong", Flipped(good, IhdrData + 13), "CRC error"},
        {"a byte of IDAT changed", Flipped(good, idat + 10), "CRC error"},
        {"width 0", WithSize(good, 0, 4), "Invalid IHDR data (Image width is zero in IHDR)"},
        {"height 0", WithSize(good, 4, 0), "Image height is zero in IHDR"},
        {"more rows than the data holds", WithSize(good, 4, 6), "Not enough image data"},
        {"a palette image without PLTE", WithHeader(good, [](ByteList& ihdr) { ihdr[9] = 3; }), "PLTE"},
        {"a decompression bomb", WithSize(good, 30000, 30000),
         "its 30000 x 30000 pixels cannot come from a file of " + std::to_string(good.size()) + " bytes"},
        {"too many pixels to hold", WithSize(good, 50000, 50000), "its 50000 x 50000 pixels are too many"},
        {"a side no image can have", WithSize(good, 0x7FFFFFFF, 1), "exceeds user limit"},
    };
    for (const auto& each : cases) {
        const ImageBuffer before{7, 9, {1, 2, 3}};
        ImageBuffer image = before;
        const std::string message = ErrorOf([&] { DecodePng(each.file, "/work/in.png", image); });
        EXPECT_EQ(message.rfind("Cannot read /work/in.png: ", 0), 0u) << each.what << ": " << message;
        EXPECT_NE(message.find(each.says), std::string::npos) << each.what << ": " << message;
        EXPECT_TRUE(SameImage(image, before)) << each.what;
    }
}

// ---- Files ------------------------------------------------------------------

TEST(PngFiles, WriteAndReadThroughTheFileSystem)
{
    MemoryFileSystem files;
    files.AddFolder(Folder);
    const ImageBuffer image = Scrambled(17, 5);
    WritePNG(files, Folder / "out.png", image);
    EXPECT_EQ(files.Contents(Folder / "out.png"), EncodePng(image, "out"));
    ImageBuffer read;
    ReadPNG(files, Folder / "out.png", read);
    EXPECT_TRUE(SameImage(read, image));

    const std::string missing = ErrorOf([&] { ReadPNG(files, Folder / "none.png", read); });
    EXPECT_NE(missing.find("/work/none.png"), std::string::npos) << missing;
    files.AddFile(Folder / "bad.png", Cut(EncodePng(image, "bad"), 40));
    const std::string damaged = ErrorOf([&] { ReadPNG(files, Folder / "bad.png", read); });
    EXPECT_EQ(damaged.rfind("Cannot read /work/bad.png: ", 0), 0u) << damaged;
    EXPECT_TRUE(SameImage(read, image));
}

// A file system whose only file claims more bytes than a PNG may hold here.
class OversizedFile final : public FileSystem {
public:
    class File final : public ReadableFile {
    public:
        explicit File(fs::path path) : path_(std::move(path)) {}
        const fs::path& Path() const override { return path_; }
        int64_t Size() const override { return MostPngFileBytes + 1; }
        FileStamp Stamp() const override { return {}; }
        void ReadAt(int64_t, std::span<uint8_t>) override { ADD_FAILURE() << "an oversized file was read"; }

    private:
        fs::path path_;
    };

    std::unique_ptr<ReadableFile> OpenForReading(const fs::path& path, Links) override
    {
        return std::make_unique<File>(path);
    }
    std::unique_ptr<WritableFile> CreateForWriting(const fs::path& path) override
    {
        return memory_.CreateForWriting(path);
    }
    EntryType TypeOf(const fs::path&) override { return EntryType::Regular; }
    std::vector<std::string> ListFolder(const fs::path&) override { return {}; }
    std::optional<FileAccess> AccessOf(const fs::path&) override { return {}; }
    void Rename(const fs::path&, const fs::path&) override {}
    void Remove(const fs::path&) override {}
    void SyncFolder(const fs::path&) override {}

private:
    MemoryFileSystem memory_;
};

TEST(PngFiles, RefusesAFileLargerThanAGibibyteBeforeReadingIt)
{
    OversizedFile files;
    ImageBuffer image;
    const std::string message = ErrorOf([&] { ReadPNG(files, "/work/huge.png", image); });
    EXPECT_EQ(message, "Cannot read /work/huge.png: the file holds 1073741825 bytes, more than the 1073741824 a PNG "
                       "may hold here");
}

TEST(PngFiles, AFailedWriteIsAnErrorAndLeavesNoShortFile)
{
    const ImageBuffer image = Scrambled(40, 40);
    for (const auto operation : {Testing::FileOperation::Create, Testing::FileOperation::Write,
                                 Testing::FileOperation::Close}) {
        MemoryFileSystem memory;
        memory.AddFolder(Folder);
        Testing::FaultyFileSystem files(memory);
        files.FailAt(operation, 1, ENOSPC);
        const std::string message = ErrorOf([&] { WritePNG(files, Folder / "out.png", image); });
        EXPECT_NE(message.find("/work/out.png"), std::string::npos) << message;
        EXPECT_NE(message.find(std::strerror(ENOSPC)), std::string::npos) << message;
        EXPECT_EQ(memory.TypeOf(Folder / "out.png"), EntryType::Missing) << Testing::NameOf(operation);
    }

    // An image the encoder refuses touches no file.
    MemoryFileSystem memory;
    memory.AddFolder(Folder);
    Testing::FaultyFileSystem files(memory);
    EXPECT_THROW(WritePNG(files, Folder / "out.png", ImageBuffer{0, 0, ByteList(2)}), Error);
    EXPECT_EQ(files.TotalCount(), 0);
}

}  // namespace
}  // namespace Brimwork
