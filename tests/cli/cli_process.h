#pragma once

#include <filesystem>
#include <string>
#include <vector>

// Runs brimwork-cli as a child process and captures what it does.
namespace Brimwork::Testing {

struct CliResult {
    int exitCode = -1;  // 128 + signal number when the child was killed
    std::string out;
    std::string err;
};

struct CliOptions {
    std::filesystem::path workingFolder;  // empty: the test's own
    bool errorOnTerminal = false;         // standard error on a pseudo-terminal
};

CliResult RunCli(const std::vector<std::string>& arguments, const CliOptions& options = {});

}  // namespace Brimwork::Testing
