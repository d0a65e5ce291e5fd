#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/archive_header.h"

namespace Brimwork {
class ReadableFile;
}

// The records of a gadget file and their checked reading.
namespace GDG::Format {

// What a file without the signature is refused with.
inline constexpr const char* SignatureMessage = "Error: Gadget file signature not found!";
inline constexpr const char* Signature = "GADG";
inline constexpr int32_t EntrySize = 44;
inline constexpr int32_t NameSize = 32;
inline constexpr int32_t ImageHeaderSize = 16;

struct GadgetEntry {
    std::string Name;  // the text of the name field
    int32_t EntryValue = 0;
    int32_t ImageCount = 0;
    int32_t TableOffset = 0;
};

struct ImageHeader {
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t DataSize = 0;
    int32_t DataOffset = 0;
};

GadgetEntry DecodeEntry(std::span<const uint8_t> record);
std::vector<uint8_t> EncodeEntry(const std::string& name, int32_t entryValue, int32_t imageCount,
                                 int32_t tableOffset);
std::vector<uint8_t> EncodeImageHeader(const ImageHeader& header);

// All `count` entries of the table, after checking it lies within the file.
std::vector<GadgetEntry> ReadEntries(Brimwork::ReadableFile& file, int32_t count);

// Entry entryIndex, read from its place in the table.
GadgetEntry ReadEntry(Brimwork::ReadableFile& file, int32_t entryIndex);

// Image header imageIndex of the entry; its pixel data is checked to lie
// within the file and its size to be usable.
ImageHeader ReadImageHeader(Brimwork::ReadableFile& file, const GadgetEntry& entry, int32_t imageIndex);

// All of the entry's image headers, each checked as ReadImageHeader checks
// it, the table read in one call.
std::vector<ImageHeader> ReadImageHeaders(Brimwork::ReadableFile& file, const GadgetEntry& entry);

}  // namespace GDG::Format
