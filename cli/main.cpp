// brimwork-cli: the window's Open, Extract and Rebuild commands for scripts
// and machines without a display. It drives the same Session as the window,
// through a console in place of the window.

#include <unistd.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "container/session.h"
#include "core/rebuild_report.h"
#include "cli/console_window.h"
#include "core/error.h"
#include "core/files.h"

namespace {

namespace fs = std::filesystem;
using Brimwork::ConsoleWindow;

constexpr int ExitSuccess = 0;
constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

constexpr std::string_view UsageText =
    "Usage: brimwork-cli [-v] COMMAND [OPTIONS] FILE\n"
    "       brimwork-cli --help | --version\n"
    "\n"
    "Commands:\n"
    "  list FILE      print the names of FILE's entries, one per line\n"
    "  extract FILE   write every image of FILE as a TGA file, with the manifest\n"
    "                 needed to rebuild it, into FILE's folder\n"
    "  rebuild FILE   rebuild FILE from the manifest and the TGA files in its\n"
    "                 folder, replacing it, then delete the files it read\n"
    "\n"
    "Options:\n"
    "  -v, --verbose  say what the command did, on standard error (it does on a\n"
    "                 terminal anyway)\n"
    "  --overwrite    extract: replace files in the folder that hold other bytes\n"
    "                 than extraction would write (edited images, another\n"
    "                 container's files); without it extraction refuses and\n"
    "                 lists them\n"
    "  --dry-run      rebuild: read and check everything, write nothing, and\n"
    "                 print on standard output what the rebuild would change\n"
    "  --backup       rebuild: keep the replaced FILE as FILE.bak\n"
    "\n"
    "The kind of FILE follows its name: *.gdg gadget file, *.pix screen file,\n"
    "*.azp vehicle file; any other name is read as a gadget file.\n"
    "\n"
    "Exit status: 0 done; 1 the command failed or had a message to show (it is\n"
    "printed on standard error), or a dry run found that the rebuild would be\n"
    "refused; 2 the command line was wrong. A note on a rebuild that succeeded\n"
    "(shadow pixels rounded to black or white) is printed on standard error too,\n"
    "and the status stays 0.\n";

enum class Command { List, Extract, Rebuild };

// What the command line asked for besides the command and its file.
struct Options {
    bool verbose = false;
    bool overwrite = false;
    bool dryRun = false;
    bool backup = false;
};

std::optional<Command> CommandNamed(std::string_view name)
{
    if (name == "list")
        return Command::List;
    if (name == "extract")
        return Command::Extract;
    if (name == "rebuild")
        return Command::Rebuild;
    return std::nullopt;
}

bool IsHelpOption(std::string_view argument)
{
    return argument == "--help" || argument == "-h";
}

bool IsVersionOption(std::string_view argument)
{
    return argument == "--version";
}

void Write(std::FILE* stream, std::string_view text)
{
    std::fwrite(text.data(), 1, text.size(), stream);
}

int UsageError(std::string_view problem)
{
    Write(stderr, "brimwork-cli: ");
    Write(stderr, problem);
    Write(stderr, "\n\n");
    Write(stderr, UsageText);
    return ExitUsage;
}

// A missing file or a folder is refused here in plain words, before the
// session tries to read it.
void CheckIsFile(Brimwork::FileSystem& files, const fs::path& container, const std::string& asGiven)
{
    switch (files.TypeOf(container)) {
    case Brimwork::EntryType::Missing:
        throw Brimwork::Error("Cannot open " + asGiven + ": there is no such file");
    case Brimwork::EntryType::Directory:
        throw Brimwork::Error("Cannot open " + asGiven + ": it is a folder, not a container file");
    default:
        break;
    }
}

// Entry names are printed byte for byte, as the window's list holds them.
void PrintList(const std::vector<std::string>& names)
{
    for (const std::string& name : names) {
        Write(stdout, name);
        Write(stdout, "\n");
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        throw Brimwork::Error("Cannot write the list of entries to standard output");
}

void PrintReport(const Brimwork::RebuildReport& report)
{
    Write(stdout, report.Text());
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        throw Brimwork::Error("Cannot write the report to standard output");
}

// The report goes to standard output whether or not the rebuild would be
// refused; the refusal itself also goes to standard error, as the rebuild
// prints it.
void PreviewRebuild(Brimwork::Session& session)
{
    Brimwork::RebuildReport report;
    try {
        session.PreviewRebuild(report);
    } catch (const std::exception&) {
        PrintReport(report);
        throw;
    }
    PrintReport(report);
}

// Opens FILE as the window's Open command would and runs the command on it.
// The files that extract and rebuild write land in FILE's folder, which the
// session takes as its working folder once FILE is listed.
void RunCommand(Command command, const std::string& fileArgument, const Options& options, ConsoleWindow& window)
{
    Brimwork::FileSystem& files = Brimwork::RealFileSystem();
    fs::path container = fs::absolute(fs::path(fileArgument));
    CheckIsFile(files, container, fileArgument);

    Brimwork::Session session(window, files, fs::current_path());
    const std::vector<std::string> names = session.OpenArchive(container);

    switch (command) {
    case Command::List:
        PrintList(names);
        break;
    case Command::Extract:
        // The window offers Extract only once the list holds an entry.
        if (names.empty()) {
            window.ShowMessage(Brimwork::Messages::ExtractEmptyText, Brimwork::Messages::ExtractEmptyTitle);
            break;
        }
        session.ExtractAll();
        break;
    case Command::Rebuild:
        if (options.dryRun)
            PreviewRebuild(session);
        else
            session.Rebuild({.dryRun = false, .keepBackup = options.backup});
        break;
    }
    window.EndProgress();
}

int Run(Command command, const std::string& fileArgument, const Options& options)
{
    ConsoleWindow window(stderr, ::isatty(STDERR_FILENO) == 1, {options.verbose, options.overwrite});
    try {
        RunCommand(command, fileArgument, options, window);
    } catch (const Brimwork::Error& error) {
        window.ReportError(error.what(), error.Title());
    } catch (const std::bad_alloc&) {
        window.ReportError("Not enough memory to finish the command");
    } catch (const std::exception& error) {
        window.ReportError(error.what());
    }
    return window.MessageShown() ? ExitFailure : ExitSuccess;
}

// Reads the options among the arguments after the command; what is left is
// the FILE. "--" ends the options, for a FILE whose name starts with "-".
std::optional<int> ParseOptions(Command command, std::string_view commandName,
                                const std::vector<std::string_view>& arguments, Options& options,
                                std::vector<std::string_view>& files)
{
    bool optionsEnded = false;
    for (std::string_view argument : arguments) {
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            files.push_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "-v" || argument == "--verbose") {
            options.verbose = true;
        } else if (argument == "--overwrite" && command == Command::Extract) {
            options.overwrite = true;
        } else if (argument == "--dry-run" && command == Command::Rebuild) {
            options.dryRun = true;
        } else if (argument == "--backup" && command == Command::Rebuild) {
            options.backup = true;
        } else {
            return UsageError("the command '" + std::string(commandName) + "' has no option '" +
                              std::string(argument) + "'");
        }
    }
    if (options.dryRun && options.backup)
        return UsageError("--dry-run and --backup do not go together: a dry run replaces nothing");
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string_view> arguments(argv + 1, argv + argc);
    // --help and --version answer wherever they stand; the first one given wins.
    for (std::string_view argument : arguments) {
        if (IsHelpOption(argument) || IsVersionOption(argument)) {
            Write(stdout, IsHelpOption(argument) ? UsageText : "brimwork-cli " BRIMWORK_VERSION "\n");
            return std::fflush(stdout) == 0 && !std::ferror(stdout) ? ExitSuccess : ExitFailure;
        }
    }
    Options options;
    while (!arguments.empty() && (arguments.front() == "-v" || arguments.front() == "--verbose")) {
        options.verbose = true;
        arguments.erase(arguments.begin());
    }
    if (arguments.empty())
        return UsageError("a command is needed");
    std::optional<Command> command = CommandNamed(arguments[0]);
    if (!command)
        return UsageError("unknown command '" + std::string(arguments[0]) + "'");
    std::vector<std::string_view> files;
    const std::vector<std::string_view> rest(arguments.begin() + 1, arguments.end());
    if (const auto usage = ParseOptions(*command, arguments[0], rest, options, files))
        return *usage;
    if (files.size() != 1)
        return UsageError("the command '" + std::string(arguments[0]) + "' takes exactly one FILE");
    if (files[0].empty())
        return UsageError("FILE must not be empty");
    return Run(*command, std::string(files[0]), options);
}
