#include "testing/failing_syscalls.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <type_traits>

namespace Brimwork::Testing {
namespace {

// The table's functions are plain functions, so they find the counter
// through this pointer, set while a FailingSyscalls lives.
std::atomic<FailingSyscalls*> active{nullptr};

bool Fails(Syscall call) { return active.load(std::memory_order_acquire)->Fails(call); }

const Syscalls& Real() { return SystemCalls(); }

template <typename Result>
Result Failure()
{
    if constexpr (std::is_pointer_v<Result>)
        return nullptr;
    else
        return -1;
}

// Each call fails without doing anything, or goes to the system's.
#define FAIL_OR_CALL(kind, name, ...)                                          \
    if (Fails(kind))                                                           \
        return Failure<decltype(Real().name(__VA_ARGS__))>();                  \
    return Real().name(__VA_ARGS__)

int Open(const char* path, int flags, mode_t mode) { FAIL_OR_CALL(Syscall::Open, open, path, flags, mode); }
int OpenAt(int dir, const char* path, int flags, mode_t mode)
{
    FAIL_OR_CALL(Syscall::OpenAt, openat, dir, path, flags, mode);
}
ssize_t Pread(int fd, void* buffer, size_t count, off_t offset)
{
    FAIL_OR_CALL(Syscall::Pread, pread, fd, buffer, count, offset);
}
ssize_t Pwrite(int fd, const void* buffer, size_t count, off_t offset)
{
    FAIL_OR_CALL(Syscall::Pwrite, pwrite, fd, buffer, count, offset);
}
ssize_t Pwritev(int fd, const iovec* vectors, int count, off_t offset)
{
    FAIL_OR_CALL(Syscall::Pwritev, pwritev, fd, vectors, count, offset);
}
ssize_t CopyFileRange(int in, off_t* inOffset, int out, off_t* outOffset, size_t count, unsigned flags)
{
    FAIL_OR_CALL(Syscall::CopyFileRange, copy_file_range, in, inOffset, out, outOffset, count, flags);
}
int Ftruncate(int fd, off_t length) { FAIL_OR_CALL(Syscall::Ftruncate, ftruncate, fd, length); }
int Fsync(int fd) { FAIL_OR_CALL(Syscall::Fsync, fsync, fd); }
int SyncFileRange(int fd, off_t offset, off_t count, unsigned flags)
{
    FAIL_OR_CALL(Syscall::SyncFileRange, sync_file_range, fd, offset, count, flags);
}
int Fstat(int fd, struct stat* info) { FAIL_OR_CALL(Syscall::Fstat, fstat, fd, info); }
int Fstatat(int dir, const char* path, struct stat* info, int flags)
{
    FAIL_OR_CALL(Syscall::Fstatat, fstatat, dir, path, info, flags);
}
int Stat(const char* path, struct stat* info) { FAIL_OR_CALL(Syscall::Stat, stat, path, info); }
int Lstat(const char* path, struct stat* info) { FAIL_OR_CALL(Syscall::Lstat, lstat, path, info); }
int Fchown(int fd, uid_t owner, gid_t group) { FAIL_OR_CALL(Syscall::Fchown, fchown, fd, owner, group); }
int Fchmod(int fd, mode_t mode) { FAIL_OR_CALL(Syscall::Fchmod, fchmod, fd, mode); }
int Linkat(int fromDir, const char* from, int toDir, const char* to, int flags)
{
    FAIL_OR_CALL(Syscall::Linkat, linkat, fromDir, from, toDir, to, flags);
}
int Rename(const char* from, const char* to) { FAIL_OR_CALL(Syscall::Rename, rename, from, to); }
int Unlink(const char* path) { FAIL_OR_CALL(Syscall::Unlink, unlink, path); }
int UnlinkAt(int dir, const char* path, int flags) { FAIL_OR_CALL(Syscall::UnlinkAt, unlinkat, dir, path, flags); }
DIR* Opendir(const char* path) { FAIL_OR_CALL(Syscall::Opendir, opendir, path); }
dirent* Readdir(DIR* dir) { FAIL_OR_CALL(Syscall::Readdir, readdir, dir); }

#undef FAIL_OR_CALL

// A failing close still releases the descriptor, as the system's does.
int Close(int fd)
{
    const bool fails = Fails(Syscall::Close);
    const int error = errno;
    const int result = Real().close(fd);
    errno = fails ? error : errno;
    return fails ? -1 : result;
}

int Closedir(DIR* dir)
{
    const bool fails = Fails(Syscall::Closedir);
    const int error = errno;
    const int result = Real().closedir(dir);
    errno = fails ? error : errno;
    return fails ? -1 : result;
}

const Syscalls failingCalls{
    Open,  OpenAt, Close, Pread,   Pwrite, Pwritev, CopyFileRange, Ftruncate, Fsync,  SyncFileRange, Fstat,
    Fstatat, Stat, Lstat, Fchown,  Fchmod, Linkat,  Rename,        Unlink, UnlinkAt,   Opendir, Readdir,      Closedir,
    SystemCalls().dirfd,
};


}  // namespace

std::string_view NameOf(Syscall call)
{
    static constexpr std::array<std::string_view, AllSyscalls.size()> names{
        "open",   "openat", "close",  "pread", "pwrite", "pwritev", "copy_file_range", "ftruncate",
        "fsync",  "sync_file_range", "fstat", "fstatat", "stat", "lstat", "fchown", "fchmod",
        "linkat", "rename", "unlink", "unlinkat", "opendir", "readdir", "closedir",
    };
    return names[static_cast<size_t>(call)];
}

int TypicalError(Syscall call)
{
    switch (call) {
    case Syscall::Open:
    case Syscall::OpenAt:
    case Syscall::Opendir:
        return EACCES;
    case Syscall::Pwrite:
    case Syscall::Pwritev:
    case Syscall::CopyFileRange:
    case Syscall::Ftruncate:
        return ENOSPC;
    default:
        return EIO;
    }
}

// The table goes in only once this object is the active one, and out
// before it stops being, so that no call finds no counter.
FailingSyscalls::FailingSyscalls()
{
    FailingSyscalls* expected = nullptr;
    if (!active.compare_exchange_strong(expected, this)) {
        std::cerr << "Only one FailingSyscalls may live at a time\n";
        std::abort();
    }
    previous_ = InstallSyscalls(&failingCalls);
}

FailingSyscalls::~FailingSyscalls()
{
    InstallSyscalls(previous_);
    active.store(nullptr, std::memory_order_release);
}

void FailingSyscalls::FailAt(Syscall call, int occurrence, int error)
{
    std::lock_guard lock(mutex_);
    planned_ = call;
    plannedOccurrence_ = occurrence;
    plannedError_ = error;
    failed_ = false;
}

int FailingSyscalls::Count(Syscall call) const
{
    std::lock_guard lock(mutex_);
    return counts_[static_cast<size_t>(call)];
}

bool FailingSyscalls::Failed() const
{
    std::lock_guard lock(mutex_);
    return failed_;
}

bool FailingSyscalls::Fails(Syscall call)
{
    std::lock_guard lock(mutex_);
    const int number = ++counts_[static_cast<size_t>(call)];
    if (plannedOccurrence_ == 0 || call != planned_ || number != plannedOccurrence_)
        return false;
    failed_ = true;
    errno = plannedError_;
    return true;
}

}  // namespace Brimwork::Testing
