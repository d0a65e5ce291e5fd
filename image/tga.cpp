#include "image/tga.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <stdexcept>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "core/bytes.h"
#include "core/checked.h"
#include "core/error.h"
#include "image/image_buffer.h"
#include "io/files.h"
#include "io/read_ahead_file.h"

namespace Brimwork {
namespace {

constexpr size_t HeaderSize = 18;
constexpr uint8_t UncompressedTrueColour = 2;
constexpr uint8_t WrittenPixelDepth = 16;
constexpr uint8_t TopRowFirst = 0x20;
constexpr uint8_t RightToLeft = 0x10;
constexpr uint8_t InterleaveBits = 0xC0;
constexpr uint8_t RunPacket = 0x80;
constexpr int64_t MostPixelsPerPacket = 128;

// The header fields, as the format stores them (all unsigned).
struct Header {
    uint8_t idLength = 0;
    uint8_t colourMapType = 0;
    uint8_t imageType = 0;
    uint16_t mapFirstIndex = 0;
    uint16_t mapLength = 0;
    uint8_t mapEntryBits = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    uint8_t pixelDepth = 0;
    uint8_t descriptor = 0;
};

enum class PixelKind { ColourMapped, TrueColour, Grey };

// How the pixels of a file this reader accepts are stored.
struct Storage {
    PixelKind kind = PixelKind::TrueColour;
    bool runLength = false;
    int bytesPerPixel = 0;
};

// Where the parts after the header begin; each part ends where the next begins.
struct Offsets {
    int64_t colourMap = 0;
    int64_t pixels = 0;
};

[[noreturn]] void ThrowUnreadable(const std::string& file, const std::string& what)
{
    throw Error(file + " is not a TGA image this tool can read: " + what);
}

int BytesFor(int bits)
{
    return (bits + 7) / 8;
}

int16_t HeaderDimension(int32_t value, const std::string& what, const std::filesystem::path& fileName)
{
    if (value < std::numeric_limits<int16_t>::min() || value > std::numeric_limits<int16_t>::max())
        throw Error("Cannot write " + fileName.string() + ": the image " + what + " " + std::to_string(value) +
                    " does not fit a TGA header (-32768 to 32767)");
    return static_cast<int16_t>(value);
}

Header ReadHeader(ReadableFile& file, const std::string& name)
{
    if (file.Size() < static_cast<int64_t>(HeaderSize))
        ThrowDamaged(name, "the file ends inside the 18-byte TGA header (it holds " + std::to_string(file.Size()) +
                               " bytes)");
    std::array<uint8_t, HeaderSize> bytes{};
    file.ReadAt(0, bytes);
    Header header;
    header.idLength = bytes[0];
    header.colourMapType = bytes[1];
    header.imageType = bytes[2];
    header.mapFirstIndex = Bytes::UInt16At(bytes, 3);
    header.mapLength = Bytes::UInt16At(bytes, 5);
    header.mapEntryBits = bytes[7];
    header.width = Bytes::UInt16At(bytes, 12);
    header.height = Bytes::UInt16At(bytes, 14);
    header.pixelDepth = bytes[16];
    header.descriptor = bytes[17];
    return header;
}

bool IsColourDepth(int bits)
{
    return bits == 15 || bits == 16 || bits == 24 || bits == 32;
}

bool DepthFits(PixelKind kind, int bits)
{
    switch (kind) {
    case PixelKind::ColourMapped:
        return bits == 8 || bits == 16;
    case PixelKind::TrueColour:
        return IsColourDepth(bits);
    case PixelKind::Grey:
        // 16 bits hold a grey byte followed by an alpha byte.
        return bits == 8 || bits == 16;
    }
    return false;
}

// Refuses every kind of file this reader cannot turn into 5-5-5 pixels.
Storage CheckStorage(const Header& header, const std::string& name)
{
    const std::string type = "image type " + std::to_string(header.imageType);
    Storage storage;
    switch (header.imageType) {
    case 1:
    case 9:
        storage.kind = PixelKind::ColourMapped;
        break;
    case 2:
    case 10:
        storage.kind = PixelKind::TrueColour;
        break;
    case 3:
    case 11:
        storage.kind = PixelKind::Grey;
        break;
    default:
        ThrowUnreadable(name, type);
    }
    storage.runLength = header.imageType >= 9;
    storage.bytesPerPixel = BytesFor(header.pixelDepth);

    if (header.colourMapType > 1)
        ThrowUnreadable(name, "colour map type " + std::to_string(header.colourMapType));
    if (!DepthFits(storage.kind, header.pixelDepth))
        ThrowUnreadable(name, "a pixel depth of " + std::to_string(header.pixelDepth) + " bits in " + type);
    if (storage.kind == PixelKind::ColourMapped) {
        if (header.colourMapType != 1)
            ThrowUnreadable(name, "a colour-mapped image (" + type + ") without a colour map");
        if (!IsColourDepth(header.mapEntryBits))
            ThrowUnreadable(name, "colour map entries of " + std::to_string(header.mapEntryBits) + " bits");
    }
    if ((header.descriptor & InterleaveBits) != 0)
        ThrowUnreadable(name, "interleaved rows (image descriptor " + std::to_string(header.descriptor) + ")");
    return storage;
}

Offsets FindParts(const Header& header, const ReadableFile& file, const std::string& name)
{
    Offsets at;
    at.colourMap = static_cast<int64_t>(HeaderSize) + header.idLength;
    if (at.colourMap > file.Size())
        ThrowDamaged(name, "the image identification ends early");
    const int64_t mapBytes =
        header.colourMapType == 1 ? int64_t{header.mapLength} * BytesFor(header.mapEntryBits) : 0;
    at.pixels = at.colourMap + mapBytes;
    if (at.pixels > file.Size())
        ThrowDamaged(name, "the colour map ends early");
    return at;
}

// Checks that the file can hold the image's pixel data, before anything is
// allocated for it, and gives the size of the image in 5-5-5 words.
int32_t CheckPixelDataFits(const Header& header, const Storage& storage, const ReadableFile& file,
                           int64_t offset, const std::string& name)
{
    const int64_t pixels = int64_t{header.width} * header.height;
    const int64_t available = file.Size() - offset;
    const std::string size = std::to_string(header.width) + " x " + std::to_string(header.height);
    if (!storage.runLength && pixels * storage.bytesPerPixel > available)
        ThrowDamaged(name, "the pixel data ends early (" + size + " pixels need " +
                               std::to_string(pixels * storage.bytesPerPixel) + " bytes, " +
                               std::to_string(available) + " follow the header)");
    // The shortest packet, a packet header and one pixel value, stands for at most 128 pixels.
    if (storage.runLength && pixels > available / (1 + storage.bytesPerPixel) * MostPixelsPerPacket)
        ThrowDamaged(name, "the run-length pixel data ends early (" + std::to_string(available) +
                               " bytes cannot hold " + size + " pixels)");
    return Checked::ToInt32(pixels * 2, "The size of the image in " + name);
}

// Expands run-length packets into stored pixel values in file order. A packet
// may carry on past the end of a row; one that reaches past the last pixel is cut.
std::vector<uint8_t> ExpandRunLength(std::span<const uint8_t> packets, int64_t pixelCount, int bytesPerPixel,
                                     const std::string& name)
{
    const auto pixelBytes = static_cast<size_t>(bytesPerPixel);
    std::vector<uint8_t> stored(static_cast<size_t>(pixelCount) * pixelBytes);
    size_t in = 0;
    size_t out = 0;
    while (out < stored.size()) {
        if (in >= packets.size())
            ThrowDamaged(name, "the run-length pixel data ends early");
        const uint8_t packetHeader = packets[in++];
        const bool isRun = (packetHeader & RunPacket) != 0;
        const size_t count = std::min<size_t>((packetHeader & 0x7F) + 1u, (stored.size() - out) / pixelBytes);
        const size_t valueBytes = isRun ? pixelBytes : count * pixelBytes;
        if (packets.size() - in < valueBytes)
            ThrowDamaged(name, "the run-length pixel data ends early");
        const auto values = packets.subspan(in, valueBytes);
        if (isRun) {
            for (size_t i = 0; i < count; ++i)
                std::copy(values.begin(), values.end(), stored.begin() + static_cast<ptrdiff_t>(out + i * pixelBytes));
        } else {
            std::copy(values.begin(), values.end(), stored.begin() + static_cast<ptrdiff_t>(out));
        }
        in += valueBytes;
        out += count * pixelBytes;
    }
    return stored;
}

// The stored pixel values, one after another in file order.
std::vector<uint8_t> ReadStoredPixels(ReadableFile& file, const Header& header, const Storage& storage,
                                      int64_t offset, const std::string& name)
{
    const int64_t pixels = int64_t{header.width} * header.height;
    const int64_t available = file.Size() - offset;
    if (!storage.runLength) {
        std::vector<uint8_t> stored(static_cast<size_t>(pixels * storage.bytesPerPixel));
        file.ReadAt(offset, stored);
        return stored;
    }
    // Raw packets of one pixel each are the longest coding of an image.
    std::vector<uint8_t> packets(static_cast<size_t>(std::min(available, pixels * (1 + storage.bytesPerPixel))));
    file.ReadAt(offset, packets);
    return ExpandRunLength(packets, pixels, storage.bytesPerPixel, name);
}

uint16_t FromChannels(uint8_t blue, uint8_t green, uint8_t red)
{
    return static_cast<uint16_t>((red >> 3) << 10 | (green >> 3) << 5 | blue >> 3);
}

// A stored true-colour value as a 5-5-5 word: 15- and 16-bit words are kept
// as they are, 24- and 32-bit blue-green-red(-alpha) keep each channel's top 5 bits.
uint16_t ColourWord(const uint8_t* stored, int bytesPerPixel)
{
    if (bytesPerPixel == 2)
        return static_cast<uint16_t>(stored[0] | stored[1] << 8);
    return FromChannels(stored[0], stored[1], stored[2]);
}

std::vector<uint16_t> ReadColourMap(ReadableFile& file, const Header& header, int64_t offset)
{
    const int entryBytes = BytesFor(header.mapEntryBits);
    std::vector<uint8_t> entries(size_t{header.mapLength} * static_cast<size_t>(entryBytes));
    file.ReadAt(offset, entries);
    std::vector<uint16_t> colours;
    colours.reserve(header.mapLength);
    for (size_t at = 0; at < entries.size(); at += static_cast<size_t>(entryBytes))
        colours.push_back(ColourWord(&entries[at], entryBytes));
    return colours;
}

// Turns one stored pixel value into a 5-5-5 word.
class WordMaker {
public:
    WordMaker(const Storage& storage, std::vector<uint16_t> colours, uint16_t firstIndex, std::string name)
        : storage_(storage), colours_(std::move(colours)), firstIndex_(firstIndex), name_(std::move(name))
    {
    }

