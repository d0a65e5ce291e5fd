#include "app/image_count.h"

#include <algorithm>

#include "app/session.h"
#include "core/error.h"
#include "core/files.h"
#include "gadget/gadget_format.h"
#include "screen/screen_format.h"
#include "vehicle/vehicle_format.h"

namespace Brimwork {

int32_t EntryImageCount(FileSystem& files, int32_t fileKind, const std::filesystem::path& container,
                        int32_t entryIndex)
{
    auto file = files.OpenContainer(container);
    switch (fileKind) {
    case ScreenFileKind:
        PIX::Format::ReadEntry(*file, entryIndex);  // the entry must exist
        return 1;
    case VehicleFileKind: {
        const AZP::Format::VehicleEntry entry = AZP::Format::ReadEntry(*file, entryIndex);
        if (!AZP::Format::IsShadowRecord(*file, entry))
            return AZP::SlotCount;
        return std::max<int32_t>(AZP::Format::ReadFrameCount(*file, entry), 0);
    }
    default: {
        const GDG::Format::GadgetEntry entry = GDG::Format::ReadEntry(*file, entryIndex);
        if (entry.ImageCount <= 0)
            return 0;
        // Each image has its header in the table: a count larger than the
        // file could hold is damage, not a number of images to offer.
        const int64_t tableEnd = int64_t{entry.TableOffset} + int64_t{GDG::Format::ImageHeaderSize} * entry.ImageCount;
        if (entry.TableOffset < 0 || tableEnd > file->Size())
            ThrowDamaged(file->Path().string(), "the image table of entry \"" + entry.Name + "\" (" +
                                                    std::to_string(entry.ImageCount) +
                                                    " images) reaches past the end of the file");
        return entry.ImageCount;
    }
    }
}

}  // namespace Brimwork
