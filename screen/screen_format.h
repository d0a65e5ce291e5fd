#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace Brimwork {
class ReadableFile;
}

// The entry records of a screen file and their checked reading.
namespace PIX::Format {

// What a file without the signature is refused with.
inline constexpr const char* SignatureMessage = "Error: PICS file signature not found!";
inline constexpr const char* Signature = "PICS";
inline constexpr int32_t EntrySize = 48;
inline constexpr int32_t NameSize = 32;

struct ScreenEntry {
    std::string Name;  // the text of the name field
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t DataSize = 0;
    int32_t DataOffset = 0;
};

ScreenEntry DecodeEntry(std::span<const uint8_t> record);
std::vector<uint8_t> EncodeEntry(const ScreenEntry& entry);

// All `count` entries of the table, after checking it lies within the file.
std::vector<ScreenEntry> ReadEntries(Brimwork::ReadableFile& file, int32_t count);

// Entry entryIndex, read from its place in the table; its size is checked
// to be usable and its pixel data to lie within the file.
ScreenEntry ReadEntry(Brimwork::ReadableFile& file, int32_t entryIndex);

// The same checks on an entry read with the whole table.
void CheckImage(Brimwork::ReadableFile& file, const ScreenEntry& entry);

}  // namespace PIX::Format