    uint16_t operator()(const uint8_t* stored) const
    {
        switch (storage_.kind) {
        case PixelKind::Grey:
            return FromChannels(stored[0], stored[0], stored[0]);
        case PixelKind::TrueColour:
            return ColourWord(stored, storage_.bytesPerPixel);
        case PixelKind::ColourMapped:
            break;
        }
        const int index = storage_.bytesPerPixel == 1 ? stored[0] : stored[0] | stored[1] << 8;
        const int entry = index - firstIndex_;
        if (entry < 0 || entry >= static_cast<int>(colours_.size()))
            ThrowDamaged(name_, "a pixel uses colour " + std::to_string(index) + ", which the colour map (" +
                                    std::to_string(colours_.size()) + " entries from index " +
                                    std::to_string(firstIndex_) + ") does not hold");
        return colours_[static_cast<size_t>(entry)];
    }

private:
    Storage storage_;
    std::vector<uint16_t> colours_;
    int firstIndex_;
    std::string name_;
};

// 16-bit true colour stored left to right (what an extraction writes): the
// stored values are already the words, only the rows may need turning over.
bool IsWordsLeftToRight(const Header& header, const Storage& storage)
{
    return storage.kind == PixelKind::TrueColour && storage.bytesPerPixel == 2 &&
           (header.descriptor & RightToLeft) == 0;
}

std::vector<uint8_t> TopRowFirstWords(std::vector<uint8_t> stored, const Header& header)
{
    if ((header.descriptor & TopRowFirst) != 0)
        return stored;
    const size_t rowBytes = size_t{header.width} * 2;
    std::vector<uint8_t> words(stored.size());
    for (size_t row = 0; row < header.height; ++row)
        std::copy_n(stored.begin() + static_cast<ptrdiff_t>(row * rowBytes), rowBytes,
                    words.end() - static_cast<ptrdiff_t>((row + 1) * rowBytes));
    return words;
}

// Converts the stored pixels, which run in the order the descriptor's origin
// bits give, into packed 5-5-5 words, top row first, each row left to right.
std::vector<uint8_t> TopLeftWords(std::span<const uint8_t> stored, const Header& header, const Storage& storage,
                                  const WordMaker& makeWord, int32_t byteCount)
{
    const int64_t width = header.width;
    const int64_t height = header.height;
    const bool bottomUp = (header.descriptor & TopRowFirst) == 0;
    const bool rightToLeft = (header.descriptor & RightToLeft) != 0;
    std::vector<uint8_t> words(static_cast<size_t>(byteCount));
    size_t next = 0;
    for (int64_t fileRow = 0; fileRow < height; ++fileRow) {
        const int64_t row = bottomUp ? height - 1 - fileRow : fileRow;
        for (int64_t fileColumn = 0; fileColumn < width; ++fileColumn) {
            const int64_t column = rightToLeft ? width - 1 - fileColumn : fileColumn;
            const uint16_t word = makeWord(&stored[next]);
            Bytes::PutInt16(words, static_cast<size_t>((row * width + column) * 2), static_cast<int16_t>(word));
            next += static_cast<size_t>(storage.bytesPerPixel);
        }
    }
    return words;
}

}  // namespace

namespace {

std::array<uint8_t, HeaderSize> TgaHeader(const std::filesystem::path& fileName, int32_t width, int32_t height)
{
    std::array<uint8_t, HeaderSize> header{};
    header[2] = UncompressedTrueColour;
    Bytes::PutInt16(header, 12, HeaderDimension(width, "width", fileName));
    Bytes::PutInt16(header, 14, HeaderDimension(height, "height", fileName));
    header[16] = WrittenPixelDepth;
    header[17] = TopRowFirst;
    return header;
}

// Builds the TGA file of the image and hands its pieces to `create`.
template <typename Create>
void WriteTgaPieces(const std::filesystem::path& fileName, const ImageBuffer& image, Create create)
{
    const auto header = TgaHeader(fileName, image.ImageWidth, image.ImageHeight);
    const std::array<std::span<const uint8_t>, 2> pieces{std::span<const uint8_t>(header),
                                                         std::span<const uint8_t>(image.ImageBytes)};
    create(std::span<const std::span<const uint8_t>>(pieces));
}

// Reads an opened TGA file as ReadTGA does.
void ReadTgaFile(ReadableFile& opened, ImageBuffer& image, TgaOrigin& origin)
{
    const auto file = std::make_unique<HeadReadFile>(opened);
    const std::string name = file->Path().string();
    const Header header = ReadHeader(*file, name);
    const Storage storage = CheckStorage(header, name);
    const Offsets at = FindParts(header, *file, name);
    // What an extraction writes for an image without pixels.
    if (header.width == 0 || header.height == 0) {
        MakeEmptyImage(image);
        origin.wordsKept = true;
        return;
    }
    const int32_t byteCount = CheckPixelDataFits(header, storage, *file, at.pixels, name);

    std::vector<uint16_t> colours;
    if (storage.kind == PixelKind::ColourMapped)
        colours = ReadColourMap(*file, header, at.colourMap);
    const WordMaker makeWord(storage, std::move(colours), header.mapFirstIndex, name);
    std::vector<uint8_t> stored = ReadStoredPixels(*file, header, storage, at.pixels, name);
    std::vector<uint8_t> words = IsWordsLeftToRight(header, storage)
                                     ? TopRowFirstWords(std::move(stored), header)
                                     : TopLeftWords(stored, header, storage, makeWord, byteCount);

    image.ImageWidth = header.width;
    image.ImageHeight = header.height;
    image.ImageBytes = std::move(words);
    const int colourBits = storage.kind == PixelKind::ColourMapped ? header.mapEntryBits : header.pixelDepth;
    origin.wordsKept = storage.kind != PixelKind::Grey && (colourBits == 15 || colourBits == 16);
}

}  // namespace

void WriteTGA(FileSystem& files, const std::filesystem::path& fileName, const ImageBuffer& image)
{
    WriteTgaPieces(fileName, image, [&](auto pieces) { files.CreateWithContents(fileName, pieces); });
}

bool TgaFileHolds(FileSystem& files, const std::filesystem::path& path, const ImageBuffer& image)
{
    // Compared a piece at a time through one buffer kept for the thread: a
    // new buffer of the file's size for each file would cost a page fault
    // per page, which for large images takes longer than the reading.
    constexpr size_t PieceBytes = size_t{256} << 10;
    thread_local std::vector<uint8_t> stored(PieceBytes);
    bool holds = false;
    WriteTgaPieces(path, image, [&](std::span<const std::span<const uint8_t>> pieces) {
        auto file = files.OpenForReading(path);
        int64_t size = 0;
        for (const auto& piece : pieces)
            size += static_cast<int64_t>(piece.size());
        if (file->Size() != size)
            return;
        int64_t offset = 0;
        for (std::span<const uint8_t> piece : pieces) {
            while (!piece.empty()) {
                const size_t length = std::min(piece.size(), PieceBytes);
                const std::span<uint8_t> read(stored.data(), length);
                file->ReadAt(offset, read);
                if (!std::equal(read.begin(), read.end(), piece.begin()))
                    return;
                offset += static_cast<int64_t>(length);
                piece = piece.subspan(length);
            }
        }
        holds = true;
    });
    return holds;
}

void ReadTGA(FileSystem& files, const std::filesystem::path& fileName, ImageBuffer& image)
{
    TgaOrigin origin;
    ReadTGA(files, fileName, image, origin);
}

void ReadTGA(FileSystem& files, const std::filesystem::path& fileName, ImageBuffer& image, TgaOrigin& origin)
{
    const auto file = files.OpenForReading(fileName);
    ReadTgaFile(*file, image, origin);
}

TgaImage DecodeTga(ReadableFile& file)
{
    TgaImage read;
    ReadTgaFile(file, read.image, read.origin);
    return read;
}

void RequireFitsTga(int32_t width, int32_t height, const std::string& what)
{
    constexpr int32_t largest = std::numeric_limits<int16_t>::max();
    if (width > largest || height > largest)
        throw Error(what + " (" + std::to_string(width) + " x " + std::to_string(height) +
                    ") is too large for a TGA file");
}

std::vector<uint8_t> EncodeTgaHeader(const std::filesystem::path& fileName, int32_t width, int32_t height)
{
    const auto header = TgaHeader(fileName, width, height);
    return {header.begin(), header.end()};
}

FilePieces EncodeTga(const std::filesystem::path& fileName, ImageBuffer image)
{
    FilePieces pieces;
    pieces.reserve(2);
    pieces.push_back(EncodeTgaHeader(fileName, image.ImageWidth, image.ImageHeight));
    pieces.push_back(std::move(image.ImageBytes));
    return pieces;
}

}  // namespace Brimwork
