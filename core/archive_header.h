#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace Brimwork {

class FileSystem;
class ReadableFile;
class WindowInterface;

// The 12 bytes that open gadget and screen files.
struct ArchiveHeader {
    static constexpr int32_t Size = 12;
    std::string Signature;  // 4 characters
    int32_t HeaderValue = 0;
    int32_t EntryCount = 0;
};

// Reads the header at offset 0. A file shorter than the header yields an
// empty signature, which matches none, and numbers from the bytes it has
// and zeros.
ArchiveHeader ReadArchiveHeader(ReadableFile& file);

std::vector<uint8_t> ArchiveHeaderBytes(const ArchiveHeader& header);

// Reads `count` records of `recordSize` bytes that follow the header
// directly, after checking that the table lies within the file.
std::vector<uint8_t> ReadEntryTable(ReadableFile& file, int32_t count, int32_t recordSize);

// The same table, each record turned into an entry by `decode`.
template <typename Decode>
auto ReadEntryTable(ReadableFile& file, int32_t count, int32_t recordSize, Decode decode)
{
    const std::vector<uint8_t> table = ReadEntryTable(file, count, recordSize);
    std::vector<decltype(decode(std::span<const uint8_t>()))> entries;
    for (size_t offset = 0; offset < table.size(); offset += static_cast<size_t>(recordSize))
        entries.push_back(decode(std::span<const uint8_t>(table).subspan(offset, static_cast<size_t>(recordSize))));
    return entries;
}

// The header of a gadget or screen file. A file that starts with
// `signature` but is shorter than the header is damaged; any other file
// without `signature` is an Error of `signatureMessage` under the title
// "Brimwork Error".
ArchiveHeader ReadArchiveHeaderOfKind(ReadableFile& file, const std::string& signature,
                                      const std::string& signatureMessage);

// The entry names of a gadget or screen file, in file order. A file that
// starts with `signature` but is shorter than the header is damaged; any
// other file without `signature` is an Error of `signatureMessage` under
// the title "Brimwork Error"; otherwise the names are those that
// `readNames` reads from the entry table, which is checked first.
std::vector<std::string> ReadArchiveNames(
    FileSystem& files, const std::filesystem::path& fileName, const std::string& signature,
    const std::string& signatureMessage,
    const std::function<std::vector<std::string>(ReadableFile&, int32_t count)>& readNames);

// What the modules' list procedures share: lists the file through
// `readNames` and replaces the window's list with the names. A refusal
// that carries a title of its own (a file of another kind) is shown as a
// message and leaves the list as it was; the call then returns false.
// Any other Error goes on to the caller, also before the list is touched.
bool ShowEntryNames(WindowInterface& window, const std::function<std::vector<std::string>()>& readNames);

}  // namespace Brimwork
