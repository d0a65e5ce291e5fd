#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "core/error.h"
#include "io/files.h"
#include "image/image_buffer.h"
#include "image/tga.h"
#include "tests/support/test_support.h"

namespace Brimwork {
namespace {

namespace fs = std::filesystem;
using ByteList = std::vector<uint8_t>;

// A TGA file laid out field by field, as the published format has it.
struct TgaFile {
    uint8_t colourMapType = 0;
    uint8_t imageType = 2;
    uint16_t mapFirst = 0;
    uint16_t mapLength = 0;
    uint8_t mapBits = 0;
    uint16_t width = 1;
    uint16_t height = 1;
    uint8_t depth = 16;
    uint8_t descriptor = 0x20;
    ByteList id{}, map{}, pixels{};

    ByteList Encode() const
    {
        ByteList out = {static_cast<uint8_t>(id.size()), colourMapType, imageType};
        for (uint16_t field : {mapFirst, mapLength})
            out.insert(out.end(), {static_cast<uint8_t>(field), static_cast<uint8_t>(field >> 8)});
        out.push_back(mapBits);
        for (uint16_t field : {uint16_t{0}, uint16_t{0}, width, height})
            out.insert(out.end(), {static_cast<uint8_t>(field), static_cast<uint8_t>(field >> 8)});
        out.insert(out.end(), {depth, descriptor});
        for (const ByteList* part : {&id, &map, &pixels})
            out.insert(out.end(), part->begin(), part->end());
        return out;
    }
};

void Put(const fs::path& path, const ByteList& bytes)
{
    Testing::WriteText(path, std::string(bytes.begin(), bytes.end()));
}

ByteList Contents(const fs::path& path)
{
    const std::string text = Testing::ReadText(path);
    return ByteList(text.begin(), text.end());
}

ByteList Words(const std::vector<uint16_t>& words)
{
    ByteList out;
    for (uint16_t word : words)
        out.insert(out.end(), {static_cast<uint8_t>(word), static_cast<uint8_t>(word >> 8)});
    return out;
}

std::string ReadError(const fs::path& path, ImageBuffer& image)
{
    try {
        ReadTGA(RealFileSystem(), path, image);
    } catch (const Error& error) {
        return error.what();
    }
    return "no error";
}

// ---- Writing --------------------------------------------------------------

TEST(TgaWrite, WritesHeaderAndPixelsExactly)
{
    Testing::TempFolder folder;
    const ImageBuffer image{3, 2, {0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B}};
    WriteTGA(RealFileSystem(), folder / "a.tga", image);
    ByteList expected = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 2, 0, 0x10, 0x20};
    expected.insert(expected.end(), image.ImageBytes.begin(), image.ImageBytes.end());
    EXPECT_EQ(Contents(folder / "a.tga"), expected);

    // Over a longer file, nothing of the old content stays behind.
    Put(folder / "b.tga", ByteList(100, 0xEE));
    WriteTGA(RealFileSystem(), folder / "b.tga", ImageBuffer{2, 2, ByteList(8, 0x42)});
    ByteList cut = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 0x10, 0x20};
    cut.insert(cut.end(), 8, 0x42);
    EXPECT_EQ(Contents(folder / "b.tga"), cut);
}

TEST(TgaWrite, RefusesSizesOutsideSigned16BitsBeforeCreatingTheFile)
{
    Testing::TempFolder folder;
    for (const ImageBuffer& image : {ImageBuffer{40000, 1, ByteList(2)}, ImageBuffer{1, -32769, ByteList(2)}}) {
        EXPECT_THROW(WriteTGA(RealFileSystem(), folder / "big.tga", image), Error);
        EXPECT_TRUE(folder.Names().empty());
    }
}

// An image without pixels must come back, or its container could not be
// rebuilt unedited; a side of 0 with the other side not 0 reads the same.
TEST(TgaWrite, EmptyImagesReadBackAsTheEmptyImage)
{
    Testing::TempFolder folder;
    ImageBuffer image;
    MakeEmptyImage(image);
    WriteTGA(RealFileSystem(), folder / "e.tga", image);
    EXPECT_EQ(Contents(folder / "e.tga"), (ByteList{0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x10, 0x20, 0, 0}));
    WriteTGA(RealFileSystem(), folder / "tall.tga", ImageBuffer{0, 20, {}});
    for (const char* name : {"e.tga", "tall.tga"}) {
        ImageBuffer read{5, 6, {1, 2}};
        ReadTGA(RealFileSystem(), folder / name, read);
        EXPECT_EQ(read.ImageWidth, 0);
        EXPECT_EQ(read.ImageHeight, 0);
        EXPECT_EQ(read.ImageBytes, (ByteList{0, 0}));
    }
}

