#include "core/files.h"

#include "core/error.h"

namespace Brimwork {

namespace fs = std::filesystem;

std::string ReadWholeFile(FileSystem& files, const fs::path& path, int64_t maxBytes)
{
    auto file = files.OpenForReading(path);
    if (file->Size() > maxBytes)
        throw Error("Cannot read " + path.string() + ": the file is too large (" + std::to_string(file->Size()) +
                    " bytes)");
    std::string content(static_cast<size_t>(file->Size()), '\0');
    file->ReadAt(0, std::span(reinterpret_cast<uint8_t*>(content.data()), content.size()));
    return content;
}

void WriteWholeFile(FileSystem& files, const fs::path& path, std::string_view content)
{
    // Written under a second name and renamed into place, so that neither a
    // failed write nor a killed process leaves a short file under the real
    // name, where it would pass for a whole one.
    const fs::path partial = path.string() + ".partial";
    auto file = files.CreateForWriting(partial);
    try {
        file->Write(content);
        file->Close();
        files.Rename(partial, path);
    } catch (const Error& failure) {
        file.reset();
        try {
            files.Remove(partial);
        } catch (const Error& removal) {
            throw Error(std::string(failure.what()) + "\n" + removal.what());
        }
        throw;
    }
}

void RemoveIfPresent(FileSystem& files, const fs::path& path)
{
    switch (files.TypeOf(path)) {
    case EntryType::Missing:
        return;
    case EntryType::Regular:
        files.Remove(path);
        return;
    case EntryType::Symlink:
        throw Error("Cannot replace " + path.string() + ": it is a symbolic link, which is never followed");
    default:
        throw Error("Cannot replace " + path.string() + ": it is not a regular file");
    }
}

void RequireNothingInTheWay(FileSystem& files, const std::vector<fs::path>& paths)
{
    for (const auto& path : paths) {
        const EntryType type = files.TypeOf(path);
        if (type != EntryType::Missing && type != EntryType::Regular)
            throw Error("Cannot write " + path.string() + ": a symbolic link or a folder stands in its place");
    }
}

std::vector<std::string> DeleteFiles(FileSystem& files, const std::vector<fs::path>& paths)
{
    std::vector<std::string> failures;
    for (const auto& path : paths) {
        try {
            files.Remove(path);
        } catch (const Error& error) {
            failures.push_back(error.what());
        }
    }
    return failures;
}

}  // namespace Brimwork
