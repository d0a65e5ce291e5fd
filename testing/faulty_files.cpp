#include "testing/faulty_files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/error.h"

namespace Brimwork::Testing {

namespace fs = std::filesystem;

namespace {

// The words the real file system puts after "Cannot" for each operation.
std::string_view VerbOf(FileOperation operation)
{
    switch (operation) {
    case FileOperation::OpenForReading:
        return "open";
    case FileOperation::Create:
        return "create";
    case FileOperation::Read:
        return "read";
    case FileOperation::Write:
        return "write";
    case FileOperation::Sync:
        return "flush";
    case FileOperation::Close:
        return "close";
    case FileOperation::Lookup:
        return "look up";
    case FileOperation::List:
        return "list the folder";
    case FileOperation::Rename:
        return "rename";
    case FileOperation::Remove:
        return "delete";
    case FileOperation::SyncFolder:
        return "flush the folder";
    case FileOperation::ReadAccess:
        return "read the permissions of";
    case FileOperation::SetAccess:
        return "set the permissions of";
    case FileOperation::Link:
        return "link";
    }
    return "use";
}

// The errors with which the real file system says that it makes no hard
// link there: it returns false for them rather than failing.
bool LinkRefused(int error)
{
    return error == EXDEV || error == EPERM || error == EOPNOTSUPP || error == ENOTSUP || error == EMLINK;
}

template <typename T>
std::span<T> FirstHalf(std::span<T> data)
{
    return data.first(data.size() / 2);
}

}  // namespace

std::string_view NameOf(FileOperation operation)
{
    switch (operation) {
    case FileOperation::OpenForReading:
        return "OpenForReading";
    case FileOperation::Create:
        return "Create";
    case FileOperation::Read:
        return "Read";
    case FileOperation::Write:
        return "Write";
    case FileOperation::Sync:
        return "Sync";
    case FileOperation::Close:
        return "Close";
    case FileOperation::Lookup:
        return "Lookup";
    case FileOperation::List:
        return "List";
    case FileOperation::Rename:
        return "Rename";
    case FileOperation::Remove:
        return "Remove";
    case FileOperation::SyncFolder:
        return "SyncFolder";
    case FileOperation::ReadAccess:
        return "ReadAccess";
    case FileOperation::SetAccess:
        return "SetAccess";
    case FileOperation::Link:
        return "Link";
    }
    return "Unknown";
}

class FaultyReadableFile final : public ReadableFile {
public:
    FaultyReadableFile(FaultyFileSystem& files, std::unique_ptr<ReadableFile> real)
        : files_(files), real_(std::move(real))
    {
    }
    const fs::path& Path() const override { return real_->Path(); }
    int64_t Size() const override { return real_->Size(); }
    FileStamp Stamp() const override { return real_->Stamp(); }
    void ReadAt(int64_t offset, std::span<uint8_t> out) override
    {
        files_.Step(FileOperation::Read, Path());
        real_->ReadAt(offset, out);
    }
    ReadableFile& Real() { return *real_; }

private:
    FaultyFileSystem& files_;
    std::unique_ptr<ReadableFile> real_;
};

class FaultyWritableFile final : public WritableFile {
public:
    FaultyWritableFile(FaultyFileSystem& files, std::unique_ptr<WritableFile> real)
        : files_(files), real_(std::move(real))
    {
    }
    const fs::path& Path() const override { return real_->Path(); }
    void WriteAt(int64_t offset, std::span<const uint8_t> data) override
    {
        files_.Step(FileOperation::Write, Path(), [&] { real_->WriteAt(offset, FirstHalf(data)); });
        real_->WriteAt(offset, data);
    }
    void Write(std::span<const uint8_t> data) override
    {
        files_.Step(FileOperation::Write, Path(), [&] { real_->Write(FirstHalf(data)); });
        real_->Write(data);
    }
    // One write, however many pieces; a failing one puts down the first
    // half of the bytes.
    void WriteGathered(std::span<const std::span<const uint8_t>> pieces) override
    {
        files_.Step(FileOperation::Write, Path(), [&] {
            size_t total = 0;
            for (const auto& piece : pieces)
                total += piece.size();
            std::vector<std::span<const uint8_t>> half;
            for (size_t left = total / 2; const auto& piece : pieces) {
                half.push_back(piece.first(std::min(left, piece.size())));
                left -= half.back().size();
            }
            real_->WriteGathered(half);
        });
        real_->WriteGathered(pieces);
    }
    // A copy reads its source, counted as a read when the source is a file
    // of this file system, and is one write; the real files copy between
    // themselves as they would unwatched. A failing copy puts down the
    // first half of the bytes.
    void AppendFrom(ReadableFile& from, int64_t offset, int64_t size) override
    {
        auto* watched = dynamic_cast<FaultyReadableFile*>(&from);
        if (watched != nullptr)
            files_.Step(FileOperation::Read, from.Path());
        ReadableFile& source = watched != nullptr ? watched->Real() : from;
        files_.Step(FileOperation::Write, Path(), [&] { real_->AppendFrom(source, offset, size / 2); });
        real_->AppendFrom(source, offset, size);
    }
    void Sync() override
    {
        files_.Step(FileOperation::Sync, Path());
        real_->Sync();
    }
    void SetAccess(const FileAccess& access) override
    {
        files_.Step(FileOperation::SetAccess, Path());
        real_->SetAccess(access);
    }
    // A hint that cannot fail, so not a fault point.
    void StartWriteback() override { real_->StartWriteback(); }
    void Close() override
    {
        files_.Step(FileOperation::Close, Path(), [&] { real_->Close(); });
        real_->Close();
    }

private:
    FaultyFileSystem& files_;
    std::unique_ptr<WritableFile> real_;
};

FaultyFileSystem::FaultyFileSystem(FileSystem& real) : real_(real) {}

void FaultyFileSystem::FailAt(FileOperation operation, int occurrence, int error)
{
    const std::lock_guard lock(*mutex_);
    planned_ = operation;
    plannedOccurrence_ = occurrence;
    plannedError_ = error;
}

int FaultyFileSystem::Count(FileOperation operation) const
{
    const std::lock_guard lock(*mutex_);
    const auto found = counts_.find(operation);
    return found == counts_.end() ? 0 : found->second;
}

bool FaultyFileSystem::Failed() const
{
    const std::lock_guard lock(*mutex_);
    return failed_;
}

fs::path FaultyFileSystem::FailedPath() const
{
    const std::lock_guard lock(*mutex_);
    return failedPath_;
}

int FaultyFileSystem::TotalCount() const
{
    const std::lock_guard lock(*mutex_);
    int total = 0;
    for (const auto& [operation, count] : counts_)
        total += count;
    return total;
}

void FaultyFileSystem::Step(FileOperation operation, const fs::path& path, const std::function<void()>& beforeFailing,
                            const std::string& detail)
{
    const std::lock_guard lock(*mutex_);
    const int occurrence = ++counts_[operation];
    if (plannedOccurrence_ == 0 || operation != planned_ || occurrence != plannedOccurrence_)
        return;
    if (beforeFailing)
        beforeFailing();
    failed_ = true;
    failedPath_ = path;
    throw Error("Cannot " + std::string(VerbOf(operation)) + " " + path.string() + detail + ": " +
                std::strerror(plannedError_));
}

std::unique_ptr<ReadableFile> FaultyFileSystem::OpenForReading(const fs::path& path, Links links)
{
    Step(FileOperation::OpenForReading, path);
    return std::make_unique<FaultyReadableFile>(*this, real_.OpenForReading(path, links));
}

std::unique_ptr<WritableFile> FaultyFileSystem::CreateForWriting(const fs::path& path)
{
    Step(FileOperation::Create, path);
    return std::make_unique<FaultyWritableFile>(*this, real_.CreateForWriting(path));
}

EntryType FaultyFileSystem::TypeOf(const fs::path& path)
{
    Step(FileOperation::Lookup, path);
    return real_.TypeOf(path);
}

std::vector<std::string> FaultyFileSystem::ListFolder(const fs::path& folder)
{
    Step(FileOperation::List, folder);
    return real_.ListFolder(folder);
}

std::vector<FolderEntry> FaultyFileSystem::ListFolderWithTypes(const fs::path& folder)
{
    Step(FileOperation::List, folder);
    return real_.ListFolderWithTypes(folder);
}

std::optional<FileAccess> FaultyFileSystem::AccessOf(const fs::path& path)
{
    Step(FileOperation::ReadAccess, path);
    return real_.AccessOf(path);
}

void FaultyFileSystem::RefuseHardLinks(int error)
{
    const std::lock_guard lock(*mutex_);
    linkError_ = error;
}

bool FaultyFileSystem::HardLink(const fs::path& existing, const fs::path& link)
{
    int error = 0;
    try {
        Step(FileOperation::Link, link, {}, " to " + existing.string());
        const std::lock_guard lock(*mutex_);
        error = linkError_;
    } catch (const Error&) {
        const std::lock_guard lock(*mutex_);
        if (!LinkRefused(plannedError_))
            throw;
        return false;
    }
    if (error == 0)
        return real_.HardLink(existing, link);
    if (LinkRefused(error))
        return false;
    throw Error("Cannot link " + link.string() + " to " + existing.string() + ": " + std::strerror(error));
}

void FaultyFileSystem::Rename(const fs::path& from, const fs::path& to)
{
    Step(FileOperation::Rename, from, {}, " to " + to.string());
    real_.Rename(from, to);
}

void FaultyFileSystem::Remove(const fs::path& path)
{
    Step(FileOperation::Remove, path);
    real_.Remove(path);
}

void FaultyFileSystem::SyncFolder(const fs::path& folder)
{
    Step(FileOperation::SyncFolder, folder);
    real_.SyncFolder(folder);
}

}  // namespace Brimwork::Testing
