#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace Brimwork {

class WritableFile;

// Writes a file front to back through a large buffer, so that many small
// records become a few large writes. A region whose content is known only
// later (a table that precedes what it describes) is reserved as zeros and
// filled in by Patch: in the buffer while it is still there, by a write at
// its place once it has gone to the file.
class SequentialWriter {
public:
    static constexpr size_t DefaultCapacity = size_t{4} << 20;

    explicit SequentialWriter(WritableFile& file, size_t capacity = DefaultCapacity);

    // Bytes appended so far: the offset of the next one.
    int64_t Position() const { return flushed_ + static_cast<int64_t>(buffer_.size()); }

    void Append(std::span<const uint8_t> data);
    // Appends `size` zero bytes and returns their offset.
    int64_t Reserve(int64_t size);
    // Overwrites bytes already appended, from `offset` on.
    void Patch(int64_t offset, std::span<const uint8_t> data);
    // Writes what the buffer holds; the file then holds every byte appended.
    void Flush();

private:
    WritableFile& file_;
    size_t capacity_;
    std::vector<uint8_t> buffer_;
    int64_t flushed_ = 0;  // bytes already written to the file
};

}  // namespace Brimwork
