#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/uio.h>

// Every system call the real file system makes goes through this table,
// so that a test can put another table in its place and make any one call
// fail, even one made in the middle of an operation (the link that names
// a file written unnamed, the length set after a rewrite in place). The
// default table holds the system's own calls; each call through the table
// costs one indirect call.
namespace Brimwork {

struct Syscalls {
    int (*open)(const char* path, int flags, mode_t mode);
    int (*openat)(int dir, const char* path, int flags, mode_t mode);
    int (*close)(int fd);
    ssize_t (*pread)(int fd, void* buffer, size_t count, off_t offset);
    ssize_t (*pwrite)(int fd, const void* buffer, size_t count, off_t offset);
    ssize_t (*pwritev)(int fd, const iovec* vectors, int count, off_t offset);
    ssize_t (*copy_file_range)(int in, off_t* inOffset, int out, off_t* outOffset, size_t count, unsigned flags);
    int (*ftruncate)(int fd, off_t length);
    int (*fsync)(int fd);
    int (*sync_file_range)(int fd, off_t offset, off_t count, unsigned flags);
    int (*fstat)(int fd, struct stat* info);
    int (*fstatat)(int dir, const char* path, struct stat* info, int flags);
    int (*stat)(const char* path, struct stat* info);
    int (*lstat)(const char* path, struct stat* info);
    int (*fchown)(int fd, uid_t owner, gid_t group);
    int (*fchmod)(int fd, mode_t mode);
    int (*linkat)(int fromDir, const char* from, int toDir, const char* to, int flags);
    int (*rename)(const char* from, const char* to);
    int (*unlink)(const char* path);
    int (*unlinkat)(int dir, const char* path, int flags);
    DIR* (*opendir)(const char* path);
    dirent* (*readdir)(DIR* dir);
    int (*closedir)(DIR* dir);
    int (*dirfd)(DIR* dir);
};

// The system's own calls.
const Syscalls& SystemCalls();

// The table in use: the system's own unless a test installed another.
const Syscalls& CurrentSyscalls();

// Puts `table` in use, for every thread, and returns the one it replaces.
// For tests only: the table must outlive its use, and calls already under
// way finish with the table they started with.
const Syscalls* InstallSyscalls(const Syscalls* table);

}  // namespace Brimwork
