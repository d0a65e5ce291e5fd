#include "io/whole_file_writer.h"

#include <algorithm>
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
            // Kept for the thread: a new buffer for each task would cost an
            // allocation, and a page fault for each of its pages.
            thread_local std::vector<uint8_t> buffer;
            const FileRange extent = SmallRangesTogether(files);
            if (extent.file != nullptr) {
                buffer.resize(static_cast<size_t>(extent.size));
                extent.file->ReadAt(extent.offset, buffer);
            }
            for (const File& file : files)
                WriteNow(file, extent, buffer);
        },
        bytes);
}

FileRange WholeFileWriter::SmallRangesTogether(const std::vector<File>& files)
{
    FileRange extent;
    int64_t end = 0;
    int64_t bytes = 0;
    for (const File& file : files) {
        const FileRange& copied = file.copied;
        if (copied.file == nullptr || copied.size >= SmallestCopy)
            continue;
        if (copied.offset < 0 || copied.size < 0 || copied.offset > copied.file->Size() - copied.size)
            return {};  // read alone, to fail at its own file
        if (extent.file == nullptr) {
            extent = {copied.file, copied.offset, 0};
            end = copied.offset + copied.size;
        } else if (copied.file != extent.file) {
            return {};
        }
        extent.offset = std::min(extent.offset, copied.offset);
        end = std::max(end, copied.offset + copied.size);
        bytes += copied.size;
    }
    extent.size = end - extent.offset;
    // Ranges with much between them (large ones left to the system to
    // copy) are read one by one rather than with what lies between.
    if (extent.file == nullptr || extent.size > bytes + bytes / 4)
        return {};
    return extent;
}

void WholeFileWriter::WriteNow(const File& file, const FileRange& extent, std::span<const uint8_t> extentBytes)
{
    std::vector<std::span<const uint8_t>> spans(file.pieces.begin(), file.pieces.end());
    const FileRange& copied = file.copied;
    if (copied.file == nullptr || copied.size >= SmallestCopy) {
        newFiles_->CreateWithContents(file.name, {spans, copied});
        return;
    }
    if (copied.file == extent.file && copied.offset >= extent.offset &&
        copied.offset + copied.size <= extent.offset + extent.size) {
        spans.push_back(extentBytes.subspan(static_cast<size_t>(copied.offset - extent.offset),
                                            static_cast<size_t>(copied.size)));
    } else {
        thread_local std::vector<uint8_t> alone;
        RequireWithin(*copied.file, copied.offset, copied.size);
        alone.resize(static_cast<size_t>(copied.size));
        copied.file->ReadAt(copied.offset, alone);
        spans.emplace_back(alone);
    }
    newFiles_->CreateWithContents(file.name, {spans});
}

}  // namespace Brimwork
