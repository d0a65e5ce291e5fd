#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace Brimwork {

class Document;
class FileSystem;

// Refuses, in plain words naming it as given, a FILE that is missing or a
// folder, before anything tries to read it.
void RequireContainerFile(FileSystem& files, const std::filesystem::path& container, const std::string& asGiven);

// The position of the entry that ENTRY chooses: "#K" (K decimal digits) is
// the entry at position K of the list, whatever the names; anything else is
// a name, matched byte for byte. A name that no entry has, or that several
// share (the message lists their "#K" forms), is an Error naming FILE as
// given.
size_t ChosenEntry(const Document& document, std::string_view entry, const std::string& fileAsGiven);

// IMAGE as the command line gives it: decimal digits only. Digits too many
// for a size_t give its largest value, which no entry reaches.
std::optional<size_t> ImageNumber(std::string_view text);

}  // namespace Brimwork
