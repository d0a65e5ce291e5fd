#include "io/syscalls.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>

namespace Brimwork {
namespace {

// open and openat take their mode as a variadic argument.
int SystemOpen(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }
int SystemOpenAt(int dir, const char* path, int flags, mode_t mode) { return ::openat(dir, path, flags, mode); }

const Syscalls systemCalls{
    SystemOpen,  SystemOpenAt, ::close,    ::pread,   ::pwrite,  ::pwritev, ::copy_file_range, ::ftruncate,
    ::fsync,     ::sync_file_range, ::fstat, ::fstatat, ::stat,  ::lstat,   ::fchown,          ::fchmod,
    ::linkat,    ::rename,     ::unlink, ::unlinkat,  ::opendir, ::readdir, ::closedir, ::dirfd,
};

// The one global of the file access: the calls are made from the writer
// threads of a file work, deep inside operations whose interfaces know
// nothing of system calls, so the table cannot be handed down to them. It
// changes only while a test installs its own; an atomic load, which costs
// no more than a plain one, lets worker threads read it meanwhile.
std::atomic<const Syscalls*> current{&systemCalls};

}  // namespace

const Syscalls& SystemCalls() { return systemCalls; }

const Syscalls& CurrentSyscalls() { return *current.load(std::memory_order_acquire); }

const Syscalls* InstallSyscalls(const Syscalls* table)
{
    return current.exchange(table == nullptr ? &systemCalls : table, std::memory_order_acq_rel);
}

}  // namespace Brimwork
