#include "vehicle/vehicle_format.h"

#include <optional>
#include <utility>

#include "core/bytes.h"
#include "core/error.h"
#include "io/files.h"
#include "image/image_buffer.h"

namespace AZP::Format {

using namespace Brimwork;

namespace {

// Reads `size` bytes at `offset` after checking they lie within the file.
std::vector<uint8_t> ReadRecord(ReadableFile& file, int64_t offset, int64_t size, const std::string& what)
{
    if (offset < 0 || size < 0 || offset > file.Size() - size)
        ThrowDamaged(file.Path().string(), what + " lies outside the file (offset " + std::to_string(offset) + ")");
    std::vector<uint8_t> record(static_cast<size_t>(size));
    file.ReadAt(offset, record);
    return record;
}

ShadowFrame DecodeFrame(std::span<const uint8_t> header)
{
    ShadowFrame frame;
    frame.Width = Bytes::Int16At(header, 0);
    frame.Height = Bytes::Int16At(header, 2);
    frame.Hotspot[0] = Bytes::Int16At(header, 4);
    frame.Hotspot[1] = Bytes::Int16At(header, 6);
    frame.DataSize = Bytes::Int32At(header, 8);
    return frame;
}

std::string FrameName(const VehicleEntry& entry, int32_t frameIndex)
{
    return "frame " + std::to_string(frameIndex) + " of entry \"" + entry.Name + "\"";
}

// The header of the frame at `start`, checked: a usable size, a row table
// that fits its data, and the whole frame within the file.
void CheckFrameHeader(const ReadableFile& file, const ShadowFrame& frame, const std::string& what, int64_t start)
{
    const std::string name = file.Path().string();
    if (frame.Width < 0 || frame.Height < 0)
        ThrowDamaged(name, what + " has a negative size (" + std::to_string(frame.Width) + " x " +
                               std::to_string(frame.Height) + ")");
    if (frame.DataSize < 2 * frame.Height)
        ThrowDamaged(name, what + " holds " + std::to_string(frame.DataSize) + " bytes, fewer than its table of " +
                               std::to_string(frame.Height) + " rows needs");
    if (frame.DataSize > file.Size() - start - FrameHeaderSize)
        ThrowDamaged(name, what + " reaches past the end of the file");
}

ShadowFrame ReadFrameHeader(ReadableFile& file, const VehicleEntry& entry, int32_t frameIndex, int64_t start)
{
    const std::string what = FrameName(entry, frameIndex);
    const ShadowFrame frame = DecodeFrame(ReadRecord(file, start, FrameHeaderSize, what));
    CheckFrameHeader(file, frame, what, start);
    return frame;
}

// A frame whose end the index already knows is read whole in one call,
// its header checked as ReadFrameHeader checks it; otherwise, or when the
// header disagrees with the index, nothing is returned.
std::optional<std::pair<ShadowFrame, std::vector<uint8_t>>> ReadIndexedFrame(ReadableFile& file,
                                                                             const VehicleEntry& entry,
                                                                             int32_t frameIndex,
                                                                             const FrameIndex& index)
{
    if (index.frameStarts.size() <= static_cast<size_t>(frameIndex) + 1)
        return std::nullopt;
    const int64_t start = index.frameStarts[static_cast<size_t>(frameIndex)];
    const int64_t end = index.frameStarts[static_cast<size_t>(frameIndex) + 1];
    if (start < 0 || end - start < FrameHeaderSize || end > file.Size())
        return std::nullopt;
    auto bytes = ReadRecord(file, start, end - start, FrameName(entry, frameIndex));
    const ShadowFrame frame = DecodeFrame(std::span(bytes).first(FrameHeaderSize));
    CheckFrameHeader(file, frame, FrameName(entry, frameIndex), start);
    if (frame.DataSize != end - start - FrameHeaderSize)
        return std::nullopt;
    bytes.erase(bytes.begin(), bytes.begin() + FrameHeaderSize);
    return std::pair{frame, std::move(bytes)};
}

bool IndexHolds(const FrameIndex& index, const ReadableFile& file, const VehicleEntry& entry)
{
    return index.file == file.Path() && index.stamp == file.Stamp() && index.recordOffset == entry.RecordOffset &&
           !index.frameStarts.empty();
}

}  // namespace

int64_t SlotPixelOffset(const VehicleEntry& entry, const Slot& slot)
{
    return int64_t{entry.RecordOffset} + RecordSize + slot.PixelOffset;
}

VehicleEntry DecodeEntry(std::span<const uint8_t> record)
{
    return VehicleEntry{TrimAtNul(Bytes::TextAt(record, 0, NameSize)), Bytes::Int32At(record, 256),
                        Bytes::Int32At(record, 260)};
}

int32_t ReadEntryCount(ReadableFile& file)
{
    const int64_t size = file.Size();
    if (size == 0)
        throw Error(file.Path().string() + " is empty: a vehicle file starts with its entry count");
    if (size < CountSize)
        ThrowDamaged(file.Path().string(), "it has " + std::to_string(size) + (size == 1 ? " byte" : " bytes") +
                                               ", too short to hold its entry count");
    return Bytes::Int32At(ReadRecord(file, 0, CountSize, "the entry count"), 0);
}

std::vector<uint8_t> ReadEntryTable(ReadableFile& file, int32_t count)
{
    if (count <= 0)
        return {};
    const int64_t bytes = int64_t{count} * EntrySize;
    if (bytes > file.Size() - CountSize)
        ThrowDamaged(file.Path().string(),
                     "its table of " + std::to_string(count) + " entries reaches past the end of the file");
    return ReadRecord(file, CountSize, bytes, "the entry table");
}

std::vector<VehicleEntry> ReadEntries(ReadableFile& file, int32_t count)
{
    const auto table = ReadEntryTable(file, count);
    std::vector<VehicleEntry> entries;
    for (size_t offset = 0; offset < table.size(); offset += EntrySize)
        entries.push_back(DecodeEntry(std::span(table).subspan(offset, EntrySize)));
    return entries;
}

VehicleEntry ReadEntry(ReadableFile& file, int32_t entryIndex)
{
    const int64_t offset = CountSize + int64_t{EntrySize} * entryIndex;
    return DecodeEntry(ReadRecord(file, offset, EntrySize, "entry " + std::to_string(entryIndex)));
}

bool IsShadowRecord(ReadableFile& file, const VehicleEntry& entry)
{
    const int64_t offset = entry.RecordOffset;
    const int64_t available = std::min<int64_t>(4, file.Size() - offset);
    const auto tag = ReadRecord(file, offset, std::max<int64_t>(available, 0),
                                "the record of entry \"" + entry.Name + "\"");
    return Bytes::TextAt(tag, 0, tag.size()) == "IRPS";
}

std::vector<uint8_t> ReadSpriteRecord(ReadableFile& file, const VehicleEntry& entry)
{
    return ReadRecord(file, entry.RecordOffset, RecordSize, "the record of entry \"" + entry.Name + "\"");
}

VehicleSprite DecodeSprite(std::span<const uint8_t> record)
{
    VehicleSprite sprite;
    for (size_t j = 0; j < sprite.slots.size(); ++j) {
        Slot& slot = sprite.slots[j];
        for (size_t k = 0; k < 4; ++k)
            slot.Hotspot[k] = Bytes::Int32At(record, 8 + 16 * j + 4 * k);
        slot.Width = Bytes::Int32At(record, 280 + 8 * j);
        slot.Height = Bytes::Int32At(record, 284 + 8 * j);
        slot.PixelOffset = Bytes::Int32At(record, 416 + 4 * j);
    }
    return sprite;
}

VehicleSprite ReadSprite(ReadableFile& file, const VehicleEntry& entry)
{
    return DecodeSprite(ReadSpriteRecord(file, entry));
}

void PutSlot(std::span<uint8_t> record, int32_t slotIndex, const Slot& slot)
{
    const auto j = static_cast<size_t>(slotIndex);
    for (size_t k = 0; k < 4; ++k)
        Bytes::PutInt32(record, 8 + 16 * j + 4 * k, slot.Hotspot[k]);
    Bytes::PutInt32(record, 280 + 8 * j, slot.Width);
    Bytes::PutInt32(record, 284 + 8 * j, slot.Height);
    Bytes::PutInt32(record, 416 + 4 * j, slot.PixelOffset);
}

void CheckSlot(ReadableFile& file, const VehicleEntry& entry, const Slot& slot, int32_t slotIndex)
{
    const std::string what = "slot " + std::to_string(slotIndex) + " of entry \"" + entry.Name + "\"";
    const std::string size = std::to_string(slot.Width) + " x " + std::to_string(slot.Height);
    if (slot.Width < 0 || slot.Height < 0)
        ThrowDamaged(file.Path().string(), what + " has a negative size (" + size + ")");
    if (slot.Width == 0 || slot.Height == 0)
        return;
    const int64_t offset = SlotPixelOffset(entry, slot);
    if (offset < 0 || int64_t{slot.Width} * slot.Height * 2 > file.Size() - offset)
        ThrowDamaged(file.Path().string(), "the pixels of " + what + " (" + size + ") reach past the end of the file");
}

void LoadSlot(ImageBuffer& image, ReadableFile& file, const VehicleEntry& entry, const Slot& slot, int32_t slotIndex,
              bool display)
{
    CheckSlot(file, entry, slot, slotIndex);
    if (slot.Width == 0 || slot.Height == 0) {
        MakeEmptyImage(image);
        return;
    }
    ImageBuffer loaded{slot.Width, slot.Height, {}};
    if (display)
        ReadPadded(loaded, file, SlotPixelOffset(entry, slot));
    else
        ReadPacked(loaded, file, SlotPixelOffset(entry, slot));
    image = std::move(loaded);
}

std::vector<uint8_t> ReadShadowHeader(ReadableFile& file, const VehicleEntry& entry)
{
    return ReadRecord(file, entry.RecordOffset, ShadowHeaderSize,
                      "the shadow header of entry \"" + entry.Name + "\"");
}

int16_t ReadFrameCount(ReadableFile& file, const VehicleEntry& entry)
{
    return Bytes::Int16At(ReadShadowHeader(file, entry), FrameCountOffset);
}

void ReadFrame(ReadableFile& file, const VehicleEntry& entry, int32_t frameIndex, State& state)
{
    FrameIndex& index = state.frames;
    if (!IndexHolds(index, file, entry))
        index = FrameIndex{file.Path(), file.Stamp(), entry.RecordOffset,
                           {int64_t{entry.RecordOffset} + ShadowHeaderSize}};
    while (index.frameStarts.size() <= static_cast<size_t>(frameIndex)) {
        const auto passed = static_cast<int32_t>(index.frameStarts.size() - 1);
        const int64_t start = index.frameStarts.back();
        const ShadowFrame frame = ReadFrameHeader(file, entry, passed, start);
        index.frameStarts.push_back(start + FrameHeaderSize + frame.DataSize);
    }
    const int64_t start = index.frameStarts[static_cast<size_t>(frameIndex)];
    ShadowFrame frame;
    std::vector<uint8_t> body;
    if (auto whole = ReadIndexedFrame(file, entry, frameIndex, index)) {
        frame = whole->first;
        body = std::move(whole->second);
    } else {
        frame = ReadFrameHeader(file, entry, frameIndex, start);
        body = ReadRecord(file, start + FrameHeaderSize, frame.DataSize, FrameName(entry, frameIndex));
    }
    state.frame = frame;
    state.RowOffsets.resize(static_cast<size_t>(frame.Height));
    for (size_t r = 0; r < state.RowOffsets.size(); ++r)
        state.RowOffsets[r] = Bytes::Int16At(body, 2 * r);
    state.ShadowData.assign(body.begin() + 2 * frame.Height, body.end());
    if (index.frameStarts.size() == static_cast<size_t>(frameIndex) + 1)
        index.frameStarts.push_back(start + FrameHeaderSize + frame.DataSize);
}

std::vector<uint8_t> FrameBytes(const State& state)
{
    std::vector<uint8_t> bytes;
    bytes.reserve(FrameHeaderSize + 2 * state.RowOffsets.size() + state.ShadowData.size());
    Bytes::AppendInt16(bytes, state.frame.Width);
    Bytes::AppendInt16(bytes, state.frame.Height);
    Bytes::AppendInt16(bytes, state.frame.Hotspot[0]);
    Bytes::AppendInt16(bytes, state.frame.Hotspot[1]);
    Bytes::AppendInt32(bytes, state.frame.DataSize);
    for (int16_t offset : state.RowOffsets)
        Bytes::AppendInt16(bytes, offset);
    bytes.insert(bytes.end(), state.ShadowData.begin(), state.ShadowData.end());
    return bytes;
}

std::string HotspotLine(const Slot& slot)
{
    return std::to_string(slot.Hotspot[0]) + ", " + std::to_string(slot.Hotspot[1]) + ", " +
           std::to_string(slot.Hotspot[2]) + ", " + std::to_string(slot.Hotspot[3]);
}

std::string HotspotLine(const ShadowFrame& frame)
{
    return std::to_string(frame.Hotspot[0]) + ", " + std::to_string(frame.Hotspot[1]);
}

}  // namespace AZP::Format
