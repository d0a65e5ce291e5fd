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

// The same pixels in display layout, from a buffer in packed layout;
// the empty image stays as it is.
ImageBuffer PaddedCopy(const ImageBuffer& packed);

// The image that stands for "no pixels": 0 x 0 and two zero bytes.
void MakeEmptyImage(ImageBuffer& image);

// The pixel bytes of a buffer in packed layout, as a container stores
// them: none for the empty image, whose two bytes are not pixels.
std::span<const uint8_t> PackedPixels(const ImageBuffer& image);

// PackedPixels of an image about to be written: an Error naming `what`
// when its size is negative or its bytes are not exactly width * height * 2
// (a buffer in display layout), which would give a file whose sizes lie.
std::span<const uint8_t> RequirePackedPixels(const ImageBuffer& image, const std::string& what);
// The same for pixels held elsewhere, of the given size.
std::span<const uint8_t> RequirePackedPixels(int32_t width, int32_t height, std::span<const uint8_t> pixels,
                                             const std::string& what);

// The bytes of a packed image of width x height stored at `offset` of the
// file: width * height * 2, or 0 without looking at `offset` when the image
// has no pixels. A negative size or pixels past the end of the file is an
// Error naming the file.
int32_t StoredPixelBytes(int32_t width, int32_t height, const ReadableFile& file, int64_t offset);

// The text of a fixed-width name field up to its first NUL (the whole
// field when it holds none).
std::string TrimAtNul(std::string_view field);

}  // namespace Brimwork
