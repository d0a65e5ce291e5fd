#pragma once

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "io/file_work.h"
#include "io/files.h"

namespace Brimwork {

class FileSystem;
class ReadableFile;
struct ImageBuffer;

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

// Writes the TGA files of an extraction into one folder as WriteTGA does,
// as tasks of a FileWork, so that several files are created at once where
// the file system allows. Two images for one file name (letter case
// ignored) are written one after the other, so that the later one stays,
// as when the files are written one by one.
class TgaFileWriter {
public:
    TgaFileWriter(FileSystem& files, const std::filesystem::path& folder);
    // `fileName` is the file's name in the folder.
    void Write(const std::string& fileName, ImageBuffer image);
    // Runs `extract`, which calls Write, and waits for every file; the
    // failure reported is the earliest, as FileWork::Run has it.
    void Run(const std::function<void()>& extract) { work_.Run(extract); }

private:
    const std::filesystem::path folder_;
    const std::unique_ptr<NewFilesFolder> newFiles_;
    FileWork work_;
    std::unordered_set<std::string> names_;
};

// Reads a rebuild's TGA files, named in the order given, from one folder,
// ahead of the caller on a thread of its own where the file system allows
// threads: a file is begun only while those read and not yet taken hold at
// most ReadAheadBytes, so that memory stays within a few images. Next
// gives each file as ReadTGA would, in turn, and throws the failure of the
// file whose turn it is; files after a failed one are not read.
class TgaReadAhead {
public:
    static constexpr int64_t ReadAheadBytes = int64_t{2} << 20;

    TgaReadAhead(FileSystem& files, std::filesystem::path folder, std::vector<std::string> fileNames);
    TgaReadAhead(const TgaReadAhead&) = delete;
    TgaReadAhead& operator=(const TgaReadAhead&) = delete;
    ~TgaReadAhead();

    // The next file into `image`, and how it held its pixels.
    void Next(ImageBuffer& image);
    void Next(ImageBuffer& image, TgaOrigin& origin);

private:
    struct Result;
    void ReadAll();

    FileSystem& files_;
    const std::filesystem::path folder_;
    // Names rather than paths: a path costs several allocations, and a
    // rebuild may read tens of thousands of files.
    const std::vector<std::string> fileNames_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::unique_ptr<Result>> results_;
    size_t toRead_ = 0;
    size_t toTake_ = 0;
    int64_t readyBytes_ = 0;
    bool stopping_ = false;
    std::thread reader_;
};

}  // namespace Brimwork