TEST(TgaWrite, WrittenFilesReadBackByteForByte)
{
    Testing::TempFolder folder;
    for (auto [width, height] : std::vector<std::pair<int, int>>{{1, 1}, {3, 2}, {5, 7}, {32767, 1}, {1, 32767}, {600, 300}}) {
        ImageBuffer written{width, height, ByteList(static_cast<size_t>(width * height * 2))};
        for (size_t i = 0; i < written.ImageBytes.size(); ++i)
            written.ImageBytes[i] = static_cast<uint8_t>(i * 7 + i / 256);
        WriteTGA(RealFileSystem(), folder / "r.tga", written);
        ImageBuffer read;
        ReadTGA(RealFileSystem(), folder / "r.tga", read);
        EXPECT_EQ(read.ImageWidth, width);
        EXPECT_EQ(read.ImageHeight, height);
        EXPECT_EQ(read.ImageBytes, written.ImageBytes) << width << " x " << height;
    }
}

TEST(TgaFiles, SymbolicLinksAreNeverFollowed)
{
    Testing::TempFolder folder;
    const ByteList original = TgaFile{.pixels = {0x34, 0x12}}.Encode();
    Put(folder / "real.tga", original);
    fs::create_symlink(folder / "real.tga", folder / "link.tga");

    EXPECT_THROW(WriteTGA(RealFileSystem(), folder / "link.tga", ImageBuffer{1, 1, {0, 0}}), Error);
    EXPECT_EQ(Contents(folder / "real.tga"), original);
    ImageBuffer image{9, 9, {}};
    EXPECT_NE(ReadError(folder / "link.tga", image).find("symbolic link"), std::string::npos);
    EXPECT_EQ(image.ImageWidth, 9);
}

// ---- Reading every type, depth and origin ----------------------------------

// The test picture, 3 x 2, top row first, as indices into the four test
// colours. The run of colour 2 carries on past the end of the top row.
constexpr uint16_t PictureWidth = 3;
constexpr uint16_t PictureHeight = 2;
constexpr std::array<int, 6> Picture = {0, 1, 2, 2, 2, 3};

// Blue, green, red; the low 3 bits of each channel are noise that must go.
constexpr std::array<std::array<uint8_t, 3>, 4> ColourBgr = {
    {{0x07, 0x02, 0xFF}, {0x05, 0xFC, 0x03}, {0xFF, 0x00, 0x06}, {0x21, 0x42, 0x84}}};
constexpr std::array<uint16_t, 4> ColourWords = {0x7C00, 0x03E0, 0x001F, 0x4104};
// 16-bit words come through as they are, bit 15 included.
constexpr std::array<uint16_t, 4> StoredWords = {0x7C00, 0x03E0, 0x001F, 0xC104};
constexpr std::array<uint8_t, 4> Greys = {0x07, 0xFF, 0x47, 0x86};
constexpr std::array<uint16_t, 4> GreyWords = {0x0000, 0x7FFF, 0x2108, 0x4210};

struct Format {
    uint8_t imageType;
    uint8_t depth;
    uint8_t mapBits;  // 0 unless colour-mapped
};

bool IsGrey(const Format& format)
{
    return format.imageType % 8 == 3;
}

// How colour k is stored as a pixel or colour map entry of `bits` bits.
ByteList StoredColour(int bits, bool grey, int k)
{
    if (grey)
        return bits == 8 ? ByteList{Greys[k]} : ByteList{Greys[k], 0xFF};
    if (bits <= 16)
        return Words({StoredWords[k]});
    ByteList value(ColourBgr[k].begin(), ColourBgr[k].end());
    if (bits == 32)
        value.push_back(0x80);
    return value;
}

uint16_t ExpectedWord(int bits, bool grey, int k)
{
    return grey ? GreyWords[k] : bits <= 16 ? StoredWords[k] : ColourWords[k];
}

// Run packets for repeated values, raw packets for the stretches between them.
ByteList RunLengthCode(const std::vector<ByteList>& values)
{
    ByteList out;
    for (size_t at = 0, end = 0; at < values.size(); at = end) {
        end = at + 1;
        while (end < values.size() && values[end] == values[at])
            ++end;
        const bool run = end - at > 1;
        while (!run && end < values.size() && (end + 1 == values.size() || values[end] != values[end + 1]))
            ++end;
        out.push_back(static_cast<uint8_t>((run ? 0x80 : 0) | (end - at - 1)));
        for (size_t i = at; i < (run ? at + 1 : end); ++i)
            out.insert(out.end(), values[i].begin(), values[i].end());
    }
    return out;
}

