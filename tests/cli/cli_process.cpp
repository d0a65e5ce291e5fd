#include "tests/cli/cli_process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <system_error>

extern char** environ;

namespace Brimwork::Testing {
namespace {

[[noreturn]] void ThrowSystem(const std::string& what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

struct Pipe {
    int read = -1;
    int write = -1;
    Pipe()
    {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0)
            ThrowSystem("pipe");
        read = ends[0];
        write = ends[1];
    }
};

// A fresh pseudo-terminal. The test keeps its own descriptor of the child's
// side open until the child has gone, so that reading the master side never
// meets the end before the child has opened it.
struct Terminal {
    int master = -1;
    int slave = -1;
    std::string slaveName;
    Terminal()
    {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
            ThrowSystem("pseudo-terminal");
        slaveName = ::ptsname(master);
        slave = ::open(slaveName.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (slave < 0)
            ThrowSystem("open " + slaveName);
    }
};

// Reads the descriptors until the first `required` of them report their end
// (a terminal's master reports EIO once every descriptor of the other side
// is closed); the others are read as far as they have data meanwhile.
void ReadUntilEnd(std::vector<int> fds, std::vector<std::string*> sinks, size_t required)
{
    std::vector<pollfd> polls;
    for (int fd : fds)
        polls.push_back({fd, POLLIN, 0});
    size_t open = required;
    while (open > 0) {
        if (::poll(polls.data(), polls.size(), 60000) <= 0)
            throw std::runtime_error("brimwork-cli did not finish within 60 seconds");
        for (size_t i = 0; i < polls.size(); ++i) {
            if (polls[i].fd < 0 || polls[i].revents == 0)
                continue;
            std::array<char, 4096> buffer;
            ssize_t got = ::read(polls[i].fd, buffer.data(), buffer.size());
            if (got > 0) {
                sinks[i]->append(buffer.data(), static_cast<size_t>(got));
                continue;
            }
            if (got < 0 && errno == EINTR)
                continue;
            ::close(polls[i].fd);
            polls[i].fd = -1;
            if (i < required)
                --open;
        }
    }
}

}  // namespace

CliResult RunCli(const std::vector<std::string>& arguments, const CliOptions& options)
{
    std::vector<std::string> words{BRIMWORK_CLI_PATH};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    Pipe out;
    Pipe err;
    std::optional<Terminal> terminal;
    if (options.errorOnTerminal)
        terminal.emplace();

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out.write, STDOUT_FILENO);
    if (terminal)
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, terminal->slaveName.c_str(), O_RDWR | O_NOCTTY, 0);
    else
        posix_spawn_file_actions_adddup2(&actions, err.write, STDERR_FILENO);
    if (!options.workingFolder.empty())
        posix_spawn_file_actions_addchdir_np(&actions, options.workingFolder.c_str());

    pid_t child = 0;
    int spawned = ::posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out.write);
    ::close(err.write);
    if (spawned != 0) {
        errno = spawned;
        ThrowSystem("posix_spawn " + words[0]);
    }

    CliResult result;
    if (terminal) {
        ::close(err.read);
        ReadUntilEnd({out.read, terminal->master}, {&result.out, &result.err}, 1);
    } else {
        ReadUntilEnd({out.read, err.read}, {&result.out, &result.err}, 2);
    }

    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            ThrowSystem("waitpid");
    }
    if (terminal) {
        ::close(terminal->slave);
        ReadUntilEnd({terminal->master}, {&result.err}, 1);
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

}  // namespace Brimwork::Testing
