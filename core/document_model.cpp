#include "core/document_model.h"

#include "core/error.h"
#include "io/files.h"
#include "core/names.h"
#include "image/image_buffer.h"

namespace Brimwork {

const char* EntryKindName(EntryKind kind)
{
    switch (kind) {
    case EntryKind::Gadget:
        return "gadget";
    case EntryKind::Screen:
        return "screen";
    case EntryKind::Vehicle:
        return "vehicle";
    case EntryKind::Shadow:
        return "shadow";
    }
    return "unknown";
}

DocumentImage StoredImage(const std::shared_ptr<ReadableFile>& file, int32_t width, int32_t height, int64_t offset,
                          int64_t size, std::vector<int32_t> hotspots)
{
    return DocumentImage{width, height, std::move(hotspots), StoredBytes{file, offset, size}, nullptr};
}

DocumentImage EditedImage(int32_t width, int32_t height, std::vector<uint8_t> bytes, std::vector<int32_t> hotspots)
{
    return DocumentImage{width, height, std::move(hotspots), {},
                         std::make_shared<const std::vector<uint8_t>>(std::move(bytes))};
}

DocumentImage EditedImage(ImageBuffer packed, std::vector<int32_t> hotspots)
{
    RequirePackedPixels(packed, "the new image");
    // Without pixels it is the empty image, as a TGA file of it reads back.
    if (packed.ImageWidth == 0 || packed.ImageHeight == 0)
        return EditedImage(0, 0, {}, std::move(hotspots));
    return EditedImage(packed.ImageWidth, packed.ImageHeight, std::move(packed.ImageBytes), std::move(hotspots));
}

DocumentImage Placed(const DocumentImage& image, int64_t offset)
{
    return DocumentImage{image.width, image.height, image.hotspots, StoredBytes{nullptr, offset, image.ByteSize()},
                         nullptr};
}

std::vector<uint8_t> ImageBytes(const DocumentImage& image)
{
    if (image.Edited())
        return *image.edited;
    std::vector<uint8_t> bytes(static_cast<size_t>(image.stored.size));
    if (!bytes.empty())
        image.stored.file->ReadAt(image.stored.offset, bytes);
    return bytes;
}

ImageBuffer PackedImage(const DocumentImage& image)
{
    ImageBuffer packed;
    if (image.width <= 0 || image.height <= 0) {
        MakeEmptyImage(packed);
        return packed;
    }
    packed.ImageWidth = image.width;
    packed.ImageHeight = image.height;
    packed.ImageBytes = ImageBytes(image);
    return packed;
}

void RequireEntryNameFits(const std::string& name, size_t fieldSize)
{
    RequireNonEmptyPlainFileName(name, "The entry name");
    if (name.size() > fieldSize)
        throw Error("The entry name \"" + name + "\" has " + std::to_string(name.size()) +
                    " characters, more than the " + std::to_string(fieldSize) + " its field holds");
    if (name.find_first_of("\r\n") != std::string::npos)
        throw Error("The entry name \"" + name + "\" holds a line break, which the manifest cannot carry");
}

}  // namespace Brimwork
