#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "core/context.h"
#include "core/extraction.h"
#include "io/files.h"

namespace Brimwork {
class WindowInterface;
}

// Vehicle files (*.azp): an entry count, a table of named entries, and for
// each entry either a vehicle record of 17 image slots or a shadow record
// of run-length coded black-and-white frames.
namespace AZP {

using Brimwork::ModuleContext;

inline constexpr int32_t SlotCount = 17;

// The 12-byte header of a shadow frame.
struct ShadowFrame {
    int16_t Width = 0;
    int16_t Height = 0;
    int16_t Hotspot[2] = {0, 0};
    int32_t DataSize = 0;
};

// Where the frames of the last shadow entry read begin, so that stepping
// to the next frame or extracting frame after frame reads each frame once.
// It holds for one container, record and state of the file; any change of
// the file's size, modification time or identity forgets it.
struct FrameIndex {
    std::filesystem::path file;
    Brimwork::FileStamp stamp;
    int64_t recordOffset = -1;
    std::vector<int64_t> frameStarts;  // frameStarts[f]: where frame f begins
};

// The module's own state: the row table and run-length data of the last
// shadow frame read, and the frame index.
struct State {
    ShadowFrame frame;
    std::vector<int16_t> RowOffsets;
    std::vector<uint8_t> ShadowData;
    FrameIndex frames;
};

// The names of the file's entries in file order. A damaged or unreadable
// file is an Error.
std::vector<std::string> EntryNames(Brimwork::FileSystem& files, const std::filesystem::path& fileName);

// Replaces the window's list with the entry names. A damaged or unreadable
// file is an Error raised before the list is touched.
bool ListEntries(ModuleContext& context, const std::filesystem::path& fileName);

// Loads slot or frame imageIndex of an entry of the chosen container in
// display layout; imageIndex comes back as 0 when it is out of range.
void LoadImage(ModuleContext& context, State& state, int32_t entryIndex, int32_t& imageIndex);

// How many images entry entryIndex of the container holds: 17 slots, or
// its frames (none when the count is below 0).
int32_t CountImages(Brimwork::FileSystem& files, const std::filesystem::path& container, int32_t entryIndex);

// Turns the frame in state (its row table and run-length data) into pixels:
// white where the runs say so, black elsewhere. pad asks for the display
// layout, otherwise the rows are packed. The beep code beeps through window.
void DecodeShadow(Brimwork::ImageBuffer& image, Brimwork::WindowInterface& window, const State& state, bool pad);

// "<entry name>_<nnn>": the name of a slot's or frame's TGA file without
// ".tga", the number with at least three digits.
std::string TgaBaseName(const std::string& entryName, int32_t imageIndex);

// Writes every slot and frame as "<name>_<nnn>.tga" into the working
// folder and the manifest "<container full path>.txt".
Brimwork::ExtractionResult ExtractAll(ModuleContext& context, State& state);

// Loads one slot or frame in packed layout, writes it to baseName + ".tga"
// in the working folder, and returns its manifest line of hotspot values.
std::string ExtractImage(ModuleContext& context, State& state, int32_t entryIndex, int32_t& imageIndex,
                         const std::string& baseName);

// Rounds a packed image to the two colours of a shadow in place: 0x7FFF
// stays white and 0x0000 black (bit 15 aside); any other word is white
// when its red, green and blue values add up to at least 47, else black.
// Returns how many pixels it rounded.
int64_t RoundToShadow(Brimwork::ImageBuffer& packed);

// Codes a packed black-and-white image into state's frame header, row
// table and run-length data, with one fixed encoding: a row white
// throughout is -1 in the table; other rows are their runs from column 0,
// white as 0 n and black as 245 n, split into pieces of at most 255, a
// closing white run written as 237. Hotspots are left 0. A frame the
// format cannot hold is an Error naming `fileName`.
void EncodeShadow(const Brimwork::ImageBuffer& packed, State& state, const std::string& fileName);

// Rebuilds the chosen container from "<its name>.txt", the TGA files
// beside it and the container itself, which supplies what the manifest
// does not carry; replaces it in one step and lists it.
void Rebuild(ModuleContext& context);

}  // namespace AZP
