#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace Brimwork {

class ReadableFile;

// The one current image. Its bytes hold either the packed layout (rows of
// ImageWidth * 2 bytes) or the display layout (rows of RowStride bytes, the
// pixels first, then 0 or 2 zero bytes); which one follows from the
// operation that filled it last. Pixels are little-endian 5-5-5 words.
struct ImageBuffer {
    int32_t ImageWidth = 0;
    int32_t ImageHeight = 0;
    std::vector<uint8_t> ImageBytes;
};

// Bytes of one display-layout row: width * 2 rounded up to a multiple of 4.
int32_t RowStride(int32_t width);

// Fills the buffer in display layout with the packed image of the size the
// buffer already holds, read from `offset`. A negative size, or pixel data
// that would reach past the end of the file, is an Error raised before
// anything is allocated.
void ReadPadded(ImageBuffer& image, ReadableFile& file, int64_t offset);

// The same in packed layout: exactly width * height * 2 bytes.
void ReadPacked(ImageBuffer& image, ReadableFile& file, int64_t offset);

// The image that stands for "no pixels": 0 x 0 and two zero bytes.
void MakeEmptyImage(ImageBuffer& image);

// The pixel bytes of a buffer in packed layout, as a container stores
// them: none for the empty image, whose two bytes are not pixels.
std::span<const uint8_t> PackedPixels(const ImageBuffer& image);

// The text of a fixed-width name field up to its first NUL (the whole
// field when it holds none).
std::string TrimAtNul(std::string_view field);

}  // namespace Brimwork
