// The least file work a rebuild does once it keeps its promises, for the
// benchmark to time beside the rebuild and tar: every listed file read
// whole and written into "REBUILD.TMP" (in calls of 256 KiB, writeback
// started every 4 MiB), that file forced to the disk and renamed over the
// container, the folder forced to the disk, then the listed files deleted
// on four threads. No parsing, no checks, no conversion: what is left when
// everything but the file work is free.
//
//   brimwork-durable-pack CONTAINER LIST     (LIST: one file name a line)

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr size_t CallBytes = size_t{256} << 10;
constexpr size_t WritebackEvery = size_t{4} << 20;

// Also called from the deleting threads: ends the process without running
// destructors under the feet of the others.
[[noreturn]] void Fail(const std::string& what)
{
    std::fprintf(stderr, "brimwork-durable-pack: %s: %s\n", what.c_str(), std::strerror(errno));
    std::_Exit(1);
}

void WriteAll(int fd, const uint8_t* data, size_t size)
{
    for (size_t done = 0; done < size;) {
        const ssize_t put = ::write(fd, data + done, std::min(size - done, CallBytes));
        if (put < 0)
            Fail("write REBUILD.TMP");
        done += static_cast<size_t>(put);
    }
}

void ReadWhole(const std::string& name, std::vector<uint8_t>& buffer)
{
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0)
        Fail("open " + name);
    buffer.resize(static_cast<size_t>(info.st_size));
    for (size_t done = 0; done < buffer.size();) {
        const ssize_t got = ::pread(fd, buffer.data() + done, buffer.size() - done, static_cast<off_t>(done));
        if (got <= 0)
            Fail("read " + name);
        done += static_cast<size_t>(got);
    }
    ::close(fd);
}

void DeleteOnFourThreads(const std::vector<std::string>& names)
{
    std::atomic<size_t> next{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&] {
            for (size_t at = next++; at < names.size(); at = next++)
                if (::unlink(names[at].c_str()) != 0)
                    Fail("delete " + names[at]);
        });
    for (auto& thread : threads)
        thread.join();
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: brimwork-durable-pack CONTAINER LIST\n");
        return 2;
    }
    std::vector<std::string> names;
    std::ifstream list(argv[2]);
    for (std::string line; std::getline(list, line);)
        if (!line.empty())
            names.push_back(line);

    const int out = ::open("REBUILD.TMP", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (out < 0)
        Fail("create REBUILD.TMP");
    std::vector<uint8_t> buffer;
    size_t sinceWriteback = 0;
    for (const auto& name : names) {
        ReadWhole(name, buffer);
        WriteAll(out, buffer.data(), buffer.size());
        sinceWriteback += buffer.size();
        if (sinceWriteback >= WritebackEvery) {
            ::sync_file_range(out, 0, 0, SYNC_FILE_RANGE_WRITE);
            sinceWriteback = 0;
        }
    }
    if (::fsync(out) != 0 || ::close(out) != 0)
        Fail("flush REBUILD.TMP");
    if (::rename("REBUILD.TMP", argv[1]) != 0)
        Fail(std::string("rename REBUILD.TMP to ") + argv[1]);
    const int folder = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0 || ::fsync(folder) != 0)
        Fail("flush the folder");
    ::close(folder);
    DeleteOnFourThreads(names);
    return 0;
}
