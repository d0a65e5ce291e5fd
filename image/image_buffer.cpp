#include "image/image_buffer.h"

#include <algorithm>

#include "core/checked.h"
#include "core/error.h"
#include "io/files.h"

namespace Brimwork {
namespace {

// Width * height * 2, checked and known to lie within the file at `offset`.
int32_t CheckedPixelBytes(const ImageBuffer& image, const ReadableFile& file, int64_t offset)
{
    const std::string name = file.Path().string();
    if (image.ImageWidth < 0 || image.ImageHeight < 0)
        ThrowDamaged(name, "an image has a negative size (" + std::to_string(image.ImageWidth) + " x " +
                               std::to_string(image.ImageHeight) + ")");
    const int64_t bytes = int64_t{image.ImageWidth} * image.ImageHeight * 2;
    if (offset < 0 || offset > file.Size() || bytes > file.Size() - offset)
        ThrowDamaged(name, "the pixel data of an image (" + std::to_string(image.ImageWidth) + " x " +
                               std::to_string(image.ImageHeight) + " at offset " + std::to_string(offset) +
                               ") reaches past the end of the file");
    return Checked::ToInt32(bytes, "The size of an image in " + name);
}

}  // namespace

int32_t RowStride(int32_t width)
{
    const int32_t bits = Checked::Add(Checked::Mul(width, 16, "A row width"), 31, "A row width");
    return (bits & ~31) / 8;
}

void ReadPadded(ImageBuffer& image, ReadableFile& file, int64_t offset)
{
    const int32_t packedBytes = CheckedPixelBytes(image, file, offset);
    const int32_t stride = RowStride(image.ImageWidth);
    const int32_t size = Checked::Mul(stride, image.ImageHeight, "The display size of an image");
    if (size == 0) {
        image.ImageBytes.clear();
        return;
    }
    if (image.ImageWidth * 2 == stride) {
        image.ImageBytes.assign(static_cast<size_t>(size), 0);
        file.ReadAt(offset, image.ImageBytes);
        return;
    }
    ImageBuffer packed{image.ImageWidth, image.ImageHeight, std::vector<uint8_t>(static_cast<size_t>(packedBytes))};
    file.ReadAt(offset, packed.ImageBytes);
    image.ImageBytes = PaddedCopy(packed).ImageBytes;
}

void ReadPacked(ImageBuffer& image, ReadableFile& file, int64_t offset)
{
    const int32_t bytes = CheckedPixelBytes(image, file, offset);
    image.ImageBytes.assign(static_cast<size_t>(bytes), 0);
    if (bytes > 0)
        file.ReadAt(offset, image.ImageBytes);
}

ImageBuffer PaddedCopy(const ImageBuffer& packed)
{
    const std::span<const uint8_t> pixels = RequirePackedPixels(packed, "The image to show");
    if (pixels.empty())
        return packed;
    const int32_t stride = RowStride(packed.ImageWidth);
    const int32_t rowBytes = packed.ImageWidth * 2;
    ImageBuffer padded{packed.ImageWidth, packed.ImageHeight, {}};
    padded.ImageBytes.assign(static_cast<size_t>(Checked::Mul(stride, packed.ImageHeight, "The display size of an image")), 0);
    for (int32_t row = 0; row < packed.ImageHeight; ++row)
        std::copy_n(pixels.begin() + int64_t{row} * rowBytes, rowBytes,
                    padded.ImageBytes.begin() + int64_t{row} * stride);
    return padded;
}

void MakeEmptyImage(ImageBuffer& image)
{
    image.ImageWidth = 0;
    image.ImageHeight = 0;
    image.ImageBytes.assign(2, 0);
}

std::span<const uint8_t> PackedPixels(const ImageBuffer& image)
{
    if (image.ImageWidth <= 0 || image.ImageHeight <= 0)
        return {};
    return image.ImageBytes;
}

std::span<const uint8_t> RequirePackedPixels(const ImageBuffer& image, const std::string& what)
{
    return RequirePackedPixels(image.ImageWidth, image.ImageHeight, PackedPixels(image), what);
}

std::span<const uint8_t> RequirePackedPixels(int32_t width, int32_t height, std::span<const uint8_t> pixels,
                                             const std::string& what)
{
    const std::string size = std::to_string(width) + " x " + std::to_string(height);
    if (width < 0 || height < 0)
        throw Error("The image of " + what + " has a negative size (" + size + ")");
    const int64_t packedBytes = int64_t{width} * height * 2;
    if (static_cast<int64_t>(pixels.size()) != packedBytes)
        throw Error("The image of " + what + " holds " + std::to_string(pixels.size()) + " bytes, not the " +
                    std::to_string(packedBytes) + " of its " + size + " pixels packed");
    return pixels;
}

int32_t StoredPixelBytes(int32_t width, int32_t height, const ReadableFile& file, int64_t offset)
{
    if (width >= 0 && height >= 0 && (width == 0 || height == 0))
        return 0;
    return CheckedPixelBytes(ImageBuffer{width, height, {}}, file, offset);
}

std::string TrimAtNul(std::string_view field)
{
    return std::string(field.substr(0, field.find('\0')));
}

}  // namespace Brimwork
