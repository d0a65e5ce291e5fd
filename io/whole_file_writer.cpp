#include "io/whole_file_writer.h"

#include <span>
#include <utility>

#include "core/names.h"

namespace Brimwork {

WholeFileWriter::WholeFileWriter(FileSystem& files, const std::filesystem::path& folder)
    : newFiles_(files.OpenForNewFiles(folder)), work_(files.WorkerThreads(FileSystem::Work::Creating))
{
}

void WholeFileWriter::Write(const std::string& name, FilePieces pieces)
{
    // The earlier file of the same name must be done before this one
    // starts, or the two could land in either order.
    if (!names_.insert(ToUpper(name)).second)
        work_.Finish();
    int64_t bytes = 0;
    for (const auto& piece : pieces)
        bytes += static_cast<int64_t>(piece.size());
    work_.Add(
        [this, name, pieces = std::move(pieces)] {
            const std::vector<std::span<const uint8_t>> spans(pieces.begin(), pieces.end());
            newFiles_->CreateWithContents(name, spans);
        },
        bytes);
}

}  // namespace Brimwork