// The test picture in the given format, stored in the order the origin bits give.
TgaFile PictureFile(const Format& format, uint8_t descriptor)
{
    constexpr uint16_t FirstIndex = 5;
    const bool mapped = format.mapBits != 0;
    TgaFile file{.imageType = format.imageType, .width = PictureWidth, .height = PictureHeight,
                 .depth = format.depth, .descriptor = descriptor};
    if (mapped) {
        file.colourMapType = 1;
        file.mapFirst = FirstIndex;
        file.mapLength = 4;
        file.mapBits = format.mapBits;
        for (int k = 0; k < 4; ++k)
            for (uint8_t byte : StoredColour(format.mapBits, false, k))
                file.map.push_back(byte);
    }
    std::vector<ByteList> values;
    for (int fileRow = 0; fileRow < PictureHeight; ++fileRow)
        for (int fileColumn = 0; fileColumn < PictureWidth; ++fileColumn) {
            const int row = descriptor & 0x20 ? fileRow : PictureHeight - 1 - fileRow;
            const int column = descriptor & 0x10 ? PictureWidth - 1 - fileColumn : fileColumn;
            const int k = Picture[static_cast<size_t>(row * PictureWidth + column)];
            values.push_back(!mapped ? StoredColour(format.depth, IsGrey(format), k)
                             : format.depth == 8 ? ByteList{static_cast<uint8_t>(k + FirstIndex)}
                                                 : Words({static_cast<uint16_t>(k + FirstIndex)}));
        }
    if (format.imageType >= 9)
        file.pixels = RunLengthCode(values);
    else
        for (const ByteList& value : values)
            file.pixels.insert(file.pixels.end(), value.begin(), value.end());
    return file;
}

class TgaReadFormats : public testing::TestWithParam<std::tuple<Format, uint8_t>> {};

TEST_P(TgaReadFormats, GivesPackedTopLeftWords)
{
    const auto [format, descriptor] = GetParam();
    Testing::TempFolder folder;
    Put(folder / "p.tga", PictureFile(format, descriptor).Encode());
    ImageBuffer image;
    ReadTGA(RealFileSystem(), folder / "p.tga", image);

    const int bits = format.mapBits != 0 ? format.mapBits : format.depth;
    std::vector<uint16_t> expected;
    for (int k : Picture)
        expected.push_back(ExpectedWord(bits, IsGrey(format), k));
    EXPECT_EQ(image.ImageWidth, PictureWidth);
    EXPECT_EQ(image.ImageHeight, PictureHeight);
    EXPECT_EQ(image.ImageBytes, Words(expected));
}

std::vector<Format> AllFormats()
{
    std::vector<Format> formats;
    for (uint8_t rle : {0, 8}) {
        for (uint8_t mapBits : {15, 16, 24, 32})
            formats.push_back({static_cast<uint8_t>(1 + rle), 8, mapBits});
        formats.push_back({static_cast<uint8_t>(1 + rle), 16, 24});
        for (uint8_t depth : {15, 16, 24, 32})
            formats.push_back({static_cast<uint8_t>(2 + rle), depth, 0});
        for (uint8_t depth : {8, 16})
            formats.push_back({static_cast<uint8_t>(3 + rle), depth, 0});
    }
    return formats;
}

std::string FormatName(const testing::TestParamInfo<std::tuple<Format, uint8_t>>& info)
{
    const auto [format, descriptor] = info.param;
    static const char* const origins[] = {"BottomLeft", "BottomRight", "TopLeft", "TopRight"};
    return "Type" + std::to_string(format.imageType) + "Depth" + std::to_string(format.depth) + "Map" +
           std::to_string(format.mapBits) + origins[descriptor >> 4];
}

INSTANTIATE_TEST_SUITE_P(TypesDepthsOrigins, TgaReadFormats,
                         testing::Combine(testing::ValuesIn(AllFormats()),
                                          testing::Values<uint8_t>(0x20, 0x00, 0x30, 0x10)),
                         FormatName);

TEST(TgaRead, PacketsCrossRowEndsAndOverlongPacketsAreCut)
{
    Testing::TempFolder folder;
    // 2 x 2: a run of 3 fills the top row and the first pixel of the next; a
    // raw packet of 2 pixels ends the image, one pixel more than it has room for.
    TgaFile file{.imageType = 10, .width = 2, .height = 2,
                 .pixels = {0x82, 0x34, 0x12, 0x01, 0xFF, 0x7F, 0x00, 0x00}};
    Put(folder / "c.tga", file.Encode());
    ImageBuffer image;
    ReadTGA(RealFileSystem(), folder / "c.tga", image);
    EXPECT_EQ(image.ImageBytes, Words({0x1234, 0x1234, 0x1234, 0x7FFF}));
}

