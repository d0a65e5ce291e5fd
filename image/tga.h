#pragma once

#include <filesystem>

namespace Brimwork {

class FileSystem;
struct ImageBuffer;

// Writes the buffer as an uncompressed 16-bit top-left TGA file: the
// 18-byte header, then every byte of ImageBytes. A width or height outside
// the signed 16-bit range is an Error before any file is touched. An
// existing longer file is cut to the new length.
void WriteTGA(FileSystem& files, const std::filesystem::path& fileName, const ImageBuffer& image);

// Reads a TGA file into the buffer in packed layout, top row first, as
// 5-5-5 words: image types 1, 2, 3 and their run-length forms 9, 10, 11, at
// every depth those types allow; 16-bit words are kept unchanged. Any other
// kind of file, or one shorter than its header promises, is an Error naming
// the file, and the buffer is then left as it was.
void ReadTGA(FileSystem& files, const std::filesystem::path& fileName, ImageBuffer& image);

}  // namespace Brimwork
