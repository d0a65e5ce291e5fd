#include "gadget/gadget_format.h"

#include <algorithm>

#include "core/archive_header.h"
#include "core/bytes.h"
#include "core/error.h"
#include "io/files.h"
#include "image/image_buffer.h"

namespace GDG::Format {

using namespace Brimwork;

namespace {

// Reads `size` bytes at `offset` after checking they lie within the file.
std::vector<uint8_t> ReadRecord(ReadableFile& file, int64_t offset, int32_t size, const std::string& what)
{
    if (offset < 0 || offset > file.Size() - size)
        ThrowDamaged(file.Path().string(), what + " lies outside the file (offset " + std::to_string(offset) + ")");
    std::vector<uint8_t> record(static_cast<size_t>(size));
    file.ReadAt(offset, record);
    return record;
}

}  // namespace

GadgetEntry DecodeEntry(std::span<const uint8_t> record)
{
    GadgetEntry entry;
    entry.Name = TrimAtNul(Bytes::TextAt(record, 0, NameSize));
    entry.EntryValue = Bytes::Int32At(record, 32);
    entry.ImageCount = Bytes::Int32At(record, 36);
    entry.TableOffset = Bytes::Int32At(record, 40);
    return entry;
}

std::vector<uint8_t> EncodeEntry(const std::string& name, int32_t entryValue, int32_t imageCount,
                                 int32_t tableOffset)
{
    std::vector<uint8_t> record;
    Bytes::AppendText(record, NameSize, name);
    Bytes::AppendInt32(record, entryValue);
    Bytes::AppendInt32(record, imageCount);
    Bytes::AppendInt32(record, tableOffset);
    return record;
}

std::vector<uint8_t> EncodeImageHeader(const ImageHeader& header)
{
    std::vector<uint8_t> record;
    Bytes::AppendInt32(record, header.Width);
    Bytes::AppendInt32(record, header.Height);
    Bytes::AppendInt32(record, header.DataSize);
    Bytes::AppendInt32(record, header.DataOffset);
    return record;
}

std::vector<GadgetEntry> ReadEntries(ReadableFile& file, int32_t count)
{
    return ReadEntryTable(file, count, EntrySize, DecodeEntry);
}

GadgetEntry ReadEntry(ReadableFile& file, int32_t entryIndex)
{
    const int64_t offset = ArchiveHeader::Size + int64_t{EntrySize} * entryIndex;
    return DecodeEntry(ReadRecord(file, offset, EntrySize, "entry " + std::to_string(entryIndex)));
}

namespace {

std::string ImageName(const GadgetEntry& entry, int32_t imageIndex)
{
    return "image " + std::to_string(imageIndex) + " of entry \"" + entry.Name + "\"";
}

int64_t ImageHeaderOffset(const GadgetEntry& entry, int32_t imageIndex)
{
    return int64_t{entry.TableOffset} + int64_t{ImageHeaderSize} * imageIndex;
}

// Decodes an image header and checks that its size is usable and its pixel
// data lies within the file.
ImageHeader DecodeImageHeader(const ReadableFile& file, std::span<const uint8_t> record, const std::string& what)
{
    ImageHeader header;
    header.Width = Bytes::Int32At(record, 0);
    header.Height = Bytes::Int32At(record, 4);
    header.DataSize = Bytes::Int32At(record, 8);
    header.DataOffset = Bytes::Int32At(record, 12);
    if (header.Width < 0 || header.Height < 0)
        ThrowDamaged(file.Path().string(), what + " has a negative size (" + std::to_string(header.Width) + " x " +
                                               std::to_string(header.Height) + ")");
    const int64_t pixelBytes = int64_t{header.Width} * header.Height * 2;
    if (header.DataOffset < 0 || pixelBytes > file.Size() - header.DataOffset)
        ThrowDamaged(file.Path().string(), "the pixels of " + what + " (" + std::to_string(header.Width) + " x " +
                                               std::to_string(header.Height) + " at offset " +
                                               std::to_string(header.DataOffset) +
                                               ") reach past the end of the file");
    return header;
}

void ThrowHeaderOutside(const ReadableFile& file, const GadgetEntry& entry, int32_t imageIndex)
{
    ThrowDamaged(file.Path().string(), "the header of " + ImageName(entry, imageIndex) +
                                           " lies outside the file (offset " +
                                           std::to_string(ImageHeaderOffset(entry, imageIndex)) + ")");
}

}  // namespace

ImageHeader ReadImageHeader(ReadableFile& file, const GadgetEntry& entry, int32_t imageIndex)
{
    const std::string what = ImageName(entry, imageIndex);
    const auto record = ReadRecord(file, ImageHeaderOffset(entry, imageIndex), ImageHeaderSize, "the header of " + what);
    return DecodeImageHeader(file, record, what);
}

std::vector<ImageHeader> ReadImageHeaders(ReadableFile& file, const GadgetEntry& entry)
{
    if (entry.ImageCount <= 0)
        return {};
    // The headers that lie within the file are read in one call; the
    // first one that does not is refused in its turn, as ReadImageHeader
    // would refuse it.
    const int64_t start = entry.TableOffset;
    int64_t within = 0;
    if (start >= 0 && start <= file.Size())
        within = std::min<int64_t>(entry.ImageCount, (file.Size() - start) / ImageHeaderSize);
    std::vector<uint8_t> table(static_cast<size_t>(within * ImageHeaderSize));
    if (within > 0)
        file.ReadAt(start, table);
    std::vector<ImageHeader> headers;
    headers.reserve(static_cast<size_t>(within));
    for (int32_t k = 0; k < entry.ImageCount; ++k) {
        if (k >= within)
            ThrowHeaderOutside(file, entry, k);
        const auto record = std::span<const uint8_t>(table).subspan(static_cast<size_t>(k) * ImageHeaderSize,
                                                                    ImageHeaderSize);
        headers.push_back(DecodeImageHeader(file, record, ImageName(entry, k)));
    }
    return headers;
}

}  // namespace GDG::Format
