#include "io/files.h"

#include <algorithm>
#include <map>
#include <optional>
#include <unordered_set>

#include "core/error.h"
#include "io/file_work.h"
#include "core/names.h"

namespace Brimwork {

namespace fs = std::filesystem;

namespace {

// Each file created by its whole path, through the file system itself.
class FolderByPath final : public NewFilesFolder {
public:
    FolderByPath(FileSystem& files, fs::path folder) : files_(files), folder_(std::move(folder)) {}
    void CreateWithContents(const std::string& name, const WholeFileContents& contents) override
    {
        files_.CreateWithContents(folder_ / name, contents);
    }

private:
    FileSystem& files_;
    const fs::path folder_;
};

}  // namespace

void RequireWithin(const ReadableFile& file, int64_t offset, int64_t size)
{
    if (offset < 0 || size < 0)
        throw Error("Cannot read " + file.Path().string() + ": Invalid argument");
    if (offset > file.Size() || size > file.Size() - offset)
        throw Error("Cannot read " + file.Path().string() + ": the file ends before the data it should hold");
}

void WritableFile::AppendFrom(ReadableFile& from, int64_t offset, int64_t size)
{
    static constexpr int64_t BlockSize = int64_t{1} << 20;
    RequireWithin(from, offset, size);
    std::vector<uint8_t> block(static_cast<size_t>(std::min(size, BlockSize)));
    for (int64_t done = 0; done < size;) {
        const auto part = std::span(block).first(static_cast<size_t>(std::min<int64_t>(size - done, BlockSize)));
        from.ReadAt(offset + done, part);
        Write(part);
        done += static_cast<int64_t>(part.size());
    }
}

void FileSystem::CreateWithContents(const fs::path& path, const WholeFileContents& contents)
{
    auto file = CreateForWriting(path);
    WriteContents(*file, contents);
    file->Close();
}

void WriteContents(WritableFile& file, const WholeFileContents& contents)
{
    file.WriteGathered(contents.pieces);
    if (contents.copied.file != nullptr)
        file.AppendFrom(*contents.copied.file, contents.copied.offset, contents.copied.size);
}

std::unique_ptr<NewFilesFolder> FileSystem::OpenForNewFiles(const fs::path& folder)
{
    return std::make_unique<FolderByPath>(*this, folder);
}

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

namespace {

// Up to this many paths in one folder are looked up one by one; more are
// found in one listing of the folder.
constexpr size_t LookupsBeforeListing = 8;

fs::path FolderOf(const fs::path& path)
{
    return path.has_parent_path() ? path.parent_path() : fs::path(".");
}

}  // namespace

void RequireNothingInTheWay(FileSystem& files, const std::vector<fs::path>& paths)
{
    // The entries of each folder with many paths that are neither missing
    // nor regular files, by upper-cased name: only a path whose name
    // matches one of them, letter case ignored (as a file system that
    // ignores case would match it), is looked up.
    std::map<fs::path, size_t> perFolder;
    for (const auto& path : paths)
        ++perFolder[FolderOf(path)];
    std::map<fs::path, std::unordered_set<std::string>> suspects;
    for (const auto& [folder, count] : perFolder) {
        if (count <= LookupsBeforeListing)
            continue;
        auto& names = suspects[folder];
        for (const auto& entry : files.ListFolderWithTypes(folder))
            if (entry.type != EntryType::Regular && entry.type != EntryType::Missing)
                names.insert(ToUpper(entry.name));
    }
    for (const auto& path : paths) {
        const auto listed = suspects.find(FolderOf(path));
        if (listed != suspects.end() && !listed->second.contains(ToUpper(path.filename().string())))
            continue;
        const EntryType type = files.TypeOf(path);
        if (type != EntryType::Missing && type != EntryType::Regular)
            throw Error("Cannot write " + path.string() + ": a symbolic link or a folder stands in its place");
    }
}

std::vector<std::string> DeleteFiles(FileSystem& files, const std::vector<fs::path>& paths)
{
    std::vector<std::optional<std::string>> outcomes(paths.size());
    FileWork work(files.WorkerThreads(FileSystem::Work::Deleting));
    for (size_t i = 0; i < paths.size(); ++i)
        work.Add([&files, &path = paths[i], &outcome = outcomes[i]] {
            try {
                files.Remove(path);
            } catch (const Error& error) {
                outcome = error.what();
            }
        });
    work.Finish();
    std::vector<std::string> failures;
    for (auto& outcome : outcomes)
        if (outcome)
            failures.push_back(std::move(*outcome));
    return failures;
}

int FileWorkThreads(FileSystem::Work work, unsigned hardwareThreads)
{
    constexpr int MostThreads = 8;
    const int processors = static_cast<int>(std::clamp(hardwareThreads, 1u, unsigned{MostThreads}));
    switch (work) {
    case FileSystem::Work::Reading:
        return 1;
    case FileSystem::Work::Creating:
        return std::max(processors, 2);
    case FileSystem::Work::Deleting:
        return std::min(2 * processors, MostThreads);
    }
    return 0;
}

}  // namespace Brimwork
