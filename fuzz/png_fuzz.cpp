// The PNG reader over any bytes: a refused file leaves the buffer as it
// was; what it reads is a packed image without bit 15, which the writer
// encodes and the reader reads back unchanged.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "fuzz/support/fuzz_support.h"
#include "image/png.h"

using namespace Brimwork;
using namespace Brimwork::Fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> bytes(data, size);
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
