#include "core/rebuild_work_file.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "core/error.h"
#include "io/files.h"

namespace Brimwork {

namespace fs = std::filesystem;

namespace {

// A copied backup is read and written in pieces of this size.
constexpr int64_t CopyPieceBytes = int64_t{1} << 20;

// Copies the container into `copy`, a new file, with the container's
// permissions, and flushes it to disk.
void CopyWhole(FileSystem& files, const fs::path& container, const fs::path& copy, const FileAccess& access,
               bool& created)
{
    auto from = files.OpenContainer(container);
    auto to = files.CreateForWriting(copy);
    created = true;
    // Before any byte is written, so that a private file is never readable
    // by others under the new name.
    to->SetAccess(access);
    const int64_t size = from->Size();
    std::vector<uint8_t> piece(static_cast<size_t>(std::min(size, CopyPieceBytes)));
    for (int64_t at = 0; at < size;) {
        const auto count = static_cast<size_t>(std::min(size - at, CopyPieceBytes));
        const std::span<uint8_t> part(piece.data(), count);
        from->ReadAt(at, part);
        to->Write(part);
        at += static_cast<int64_t>(count);
    }
    to->Sync();
    to->Close();
}

// Keeps the container that is about to be replaced as "<container>.bak",
// replacing an older one. A second name of the same file costs no copy and
// survives the rename that replaces the container; where the file system
// makes none, the file is copied. Either is made under
// "<container>.bak.partial" and renamed into place, so that a failure
// leaves the older backup as it was; the partial one is then removed.
void KeepBackup(FileSystem& files, const fs::path& container, const FileAccess& access)
{
    const fs::path backup = container.string() + ".bak";
    const std::string refusal =
        "Cannot keep " + container.string() + " as " + backup.string() + ", so it is left as it was";
    switch (files.TypeOf(backup)) {
    case EntryType::Missing:
    case EntryType::Regular:
        break;
    case EntryType::Symlink:
        throw Error(refusal + ": " + backup.string() + " is a symbolic link, which is never followed");
    case EntryType::Directory:
        throw Error(refusal + ": " + backup.string() + " is a folder");
    case EntryType::Other:
        throw Error(refusal + ": " + backup.string() + " is not a regular file");
    }
    const fs::path partial = backup.string() + ".partial";
    bool created = false;
    try {
        RemoveIfPresent(files, partial);
        created = files.HardLink(container, partial);
        if (!created)
            CopyWhole(files, container, partial, access, created);
        files.Rename(partial, backup);
    } catch (const Error& failure) {
        std::string text = refusal + ":\n" + failure.what();
        if (created) {
            try {
                files.Remove(partial);
            } catch (const Error& removal) {
                text += std::string("\n") + removal.what();
            }
        }
        throw Error(text);
    }
}

}  // namespace

RebuildWorkFile::RebuildWorkFile(FileSystem& files, const fs::path& folder, const std::string& name, std::string task)
    : files_(files), folder_(folder), path_(folder / name), task_(std::move(task))
{
    RemoveIfPresent(files_, path_);
    file_ = files_.CreateForWriting(path_);
}

RebuildWorkFile::~RebuildWorkFile()
{
    if (committed_)
        return;
    file_.reset();
    try {
        files_.Remove(path_);
    } catch (const Error&) {
        // The failure that stopped the rebuild is the one to report.
    }
}

void RebuildWorkFile::Commit(const fs::path& container, bool keepBackup)
{
    // The new container takes the old one's permissions and group before
    // it takes its name, so that the name never stands for a file that
    // others may read or write when the old one kept them out.
    const std::optional<FileAccess> previous = files_.AccessOf(container);
    if (previous)
        file_->SetAccess(*previous);
    file_->Sync();
    file_->Close();
    if (keepBackup && previous)
        KeepBackup(files_, container, *previous);
    files_.Rename(path_, container);
    committed_ = true;
    try {
        files_.SyncFolder(folder_);
    } catch (const Error& error) {
        // The new container is in place but may not outlast a power
        // failure; the caller stops here, so the files it read are kept.
        throw Error("The " + task_ + " of " + container.string() +
                    " succeeded, but the folder could not be flushed to disk, so the new file may not outlast a "
                    "power failure; the files it read are kept:\n" +
                    error.what());
    }
}

}  // namespace Brimwork
