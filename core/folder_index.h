#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "io/files.h"

namespace Brimwork {


// The names of the working folder, listed once with their types and
// indexed by their upper-cased form, so that each lookup that ignores
// letter case is one search rather than a pass over the folder, and no file
// is looked up again.
class FolderIndex {
public:
    FolderIndex(FileSystem& files, std::filesystem::path folder);

    // The name of the file called `wanted`: that exact name when it is
    // there, else the one name that matches it without regard to letter
    // case. None when nothing matches; an Error when several names match
    // and none exactly, since which one was meant cannot be told.
    std::optional<std::string> Find(const std::string& wanted) const;

    // Every name there equal to `wanted` without regard to letter case, in
    // name order.
    std::vector<std::string> NamesLike(const std::string& wanted) const;

    // What the listing said the entry of that name is.
    EntryType TypeOf(const std::string& name) const { return types_.at(name); }

    // The same for a TGA file the rebuild must read: its absence is an Error
    // naming `forWhat`, and so is a symbolic link or anything but a
    // regular file in its place.
    std::filesystem::path RequireTgaFile(const std::string& wanted, const std::string& forWhat) const;

    const std::filesystem::path& Folder() const { return folder_; }

private:
    FileSystem& files_;
    std::filesystem::path folder_;
    std::multimap<std::string, std::string> byUpperName_;
    std::unordered_map<std::string, EntryType> types_;  // from the listing, by name
};

}  // namespace Brimwork
