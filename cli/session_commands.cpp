#include "cli/session_commands.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <string_view>
#include <vector>

#include "cli/console_window.h"
#include "cli/entry_choice.h"
#include "container/session.h"
#include "core/error.h"
#include "io/files.h"
#include "core/rebuild_report.h"

namespace Brimwork {
namespace {

namespace fs = std::filesystem;

void Write(std::FILE* stream, std::string_view text) { std::fwrite(text.data(), 1, text.size(), stream); }

// Entry names are printed byte for byte, as the window's list holds them.
void PrintList(const std::vector<std::string>& names)
{
    for (const std::string& name : names) {
        Write(stdout, name);
        Write(stdout, "\n");
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        throw Error("Cannot write the list of entries to standard output");
}

void PrintReport(const RebuildReport& report)
{
    Write(stdout, report.Text());
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        throw Error("Cannot write the report to standard output");
}

// The report goes to standard output whether or not the rebuild would be
// refused; the refusal itself also goes to standard error, as the rebuild
// prints it.
void PreviewRebuild(Session& session)
{
    RebuildReport report;
    try {
        session.PreviewRebuild(report);
    } catch (const std::exception&) {
        PrintReport(report);
        throw;
    }
    PrintReport(report);
}

}  // namespace

// The session takes FILE's folder as its working folder once FILE is listed.
void RunSessionCommand(SessionCommand command, const std::string& file, RebuildChoices rebuild,
                       ConsoleWindow& window)
{
    FileSystem& files = RealFileSystem();
    fs::path container = fs::absolute(fs::path(file));
    RequireContainerFile(files, container, file);

    Session session(window, files, fs::current_path());
    const std::vector<std::string> names = session.OpenArchive(container);

    switch (command) {
    case SessionCommand::List:
        PrintList(names);
        break;
    case SessionCommand::Extract:
        // The window offers Extract only once the list holds an entry.
        if (names.empty()) {
            window.ShowMessage(Messages::ExtractEmptyText, Messages::ExtractEmptyTitle);
            break;
        }
        session.ExtractAll();
        break;
    case SessionCommand::Rebuild:
        if (rebuild.dryRun)
            PreviewRebuild(session);
        else
            session.Rebuild({.dryRun = false, .keepBackup = rebuild.backup});
        break;
    }
}

}  // namespace Brimwork
