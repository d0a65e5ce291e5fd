#include "core/rebuild_work_file.h"

#include "core/error.h"
#include "core/files.h"

namespace Brimwork {

RebuildWorkFile::RebuildWorkFile(FileSystem& files, const std::filesystem::path& folder)
    : files_(files), folder_(folder), path_(folder / Name)
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

void RebuildWorkFile::Commit(const std::filesystem::path& container)
{
    file_->Sync();
    file_->Close();
    files_.Rename(path_, container);
    committed_ = true;
    try {
        files_.SyncFolder(folder_);
    } catch (const Error& error) {
        // The new container is in place but may not outlast a power
        // failure; the caller stops here, so the files it read are kept.
        throw Error("The rebuild of " + container.string() +
                    " succeeded, but the folder could not be flushed to disk, so the new file may not outlast a "
                    "power failure; the files it read are kept:\n" +
                    error.what());
    }
}

}  // namespace Brimwork
