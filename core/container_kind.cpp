#include "core/container_kind.h"

#include "image/tga.h"

namespace Brimwork {

ImageBuffer ContainerKind::LoadModelImage(EntryKind, const DocumentImage& image) { return PackedImage(image); }

DocumentImage ContainerKind::MakeModelImage(EntryKind, const DocumentImage*, ImageBuffer packed,
                                            const std::string& source, int64_t&)
{
    RequireFitsTga(packed.ImageWidth, packed.ImageHeight, "The image of " + source);
    return EditedImage(std::move(packed));
}

DocumentEntry ContainerKind::NewEntry(const std::string& name, EntryKind kind)
{
    return DocumentEntry{name, kind, 0, {}, {}, {}, {}};
}

void ContainerKind::Rename(DocumentEntry& entry, const std::string& name) { entry.name = name; }

}  // namespace Brimwork
