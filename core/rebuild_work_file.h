#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace Brimwork {

class FileSystem;
class WritableFile;

// "REBUILD.TMP" in the working folder, which a rebuild writes and then
// puts in place of the container in one step. Until Commit succeeds the
// container is untouched; a work file that is not committed is removed
// when this object goes, so a failed rebuild leaves nothing behind.
class RebuildWorkFile {
public:
    static constexpr const char* Name = "REBUILD.TMP";

    // Removes a leftover work file and creates a new one.
    RebuildWorkFile(FileSystem& files, const std::filesystem::path& folder);
    ~RebuildWorkFile();
    RebuildWorkFile(const RebuildWorkFile&) = delete;
    RebuildWorkFile& operator=(const RebuildWorkFile&) = delete;

    WritableFile& File() { return *file_; }

    // Flushes the work file to disk, closes it and renames it over
    // `container`, replacing an existing file in one step, then flushes the
    // folder. When only that last step fails, the Error says that the
    // rebuild succeeded.
    void Commit(const std::filesystem::path& container);

private:
    FileSystem& files_;
    std::filesystem::path folder_;
    std::filesystem::path path_;
    std::unique_ptr<WritableFile> file_;
    bool committed_ = false;
};

// Removes a stale file before a new one of that name is written; a symbolic
// link or a folder in its place is an Error.
void RemoveIfPresent(FileSystem& files, const std::filesystem::path& path);

// Deletes each file; returns the messages of those that could not be
// deleted, so that the caller can report them after its success.
std::vector<std::string> DeleteFiles(FileSystem& files, const std::vector<std::filesystem::path>& paths);

}  // namespace Brimwork
