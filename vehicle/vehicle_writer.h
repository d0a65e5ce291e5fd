#pragma once

#include <array>
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

namespace AZP {

// Lays a vehicle file out as a rebuild writes it, front to back: the count,
// the entry table, then each entry's record followed by its slots' pixels
// or its frames. A record or table entry is filled in once what it
// describes is known. Every offset is checked to fit its 32-bit field; one
// that does not is an Error.
class ContainerWriter {
public:
    // countField: the entry count written at offset 0 (the rebuild writes
    // the container's own, also when negative); entryCount: how many
    // entries follow.
    ContainerWriter(Brimwork::WritableFile& out, int32_t countField, int32_t entryCount);
    // tableRecord: the entry's 264 bytes as stored (name field with
    // whatever follows the name, EntryValue); the writer puts the record
    // offset at 256. spriteRecord: the 484-byte vehicle record as stored;
    // the writer puts each slot's hotspots, size and pixel offset into it.
    void BeginVehicle(std::span<const uint8_t> tableRecord, std::vector<uint8_t> spriteRecord);
    // Pixels from memory, in packed layout; `what` names their source in
    // the message when they are not.
    void AddSlot(const std::array<int32_t, 4>& hotspot, const Brimwork::ImageBuffer& packed, const std::string& what);
    // The same for packed pixels held elsewhere, of the given size.
    void AddSlot(const std::array<int32_t, 4>& hotspot, int32_t width, int32_t height, std::span<const uint8_t> pixels,
                 const std::string& what);
    // Pixels copied from `from`, where they lie packed at `offset`. The size
    // is kept as stored: a 0 x 20 slot stays 0 x 20, without pixels.
    void AddStoredSlot(const std::array<int32_t, 4>& hotspot, int32_t width, int32_t height,
                       Brimwork::ReadableFile& from, int64_t offset);
    // shadowHeader: the 20-byte shadow header as stored; the writer puts
    // frameCount at its FrameCount field.
    void BeginShadow(std::span<const uint8_t> tableRecord, std::vector<uint8_t> shadowHeader, int32_t frameCount);
    // A frame as stored: 12-byte header (hotspots set), row table,
    // run-length data.
    void AddFrame(std::span<const uint8_t> frameBytes);
    // Writes the records and the table and flushes. A vehicle given other
    // than 17 slots, a shadow given other than its frame count, or other
    // than entryCount entries is an Error.
    void Finish();
    // Bytes written so far; after Finish, the file's size.
    int64_t Size() const { return out_.Position(); }

private:
    enum class Open { Nothing, Vehicle, Shadow };

    // Ends the open entry and starts the next at the current position.
    void BeginEntry(std::span<const uint8_t> tableRecord);
    void EndEntry();
    // Puts the next slot into the record and moves past its pixels.
    void AddSlotRecord(const std::array<int32_t, 4>& hotspot, int32_t width, int32_t height, int32_t pixelBytes);
    void RequireRoomFor(Open kind) const;
    void RequireSize(std::span<const uint8_t> bytes, int32_t size, const std::string& what) const;
    // How overflow and miscount messages name the open entry and its images.
    std::string RecordWhat() const;
    std::string ImagesWhat(Open kind) const;

    Brimwork::WritableFile& file_;
    Brimwork::SequentialWriter out_;
    int32_t entryCount_;
    int32_t entriesBegun_ = 0;
    int64_t entryTable_ = 0;
    std::vector<uint8_t> tableRecords_;
    int32_t entryOffset_ = 0;  // where the next entry's record goes

    Open open_ = Open::Nothing;
    std::string entryName_;
    std::vector<uint8_t> spriteRecord_;
    int32_t pixelsStart_ = 0;  // of the open vehicle: where its record ends
    int32_t pixelOffset_ = 0;  // of its next slot, counted from pixelsStart_
    int32_t shadowEnd_ = 0;    // of the open shadow: where its next frame goes
    int32_t imagesAnnounced_ = 0;
    int32_t imagesAdded_ = 0;
};

}  // namespace AZP
