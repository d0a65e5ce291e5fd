#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <climits>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <thread>

#include "core/error.h"
#include "io/files.h"
#include "io/syscalls.h"

namespace Brimwork {
namespace {

namespace fs = std::filesystem;

// Every system call below goes through the table, which tests may replace.
const Syscalls& Sys() { return CurrentSyscalls(); }

[[noreturn]] void ThrowErrno(const std::string& action, const fs::path& path, int error)
{
    throw Error("Cannot " + action + " " + path.string() + ": " + std::strerror(error));
}

// Opening with O_NOFOLLOW gives ELOOP on a symbolic link; say what it means.
[[noreturn]] void ThrowOpenFailure(const std::string& action, const fs::path& path, int error)
{
    if (error == ELOOP)
        throw Error("Cannot " + action + " " + path.string() + ": it is a symbolic link, which is never followed");
    ThrowErrno(action, path, error);
}

// The errors with which linkat says that this file system makes no hard
// link here, rather than that something failed: across devices, not
// supported, refused (a folder, or protected_hardlinks for a file of
// another user), or too many links to the file already.
bool LinkRefused(int error)
{
    return error == EXDEV || error == EPERM || error == EOPNOTSUPP || error == ENOTSUP || error == EMLINK;
}

// The errors with which fchown says that this user may not give the file
// that group: not one of the user's groups, or (in a user namespace) a
// group the namespace does not map.
bool GroupRefused(int error) { return error == EPERM || error == EINVAL; }

class PosixDescriptor {
public:
    explicit PosixDescriptor(int fd) : fd_(fd) {}
    PosixDescriptor(const PosixDescriptor&) = delete;
    PosixDescriptor& operator=(const PosixDescriptor&) = delete;
    ~PosixDescriptor()
    {
        if (fd_ >= 0)
            Sys().close(fd_);
    }
    int get() const { return fd_; }
    int release()
    {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

class PosixReadableFile final : public ReadableFile {
public:
    PosixReadableFile(fs::path path, int fd, FileStamp stamp) : path_(std::move(path)), fd_(fd), stamp_(stamp) {}
    const fs::path& Path() const override { return path_; }
    int64_t Size() const override { return stamp_.size; }
    FileStamp Stamp() const override { return stamp_; }

    void ReadAt(int64_t offset, std::span<uint8_t> out) override
    {
        size_t done = 0;
        while (done < out.size()) {
            ssize_t got = Sys().pread(fd_.get(), out.data() + done, out.size() - done,
                                  static_cast<off_t>(offset + static_cast<int64_t>(done)));
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                ThrowErrno("read", path_, errno);
            }
            if (got == 0)
                throw Error("Cannot read " + path_.string() + ": the file ends before the data it should hold");
            done += static_cast<size_t>(got);
        }
    }

    int Descriptor() const { return fd_.get(); }

private:
    fs::path path_;
    PosixDescriptor fd_;
    FileStamp stamp_;
};

// The errors with which copy_file_range says that it cannot copy between
// these two files at all (other file systems, a kernel or file system
// without it, overlapping ranges of one file), where reading and writing
// still can.
bool CopyRefused(int error)
{
    return error == EXDEV || error == ENOSYS || error == EOPNOTSUPP || error == ENOTSUP || error == EINVAL;
}

class PosixWritableFile final : public WritableFile {
public:
    // Larger writes are split. A write of a megabyte or more is cached in
    // pages the system takes from its largest free blocks, which on a
    // virtual machine are often not yet backed by the host's memory:
    // writing 60 MB in 4.6 MB calls took 50-160 ms on such a machine, in
    // 256 KiB calls 17-22 ms. A call per 256 KiB costs nothing that shows.
    static constexpr size_t MaxBytesPerCall = size_t{256} << 10;
    // The system copies at most about 2 GiB per call; asking for less keeps
    // every count well within its types.
    static constexpr int64_t MaxBytesPerCopy = int64_t{1} << 30;

    PosixWritableFile(fs::path path, int fd) : path_(std::move(path)), fd_(fd) {}
    const fs::path& Path() const override { return path_; }

