#include "io/whole_file_writer.h"

#include <span>
#include <utility>

#include "core/names.h"

namespace Brimwork {

WholeFileWriter::WholeFileWriter(FileSystem& files, const std::filesystem::path& folder)
    : newFiles_(files.OpenForNewFiles(folder)), work_(files.WorkerThreads(FileSystem::Work::Creating))
{
}

void WholeFileWriter::Write(const std::string& name, FilePieces pieces, FileRange copied)
{
    // The earlier file of the same name must be done before this one
    // starts, or the two could land in either order.
    if (!names_.insert(ToUpper(name)).second) {
        Hand();
        work_.Finish();
    }
    for (const auto& piece : pieces)
        gatheredBytes_ += static_cast<int64_t>(piece.size());
    gathered_.push_back({name, std::move(pieces), copied});
    if (gathered_.size() >= FilesPerTask || gatheredBytes_ >= BytesPerTask)
        Hand();
}

void WholeFileWriter::Run(const std::function<void()>& produce)
{
    work_.Run([&] {
        // The files gathered before a failure of `produce` are still
        // written, as they would be one by one, and their failures come first.
        try {
            produce();
        } catch (...) {
            Hand();
            throw;
        }
        Hand();
    });
}

void WholeFileWriter::Hand()
{
    if (gathered_.empty())
        return;
    const int64_t bytes = std::exchange(gatheredBytes_, 0);
    work_.Add(
        [this, files = std::exchange(gathered_, {})] {
            for (const File& file : files)
                WriteNow(file);
        },
        bytes);
}

void WholeFileWriter::WriteNow(const File& file)
{
    std::vector<std::span<const uint8_t>> spans(file.pieces.begin(), file.pieces.end());
    const FileRange& copied = file.copied;
    if (copied.file == nullptr || copied.size >= SmallestCopy) {
        newFiles_->CreateWithContents(file.name, {spans, copied});
        return;
    }
    // Kept for the thread: a new buffer for each file would cost an
    // allocation, and a page fault for each of its pages.
    thread_local std::vector<uint8_t> buffer;
    RequireWithin(*copied.file, copied.offset, copied.size);
    buffer.resize(static_cast<size_t>(copied.size));
    copied.file->ReadAt(copied.offset, buffer);
    spans.emplace_back(buffer);
    newFiles_->CreateWithContents(file.name, {spans});
}

}  // namespace Brimwork
