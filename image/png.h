#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace Brimwork {

class FileSystem;
struct ImageBuffer;

// PNG files through libpng. A 5-5-5 image becomes an 8-bit RGB PNG, each
// 5-bit value v widened to (v << 3) | (v >> 2) so that editors show true
// colours; reading keeps the top 5 bits of each channel, so that an
// exported image comes back exactly (bit 15 excepted, which a PNG cannot
// carry and which reads as 0).

// The largest PNG file ReadPNG reads whole.
inline constexpr int64_t MostPngFileBytes = int64_t{1} << 30;

// Encodes a packed image (ImageWidth * ImageHeight * 2 bytes) as an 8-bit
// RGB PNG and returns its bytes. An image without pixels (the empty image,
// or a side of 0) or a buffer that does not hold a packed image is an
// Error naming `what`.
std::vector<uint8_t> EncodePng(const ImageBuffer& packed, const std::string& what);

// How many pixels have bit 15 set, which a PNG cannot carry.
int64_t PixelsWithBit15(const ImageBuffer& packed);

// Writes EncodePng's bytes to the file. An image EncodePng refuses is
// refused before the file is touched; a file that fails part-way is
// removed, so that no short PNG is left under the name.
void WritePNG(FileSystem& files, const std::filesystem::path& fileName, const ImageBuffer& packed);

// Decodes a PNG into the buffer in packed layout, top row first, keeping
// the top 5 bits of each channel (of the 16-bit value at 16 bits a
// channel); bit 15 is 0. Reads grey at 1, 2, 4, 8 and 16 bits, grey +
// alpha, palette (with or without tRNS), RGB and RGBA at 8 and 16 bits,
// interlaced or not; alpha is ignored. A malformed PNG, or one whose size
// could not be held packed or could not come from so few bytes (a
// decompression bomb), is an Error "Cannot read NAME: ...", raised before
// the pixels are allocated where the size is at fault; the buffer is then
// left as it was.
void DecodePng(std::span<const uint8_t> bytes, const std::string& name, ImageBuffer& packed);

// Reads the whole file, refused above MostPngFileBytes, and decodes it.
void ReadPNG(FileSystem& files, const std::filesystem::path& fileName, ImageBuffer& packed);

// Whether the bytes begin with the 8-byte PNG signature.
bool LooksLikePng(std::span<const uint8_t> bytes);

}  // namespace Brimwork
