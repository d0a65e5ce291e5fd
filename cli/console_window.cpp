#include "cli/console_window.h"

#include <algorithm>
#include <cmath>

#include "container/session.h"
#include "core/extraction.h"

namespace Brimwork {
namespace {

constexpr int BarWidth = 40;

void WriteText(std::FILE* stream, const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

// A whole percentage from 0 to 100, whatever the module hands over.
int WholePercent(float percent)
{
    if (!std::isfinite(percent))
        return 0;
    return static_cast<int>(std::lround(std::clamp(percent, 0.0f, 100.0f)));
}

}  // namespace

ConsoleWindow::ConsoleWindow(std::FILE* errorStream, bool onTerminal, ConsoleChoices choices)
    : errors_(errorStream), onTerminal_(onTerminal), choices_(choices)
{
}

// The command-line program prints the names the session returns.
void ConsoleWindow::ReplaceList(const std::vector<std::string>&) {}

void ConsoleWindow::SetProgress(float percent)
{
    if (!onTerminal_)
        return;
    int whole = WholePercent(percent);
    int filled = whole * BarWidth / 100;
    std::string number = std::to_string(whole);
    WriteText(errors_, "\r[" + std::string(filled, '#') + std::string(BarWidth - filled, '-') + "] " +
                           std::string(3 - number.size(), ' ') + number + "%");
    progressDrawn_ = true;
}

void ConsoleWindow::Yield()
{
    // Nothing to repaint: the bar is drawn when the progress changes.
}

void ConsoleWindow::ShowMessage(const std::string& text, const std::string& title)
{
    ShowNotice(text, title);
    messageShown_ = true;
}

void ConsoleWindow::ShowNotice(const std::string& text, const std::string& title)
{
    EndProgress();
    WriteText(errors_, title + ": " + text + "\n");
}

void ConsoleWindow::ShowMissingFile(const std::string& text, const std::string& title,
                                    const std::filesystem::path& folder)
{
    // The window's text speaks of the current directory; a shell user's
    // current directory may be another, so the folder is named.
    ShowMessage(text + " (Looked in " + folder.string() + ".)", title);
}

void ConsoleWindow::ShowStatus(const std::string& text)
{
    if (!onTerminal_ && !choices_.verbose)
        return;
    EndProgress();
    WriteText(errors_, text + "\n");
}

bool ConsoleWindow::ConfirmOverwrite(const OverwriteQuestion& question)
{
    if (choices_.overwrite)
        return true;
    ReportError("Cannot extract: " + DifferingFilesText(question) +
                "\nNothing was written. Run again with --overwrite to replace them.");
    return false;
}

void ConsoleWindow::Beep()
{
    if (!onTerminal_)
        return;
    WriteText(errors_, "\a");
}

void ConsoleWindow::ReportError(const std::string& text, const std::string& title)
{
    ShowMessage(text, title.empty() ? Messages::ErrorTitle : title);
}

void ConsoleWindow::EndProgress()
{
    if (!progressDrawn_)
        return;
    WriteText(errors_, "\n");
    progressDrawn_ = false;
}

}  // namespace Brimwork
