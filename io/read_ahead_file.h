#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "io/files.h"

namespace Brimwork {

// What reading ahead may hold in memory, kept here so that the sizes are
// weighed together.
// The first part of a file that HeadReadFile reads in one call.
inline constexpr int64_t FileHeadBytes = int64_t{256} << 10;
// The files an InOrderReader has read ahead of its caller and not yet
// handed over (a file is begun while they hold at most this).
inline constexpr int64_t FilesReadAheadBytes = int64_t{2} << 20;

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

// A file whose first part, up to `headBytes`, is read in one call when it
// is opened: a small file is then read in one call, whatever parts the
// reader asks for; a larger one reads the rest on demand, so that no more
// is held than the reader asks for.
class HeadReadFile final : public ReadableFile {
public:
    HeadReadFile(ReadableFile& file, int64_t headBytes = FileHeadBytes);
    ~HeadReadFile() override;
    HeadReadFile(const HeadReadFile&) = delete;
    HeadReadFile& operator=(const HeadReadFile&) = delete;

    const std::filesystem::path& Path() const override { return file_.Path(); }
    int64_t Size() const override { return file_.Size(); }
    FileStamp Stamp() const override { return file_.Stamp(); }
    void ReadAt(int64_t offset, std::span<uint8_t> out) override;

private:
    ReadableFile& file_;
    std::span<uint8_t> head_;
    std::vector<uint8_t> own_;  // when the thread's kept buffer is in use
    bool* keptInUse_ = nullptr;  // the thread's flag, when this holds its buffer
};

}  // namespace Brimwork
