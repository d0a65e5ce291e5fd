#include <algorithm>
#include <limits>

#include "core/bytes.h"
#include "core/checked.h"
#include "core/error.h"
#include "image/image_buffer.h"
#include "vehicle/vehicle.h"

namespace AZP {

using namespace Brimwork;

namespace {

constexpr uint16_t White = 0x7FFF;
constexpr uint16_t Black = 0x0000;
constexpr int ThresholdOfWhite = 47;  // of the 93 that red, green and blue add up to at most
constexpr uint8_t WhiteRun = 0;
constexpr uint8_t BlackRun = 245;
constexpr uint8_t WhiteToRowEnd = 237;
constexpr int16_t WhiteRow = -1;
constexpr int32_t LongestRun = 255;
constexpr int32_t TallestFrame = 16383;  // twice the height plus one must stay within 16 bits
constexpr int32_t WidestFrame = std::numeric_limits<int16_t>::max();
constexpr int32_t LastRowOffset = std::numeric_limits<int16_t>::max();

uint16_t WordAt(const ImageBuffer& image, int64_t pixel)
{
    return Bytes::UInt16At(image.ImageBytes, static_cast<size_t>(2 * pixel));
}

void AppendRuns(std::vector<uint8_t>& data, uint8_t code, int32_t length)
{
    for (; length > 0; length -= LongestRun) {
        data.push_back(code);
        data.push_back(static_cast<uint8_t>(std::min(length, LongestRun)));
    }
}

// The runs of one row that is not white throughout.
void AppendRow(std::vector<uint8_t>& data, const ImageBuffer& image, int64_t rowStart)
{
    const int32_t width = image.ImageWidth;
    int32_t column = 0;
    while (column < width) {
        const bool white = WordAt(image, rowStart + column) == White;
        int32_t end = column + 1;
        while (end < width && (WordAt(image, rowStart + end) == White) == white)
            ++end;
        if (white && end == width) {
            data.push_back(WhiteToRowEnd);
            return;
        }
        AppendRuns(data, white ? WhiteRun : BlackRun, end - column);
        column = end;
    }
}

bool RowIsWhite(const ImageBuffer& image, int64_t rowStart)
{
    for (int32_t column = 0; column < image.ImageWidth; ++column)
        if (WordAt(image, rowStart + column) != White)
            return false;
    return true;
}

}  // namespace

int64_t RoundToShadow(ImageBuffer& packed)
{
    int64_t rounded = 0;
    const auto pixels = static_cast<int64_t>(PackedPixels(packed).size() / 2);
    for (int64_t p = 0; p < pixels; ++p) {
        const uint16_t colour = WordAt(packed, p) & White;
        if (colour == White || colour == Black) {
            Bytes::PutInt16(packed.ImageBytes, static_cast<size_t>(2 * p), static_cast<int16_t>(colour));
            continue;
        }
        const int brightness = (colour >> 10 & 31) + (colour >> 5 & 31) + (colour & 31);
        Bytes::PutInt16(packed.ImageBytes, static_cast<size_t>(2 * p),
                        static_cast<int16_t>(brightness >= ThresholdOfWhite ? White : Black));
        ++rounded;
    }
    return rounded;
}

void EncodeShadow(const ImageBuffer& packed, State& state, const std::string& fileName)
{
    const int32_t width = std::max(packed.ImageWidth, 0);
    const int32_t height = std::max(packed.ImageHeight, 0);
    const std::string size = std::to_string(width) + " x " + std::to_string(height);
    if (height > TallestFrame || width > WidestFrame)
        throw Error("Cannot rebuild: the shadow frame in " + fileName + " (" + size +
                    ") is larger than a shadow frame can be (32767 x 16383)");
    state.frame = ShadowFrame{};
    state.RowOffsets.clear();
    state.ShadowData.clear();
    if (width > 0 && height > 0) {
        for (int32_t row = 0; row < height; ++row) {
            const int64_t rowStart = int64_t{row} * width;
            if (RowIsWhite(packed, rowStart)) {
                state.RowOffsets.push_back(WhiteRow);
                continue;
            }
            if (state.ShadowData.size() > static_cast<size_t>(LastRowOffset))
                throw Error("Cannot rebuild: the shadow frame in " + fileName + " (" + size +
                            ") needs more run-length data than a frame's row table can reach (row " +
                            std::to_string(row) + " would start past byte 32767)");
            state.RowOffsets.push_back(static_cast<int16_t>(state.ShadowData.size()));
            AppendRow(state.ShadowData, packed, rowStart);
        }
        state.frame.Width = static_cast<int16_t>(width);
        state.frame.Height = static_cast<int16_t>(height);
    }
    state.frame.DataSize = Checked::ToInt32(
        2 * static_cast<int64_t>(state.RowOffsets.size()) + static_cast<int64_t>(state.ShadowData.size()),
        "The shadow frame in " + fileName);
}

}  // namespace AZP