    void WriteAt(int64_t offset, std::span<const uint8_t> data) override
    {
        RequireOpen();
        size_t done = 0;
        while (done < data.size()) {
            ssize_t put = Sys().pwrite(fd_.get(), data.data() + done, std::min(data.size() - done, MaxBytesPerCall),
                                   static_cast<off_t>(offset + static_cast<int64_t>(done)));
            if (put < 0) {
                if (errno == EINTR)
                    continue;
                ThrowErrno("write", path_, errno);
            }
            done += static_cast<size_t>(put);
        }
        end_ = std::max(end_, offset + static_cast<int64_t>(data.size()));
    }

    void Write(std::span<const uint8_t> data) override { WriteAt(end_, data); }

    void WriteGathered(std::span<const std::span<const uint8_t>> pieces) override
    {
        RequireOpen();
        std::vector<iovec> vectors;
        for (const auto& piece : pieces)
            for (size_t at = 0; at < piece.size(); at += MaxBytesPerCall)
                vectors.push_back(
                    {const_cast<uint8_t*>(piece.data() + at), std::min(piece.size() - at, MaxBytesPerCall)});
        size_t first = 0;  // vectors before it are written
        while (first < vectors.size()) {
            // As many pieces as one call may write, and at least one.
            int count = 1;
            size_t bytes = vectors[first].iov_len;
            while (count < IOV_MAX && first + count < vectors.size() &&
                   bytes + vectors[first + count].iov_len <= MaxBytesPerCall)
                bytes += vectors[first + count++].iov_len;
            ssize_t put = Sys().pwritev(fd_.get(), &vectors[first], count, static_cast<off_t>(end_));
            if (put < 0) {
                if (errno == EINTR)
                    continue;
                ThrowErrno("write", path_, errno);
            }
            end_ += put;
            // A short write leaves the rest of a piece for the next call.
            auto done = static_cast<size_t>(put);
            while (first < vectors.size() && done >= vectors[first].iov_len)
                done -= vectors[first++].iov_len;
            if (first < vectors.size()) {
                vectors[first].iov_base = static_cast<uint8_t*>(vectors[first].iov_base) + done;
                vectors[first].iov_len -= done;
            }
        }
    }

    // Between two files of this file system the system copies the bytes
    // itself, where the file system allows without even reading them (a
    // shared extent, a copy on the server).
    void AppendFrom(ReadableFile& from, int64_t offset, int64_t size) override
    {
        RequireOpen();
        auto* source = dynamic_cast<PosixReadableFile*>(&from);
        if (source == nullptr) {
            WritableFile::AppendFrom(from, offset, size);
            return;
        }
        RequireWithin(from, offset, size);
        int64_t done = 0;
        while (done < size) {
            loff_t in = offset + done;
            loff_t out = end_;
            const ssize_t copied = Sys().copy_file_range(source->Descriptor(), &in, fd_.get(), &out,
                                                     static_cast<size_t>(std::min(size - done, MaxBytesPerCopy)), 0);
            if (copied < 0) {
                if (errno == EINTR)
                    continue;
                if (done == 0 && CopyRefused(errno))
                    break;
                ThrowErrno("copy " + from.Path().string() + " into", path_, errno);
            }
            // Nothing copied: the source ends early, or its file system
            // copies nothing from it. Reading tells which, and a short
            // source is then the reader's Error, naming it.
            if (copied == 0)
                break;
            done += copied;
            end_ += copied;
        }
        if (done < size)
            WritableFile::AppendFrom(from, offset + done, size - done);
    }

    void Sync() override
    {
        RequireOpen();
        if (Sys().fsync(fd_.get()) != 0)
            ThrowErrno("flush", path_, errno);
    }

    void StartWriteback() override
    {
        if (fd_.get() >= 0)
            Sys().sync_file_range(fd_.get(), 0, 0, SYNC_FILE_RANGE_WRITE);
    }

    // Only what differs is changed, so that a file system that cannot
    // change a file's owner or mode is not asked to when there is nothing
    // to change. The group goes first: giving a file another group clears
    // its set-user-ID and set-group-ID bits, which the permissions then
    // set again.
    void SetAccess(const FileAccess& access) override
    {
        RequireOpen();
        struct stat info {};
        if (Sys().fstat(fd_.get(), &info) != 0)
            ThrowErrno("read the permissions of", path_, errno);
        bool regrouped = false;
        if (info.st_gid != static_cast<gid_t>(access.group)) {
            if (Sys().fchown(fd_.get(), static_cast<uid_t>(-1), static_cast<gid_t>(access.group)) == 0)
                regrouped = true;
            else if (!GroupRefused(errno))
                ThrowErrno("set the group of", path_, errno);
        }
        const auto permissions = static_cast<mode_t>(access.permissions & 07777);
        if ((regrouped || (info.st_mode & 07777) != permissions) && Sys().fchmod(fd_.get(), permissions) != 0)
            ThrowErrno("set the permissions of", path_, errno);
    }

