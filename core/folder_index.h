#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace Brimwork {

class FileSystem;

// The names of the working folder, listed once and indexed by their
// upper-cased form, so that each lookup that ignores letter case is one
// search rather than a pass over the folder.
class FolderIndex {
public:
    FolderIndex(FileSystem& files, std::filesystem::path folder);

    // The name of the file called `wanted`: that exact name when it is
    // there, else the one name that matches it without regard to letter
    // case. None when nothing matches; an Error when several names match
    // and none exactly, since which one was meant cannot be told.
    std::optional<std::string> Find(const std::string& wanted) const;

    // The same for a TGA file the rebuild must read: its absence is an Error
    // naming `forWhat`, and so is a symbolic link or anything but a
    // regular file in its place.
    std::filesystem::path RequireTgaFile(const std::string& wanted, const std::string& forWhat) const;

    const std::filesystem::path& Folder() const { return folder_; }

private:
    FileSystem& files_;
    std::filesystem::path folder_;
    std::multimap<std::string, std::string> byUpperName_;
};

}  // namespace Brimwork
