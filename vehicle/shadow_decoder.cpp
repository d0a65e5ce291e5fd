#include <algorithm>

#include "core/checked.h"
#include "core/window.h"
#include "image/image_buffer.h"
#include "vehicle/vehicle.h"

namespace AZP {

using namespace Brimwork;

namespace {

constexpr uint8_t WhiteRun = 0;
constexpr uint8_t BlackRun = 245;
constexpr uint8_t WhiteToRowEnd = 237;
constexpr uint8_t BeepAndEndRow = 255;
constexpr int16_t WhiteRow = -1;

// Pixels as a flat run over the buffer: a run that passes the end of its
// row goes on into the next row, and stops at the end of the buffer.
class PixelWriter {
public:
    explicit PixelWriter(std::vector<uint8_t>& bytes) : bytes_(bytes) {}

    void Fill(int64_t firstPixel, int64_t count, bool white)
    {
        const int64_t pixels = static_cast<int64_t>(bytes_.size() / 2);
        const int64_t end = std::min(firstPixel + count, pixels);
        for (int64_t p = firstPixel; p < end; ++p) {
            bytes_[static_cast<size_t>(2 * p)] = white ? 0xFF : 0x00;
            bytes_[static_cast<size_t>(2 * p + 1)] = white ? 0x7F : 0x00;
        }
    }

private:
    std::vector<uint8_t>& bytes_;
};

// Decodes one row's stream. A code with no meaning, a stream that runs past
// the end of the data, or a row offset below -1 ends the row where it is.
void DecodeRow(PixelWriter& pixels, WindowInterface& window, const State& state, int64_t rowStart, int32_t width,
               int16_t rowOffset)
{
    if (rowOffset == WhiteRow) {
        pixels.Fill(rowStart, width, true);
        return;
    }
    if (rowOffset < 0)
        return;
    const std::vector<uint8_t>& data = state.ShadowData;
    int32_t column = 0;
    size_t position = static_cast<size_t>(rowOffset);
    while (column < width && position < data.size()) {
        const uint8_t code = data[position];
        if (code == WhiteRun || code == BlackRun) {
            if (position + 1 >= data.size())
                return;
            const uint8_t length = data[position + 1];
            pixels.Fill(rowStart + column, length, code == WhiteRun);
            column += length;
            position += 2;
        } else if (code == WhiteToRowEnd) {
            pixels.Fill(rowStart + column, width - column, true);
            return;
        } else {
            if (code == BeepAndEndRow)
                window.Beep();
            return;
        }
    }
}

}  // namespace

void DecodeShadow(ImageBuffer& image, WindowInterface& window, const State& state, bool pad)
{
    const int32_t width = state.frame.Width;
    const int32_t height = state.frame.Height;
    if (width <= 0 || height <= 0) {
        MakeEmptyImage(image);
        return;
    }
    const int32_t rowPixels = pad && width % 2 == 1 ? width + 1 : width;
    const int32_t bytes = Checked::Mul(Checked::Mul(rowPixels, height, "A shadow frame"), 2, "A shadow frame");
    ImageBuffer decoded{width, height, std::vector<uint8_t>(static_cast<size_t>(bytes), 0)};
    PixelWriter pixels(decoded.ImageBytes);
    for (int32_t row = 0; row < height && static_cast<size_t>(row) < state.RowOffsets.size(); ++row)
        DecodeRow(pixels, window, state, int64_t{row} * rowPixels, width, state.RowOffsets[static_cast<size_t>(row)]);
    image = std::move(decoded);
}

}  // namespace AZP
