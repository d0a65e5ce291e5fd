#include "vehicle/vehicle_writer.h"

#include <limits>

#include "core/bytes.h"
#include "core/checked.h"
#include "core/error.h"
#include "io/files.h"
#include "image/image_buffer.h"
#include "vehicle/vehicle.h"
#include "vehicle/vehicle_format.h"

namespace AZP {

using namespace Brimwork;

namespace {

constexpr size_t RecordOffsetField = 256;
constexpr size_t FrameDataSizeField = 8;
constexpr int32_t MostFrames = std::numeric_limits<int16_t>::max();

}  // namespace

ContainerWriter::ContainerWriter(WritableFile& out, int32_t countField, int32_t entryCount)
    : file_(out), out_(out), entryCount_(entryCount)
{
    if (entryCount < 0)
        ThrowMiscount(file_, "the entries", entryCount, 0);
    std::vector<uint8_t> count;
    Bytes::AppendInt32(count, countField);
    out_.Append(count);
    entryOffset_ = Checked::Add(Format::CountSize, Checked::Mul(Format::EntrySize, entryCount, "The entry table"),
                                "The entry table");
    entryTable_ = out_.Reserve(entryOffset_ - Format::CountSize);
}

void ContainerWriter::BeginVehicle(std::span<const uint8_t> tableRecord, std::vector<uint8_t> spriteRecord)
{
    BeginEntry(tableRecord);
    RequireSize(spriteRecord, Format::RecordSize, "the vehicle record of entry \"" + entryName_ + "\"");
    pixelsStart_ = Checked::Add(entryOffset_, Format::RecordSize, RecordWhat());
    out_.Reserve(Format::RecordSize);
    spriteRecord_ = std::move(spriteRecord);
    pixelOffset_ = 0;
    imagesAnnounced_ = SlotCount;
    open_ = Open::Vehicle;
}

void ContainerWriter::AddSlot(const std::array<int32_t, 4>& hotspot, const ImageBuffer& packed,
                              const std::string& what)
{
    AddSlot(hotspot, packed.ImageWidth, packed.ImageHeight, PackedPixels(packed), what);
}

void ContainerWriter::AddSlot(const std::array<int32_t, 4>& hotspot, int32_t width, int32_t height,
                              std::span<const uint8_t> pixels, const std::string& what)
{
    RequireRoomFor(Open::Vehicle);
    RequirePackedPixels(width, height, pixels, what);
    AddSlotRecord(hotspot, width, height, Checked::ToInt32(static_cast<int64_t>(pixels.size()), RecordWhat()));
    out_.Append(pixels);
}

void ContainerWriter::AddStoredSlot(const std::array<int32_t, 4>& hotspot, int32_t width, int32_t height,
                                    ReadableFile& from, int64_t offset)
{
    RequireRoomFor(Open::Vehicle);
    const int32_t pixelBytes = StoredPixelBytes(width, height, from, offset);
    AddSlotRecord(hotspot, width, height, pixelBytes);
    out_.AppendCopy(from, offset, pixelBytes);
}

void ContainerWriter::BeginShadow(std::span<const uint8_t> tableRecord, std::vector<uint8_t> shadowHeader,
                                  int32_t frameCount)
{
    BeginEntry(tableRecord);
    RequireSize(shadowHeader, Format::ShadowHeaderSize, "the shadow header of entry \"" + entryName_ + "\"");
    if (frameCount < 0 || frameCount > MostFrames)
        throw Error("Cannot write " + file_.Path().string() + ": entry \"" + entryName_ + "\" is given " +
                    std::to_string(frameCount) + " frames, but a shadow holds 0 to 32767");
    Bytes::PutInt16(shadowHeader, Format::FrameCountOffset, static_cast<int16_t>(frameCount));
    shadowEnd_ = Checked::Add(entryOffset_, Format::ShadowHeaderSize, "The rebuilt vehicle file");
    out_.Append(shadowHeader);
    imagesAnnounced_ = frameCount;
    open_ = Open::Shadow;
}

void ContainerWriter::AddFrame(std::span<const uint8_t> frameBytes)
{
    RequireRoomFor(Open::Shadow);
    // The frame's DataSize is what a reader steps by to the next frame.
    const auto size = static_cast<int64_t>(frameBytes.size());
    if (size < Format::FrameHeaderSize ||
        Bytes::Int32At(frameBytes, FrameDataSizeField) != size - Format::FrameHeaderSize)
        throw Error("Cannot write " + file_.Path().string() + ": frame " + std::to_string(imagesAdded_) +
                    " of entry \"" + entryName_ + "\" (" + std::to_string(size) +
                    " bytes) is not a 12-byte header followed by the data size it gives");
    shadowEnd_ = Checked::Add(shadowEnd_, Checked::ToInt32(size, "A shadow frame"), "The rebuilt vehicle file");
    out_.Append(frameBytes);
    ++imagesAdded_;
}

void ContainerWriter::Finish()
{
    EndEntry();
    if (entriesBegun_ != entryCount_)
        ThrowMiscount(file_, "the entries", entryCount_, entriesBegun_);
    out_.Patch(entryTable_, tableRecords_);
    out_.Flush();
}

void ContainerWriter::BeginEntry(std::span<const uint8_t> tableRecord)
{
    EndEntry();
    if (entriesBegun_ == entryCount_)
        ThrowMiscount(file_, "the entries", entryCount_, entriesBegun_ + 1);
    RequireSize(tableRecord, Format::EntrySize, "the table record of entry " + std::to_string(entriesBegun_));
    const size_t start = tableRecords_.size();
    tableRecords_.insert(tableRecords_.end(), tableRecord.begin(), tableRecord.end());
    Bytes::PutInt32(std::span(tableRecords_).subspan(start), RecordOffsetField, entryOffset_);
    entryName_ = Format::DecodeEntry(tableRecord).Name;
    imagesAdded_ = 0;
    ++entriesBegun_;
}

void ContainerWriter::EndEntry()
{
    if (open_ == Open::Nothing)
        return;
    if (imagesAdded_ != imagesAnnounced_)
        ThrowMiscount(file_, ImagesWhat(open_), imagesAnnounced_, imagesAdded_);
    if (open_ == Open::Vehicle) {
        out_.Patch(entryOffset_, spriteRecord_);
        entryOffset_ = Checked::Add(pixelsStart_, pixelOffset_, "The rebuilt vehicle file");
    } else {
        entryOffset_ = shadowEnd_;
    }
    open_ = Open::Nothing;
}

void ContainerWriter::AddSlotRecord(const std::array<int32_t, 4>& hotspot, int32_t width, int32_t height,
                                    int32_t pixelBytes)
{
    Format::PutSlot(spriteRecord_, imagesAdded_, {hotspot, width, height, pixelOffset_});
    pixelOffset_ = Checked::Add(pixelOffset_, pixelBytes, RecordWhat());
    ++imagesAdded_;
}

void ContainerWriter::RequireRoomFor(Open kind) const
{
    if (open_ != kind || imagesAdded_ == imagesAnnounced_)
        ThrowMiscount(file_, ImagesWhat(kind), open_ == kind ? imagesAnnounced_ : 0, imagesAdded_ + 1);
}

void ContainerWriter::RequireSize(std::span<const uint8_t> bytes, int32_t size, const std::string& what) const
{
    if (bytes.size() != static_cast<size_t>(size))
        throw Error("Cannot write " + file_.Path().string() + ": " + what + " holds " +
                    std::to_string(bytes.size()) + " bytes, not " + std::to_string(size));
}

std::string ContainerWriter::RecordWhat() const { return "The record of entry \"" + entryName_ + "\""; }

std::string ContainerWriter::ImagesWhat(Open kind) const
{
    return (kind == Open::Vehicle ? "the slots of entry \"" : "the frames of entry \"") + entryName_ + "\"";
}

}  // namespace AZP
