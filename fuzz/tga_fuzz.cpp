// The TGA reader, over every type, depth and origin it accepts; what it
// reads, the writer writes and the reader reads back unchanged.
#include <cstddef>
#include <cstdint>

#include "fuzz/support/fuzz_support.h"
#include "image/tga.h"

using namespace Brimwork;
using namespace Brimwork::Fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    MemoryFileSystem files;
    files.AddFolder(Folder);
    files.AddFile(Folder / "in.tga", std::vector<uint8_t>(data, data + size));

    const ImageBuffer before{7, 9, {1, 2, 3}};
    ImageBuffer image = before;
    if (ErrorOf([&] { ReadTGA(files, Folder / "in.tga", image); })) {
        Require(image.ImageWidth == before.ImageWidth && image.ImageHeight == before.ImageHeight &&
                    image.ImageBytes == before.ImageBytes,
                "a refused TGA file leaves the buffer as it was");
        return 0;
    }
    if (image.ImageWidth == 0 || image.ImageHeight == 0)
        Require(image.ImageWidth == 0 && image.ImageHeight == 0 && image.ImageBytes.size() == 2,
                "an image without pixels reads as the empty image");
    else
        Require(image.ImageBytes.size() ==
                    static_cast<size_t>(image.ImageWidth) * static_cast<size_t>(image.ImageHeight) * 2,
                "an image read is packed: width x height x 2 bytes");

    // The writer takes sides up to 32767; larger images are refused clearly.
    const bool writable = image.ImageWidth <= 32767 && image.ImageHeight <= 32767;
    const auto written = ErrorOf([&] { WriteTGA(files, Folder / "out.tga", image); });
    Require(written.has_value() != writable, "the writer takes exactly the sides a TGA header holds");
    if (written)
        return 0;
    ImageBuffer again;
    const auto reread = ErrorOf([&] { ReadTGA(files, Folder / "out.tga", again); });
    Require(!reread, "a written TGA file reads back");
    Require(again.ImageWidth == image.ImageWidth && again.ImageHeight == image.ImageHeight &&
                again.ImageBytes == image.ImageBytes,
            "a written TGA file reads back unchanged");
    return 0;
}
