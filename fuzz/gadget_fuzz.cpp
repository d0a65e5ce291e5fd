// Gadget files: list, load every image of every entry (capped), extract.
#include <cstddef>
#include <cstdint>

#include "fuzz/support/fuzz_support.h"
#include "gadget/gadget.h"

using namespace Brimwork;
using namespace Brimwork::Fuzz;

namespace {

constexpr size_t MostEntriesLoaded = 16;
constexpr int32_t MostImagesLoaded = 8;

void RequireDisplayLayout(const ImageBuffer& image)
{
    if (image.ImageWidth == 0 || image.ImageHeight == 0)
        return;
    Require(image.ImageBytes.size() ==
                static_cast<size_t>(RowStride(image.ImageWidth)) * static_cast<size_t>(image.ImageHeight),
            "a loaded image fills its display layout exactly");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Workspace work("in.gdg", std::vector<uint8_t>(data, data + size));
    ModuleContext context = work.Context();
    bool listed = false;
    if (ErrorOf([&] { listed = GDG::ListEntries(context, work.container.FileName); }) || !listed)
        return 0;

    const size_t entries = std::min(work.window.list.size(), MostEntriesLoaded);
    for (size_t entry = 0; entry < entries; ++entry) {
        for (int32_t wanted = 0; wanted < MostImagesLoaded; ++wanted) {
            int32_t imageIndex = wanted;
            if (ErrorOf([&] { GDG::LoadImage(context, static_cast<int32_t>(entry), imageIndex); }))
                break;
            RequireDisplayLayout(work.image);
            if (imageIndex != wanted)
                break;  // wrapped round: the entry has no more images
        }
    }

    const auto manifest = work.folder / GDG::ManifestName;
    const bool failed = ErrorOf([&] { GDG::ExtractAll(context); }).has_value();
    Require(work.files.Contents(manifest).has_value() != failed,
            "an extraction writes its manifest exactly when it succeeds");
    return 0;
}
