#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "vehicle/vehicle.h"

namespace Brimwork {
class ReadableFile;
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

// All `count` entries, after checking that the table lies within the file.
std::vector<VehicleEntry> ReadEntries(Brimwork::ReadableFile& file, int32_t count);

VehicleEntry ReadEntry(Brimwork::ReadableFile& file, int32_t entryIndex);

// Whether the entry's record is tagged "IRPS". A record shorter than its
// 484 bytes at the end of the file is read as far as it goes.
bool IsShadowRecord(Brimwork::ReadableFile& file, const VehicleEntry& entry);

VehicleSprite ReadSprite(Brimwork::ReadableFile& file, const VehicleEntry& entry);

// FrameCount of the shadow record's header.
int16_t ReadFrameCount(Brimwork::ReadableFile& file, const VehicleEntry& entry);

// Reads frame `frameIndex` of the entry's shadow record whole into state,
// reaching it through the frame index: frames already passed are not read
// again. Every frame passed on the way is checked to lie within the file.
void ReadFrame(Brimwork::ReadableFile& file, const VehicleEntry& entry, int32_t frameIndex, State& state);

// Slot `slot`'s hotspot values joined by ", "; a frame's two likewise.
std::string HotspotLine(const Slot& slot);
std::string HotspotLine(const ShadowFrame& frame);

}  // namespace AZP::Format
