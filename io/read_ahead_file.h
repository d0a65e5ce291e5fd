#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "io/files.h"

namespace Brimwork {

// A file whose small reads are served from a block read ahead of them, so
// that many neighbouring records, or many small images lying one after
// another, cost one system call per block rather than one each. A read
// that the block does not hold reads the next block from its offset; a
// read as large as a block goes to the file directly. Failures are the
// file's own, naming it.
class ReadAheadFile final : public ReadableFile {
public:
    ReadAheadFile(ReadableFile& file, size_t blockBytes);

    const std::filesystem::path& Path() const override { return file_.Path(); }
    int64_t Size() const override { return file_.Size(); }
    FileStamp Stamp() const override { return file_.Stamp(); }
    void ReadAt(int64_t offset, std::span<uint8_t> out) override;
    // The `size` bytes at `offset`, read with the block that holds them;
    // valid until the next read.
    std::span<const uint8_t> View(int64_t offset, size_t size);

    // Whether this reads ahead of `file`.
    bool Over(const ReadableFile& file) const { return &file == &file_; }

private:
    ReadableFile& file_;
    size_t blockBytes_;
    int64_t blockStart_ = 0;
    std::vector<uint8_t> block_;
};

}  // namespace Brimwork
