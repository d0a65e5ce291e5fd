// Vehicle files: list, load every slot and frame (capped, through the frame
// index), extract.
#include <cstddef>
#include <cstdint>

#include "io/files.h"
#include "fuzz/support/fuzz_support.h"
#include "vehicle/vehicle.h"
#include "vehicle/vehicle_format.h"

using namespace Brimwork;
using namespace Brimwork::Fuzz;

namespace {

constexpr size_t MostEntriesLoaded = 16;
constexpr int32_t MostImagesLoaded = 24;
// A shadow frame of a few bytes may stand for up to 32767 x 16383 pixels,
// which the format allows; decoding such frames only proves the machine
// has memory, so frames are decoded only while their pixels stay below this.
constexpr int64_t MostShadowPixels = int64_t{1} << 22;

// The pixels of every frame of every shadow entry, walked through the
// module's own checked reading; -1 when the walk fails (the module then
// fails the same way, before decoding anything).
int64_t ShadowPixels(Workspace& work)
{
    int64_t pixels = 0;
    const auto failed = ErrorOf([&] {
        auto file = work.files.OpenContainer(work.container.FileName);
        AZP::State state;
        for (const auto& entry : AZP::Format::ReadEntries(*file, AZP::Format::ReadEntryCount(*file))) {
            if (!AZP::Format::IsShadowRecord(*file, entry))
                continue;
            const int32_t frames = AZP::Format::ReadFrameCount(*file, entry);
            for (int32_t frame = 0; frame < frames && pixels <= MostShadowPixels; ++frame) {
                AZP::Format::ReadFrame(*file, entry, frame, state);
                pixels += int64_t{std::max<int16_t>(state.frame.Width, 0)} * std::max<int16_t>(state.frame.Height, 0);
            }
        }
    });
    return failed ? -1 : pixels;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Workspace work("in.azp", std::vector<uint8_t>(data, data + size));
    ModuleContext context = work.Context();
    AZP::State state;
    if (ErrorOf([&] { AZP::ListEntries(context, work.container.FileName); }))
        return 0;
    const int64_t shadowPixels = ShadowPixels(work);
    if (shadowPixels > MostShadowPixels)
        return 0;

    const size_t entries = std::min(work.window.list.size(), MostEntriesLoaded);
    for (size_t entry = 0; entry < entries; ++entry) {
        for (int32_t wanted = 0; wanted < MostImagesLoaded; ++wanted) {
            int32_t imageIndex = wanted;
            if (ErrorOf([&] { AZP::LoadImage(context, state, static_cast<int32_t>(entry), imageIndex); }))
                break;
            const ImageBuffer& image = work.image;
            if (image.ImageWidth == 0 || image.ImageHeight == 0)
                Require(image.ImageBytes.size() == 2, "an image without pixels is the empty image");
            else
                Require(image.ImageBytes.size() == static_cast<size_t>(RowStride(image.ImageWidth)) *
                                                       static_cast<size_t>(image.ImageHeight),
                        "a loaded image fills its display layout exactly");
            if (imageIndex != wanted)
                break;  // wrapped round: the entry has no more images
        }
    }

    const auto manifest = work.container.FileName.string() + ".txt";
    const bool failed = ErrorOf([&] { AZP::ExtractAll(context, state); }).has_value();
    Require(work.files.Contents(manifest).has_value() != failed,
            "an extraction writes its manifest exactly when it succeeds");
    return 0;
}
