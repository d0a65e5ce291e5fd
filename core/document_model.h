#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Brimwork {

class ReadableFile;

// What an entry of a container is.
enum class EntryKind { Gadget, Screen, Vehicle, Shadow };

// "gadget", "screen", "vehicle", "shadow".
const char* EntryKindName(EntryKind kind);

// Bytes of an image as they lie in a container file, which stays open for
// as long as anything refers to them, also after the file was replaced.
struct StoredBytes {
    std::shared_ptr<ReadableFile> file;
    int64_t offset = 0;
    int64_t size = 0;
};

// One image of an entry: a gadget image, a screen's image, a vehicle slot
// or a shadow frame. Its bytes are the packed pixels (for a shadow frame:
// the whole frame as stored, header, row table and run-length data),
// either still in the container (`stored`) or, once edited, in memory
// (`edited`); pixels are read only when asked for.
struct DocumentImage {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<int32_t> hotspots;  // 4 for a vehicle slot, 2 for a shadow frame, none otherwise
    StoredBytes stored;
    std::shared_ptr<const std::vector<uint8_t>> edited;

    bool Edited() const { return edited != nullptr; }
    // Where the bytes lie in the container; -1 once edited.
    int64_t Offset() const { return Edited() ? -1 : stored.offset; }
    int64_t ByteSize() const { return Edited() ? static_cast<int64_t>(edited->size()) : stored.size; }
};

// One entry with the values a rebuild keeps.
struct DocumentEntry {
    std::string name;
    EntryKind kind = EntryKind::Gadget;
    int32_t entryValue = 0;  // gadget and vehicle entries
    // Vehicle and shadow entries: the 264-byte table record as stored
    // (the name field with whatever follows the name, the entry value),
    // and the record head: a vehicle record's 484 bytes or a shadow
    // record's 20-byte header, with their tags and spare fields. A gadget
    // entry: its image table as stored, as its record head.
    std::vector<uint8_t> tableRecord;
    std::vector<uint8_t> recordHead;
    std::vector<DocumentImage> images;
    // Where a gadget entry's image table lies, so that a save can copy it
    // with the pixels around it when it comes out the same.
    StoredBytes stored;
};

// A container as a document holds it: its header values and its entries.
struct DocumentModel {
    int32_t headerValue = 0;  // gadget and screen files
    // The entry count a vehicle file states; it is written back as it
    // stands while the entries are those read (a count below 0 lists none).
    int32_t statedCount = 0;
    std::vector<DocumentEntry> entries;
};

// An image whose bytes lie in `file`, and one whose bytes are in memory.
DocumentImage StoredImage(const std::shared_ptr<ReadableFile>& file, int32_t width, int32_t height, int64_t offset,
                          int64_t size, std::vector<int32_t> hotspots = {});
DocumentImage EditedImage(int32_t width, int32_t height, std::vector<uint8_t> bytes,
                          std::vector<int32_t> hotspots = {});
// An image of packed pixels, taking the buffer's bytes, which must be
// exactly the packed pixels; an image with a side of 0 becomes the empty
// image.
struct ImageBuffer;
DocumentImage EditedImage(ImageBuffer packed, std::vector<int32_t> hotspots = {});

// The image as written at `offset` of a file still to be named: its bytes
// no longer in memory.
DocumentImage Placed(const DocumentImage& image, int64_t offset);

// The image's bytes, read from its file unless they are in memory.
std::vector<uint8_t> ImageBytes(const DocumentImage& image);
// The pixels of an image that holds packed pixels; the empty image when
// either side is 0.
struct ImageBuffer;
ImageBuffer PackedImage(const DocumentImage& image);

// Refuses an entry name that is empty, not a plain file name, longer than
// `fieldSize` or holding a line break.
void RequireEntryNameFits(const std::string& name, size_t fieldSize);

}  // namespace Brimwork
