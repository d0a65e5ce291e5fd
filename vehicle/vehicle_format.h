#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "vehicle/vehicle.h"

namespace Brimwork {
class ReadableFile;
struct ImageBuffer;
}

// The records of a vehicle file and their checked reading.
namespace AZP::Format {

inline constexpr int32_t CountSize = 4;
inline constexpr int32_t EntrySize = 264;
inline constexpr int32_t NameSize = 256;
inline constexpr int32_t RecordSize = 484;
inline constexpr int32_t ShadowHeaderSize = 20;
inline constexpr int32_t FrameHeaderSize = 12;

struct VehicleEntry {
    std::string Name;  // the text of the name field
    int32_t RecordOffset = 0;
    int32_t EntryValue = 0;
};

struct Slot {
    std::array<int32_t, 4> Hotspot{};
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t PixelOffset = 0;
};

struct VehicleSprite {
    std::array<Slot, SlotCount> slots;
};

// The entry count at offset 0.
int32_t ReadEntryCount(Brimwork::ReadableFile& file);

// The entry table of `count` entries as stored, 264 bytes each, after
// checking that it lies within the file.
std::vector<uint8_t> ReadEntryTable(Brimwork::ReadableFile& file, int32_t count);

// All `count` entries, after checking that the table lies within the file.
std::vector<VehicleEntry> ReadEntries(Brimwork::ReadableFile& file, int32_t count);

VehicleEntry ReadEntry(Brimwork::ReadableFile& file, int32_t entryIndex);
VehicleEntry DecodeEntry(std::span<const uint8_t> record);

// Whether the entry's record is tagged "IRPS". A record shorter than its
// 484 bytes at the end of the file is read as far as it goes.
bool IsShadowRecord(Brimwork::ReadableFile& file, const VehicleEntry& entry);

VehicleSprite ReadSprite(Brimwork::ReadableFile& file, const VehicleEntry& entry);

// The 484 bytes of a vehicle record as stored, and the slots they hold.
std::vector<uint8_t> ReadSpriteRecord(Brimwork::ReadableFile& file, const VehicleEntry& entry);
VehicleSprite DecodeSprite(std::span<const uint8_t> record);
// Writes one slot's hotspots, size and pixel offset into a vehicle record.
void PutSlot(std::span<uint8_t> record, int32_t slotIndex, const Slot& slot);

// Where a slot's pixels begin in the file: counted from the end of its record.
int64_t SlotPixelOffset(const VehicleEntry& entry, const Slot& slot);

// A slot's pixels must lie within the file; a slot of width or height 0
// has none.
void CheckSlot(Brimwork::ReadableFile& file, const VehicleEntry& entry, const Slot& slot, int32_t slotIndex);

// A slot's pixels, packed or in display layout; a slot without pixels is
// the empty image.
void LoadSlot(Brimwork::ImageBuffer& image, Brimwork::ReadableFile& file, const VehicleEntry& entry,
              const Slot& slot, int32_t slotIndex, bool display);

// The 20-byte header of a shadow record as stored.
std::vector<uint8_t> ReadShadowHeader(Brimwork::ReadableFile& file, const VehicleEntry& entry);
inline constexpr size_t FrameCountOffset = 10;

// FrameCount of the shadow record's header.
int16_t ReadFrameCount(Brimwork::ReadableFile& file, const VehicleEntry& entry);

// Reads frame `frameIndex` of the entry's shadow record whole into state,
// reaching it through the frame index: frames already passed are not read
// again. Every frame passed on the way is checked to lie within the file.
void ReadFrame(Brimwork::ReadableFile& file, const VehicleEntry& entry, int32_t frameIndex, State& state);

// A frame as stored: its 12-byte header, its row table and its run-length
// data, taken from state.
std::vector<uint8_t> FrameBytes(const State& state);

// Slot `slot`'s hotspot values joined by ", "; a frame's two likewise.
std::string HotspotLine(const Slot& slot);
std::string HotspotLine(const ShadowFrame& frame);

}  // namespace AZP::Format
