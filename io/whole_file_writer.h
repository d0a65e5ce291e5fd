#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
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
class WholeFileWriter {
public:
    WholeFileWriter(FileSystem& files, const std::filesystem::path& folder);
    // `name` is the file's name in the folder.
    void Write(const std::string& name, FilePieces pieces);
    // Runs `produce`, which calls Write, and waits for every file; the
    // failure reported is the earliest, as FileWork::Run has it.
    void Run(const std::function<void()>& produce) { work_.Run(produce); }

private:
    const std::unique_ptr<NewFilesFolder> newFiles_;
    FileWork work_;
    std::unordered_set<std::string> names_;
};

}  // namespace Brimwork
