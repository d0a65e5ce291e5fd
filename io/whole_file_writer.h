#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <unordered_set>
#include <vector>

#include "io/file_work.h"
#include "io/files.h"

namespace Brimwork {

// Writes whole files into one folder, each as CreateWithContents does, as
// tasks of a FileWork, so that several files are created at once where the
// file system allows. Two files for one name (letter case ignored) are
// written one after the other, so that the later one stays, as when the
// files are written one by one. The pieces waiting to be written count
// towards the FileWork's memory bound.
//
// Small files go to the FileWork several to a task, written in order, so
// that a thread is not woken for each one: handing over a task costs about
// as much as creating a small file.
//
// A file's copied range is left to the file system to copy when it is
// large. A small one, for which a copy by the system costs more than a
// read and a write, is read by the thread that writes the file, into a
// buffer kept for that thread: the small ranges of one task in one read
// when they lie close together in one file, as a container's images do.
// Their file must allow reads from several threads at once, as the files
// a FileSystem opens do.
class WholeFileWriter {
public:
    // A copied range of fewer bytes is read and written rather than copied.
    static constexpr int64_t SmallestCopy = int64_t{64} << 10;
    // A task takes files until it holds this many, or this many bytes.
    static constexpr size_t FilesPerTask = 16;
    static constexpr int64_t BytesPerTask = int64_t{256} << 10;

    WholeFileWriter(FileSystem& files, const std::filesystem::path& folder);

    // `name` is the file's name in the folder; the file holds the pieces,
    // then the bytes of `copied`, whose file must stay open until Run ends.
    void Write(const std::string& name, FilePieces pieces, FileRange copied = {});
    // Runs `produce`, which calls Write, and waits for every file; the
    // failure reported is the earliest, as FileWork::Run has it.
    void Run(const std::function<void()>& produce);

private:
    struct File {
        std::string name;
        FilePieces pieces;
        FileRange copied;
    };

    // Hands the files gathered so far to the FileWork as one task.
    void Hand();
    // Where the small ranges of the files lie together in one file, for
    // one read of them all; no file when they do not.
    static FileRange SmallRangesTogether(const std::vector<File>& files);
    void WriteNow(const File& file, const FileRange& extent, std::span<const uint8_t> extentBytes);

    const std::unique_ptr<NewFilesFolder> newFiles_;
    FileWork work_;
    std::unordered_set<std::string> names_;
    std::vector<File> gathered_;
    int64_t gatheredBytes_ = 0;
};

}  // namespace Brimwork
