#pragma once

#include <array>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "io/files.h"

// A file system for tests that wraps a real one, counts every operation by
// kind and can make one chosen operation fail with a chosen errno, the way
// the real one fails: an Error naming the file and the system's text.
// Operations may come from several threads at once, as they do from a
// FileWork; which operation is number n then depends on their timing.
namespace Brimwork::Testing {

class FaultyReadableFile;
class FaultyWritableFile;

enum class FileOperation {
    OpenForReading,
    Create,
    Read,
    Write,
    Sync,
    Close,
    Lookup,
    List,
    Rename,
    Remove,
    SyncFolder,
    ReadAccess,  // FileSystem::AccessOf
    SetAccess,   // WritableFile::SetAccess
    Link,        // FileSystem::HardLink
};

inline constexpr std::array AllFileOperations{
    FileOperation::OpenForReading, FileOperation::Create,     FileOperation::Read,
    FileOperation::Write,          FileOperation::Sync,       FileOperation::Close,
    FileOperation::Lookup,         FileOperation::List,       FileOperation::Rename,
    FileOperation::Remove,         FileOperation::SyncFolder, FileOperation::ReadAccess,
    FileOperation::SetAccess,      FileOperation::Link,
};

std::string_view NameOf(FileOperation operation);

class FaultyFileSystem final : public FileSystem {
public:
    explicit FaultyFileSystem(FileSystem& real = RealFileSystem());

    // Makes operation number `occurrence` (counting from 1) of `operation`
    // fail with `error`; the operations before and after it succeed.
    // A copy between files (AppendFrom) is one read of its source, when
    // that is a file of this file system, and one write.
    // A failing write first puts down half of its bytes, as a disk that
    // fills up in the middle of a write does; a failing close still
    // releases the file. A link failing with an error by which the real
    // file system says it makes no hard link there (EXDEV, EPERM,
    // EOPNOTSUPP, EMLINK) returns false, as the real one does.
    void FailAt(FileOperation operation, int occurrence, int error);

    // Makes every hard link fail with `error` (EXDEV: as across devices),
    // the way a file system that makes none fails; still counted, and a
    // planned failure of another kind still happens.
    void RefuseHardLinks(int error = EXDEV);

    int Count(FileOperation operation) const;
    int TotalCount() const;
    // Whether the planned failure has happened, and on which file.
    bool Failed() const;
    std::filesystem::path FailedPath() const;

    using FileSystem::OpenForReading;
    std::unique_ptr<ReadableFile> OpenForReading(const std::filesystem::path& path, Links links) override;
    std::unique_ptr<WritableFile> CreateForWriting(const std::filesystem::path& path) override;
    EntryType TypeOf(const std::filesystem::path& path) override;
    std::vector<std::string> ListFolder(const std::filesystem::path& folder) override;
    std::vector<FolderEntry> ListFolderWithTypes(const std::filesystem::path& folder) override;
    std::optional<FileAccess> AccessOf(const std::filesystem::path& path) override;
    bool HardLink(const std::filesystem::path& existing, const std::filesystem::path& link) override;
    void Rename(const std::filesystem::path& from, const std::filesystem::path& to) override;
    void Remove(const std::filesystem::path& path) override;
    void SyncFolder(const std::filesystem::path& folder) override;
    int WorkerThreads(Work work) const override { return real_.WorkerThreads(work); }

private:
    friend class FaultyReadableFile;
    friend class FaultyWritableFile;

    // Counts one operation on `path`. When it is the one planned to fail,
    // runs `beforeFailing` (the part of the work that gets done anyway) and
    // throws the Error the real file system would throw; `detail` follows
    // the path in the message (" to <name>" for a rename).
    void Step(FileOperation operation, const std::filesystem::path& path,
              const std::function<void()>& beforeFailing = {}, const std::string& detail = {});

    FileSystem& real_;
    // Held by pointer so that a file system can be returned by value.
    std::unique_ptr<std::mutex> mutex_ = std::make_unique<std::mutex>();
    std::map<FileOperation, int> counts_;
    FileOperation planned_ = FileOperation::OpenForReading;
    int plannedOccurrence_ = 0;  // 0: nothing fails
    int plannedError_ = 0;
    int linkError_ = 0;  // 0: hard links are made
    bool failed_ = false;
    std::filesystem::path failedPath_;
};

}  // namespace Brimwork::Testing