    int Descriptor() const { return fd_.get(); }

    // Sets the file's length to what was written, cutting what lay beyond.
    void CutToWritten()
    {
        RequireOpen();
        if (Sys().ftruncate(fd_.get(), static_cast<off_t>(end_)) != 0)
            ThrowErrno("set the length of", path_, errno);
    }

    void Close() override
    {
        RequireOpen();
        if (Sys().close(fd_.release()) != 0)
            ThrowErrno("close", path_, errno);
    }

private:
    void RequireOpen() const
    {
        if (fd_.get() < 0)
            throw Error("Cannot write " + path_.string() + ": the file is already closed");
    }

    fs::path path_;
    PosixDescriptor fd_;
    int64_t end_ = 0;
};

EntryType TypeOfMode(mode_t mode)
{
    if (S_ISLNK(mode))
        return EntryType::Symlink;
    if (S_ISREG(mode))
        return EntryType::Regular;
    if (S_ISDIR(mode))
        return EntryType::Directory;
    return EntryType::Other;
}

// Calls `each` for every entry of the folder but "." and "..".
template <typename Each>
void ReadFolder(const fs::path& folder, Each each)
{
    DIR* dir = Sys().opendir(folder.c_str());
    if (dir == nullptr)
        ThrowErrno("list the folder", folder, errno);
    int error = 0;
    try {
        for (;;) {
            errno = 0;
            const dirent* entry = Sys().readdir(dir);
            if (entry == nullptr) {
                error = errno;
                break;
            }
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                each(dir, *entry);
        }
    } catch (...) {
        Sys().closedir(dir);
        throw;
    }
    Sys().closedir(dir);
    if (error != 0)
        ThrowErrno("list the folder", folder, error);
}

// The type the listing gives; a file system that does not give one is
// asked for the entry's status, without following a symbolic link.
EntryType TypeInListing(DIR* dir, const fs::path& folder, const dirent& entry)
{
    switch (entry.d_type) {
    case DT_REG:
        return EntryType::Regular;
    case DT_DIR:
        return EntryType::Directory;
    case DT_LNK:
        return EntryType::Symlink;
    case DT_UNKNOWN:
        break;
    default:
        return EntryType::Other;
    }
    struct stat info {};
    if (Sys().fstatat(Sys().dirfd(dir), entry.d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT)
            return EntryType::Missing;
        ThrowErrno("look up", folder / entry.d_name, errno);
    }
    return TypeOfMode(info.st_mode);
}

// Creates files in a folder held open, naming each from the folder rather
// than walking the whole path again. A file is written unnamed in the
// folder and linked in under its name once complete. Finding a free inode,
// which after many deletions can take a while, then happens outside the
// folder's lock, so that threads creating many files at once do not queue
// for it; and a new name never shows a half-written file. Where the name
// is taken, the existing file is rewritten in place (a symbolic link is
// refused): a failure part-way then leaves that file half rewritten under
// its name, so the file is then removed. Extraction rewrites only files the
// user agreed to overwrite, and on a failure removes the files it created
// and says that those it was overwriting may be gone or hold the new images. Once a name was found taken, which happens when an
// extraction is run again over its own files, later files try that first,
// so that they are not written twice. Where the folder cannot be opened or the
// system cannot do this, the file is made by path as CreateForWriting makes
// it, with its messages.
class PosixNewFilesFolder final : public NewFilesFolder {
public:
    PosixNewFilesFolder(FileSystem& files, fs::path folder)
        : files_(files), folder_(std::move(folder)),
          dir_(Sys().open(folder_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC, 0))
    {
    }

