#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "io/sequential_writer.h"

namespace Brimwork {
class ReadableFile;
class WritableFile;
struct ImageBuffer;
}  // namespace Brimwork

namespace GDG {

// Lays a gadget file out as a rebuild writes it, front to back: header,
// entry table, then each entry's image-header table directly followed by
// its images' pixels. Tables are filled in as the images come. Every
// offset is checked to fit its 32-bit field; one that does not is an Error.
class ContainerWriter {
public:
    ContainerWriter(Brimwork::WritableFile& out, int32_t headerValue, int32_t entryCount);
    void BeginEntry(const std::string& name, int32_t entryValue, int32_t imageCount);
    // The same for images whose sizes are known before their pixels come:
    // their table is written at once rather than filled in afterwards. The
    // images must then come in these sizes.
    struct ImageSize {
        int32_t width = 0;
        int32_t height = 0;
    };
    // `stored`, when given, is a table as it lies in a file (a container
    // being saved again): when its bytes are the table to write, they are
    // copied from there, with the pixels around them. Returns the table
    // as written, valid until the next call.
    struct StoredTable {
        Brimwork::ReadableFile& file;
        int64_t offset = 0;
        std::span<const uint8_t> bytes;
    };
    std::span<const uint8_t> BeginEntry(const std::string& name, int32_t entryValue, std::span<const ImageSize> images,
                                        const std::optional<StoredTable>& stored = std::nullopt);
    // Pixels from memory, in packed layout; `what` names their source in
    // the message when their size does not fit.
    void AddImage(const Brimwork::ImageBuffer& packed, const std::string& what);
    // The same for packed pixels held elsewhere, of the given size.
    void AddImage(int32_t width, int32_t height, std::span<const uint8_t> pixels, const std::string& what);
    // Pixels copied from `from`, where they lie packed at `offset`.
    void AddStoredImage(int32_t width, int32_t height, Brimwork::ReadableFile& from, int64_t offset);
    // Writes the tables and flushes. An entry given fewer or more images
    // than announced, or fewer or more entries than announced, is an Error.
    void Finish();
    // Bytes written so far; after Finish, the file's size.
    int64_t Size() const { return out_.Position(); }

private:
    void OpenEntry(const std::string& name, int32_t entryValue, int32_t imageCount);
    void RequireRoomForImage() const;
    // Adds the next image's header and moves past its pixels.
    void AddImageHeader(int32_t width, int32_t height, int32_t dataSize);
    void EndEntry();

    Brimwork::WritableFile& file_;
    Brimwork::SequentialWriter out_;
    int32_t entryCount_;
    int32_t entriesBegun_ = 0;
    int64_t entryTable_ = 0;
    std::vector<uint8_t> entryRecords_;
    bool entryOpen_ = false;
    std::string entryName_;
    int32_t imageCount_ = 0;
    int32_t imagesAdded_ = 0;
    int64_t imageTable_ = 0;
    std::vector<uint8_t> imageHeaders_;
    std::vector<uint8_t> announcedHeaders_;  // the table as written at once, when the sizes were known
    int32_t tableOffset_ = 0;  // where the next entry's image table goes
    int32_t dataOffset_ = 0;   // where the next image's pixels go
};

}  // namespace GDG
