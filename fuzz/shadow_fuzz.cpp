// Shadow frames. Decoding arbitrary row tables and run-length bytes stays
// within the buffers and gives only black and white pixels (a run may go on
// into a row's padding and the next row, as the format has it). Encoding arbitrary black and white pixels with the
// rebuild's encoder and decoding them again gives the same pixels.
#include <cstddef>
#include <cstdint>

#include "fuzz/support/fuzz_support.h"
#include "vehicle/vehicle.h"

using namespace Brimwork;
using namespace Brimwork::Fuzz;

namespace {

constexpr int64_t MostPixels = int64_t{1} << 16;
constexpr uint16_t White = 0x7FFF;

uint16_t WordAt(const std::vector<uint8_t>& bytes, size_t pixel)
{
    return static_cast<uint16_t>(bytes[2 * pixel] | bytes[2 * pixel + 1] << 8);
}

void DecodeArbitrary(InputReader& in)
{
    AZP::State state;
    state.frame.Width = static_cast<int16_t>(in.UInt16());
    state.frame.Height = static_cast<int16_t>(in.UInt16());
    const uint16_t rows = in.UInt16();
    for (uint16_t row = 0; row < rows && !in.Empty(); ++row)
        state.RowOffsets.push_back(static_cast<int16_t>(in.UInt16()));
    state.ShadowData = in.Rest();
    const int64_t width = state.frame.Width;
    const int64_t height = state.frame.Height;
    if (width * height > MostPixels)
        return;

    for (const bool pad : {false, true}) {
        ImageBuffer image;
        QuietWindow window;
        Require(!ErrorOf([&] { AZP::DecodeShadow(image, window, state, pad); }),
                "a frame of a usable size always decodes");
        if (width <= 0 || height <= 0) {
            Require(image.ImageWidth == 0 && image.ImageHeight == 0 && image.ImageBytes.size() == 2,
                    "a frame without pixels is the empty image");
            continue;
        }
        const int64_t rowPixels = pad && width % 2 == 1 ? width + 1 : width;
        Require(image.ImageWidth == width && image.ImageHeight == height &&
                    static_cast<int64_t>(image.ImageBytes.size()) == rowPixels * height * 2,
                "a decoded frame has the frame's size and layout");
        for (size_t pixel = 0; pixel < image.ImageBytes.size() / 2; ++pixel) {
            const uint16_t word = WordAt(image.ImageBytes, pixel);
            Require(word == 0 || word == White, "a decoded frame holds black and white pixels only");
        }
    }
}

// The input's bits become a black and white picture of up to 300 x 48
// pixels (runs longer than 255 need splitting), which is encoded and
// decoded again.
void EncodeAndDecode(InputReader& in)
{
    const int32_t width = in.UInt16() % 300 + 1;
    const int32_t height = in.Byte() % 48 + 1;
    ImageBuffer picture{width, height, std::vector<uint8_t>(static_cast<size_t>(width * height * 2), 0)};
    // Each input byte gives a run of up to 16 equal pixels, so that long
    // runs are as likely as short ones.
    size_t pixel = 0;
    while (pixel < static_cast<size_t>(width * height)) {
        const uint8_t run = in.Byte();
        for (size_t i = 0; i <= (run & 0x0F) && pixel < static_cast<size_t>(width * height); ++i, ++pixel) {
            picture.ImageBytes[2 * pixel] = (run & 0x80) != 0 ? 0xFF : 0x00;
            picture.ImageBytes[2 * pixel + 1] = (run & 0x80) != 0 ? 0x7F : 0x00;
        }
    }
    AZP::State state;
    const auto encoding = ErrorOf([&] { AZP::EncodeShadow(picture, state, "in.tga"); });
    Require(!encoding, "a black and white picture of this size encodes: " + encoding.value_or(""));
    ImageBuffer decoded;
    QuietWindow window;
    AZP::DecodeShadow(decoded, window, state, false);
    Require(decoded.ImageWidth == width && decoded.ImageHeight == height &&
                decoded.ImageBytes == picture.ImageBytes && window.beeps == 0,
            "an encoded frame decodes to the same pixels");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    InputReader in(std::span(data, size));
    if (in.Byte() % 2 == 0)
        DecodeArbitrary(in);
    else
        EncodeAndDecode(in);
    return 0;
}
