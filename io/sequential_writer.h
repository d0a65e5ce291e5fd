#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "io/read_ahead_file.h"

namespace Brimwork {

class ReadableFile;
class WritableFile;

// Writes a file front to back through a large buffer, so that many small
// records become a few large writes. A region whose content is known only
// later (a table that precedes what it describes) is reserved as zeros and
// filled in by Patch: in the buffer while it is still there, by a write at
// its place once it has gone to the file.
class SequentialWriter {
public:
    static constexpr size_t DefaultCapacity = size_t{4} << 20;
    // Copies from this size on flush the buffer and are made by the file
    // itself. Below it, one read into the buffer costs less than the write
    // of a partly filled buffer that a copy by the file needs first.
    static constexpr int64_t DirectCopySize = int64_t{64} << 10;
    // How much is written between two hints to start writing it back.
    static constexpr int64_t WritebackStep = int64_t{4} << 20;

    explicit SequentialWriter(WritableFile& file, size_t capacity = DefaultCapacity);

    // Bytes appended so far: the offset of the next one.
    int64_t Position() const { return flushed_ + static_cast<int64_t>(buffer_.size()) + pending_.size; }

    void Append(std::span<const uint8_t> data);
    // Appends `size` bytes of `from`, starting at `offset`. Copies that
    // continue one another in the same file are joined and made at the
    // next other call; a small copy is read into the buffer, a large one
    // goes from file to file, so that its bytes need never be held here.
    void AppendCopy(ReadableFile& from, int64_t offset, int64_t size);
    // Appends `size` zero bytes and returns their offset.
    int64_t Reserve(int64_t size);
    // Overwrites bytes already appended, from `offset` on.
    void Patch(int64_t offset, std::span<const uint8_t> data);
    // Writes what the buffer holds; the file then holds every byte appended.
    void Flush();

private:
    struct PendingCopy {
        ReadableFile* from = nullptr;
        int64_t offset = 0;
        int64_t size = 0;
    };

    void EmitPendingCopy();
    // Counts bytes that went to the file and hints at their writeback.
    void Written(int64_t bytes);

    WritableFile& file_;
    size_t capacity_;
    std::vector<uint8_t> buffer_;
    int64_t flushed_ = 0;  // bytes already written to the file
    int64_t unhinted_ = 0;  // of those, written since the last writeback hint
    PendingCopy pending_;   // a copy not yet made, which the next may join
    // The source of the last small copy, read ahead; it must outlive the
    // writer's copies from it, as every caller's source does.
    std::optional<ReadAheadFile> source_;
};

// A container writer given more or fewer records than its caller announced
// would lay out a file whose tables lie: an Error naming the file and what
// was miscounted, a fault of the caller rather than of any input.
[[noreturn]] void ThrowMiscount(const WritableFile& file, const std::string& what, int64_t announced, int64_t given);

}  // namespace Brimwork
