#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Brimwork {

class ReadableFile;

// The 12 bytes that open gadget and screen files.
struct ArchiveHeader {
    static constexpr int32_t Size = 12;
    std::string Signature;  // 4 characters
    int32_t HeaderValue = 0;
    int32_t EntryCount = 0;
};

// Reads the header at offset 0. A file shorter than the header yields the
// bytes it has and zeros, so that its signature does not match; the caller
// refuses it with its signature message.
ArchiveHeader ReadArchiveHeader(ReadableFile& file);

std::vector<uint8_t> ArchiveHeaderBytes(const ArchiveHeader& header);

// Reads `count` records of `recordSize` bytes that follow the header
// directly, after checking that the table lies within the file.
std::vector<uint8_t> ReadEntryTable(ReadableFile& file, int32_t count, int32_t recordSize);

}  // namespace Brimwork
