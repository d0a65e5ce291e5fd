#include "screen/screen_format.h"

#include "core/archive_header.h"
#include "core/bytes.h"
#include "core/error.h"
#include "io/files.h"
#include "image/image_buffer.h"

namespace PIX::Format {

using namespace Brimwork;

ScreenEntry DecodeEntry(std::span<const uint8_t> record)
{
    ScreenEntry entry;
    entry.Name = TrimAtNul(Bytes::TextAt(record, 0, NameSize));
    entry.Width = Bytes::Int32At(record, 32);
    entry.Height = Bytes::Int32At(record, 36);
    entry.DataSize = Bytes::Int32At(record, 40);
    entry.DataOffset = Bytes::Int32At(record, 44);
    return entry;
}

std::vector<uint8_t> EncodeEntry(const ScreenEntry& entry)
{
    std::vector<uint8_t> record;
    Bytes::AppendText(record, NameSize, entry.Name);
    Bytes::AppendInt32(record, entry.Width);
    Bytes::AppendInt32(record, entry.Height);
    Bytes::AppendInt32(record, entry.DataSize);
    Bytes::AppendInt32(record, entry.DataOffset);
    return record;
}

std::vector<ScreenEntry> ReadEntries(ReadableFile& file, int32_t count)
{
    return ReadEntryTable(file, count, EntrySize, DecodeEntry);
}

void CheckImage(ReadableFile& file, const ScreenEntry& entry)
{
    const std::string size = std::to_string(entry.Width) + " x " + std::to_string(entry.Height);
    if (entry.Width < 0 || entry.Height < 0)
        ThrowDamaged(file.Path().string(), "the image of entry \"" + entry.Name + "\" has a negative size (" + size + ")");
    const int64_t pixelBytes = int64_t{entry.Width} * entry.Height * 2;
    if (entry.DataOffset < 0 || pixelBytes > file.Size() - entry.DataOffset)
        ThrowDamaged(file.Path().string(), "the pixels of entry \"" + entry.Name + "\" (" + size + " at offset " +
                                               std::to_string(entry.DataOffset) + ") reach past the end of the file");
}

ScreenEntry ReadEntry(ReadableFile& file, int32_t entryIndex)
{
    const int64_t offset = ArchiveHeader::Size + int64_t{EntrySize} * entryIndex;
    if (entryIndex < 0 || offset > file.Size() - EntrySize)
        ThrowDamaged(file.Path().string(), "entry " + std::to_string(entryIndex) + " lies outside the file");
    std::vector<uint8_t> record(EntrySize);
    file.ReadAt(offset, record);
    ScreenEntry entry = DecodeEntry(record);
    CheckImage(file, entry);
    return entry;
}

}  // namespace PIX::Format
