#include "core/folder_index.h"

#include <algorithm>
#include <vector>

#include "core/error.h"
#include "io/files.h"
#include "core/names.h"

namespace Brimwork {

FolderIndex::FolderIndex(FileSystem& files, std::filesystem::path folder) : files_(files), folder_(std::move(folder))
{
    for (auto& entry : files_.ListFolderWithTypes(folder_)) {
        std::string upper = ToUpper(entry.name);
        types_.emplace(entry.name, entry.type);
        byUpperName_.emplace(std::move(upper), std::move(entry.name));
    }
}

std::vector<std::string> FolderIndex::NamesLike(const std::string& wanted) const
{
    const auto [first, last] = byUpperName_.equal_range(ToUpper(wanted));
    std::vector<std::string> matches;
    for (auto it = first; it != last; ++it)
        matches.push_back(it->second);
    std::sort(matches.begin(), matches.end());
    return matches;
}

std::optional<std::string> FolderIndex::Find(const std::string& wanted) const
{
    const std::vector<std::string> matches = NamesLike(wanted);
    if (std::find(matches.begin(), matches.end(), wanted) != matches.end())
        return wanted;
    if (matches.empty())
        return std::nullopt;
    if (matches.size() > 1) {
        std::string names;
        for (const auto& match : matches)
            names += (names.empty() ? "" : ", ") + match;
        throw Error("Cannot rebuild: several files in " + folder_.string() + " match " + wanted +
                    " without regard to letter case (" + names + "); keep one of them");
    }
    return matches.front();
}

std::filesystem::path FolderIndex::RequireTgaFile(const std::string& wanted, const std::string& forWhat) const
{
    const auto found = Find(wanted);
    if (!found)
        throw Error("Cannot rebuild: there is no TGA file " + (folder_ / wanted).string() + " for " + forWhat);
    const std::filesystem::path path = folder_ / *found;
    const auto type = TypeOf(*found);
    if (type == EntryType::Symlink)
        throw Error("Cannot read " + path.string() + ": it is a symbolic link, which is never followed");
    if (type != EntryType::Regular)
        throw Error("Cannot read " + path.string() + ": it is not a regular file");
    return path;
}

}  // namespace Brimwork
