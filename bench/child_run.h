#pragma once

// Runs a piece of work in a forked child and measures it: the wall time
// from the fork to the child's end, and the child's peak resident memory
// as wait4 reports it. The child starts with this process's resident pages
// counted as its own, so a caller that wants a figure for the work alone
// keeps itself small and reports ResidentKiB() beside it.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>

namespace Brimwork::BenchWork {

struct ChildRun {
    double seconds = 0;
    long peakKiB = 0;
    bool succeeded = false;
    std::string errors;  // what the work threw, or how the child ended
};

namespace Detail {

inline void WriteWhole(int fd, const std::string& text)
{
    for (size_t done = 0; done < text.size();) {
        const ssize_t put = ::write(fd, text.data() + done, text.size() - done);
        if (put <= 0 && errno != EINTR)
            return;
        if (put > 0)
            done += static_cast<size_t>(put);
    }
}

inline std::string ReadToEnd(int fd)
{
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0)
            text.append(buffer, static_cast<size_t>(got));
        else if (got == 0 || errno != EINTR)
            return text;
    }
}

// The child's side: runs the work and ends without returning into the
// caller's stack or flushing the buffers it shares with the parent.
[[noreturn]] inline void RunAndExit(const std::function<void()>& work, int errorPipe)
{
    int status = 0;
    try {
        work();
    } catch (const std::exception& error) {
        WriteWhole(errorPipe, error.what());
        status = 1;
    } catch (...) {
        WriteWhole(errorPipe, "an exception that is not a std::exception");
        status = 1;
    }
    std::_Exit(status);
}

inline std::string DescribeEnd(int status)
{
    if (WIFEXITED(status))
        return "exit status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status))
        return std::string("killed by signal ") + strsignal(WTERMSIG(status));
    return "ended in an unknown way";
}

}  // namespace Detail

// This process's resident memory now.
inline long ResidentKiB()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

// Runs `work` in a forked child and waits for it. A child that throws or
// ends other than with exit status 0 is reported as a failure, with the
// exception's text or the way it ended.
inline ChildRun RunInChild(const std::function<void()>& work)
{
    int errorPipe[2];
    if (::pipe2(errorPipe, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    std::fflush(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child < 0) {
        const int error = errno;
        ::close(errorPipe[0]);
        ::close(errorPipe[1]);
        throw std::runtime_error(std::string("fork: ") + std::strerror(error));
    }
    if (child == 0) {
        ::close(errorPipe[0]);
        Detail::RunAndExit(work, errorPipe[1]);
    }
    ::close(errorPipe[1]);
    ChildRun run;
    run.errors = Detail::ReadToEnd(errorPipe[0]);
    ::close(errorPipe[0]);
    int status = 0;
    rusage usage{};
    while (::wait4(child, &status, 0, &usage) < 0)
        if (errno != EINTR)
            throw std::runtime_error(std::string("wait4: ") + std::strerror(errno));
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.peakKiB = usage.ru_maxrss;
    run.succeeded = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!run.succeeded && run.errors.empty())
        run.errors = Detail::DescribeEnd(status);
    return run;
}

// RunInChild, with a failure thrown as an exception naming `what`.
inline ChildRun MustRunInChild(const std::string& what, const std::function<void()>& work)
{
    ChildRun run = RunInChild(work);
    if (!run.succeeded)
        throw std::runtime_error(what + " failed: " + run.errors);
    return run;
}

}  // namespace Brimwork::BenchWork
