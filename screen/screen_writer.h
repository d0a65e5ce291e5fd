#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "io/sequential_writer.h"

namespace Brimwork {
class ReadableFile;
class WritableFile;
struct ImageBuffer;
}  // namespace Brimwork

namespace PIX {

// Lays a screen file out as a rebuild writes it, front to back: header,
// entry table, then every entry's pixels back to back in table order. The
// table is filled in as the images come. Every offset is checked to fit
// its 32-bit field; one that does not is an Error.
class ContainerWriter {
public:
    ContainerWriter(Brimwork::WritableFile& out, int32_t headerValue, int32_t entryCount);
    // Pixels from memory, in packed layout; `what` names their source in
    // the message when their size does not fit.
    void AddEntry(const std::string& name, const Brimwork::ImageBuffer& packed, const std::string& what);
    // The same for packed pixels held elsewhere, of the given size.
    void AddEntry(const std::string& name, int32_t width, int32_t height, std::span<const uint8_t> pixels,
                  const std::string& what);
    // Pixels copied from `from`, where they lie packed at `offset`.
    void AddStoredEntry(const std::string& name, int32_t width, int32_t height, Brimwork::ReadableFile& from,
                        int64_t offset);
    // Writes the table and flushes; fewer entries than announced is an Error.
    void Finish();
    // Bytes written so far; after Finish, the file's size.
    int64_t Size() const { return out_.Position(); }

private:
    // Adds the entry's record and moves past its pixels.
    void AddRecord(const std::string& name, int32_t width, int32_t height, int32_t dataSize);

    Brimwork::WritableFile& file_;
    Brimwork::SequentialWriter out_;
    int32_t entryCount_;
    int32_t entriesAdded_ = 0;
    int64_t entryTable_ = 0;
    std::vector<uint8_t> entryRecords_;
    int32_t dataOffset_ = 0;  // where the next entry's pixels go
};

}  // namespace PIX
