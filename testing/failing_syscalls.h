#pragma once

#include <array>
#include <mutex>
#include <string_view>

#include "io/syscalls.h"

// Tables of system calls for tests, put in place of the system's own for
// a scope, so that tests reach every call the real file system makes.
namespace Brimwork::Testing {

// Puts `table` in use for every thread while the object lives, and the
// table it replaced back afterwards.
class ScopedSyscalls {
public:
    explicit ScopedSyscalls(const Syscalls& table) : previous_(InstallSyscalls(&table)) {}
    ~ScopedSyscalls() { InstallSyscalls(previous_); }
    ScopedSyscalls(const ScopedSyscalls&) = delete;
    ScopedSyscalls& operator=(const ScopedSyscalls&) = delete;

private:
    const Syscalls* previous_;
};

// The calls that can fail. dirfd is left out: on an open folder it cannot.
enum class Syscall {
    Open, OpenAt, Close, Pread, Pwrite, Pwritev, CopyFileRange, Ftruncate, Fsync, SyncFileRange,
    Fstat, Fstatat, Stat, Lstat, Fchown, Fchmod, Linkat, Rename, Unlink, UnlinkAt, Opendir, Readdir, Closedir,
};

inline constexpr std::array AllSyscalls{
    Syscall::Open,   Syscall::OpenAt,  Syscall::Close,  Syscall::Pread,   Syscall::Pwrite,   Syscall::Pwritev,
    Syscall::CopyFileRange, Syscall::Ftruncate, Syscall::Fsync, Syscall::SyncFileRange, Syscall::Fstat,
    Syscall::Fstatat, Syscall::Stat,   Syscall::Lstat,  Syscall::Fchown,  Syscall::Fchmod,   Syscall::Linkat,
    Syscall::Rename, Syscall::Unlink, Syscall::UnlinkAt, Syscall::Opendir, Syscall::Readdir, Syscall::Closedir,
};

std::string_view NameOf(Syscall call);

// The error a call of this kind most often meets: EACCES for an opening,
// ENOSPC for a write, EIO for the rest.
int TypicalError(Syscall call);

// Counts the calls of each kind made while it lives, from any thread, and
// makes the chosen one fail with the chosen errno, the way the system
// fails it: nothing is done, except that a failing close or closedir still
// releases the descriptor, as the system's does. Only one may live at a
// time.
class FailingSyscalls {
public:
    FailingSyscalls();
    ~FailingSyscalls();
    FailingSyscalls(const FailingSyscalls&) = delete;
    FailingSyscalls& operator=(const FailingSyscalls&) = delete;

    // Makes call number `occurrence` (counting from 1) of `call` fail.
    void FailAt(Syscall call, int occurrence, int error);
    int Count(Syscall call) const;
    bool Failed() const;

    // Counts the call; true, with errno set, when it is the one to fail.
    bool Fails(Syscall call);

private:
    mutable std::mutex mutex_;
    std::array<int, AllSyscalls.size()> counts_{};
    Syscall planned_ = Syscall::Open;
    int plannedOccurrence_ = 0;  // 0: nothing fails
    int plannedError_ = 0;
    bool failed_ = false;
    const Syscalls* previous_ = nullptr;
};

}  // namespace Brimwork::Testing
