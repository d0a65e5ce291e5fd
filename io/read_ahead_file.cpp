#include "io/read_ahead_file.h"

#include <algorithm>
#include <cstring>

namespace Brimwork {

ReadAheadFile::ReadAheadFile(ReadableFile& file, size_t blockBytes) : file_(file), blockBytes_(blockBytes) {}

std::span<const uint8_t> ReadAheadFile::View(int64_t offset, size_t size)
{
    const auto wanted = static_cast<int64_t>(size);
    const auto held = static_cast<int64_t>(block_.size());
    if (offset < blockStart_ || offset > blockStart_ + held || wanted > blockStart_ + held - offset) {
        // A block from `offset` on, as far as the file goes; a range that
        // reaches past the end is asked of the file as it stands, which
        // says why it cannot be read.
        const int64_t fileSize = file_.Size();
        int64_t length = wanted;
        if (offset >= 0 && offset <= fileSize)
            length = std::max(wanted, std::min(static_cast<int64_t>(blockBytes_), fileSize - offset));
        block_.resize(static_cast<size_t>(length));
        try {
            file_.ReadAt(offset, block_);
        } catch (...) {
            block_.clear();
            throw;
        }
        blockStart_ = offset;
    }
    return std::span<const uint8_t>(block_).subspan(static_cast<size_t>(offset - blockStart_), size);
}

void ReadAheadFile::ReadAt(int64_t offset, std::span<uint8_t> out)
{
    if (out.empty() || out.size() >= blockBytes_) {
        file_.ReadAt(offset, out);
        return;
    }
    const auto bytes = View(offset, out.size());
    std::memcpy(out.data(), bytes.data(), bytes.size());
}

HeadReadFile::HeadReadFile(ReadableFile& file, int64_t headBytes) : file_(file)
{
    // One buffer kept for the thread, which reads one file after another:
    // a new one for each file would cost an allocation, zeroing it, and a
    // page fault for each of its pages. A second file open at once on the
    // thread gets a buffer of its own.
    thread_local std::vector<uint8_t> kept;
    thread_local bool keptInUse = false;
    std::vector<uint8_t>* buffer = &own_;
    if (!keptInUse) {
        keptInUse = true;
        keptInUse_ = &keptInUse;
        buffer = &kept;
    }
    const auto size = static_cast<size_t>(std::min(file_.Size(), headBytes));
    if (buffer->size() < size)
        buffer->resize(size);
    head_ = std::span(*buffer).first(size);
    if (!head_.empty())
        file_.ReadAt(0, head_);
}

HeadReadFile::~HeadReadFile()
{
    if (keptInUse_ != nullptr)
        *keptInUse_ = false;
}

void HeadReadFile::ReadAt(int64_t offset, std::span<uint8_t> out)
{
    const auto held = static_cast<int64_t>(head_.size());
    if (offset >= 0 && offset <= held && static_cast<int64_t>(out.size()) <= held - offset) {
        std::copy_n(head_.begin() + offset, out.size(), out.begin());
        return;
    }
    file_.ReadAt(offset, out);
}

}  // namespace Brimwork
