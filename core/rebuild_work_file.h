#pragma once

#include <filesystem>
#include <memory>
#include <string>

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

    // Removes a leftover work file and creates a new one. A document's save
    // names its own work file and its task, which messages name.
    RebuildWorkFile(FileSystem& files, const std::filesystem::path& folder, const std::string& name = Name,
                    std::string task = "rebuild");
    ~RebuildWorkFile();
    RebuildWorkFile(const RebuildWorkFile&) = delete;
    RebuildWorkFile& operator=(const RebuildWorkFile&) = delete;

    WritableFile& File() { return *file_; }

    // Gives the work file the permission bits and group of the container it
    // replaces (through a symbolic link; the defaults when there is none),
    // flushes it to disk, closes it and renames it over `container`,
    // replacing an existing file in one step, then flushes the folder.
    // With `keepBackup`, the container being replaced is first kept as
    // "<container>.bak", replacing an older one; when that fails, nothing
    // has changed. When only the last step fails, the Error says that the
    // rebuild succeeded.
    void Commit(const std::filesystem::path& container, bool keepBackup);

private:
    FileSystem& files_;
    std::filesystem::path folder_;
    std::filesystem::path path_;
    std::string task_;
    std::unique_ptr<WritableFile> file_;
    bool committed_ = false;
};

}  // namespace Brimwork
