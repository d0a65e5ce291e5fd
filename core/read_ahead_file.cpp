#include "core/read_ahead_file.h"

#include <algorithm>
#include <cstring>

namespace Brimwork {

ReadAheadFile::ReadAheadFile(ReadableFile& file, size_t blockBytes) : file_(file), blockBytes_(blockBytes) {}

void ReadAheadFile::ReadAt(int64_t offset, std::span<uint8_t> out)
{
    const auto size = static_cast<int64_t>(out.size());
    const int64_t held = static_cast<int64_t>(block_.size());
    if (offset >= blockStart_ && offset <= blockStart_ + held && size <= blockStart_ + held - offset) {
        std::memcpy(out.data(), block_.data() + (offset - blockStart_), out.size());
        return;
    }
    const int64_t fileSize = file_.Size();
    if (out.size() >= blockBytes_ || offset < 0 || offset > fileSize || size > fileSize - offset) {
        // Too large to keep, or reaching past the end: the file reads it,
        // or says why it cannot.
        file_.ReadAt(offset, out);
        return;
    }
    block_.resize(static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(blockBytes_), fileSize - offset)));
    try {
        file_.ReadAt(offset, block_);
    } catch (...) {
        block_.clear();
        throw;
    }
    blockStart_ = offset;
    std::memcpy(out.data(), block_.data(), out.size());
}

}  // namespace Brimwork
