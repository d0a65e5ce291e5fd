#include "gadget/gadget_writer.h"

#include <algorithm>

#include "core/archive_header.h"
#include "core/checked.h"
#include "core/error.h"
#include "io/files.h"
#include "gadget/gadget_format.h"
#include "image/image_buffer.h"

namespace GDG {

using namespace Brimwork;

ContainerWriter::ContainerWriter(WritableFile& out, int32_t headerValue, int32_t entryCount)
    : file_(out), out_(out), entryCount_(std::max(entryCount, 0))
{
    // A count below 1 is written as it is, and no table follows.
    out_.Append(ArchiveHeaderBytes({Format::Signature, headerValue, entryCount}));
    if (entryCount_ == 0)
        return;
    tableOffset_ = Checked::Add(ArchiveHeader::Size, Checked::Mul(Format::EntrySize, entryCount_, "The entry table"),
                                "The entry table");
    entryTable_ = out_.Reserve(tableOffset_ - ArchiveHeader::Size);
}

void ContainerWriter::BeginEntry(const std::string& name, int32_t entryValue, int32_t imageCount)
{
    OpenEntry(name, entryValue, imageCount);
    imageTable_ = out_.Reserve(dataOffset_ - tableOffset_);
}

std::span<const uint8_t> ContainerWriter::BeginEntry(const std::string& name, int32_t entryValue,
                                                     std::span<const ImageSize> images,
                                                     const std::optional<StoredTable>& stored)
{
    OpenEntry(name, entryValue, Checked::ToInt32(static_cast<int64_t>(images.size()), "The image count"));
    int32_t offset = dataOffset_;
    for (const ImageSize& image : images) {
        const int32_t dataSize =
            image.width <= 0 || image.height <= 0
                ? 0
                : Checked::Mul(Checked::Mul(image.width, image.height, "The size of an image"), 2, "The size of an image");
        const auto header = Format::EncodeImageHeader({image.width, image.height, dataSize, offset});
        offset = Checked::Add(offset, dataSize, "The rebuilt gadget file");
        announcedHeaders_.insert(announcedHeaders_.end(), header.begin(), header.end());
    }
    // The table is known whole: it goes out as it is, not patched later.
    imageTable_ = out_.Position();
    if (stored && std::ranges::equal(stored->bytes, announcedHeaders_))
        out_.AppendCopy(stored->file, stored->offset, static_cast<int64_t>(stored->bytes.size()));
    else
        out_.Append(announcedHeaders_);
    return announcedHeaders_;
}

void ContainerWriter::OpenEntry(const std::string& name, int32_t entryValue, int32_t imageCount)
{
    EndEntry();
    if (entriesBegun_ == entryCount_)
        ThrowMiscount(file_, "the entries", entryCount_, entriesBegun_ + 1);
    if (imageCount < 0)
        ThrowMiscount(file_, "the images of entry \"" + name + "\"", imageCount, 0);
    ++entriesBegun_;
    const auto record = Format::EncodeEntry(name, entryValue, imageCount, tableOffset_);
    entryRecords_.insert(entryRecords_.end(), record.begin(), record.end());
    entryOpen_ = true;
    entryName_ = name;
    imageCount_ = imageCount;
    imagesAdded_ = 0;
    dataOffset_ = Checked::Add(tableOffset_, Checked::Mul(Format::ImageHeaderSize, imageCount, "An image table"),
                               "An image table");
}

void ContainerWriter::AddImage(const ImageBuffer& packed, const std::string& what)
{
    AddImage(packed.ImageWidth, packed.ImageHeight, PackedPixels(packed), what);
}

void ContainerWriter::AddImage(int32_t width, int32_t height, std::span<const uint8_t> pixels, const std::string& what)
{
    RequireRoomForImage();
    RequirePackedPixels(width, height, pixels, what);
    const int32_t dataSize = Checked::ToInt32(static_cast<int64_t>(pixels.size()), "The size of " + what);
    AddImageHeader(width, height, dataSize);
    out_.Append(pixels);
}

void ContainerWriter::AddStoredImage(int32_t width, int32_t height, ReadableFile& from, int64_t offset)
{
    RequireRoomForImage();
    const int32_t dataSize = StoredPixelBytes(width, height, from, offset);
    AddImageHeader(width, height, dataSize);
    out_.AppendCopy(from, offset, dataSize);
}

void ContainerWriter::Finish()
{
    EndEntry();
    if (entriesBegun_ != entryCount_)
        ThrowMiscount(file_, "the entries", entryCount_, entriesBegun_);
    out_.Patch(entryTable_, entryRecords_);
    out_.Flush();
}

void ContainerWriter::RequireRoomForImage() const
{
    if (!entryOpen_ || imagesAdded_ == imageCount_)
        ThrowMiscount(file_, "the images of entry \"" + entryName_ + "\"", imageCount_, imagesAdded_ + 1);
}

void ContainerWriter::AddImageHeader(int32_t width, int32_t height, int32_t dataSize)
{
    const auto header = Format::EncodeImageHeader({width, height, dataSize, dataOffset_});
    dataOffset_ = Checked::Add(dataOffset_, dataSize, "The rebuilt gadget file");
    imageHeaders_.insert(imageHeaders_.end(), header.begin(), header.end());
    ++imagesAdded_;
}

// The entry's image table is complete once its last image is in.
void ContainerWriter::EndEntry()
{
    if (!entryOpen_)
        return;
    if (imagesAdded_ != imageCount_)
        ThrowMiscount(file_, "the images of entry \"" + entryName_ + "\"", imageCount_, imagesAdded_);
    if (announcedHeaders_.empty())
        out_.Patch(imageTable_, imageHeaders_);
    else if (imageHeaders_ != announcedHeaders_)
        throw Error("Cannot write " + file_.Path().string() + ": the images of entry \"" + entryName_ +
                    "\" have other sizes than announced");
    imageHeaders_.clear();
    announcedHeaders_.clear();
    tableOffset_ = dataOffset_;
    entryOpen_ = false;
}

}  // namespace GDG
