// Screen files: list, load every entry's image (capped), extract.
#include <cstddef>
#include <cstdint>

#include "fuzz/support/fuzz_support.h"
#include "screen/screen.h"

using namespace Brimwork;
using namespace Brimwork::Fuzz;

namespace {

constexpr size_t MostEntriesLoaded = 64;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Workspace work("in.pix", std::vector<uint8_t>(data, data + size));
    ModuleContext context = work.Context();
    bool listed = false;
    if (ErrorOf([&] { listed = PIX::ListEntries(context, work.container.FileName); }) || !listed)
        return 0;

    const size_t entries = std::min(work.window.list.size(), MostEntriesLoaded);
    for (size_t entry = 0; entry < entries; ++entry) {
        if (ErrorOf([&] { PIX::LoadImage(context, static_cast<int32_t>(entry)); }))
            continue;
        Require(work.image.ImageBytes.size() == static_cast<size_t>(RowStride(work.image.ImageWidth)) *
                                                    static_cast<size_t>(work.image.ImageHeight),
                "a loaded image fills its display layout exactly");
    }

    const auto manifest = work.folder / PIX::ManifestNameFor(context);
    const bool failed = ErrorOf([&] { PIX::ExtractAll(context); }).has_value();
    Require(work.files.Contents(manifest).has_value() != failed,
            "an extraction writes its manifest exactly when it succeeds");
    return 0;
}
