#include "screen/screen_writer.h"

#include <algorithm>

#include "core/archive_header.h"
#include "core/checked.h"
#include "io/files.h"
#include "image/image_buffer.h"
#include "screen/screen_format.h"

namespace PIX {

using namespace Brimwork;

ContainerWriter::ContainerWriter(WritableFile& out, int32_t headerValue, int32_t entryCount)
    : file_(out), out_(out), entryCount_(std::max(entryCount, 0))
{
    // A count below 1 is written as it is, and no table follows.
    out_.Append(ArchiveHeaderBytes({Format::Signature, headerValue, entryCount}));
    if (entryCount_ == 0)
        return;
    dataOffset_ = Checked::Add(ArchiveHeader::Size, Checked::Mul(Format::EntrySize, entryCount_, "The entry table"),
                               "The entry table");
    entryTable_ = out_.Reserve(dataOffset_ - ArchiveHeader::Size);
}

void ContainerWriter::AddEntry(const std::string& name, const ImageBuffer& packed, const std::string& what)
{
    AddEntry(name, packed.ImageWidth, packed.ImageHeight, PackedPixels(packed), what);
}

void ContainerWriter::AddEntry(const std::string& name, int32_t width, int32_t height, std::span<const uint8_t> pixels,
                               const std::string& what)
{
    RequirePackedPixels(width, height, pixels, what);
    const int32_t dataSize = Checked::ToInt32(static_cast<int64_t>(pixels.size()), "The size of " + what);
    AddRecord(name, width, height, dataSize);
    out_.Append(pixels);
}

void ContainerWriter::AddStoredEntry(const std::string& name, int32_t width, int32_t height, ReadableFile& from,
                                     int64_t offset)
{
    const int32_t dataSize = StoredPixelBytes(width, height, from, offset);
    AddRecord(name, width, height, dataSize);
    out_.AppendCopy(from, offset, dataSize);
}

void ContainerWriter::Finish()
{
    if (entriesAdded_ != entryCount_)
        ThrowMiscount(file_, "the entries", entryCount_, entriesAdded_);
    out_.Patch(entryTable_, entryRecords_);
    out_.Flush();
}

void ContainerWriter::AddRecord(const std::string& name, int32_t width, int32_t height, int32_t dataSize)
{
    if (entriesAdded_ == entryCount_)
        ThrowMiscount(file_, "the entries", entryCount_, entriesAdded_ + 1);
    const auto record = Format::EncodeEntry({name, width, height, dataSize, dataOffset_});
    dataOffset_ = Checked::Add(dataOffset_, dataSize, "The rebuilt screen file");
    entryRecords_.insert(entryRecords_.end(), record.begin(), record.end());
    ++entriesAdded_;
}

}  // namespace PIX