    void CreateWithContents(const std::string& name, const WholeFileContents& contents) override
    {
        const fs::path path = folder_ / name;
        if (namesTaken_.load(std::memory_order_relaxed) && RewriteExisting(name, path, contents))
            return;
        const int fd = dir_.get() < 0 ? -1 : Sys().openat(dir_.get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (dir_.get() >= 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
                ThrowErrno("create", path, errno);
            files_.FileSystem::CreateWithContents(path, contents);
            return;
        }
        PosixWritableFile unnamed(path, fd);
        WriteContents(unnamed, contents);
        if (LinkUnder(unnamed.Descriptor(), name)) {
            unnamed.Close();
            return;
        }
        if (errno == EEXIST) {
            namesTaken_.store(true, std::memory_order_relaxed);
            if (RewriteExisting(name, path, contents))
                return;
        } else if (errno != ENOENT) {
            ThrowErrno("create", path, errno);
        }
        files_.FileSystem::CreateWithContents(path, contents);
    }

private:
    // Gives the unnamed file its name. Linking the descriptor itself needs
    // a privilege on systems older than Linux 6.10; naming it through /proc
    // needs none.
    bool LinkUnder(int fd, const std::string& name) const
    {
        if (Sys().linkat(fd, "", dir_.get(), name.c_str(), AT_EMPTY_PATH) == 0)
            return true;
        if (errno == EEXIST)
            return false;
        const std::string self = "/proc/self/fd/" + std::to_string(fd);
        return Sys().linkat(AT_FDCWD, self.c_str(), dir_.get(), name.c_str(), AT_SYMLINK_FOLLOW) == 0;
    }

    // Overwrites the existing file of that name and cuts it to the new
    // length, keeping its blocks: emptying it first would free them and
    // take new ones, and freeing is slow on a disk that passes every freed
    // block on to its storage. False when there is no file of that name.
    bool RewriteExisting(const std::string& name, const fs::path& path, const WholeFileContents& contents) const
    {
        // Not blocking: a pipe of that name is refused rather than waited on.
        const int flags = O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
        const int fd = dir_.get() >= 0 ? Sys().openat(dir_.get(), name.c_str(), flags, 0)
                                       : Sys().open(path.c_str(), flags, 0);
        if (fd < 0) {
            if (errno == ENOENT)
                return false;
            ThrowOpenFailure("create", path, errno);
        }
        PosixWritableFile file(path, fd);
        struct stat info {};
        if (Sys().fstat(fd, &info) != 0)
            ThrowErrno("create", path, errno);
        if (!S_ISREG(info.st_mode))
            throw Error("Cannot create " + path.string() + ": it is not a regular file");
        try {
            WriteContents(file, contents);
            file.CutToWritten();
            file.Close();
        } catch (const Error& failure) {
            RemoveRewritten(name, path, failure);
        }
        return true;
    }

    // A file whose rewrite failed may hold the start of the new contents
    // over the rest of the old: a rebuild would read that as an image. It
    // is removed, so that the rebuild says the file is missing instead.
    [[noreturn]] void RemoveRewritten(const std::string& name, const fs::path& path, const Error& failure) const
    {
        const int removed = dir_.get() >= 0 ? Sys().unlinkat(dir_.get(), name.c_str(), 0) : Sys().unlink(path.c_str());
        if (removed != 0)
            throw Error(std::string(failure.what()) + "\nIt holds part of the new contents and cannot be deleted: " +
                        std::strerror(errno));
        throw failure;
    }

    FileSystem& files_;
    const fs::path folder_;
    const PosixDescriptor dir_;
    std::atomic<bool> namesTaken_{false};
};

class PosixFileSystem final : public FileSystem {
public:
    using FileSystem::OpenForReading;

    std::unique_ptr<ReadableFile> OpenForReading(const fs::path& path, Links links) override
    {
        const int noFollow = links == Links::Follow ? 0 : O_NOFOLLOW;
        int fd = Sys().open(path.c_str(), O_RDONLY | noFollow | O_CLOEXEC, 0);
        if (fd < 0)
            ThrowOpenFailure("open", path, errno);
        PosixDescriptor guard(fd);
        struct stat info {};
        if (Sys().fstat(fd, &info) != 0)
            ThrowErrno("read the size of", path, errno);
        if (!S_ISREG(info.st_mode))
            throw Error("Cannot open " + path.string() + ": it is not a regular file");
        const FileStamp stamp{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino),
                              static_cast<int64_t>(info.st_size),
                              int64_t{info.st_mtim.tv_sec} * 1000000000 + info.st_mtim.tv_nsec};
        return std::make_unique<PosixReadableFile>(path, guard.release(), stamp);
    }

