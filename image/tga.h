#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "image/image_buffer.h"
#include "io/files.h"

namespace Brimwork {

class FileSystem;
class ReadableFile;

// Writes the buffer as an uncompressed 16-bit top-left TGA file: the
// 18-byte header, then every byte of ImageBytes. A width or height outside
// the signed 16-bit range is an Error before any file is touched. An
// existing longer file is cut to the new length.
void WriteTGA(FileSystem& files, const std::filesystem::path& fileName, const ImageBuffer& image);

// Reads a TGA file into the buffer in packed layout, top row first, each row
// left to right, as 5-5-5 words: image types 1, 2, 3 and their run-length
// forms 9, 10, 11, at every depth those types allow (colour-mapped with 8- or
// 16-bit indices into 15/16/24/32-bit entries, true colour 15/16/24/32 bits,
// grey 8 bits or grey + alpha 16 bits). 15- and 16-bit words are kept
// unchanged; 24- and 32-bit colours keep the top 5 bits of each channel, a
// grey g becomes g >> 3 in all three. The origin bits of the descriptor are
// honoured, and run-length packets may run on past a row end. An image of
// width or height 0 is read as the empty image. Any other kind
// of file, or a file shorter than its header
// promises is an Error naming the file, raised before the pixels are
// allocated, and the buffer is then left as it was.
void ReadTGA(FileSystem& files, const std::filesystem::path& fileName, ImageBuffer& image);

// How a TGA file read held its pixels: whether each 16-bit word came from
// the file as it stands (15- and 16-bit colours), or was made from 8-bit
// channels (24- or 32-bit colour, grey), which leaves bit 15 at 0.
struct TgaOrigin {
    bool wordsKept = true;
};
void ReadTGA(FileSystem& files, const std::filesystem::path& fileName, ImageBuffer& image, TgaOrigin& origin);

// Whether the file at `path` holds exactly the bytes WriteTGA would write
// for the image.
bool TgaFileHolds(FileSystem& files, const std::filesystem::path& path, const ImageBuffer& image);

// Refuses, with an Error naming `what`, an image whose sides a TGA header
// cannot hold, so that an extraction can check every image before it
// writes its first file.
void RequireFitsTga(int32_t width, int32_t height, const std::string& what);

// The 18-byte header WriteTGA writes for an image of width x height: the
// pixels follow it as they are in packed layout. A width or height outside
// the signed 16-bit range is an Error naming `fileName`.
std::vector<uint8_t> EncodeTgaHeader(const std::filesystem::path& fileName, int32_t width, int32_t height);

// The bytes of the TGA file WriteTGA writes for the image, in two pieces
// (the header, then the pixels, moved rather than copied), for a writer
// that writes many files at once. A width or height outside the signed
// 16-bit range is an Error naming `fileName`.
FilePieces EncodeTga(const std::filesystem::path& fileName, ImageBuffer image);

// A TGA file as read: its pixels and how it held them.
struct TgaImage {
    ImageBuffer image;
    TgaOrigin origin;
    // What it holds in memory, for a reader that bounds what it reads ahead.
    int64_t HeldBytes() const { return static_cast<int64_t>(image.ImageBytes.size()); }
};

// Reads an opened TGA file as ReadTGA reads the file of its name.
TgaImage DecodeTga(ReadableFile& file);

}  // namespace Brimwork
