#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "core/window.h"

namespace Brimwork {

// What the command line chose for the console.
struct ConsoleChoices {
    bool verbose = false;    // say what a command did also when not on a terminal
    bool overwrite = false;  // extraction may overwrite files that differ
};

// The window as the command-line program shows it: the entry list is left
// to the caller, which prints what the session returns; messages go to the error stream as
// "TITLE: TEXT", and the progress bar and the beep appear only when the
// error stream is a terminal, so that scripts see nothing but messages.
// What a command did is said there too on a terminal, or when asked.
class ConsoleWindow final : public WindowInterface {
public:
    ConsoleWindow(std::FILE* errorStream, bool onTerminal, ConsoleChoices choices = {});

    void ReplaceList(const std::vector<std::string>& names) override;
    void SetProgress(float percent) override;
    void Yield() override;
    void ShowMessage(const std::string& text, const std::string& title) override;
    void Beep() override;
    void ShowNotice(const std::string& text, const std::string& title) override;
    void ShowMissingFile(const std::string& text, const std::string& title,
                         const std::filesystem::path& folder) override;
    void ShowStatus(const std::string& text) override;
    // Yes when the command line said --overwrite; otherwise refuses, listing
    // the files, and the command fails.
    bool ConfirmOverwrite(const OverwriteQuestion& question) override;

    // Reports an error that ended a command, titled as the window titles
    // it: with `title`, or the usual error title when that is empty.
    void ReportError(const std::string& text, const std::string& title = {});
    // Ends the progress bar's line, if one was drawn.
    void EndProgress();

    bool MessageShown() const { return messageShown_; }

private:
    std::FILE* errors_;
    bool onTerminal_;
    ConsoleChoices choices_;
    bool progressDrawn_ = false;
    bool messageShown_ = false;
};

}  // namespace Brimwork