    std::unique_ptr<WritableFile> CreateForWriting(const fs::path& path) override
    {
        int fd = Sys().open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0)
            ThrowOpenFailure("create", path, errno);
        return std::make_unique<PosixWritableFile>(path, fd);
    }

    void CreateWithContents(const fs::path& path, const WholeFileContents& contents) override
    {
        const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
        PosixNewFilesFolder(*this, folder).CreateWithContents(path.filename().string(), contents);
    }

    std::unique_ptr<NewFilesFolder> OpenForNewFiles(const fs::path& folder) override
    {
        return std::make_unique<PosixNewFilesFolder>(*this, folder);
    }

    EntryType TypeOf(const fs::path& path) override
    {
        struct stat info {};
        if (Sys().lstat(path.c_str(), &info) != 0) {
            if (errno == ENOENT || errno == ENOTDIR)
                return EntryType::Missing;
            ThrowErrno("look up", path, errno);
        }
        return TypeOfMode(info.st_mode);
    }

    std::vector<FolderEntry> ListFolderWithTypes(const fs::path& folder) override
    {
        std::vector<FolderEntry> entries;
        ReadFolder(folder, [&](DIR* dir, const dirent& entry) {
            entries.push_back({entry.d_name, TypeInListing(dir, folder, entry)});
        });
        return entries;
    }

    std::vector<std::string> ListFolder(const fs::path& folder) override
    {
        std::vector<std::string> names;
        ReadFolder(folder, [&](DIR*, const dirent& entry) { names.emplace_back(entry.d_name); });
        return names;
    }

    std::optional<FileAccess> AccessOf(const fs::path& path) override
    {
        struct stat info {};
        if (Sys().stat(path.c_str(), &info) != 0) {
            if (errno == ENOENT || errno == ENOTDIR)
                return std::nullopt;
            ThrowErrno("read the permissions of", path, errno);
        }
        return FileAccess{static_cast<uint32_t>(info.st_mode & 07777), static_cast<uint32_t>(info.st_gid)};
    }

    bool HardLink(const fs::path& existing, const fs::path& link) override
    {
        if (Sys().linkat(AT_FDCWD, existing.c_str(), AT_FDCWD, link.c_str(), AT_SYMLINK_FOLLOW) == 0)
            return true;
        if (LinkRefused(errno))
            return false;
        throw Error("Cannot link " + link.string() + " to " + existing.string() + ": " + std::strerror(errno));
    }

    void Rename(const fs::path& from, const fs::path& to) override
    {
        if (Sys().rename(from.c_str(), to.c_str()) != 0)
            throw Error("Cannot rename " + from.string() + " to " + to.string() + ": " + std::strerror(errno));
    }

    void Remove(const fs::path& path) override
    {
        if (Sys().unlink(path.c_str()) != 0)
            ThrowErrno("delete", path, errno);
    }

    void SyncFolder(const fs::path& folder) override
    {
        int fd = Sys().open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
        if (fd < 0)
            ThrowErrno("open the folder", folder, errno);
        PosixDescriptor guard(fd);
        if (Sys().fsync(fd) != 0)
            ThrowErrno("flush the folder", folder, errno);
    }

    // Measured on two cores, where the policy gives 1, 2 and 4: four
    // threads delete many small files about twice as fast as one; two
    // threads, each file made by CreateWithContents, create them faster
    // than one, and much faster in a folder where many files were deleted
    // a moment before (finding a free inode is slow then); a third thread
    // took more processor time for no less wall time.
    int WorkerThreads(Work work) const override { return threads_[static_cast<size_t>(work)]; }

private:
    // The machine does not change while the program runs.
    const std::array<int, 3> threads_{FileWorkThreads(Work::Reading, std::thread::hardware_concurrency()),
                                      FileWorkThreads(Work::Creating, std::thread::hardware_concurrency()),
                                      FileWorkThreads(Work::Deleting, std::thread::hardware_concurrency())};
};

}  // namespace

FileSystem& RealFileSystem()
{
    static PosixFileSystem files;
    return files;
}

}  // namespace Brimwork
