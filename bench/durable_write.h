#pragma once

// The least work that puts a container's bytes on the disk in its place,
// the baseline a save and a rebuild are timed against.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace Brimwork::BenchWork {

[[noreturn]] inline void FailOn(const std::string& what, const std::filesystem::path& path)
{
    throw std::runtime_error("cannot " + what + " " + path.string() + ": " + std::strerror(errno));
}

// The least work that puts the container's bytes on the disk in its
// place, as brimwork-durable-pack writes a file: the bytes, read from the
// page cache 256 KiB at a time, written in 256 KiB calls with writeback
// started every 4 MiB, the file forced to the disk, renamed over the
// container, and the folder forced to the disk. Nothing parsed, nothing
// checked, no buffer the size of the file.
inline void BareDurableWrite(const std::filesystem::path& source, const std::filesystem::path& container)
{
    constexpr size_t CallBytes = size_t{256} << 10;
    constexpr size_t WritebackEvery = size_t{4} << 20;
    const std::filesystem::path temporary = container.parent_path() / "DURABLE.TMP";
    const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        FailOn("open", source);
    const int out = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (out < 0)
        FailOn("create", temporary);
    std::vector<uint8_t> buffer(CallBytes);
    size_t sinceWriteback = 0;
    for (;;) {
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got < 0)
            FailOn("read", source);
        if (got == 0)
            break;
        if (::write(out, buffer.data(), size_t(got)) != got)
            FailOn("write", temporary);
        sinceWriteback += size_t(got);
        if (sinceWriteback >= WritebackEvery) {
            ::sync_file_range(out, 0, 0, SYNC_FILE_RANGE_WRITE);
            sinceWriteback = 0;
        }
    }
    ::close(in);
    if (::fsync(out) != 0 || ::close(out) != 0)
        FailOn("flush", temporary);
    if (::rename(temporary.c_str(), container.c_str()) != 0)
        FailOn("rename over", container);
    const int folder = ::open(container.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0 || ::fsync(folder) != 0)
        FailOn("flush the folder", container.parent_path());
    ::close(folder);
}

}  // namespace Brimwork::BenchWork