TEST(TgaRead, SkipsIdentificationAndUnusedColourMap)
{
    Testing::TempFolder folder;
    const ByteList id = {'h', 'e', 'l', 'l', 'o'};
    const TgaFile files[] = {
        {.id = id, .pixels = {0x34, 0x12}},
        {.colourMapType = 1, .mapLength = 3, .mapBits = 24, .id = id, .map = ByteList(9, 0xAA), .pixels = {0x34, 0x12}},
        {.colourMapType = 0, .mapLength = 7, .mapBits = 24, .id = id, .pixels = {0x34, 0x12}},
    };
    for (const TgaFile& file : files) {
        Put(folder / "i.tga", file.Encode());
        ImageBuffer image;
        ReadTGA(RealFileSystem(), folder / "i.tga", image);
        EXPECT_EQ(image.ImageBytes, Words({0x1234}));
    }
}

// ---- Files the reader refuses ----------------------------------------------

struct BadFile {
    std::string label;
    ByteList bytes;
    std::string message;
};

ByteList Cut(ByteList bytes, size_t size)
{
    bytes.resize(size);
    return bytes;
}

std::vector<BadFile> BadFiles()
{
    const TgaFile plain{.width = 3, .height = 2, .pixels = ByteList(12)};
    const TgaFile mapped{.colourMapType = 1, .imageType = 1, .mapFirst = 5, .mapLength = 4, .mapBits = 24,
                         .depth = 8, .map = ByteList(12), .pixels = {5}};
    auto with = [](TgaFile file, auto change) {
        change(file);
        return file.Encode();
    };
    return {
        {"empty file", {}, "ends inside the 18-byte TGA header"},
        {"short header", Cut(plain.Encode(), 17), "ends inside the 18-byte TGA header"},
        {"short identification", Cut(with(plain, [](TgaFile& f) { f.id = ByteList(5); }), 20),
         "identification ends early"},
        {"short colour map", Cut(mapped.Encode(), 18 + 11), "colour map ends early"},
        {"short pixel data", Cut(plain.Encode(), 18 + 11), "pixel data ends early"},
        {"run-length packet cut short",
         with(plain, [](TgaFile& f) { f.imageType = 10; f.width = 2; f.height = 1; f.pixels = {0x01, 1, 2, 3}; }),
         "run-length pixel data ends early"},
        {"run-length packets too few",
         with(plain, [](TgaFile& f) { f.imageType = 10; f.width = 3; f.height = 1; f.pixels = {0x81, 1, 2}; }),
         "run-length pixel data ends early"},
        {"image type 7", with(plain, [](TgaFile& f) { f.imageType = 7; }), "read: image type 7"},
        {"no image data", with(plain, [](TgaFile& f) { f.imageType = 0; }), "read: image type 0"},
        {"colour map type 2", with(plain, [](TgaFile& f) { f.colourMapType = 2; }), "colour map type 2"},
        {"8-bit true colour", with(plain, [](TgaFile& f) { f.depth = 8; }), "pixel depth of 8 bits in image type 2"},
        {"24-bit grey", with(plain, [](TgaFile& f) { f.imageType = 3; f.depth = 24; }), "24 bits in image type 3"},
        {"mapped without map", with(mapped, [](TgaFile& f) { f.colourMapType = 0; }), "without a colour map"},
        {"8-bit map entries", with(mapped, [](TgaFile& f) { f.mapBits = 8; f.map = ByteList(4); }),
         "colour map entries of 8 bits"},
        {"interleaved", with(plain, [](TgaFile& f) { f.descriptor = 0x60; }), "interleaved rows"},
        {"index below the map", with(mapped, [](TgaFile& f) { f.pixels = {4}; }), "uses colour 4"},
        {"index past the map", with(mapped, [](TgaFile& f) { f.pixels = {9}; }), "uses colour 9"},
        {"huge claim", with(plain, [](TgaFile& f) { f.width = 65535; f.height = 65535; }), "pixel data ends early"},
        {"huge run-length claim",
         with(plain, [](TgaFile& f) { f.imageType = 10; f.width = 65535; f.height = 65535; }),
         "run-length pixel data ends early"},
    };
}

TEST(TgaRead, RefusesOtherAndDamagedFilesAndKeepsTheImage)
{
    Testing::TempFolder folder;
    for (const BadFile& bad : BadFiles()) {
        SCOPED_TRACE(bad.label);
        const fs::path path = folder / "bad.tga";
        Put(path, bad.bytes);
        ImageBuffer image{7, 1, {1, 2}};
        const std::string message = ReadError(path, image);
        EXPECT_NE(message.find(path.string()), std::string::npos) << message;
        EXPECT_NE(message.find(bad.message), std::string::npos) << message;
        EXPECT_EQ(image.ImageWidth, 7);
        EXPECT_EQ(image.ImageHeight, 1);
        EXPECT_EQ(image.ImageBytes, (ByteList{1, 2}));
    }
}

}  // namespace
}  // namespace Brimwork
