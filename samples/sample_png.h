#pragma once

#include <array>
#include <cstdint>
#include <vector>

// PNG files made in code by libpng's own writer, at every colour type, bit
// depth and interlace the PNG format has: the tests' inputs for the PNG
// reader and the seeds of its fuzz target.
namespace Brimwork::Samples {

// Colour types as a PNG's IHDR stores them.
enum class PngColour : uint8_t { Grey = 0, Rgb = 2, Palette = 3, GreyAlpha = 4, Rgba = 6 };

int ChannelsOf(PngColour colour);

struct PngSamples {
    PngColour colour = PngColour::Rgb;
    int bitDepth = 8;
    bool interlaced = false;
    uint32_t width = 0;
    uint32_t height = 0;
    // Row by row, pixel by pixel, channel by channel (a palette index for a
    // palette image), each below 2^bitDepth.
    std::vector<uint16_t> samples;
    std::vector<std::array<uint8_t, 3>> palette;
    std::vector<uint8_t> paletteAlpha;  // the tRNS chunk of a palette image; none when empty
};

// The PNG file of the samples; a failure of libpng is a std::runtime_error.
std::vector<uint8_t> WritePngWithLibpng(const PngSamples& picture);

}  // namespace Brimwork::Samples
