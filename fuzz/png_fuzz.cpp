// The PNG reader over any bytes: a refused file leaves the buffer as it
// was; what it reads is a packed image without bit 15, which the writer
// encodes and the reader reads back unchanged.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "fuzz/support/fuzz_support.h"
#include "image/png.h"

using namespace Brimwork;
using namespace Brimwork::Fuzz;

namespace {

uint32_t BigEndianAt(std::span<const uint8_t> bytes, size_t at)
{
    return uint32_t{bytes[at]} << 24 | uint32_t{bytes[at + 1]} << 16 | uint32_t{bytes[at + 2]} << 8 | bytes[at + 3];
}

// Whether the IHDR claims an image of more than 2^24 pixels that the
// reader's size checks let through: a few kilobytes of a 1-bit image may
// rightly hold a hundred million pixels, which take seconds under the
// sanitizers and would stop the run as a timeout. Claims the checks
// refuse are still fuzzed.
bool LargeButPlausible(std::span<const uint8_t> bytes)
{
    if (!LooksLikePng(bytes) || bytes.size() < 29)
        return false;
    const int64_t width = BigEndianAt(bytes, 16);
    const int64_t height = BigEndianAt(bytes, 20);
    const int64_t bitDepth = bytes[24];
    const int colourType = bytes[25];
    const int64_t channels = colourType == 2 ? 3 : colourType == 4 ? 2 : colourType == 6 ? 4 : 1;
    if (width > (int64_t{1} << 30) || height > (int64_t{1} << 30) || width * height <= (int64_t{1} << 24) ||
        width * height * 2 > std::numeric_limits<int32_t>::max())
        return false;
    const int64_t rawBytes = height * (1 + (width * channels * bitDepth + 7) / 8);
    return rawBytes <= static_cast<int64_t>(bytes.size()) * 1100 + (int64_t{1} << 20);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> bytes(data, size);
    if (LargeButPlausible(bytes))
        return 0;
    const ImageBuffer before{7, 9, {1, 2, 3}};
    ImageBuffer image = before;
    if (ErrorOf([&] { DecodePng(bytes, "in.png", image); })) {
        Require(image.ImageWidth == before.ImageWidth && image.ImageHeight == before.ImageHeight &&
                    image.ImageBytes == before.ImageBytes,
                "a refused PNG leaves the buffer as it was");
        return 0;
    }
    Require(LooksLikePng(bytes), "only a file with the PNG signature decodes");
    Require(image.ImageWidth > 0 && image.ImageHeight > 0 &&
                image.ImageBytes.size() ==
                    static_cast<size_t>(image.ImageWidth) * static_cast<size_t>(image.ImageHeight) * 2,
            "a decoded PNG is a packed image with pixels");
    Require(PixelsWithBit15(image) == 0, "a decoded PNG has bit 15 clear in every pixel");

    std::vector<uint8_t> encoded;
    Require(!ErrorOf([&] { encoded = EncodePng(image, "out"); }), "a decoded image encodes");
    ImageBuffer again;
    Require(!ErrorOf([&] { DecodePng(encoded, "out.png", again); }), "an encoded image decodes");
    Require(again.ImageWidth == image.ImageWidth && again.ImageHeight == image.ImageHeight &&
                again.ImageBytes == image.ImageBytes,
            "an encoded image decodes unchanged");
    return 0;
}
