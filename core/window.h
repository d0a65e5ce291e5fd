#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace Brimwork {

// Files that extraction would overwrite although they hold other bytes than
// it would write: edited images, or another container's files.
struct OverwriteQuestion {
    std::filesystem::path folder;
    std::vector<std::string> files;  // every such file, by its name in the folder
};

// How the modules reach the window: the entry list, the progress bar, the
// window system's yield, messages and the beep. The main window and the
// command-line program each implement it; tests use a recording fake.
class WindowInterface {
public:
    virtual ~WindowInterface() = default;
    // Replaces the whole entry list, in file order.
    virtual void ReplaceList(const std::vector<std::string>& names) = 0;
    // Percentage of a run done, 0 to 100.
    virtual void SetProgress(float percent) = 0;
    // Lets the window system process pending events.
    virtual void Yield() = 0;
    // A modal message with a single OK button and no icon.
    virtual void ShowMessage(const std::string& text, const std::string& title) = 0;
    virtual void Beep() = 0;
    // Something worth knowing about a command that succeeded. The window
    // shows it as any message; the command-line program prints it without
    // counting it as a failure.
    virtual void ShowNotice(const std::string& text, const std::string& title) { ShowMessage(text, title); }
    // A message about a file the command looked for in `folder` and did not
    // find. The window shows the text as it stands; the command-line
    // program, whose user never chose a folder, names it after the text.
    virtual void ShowMissingFile(const std::string& text, const std::string& title, const std::filesystem::path&)
    {
        ShowMessage(text, title);
    }
    // One line that says what a command did, once it succeeded.
    virtual void ShowStatus(const std::string&) {}
    // Whether extraction may overwrite these files. Without an answer
    // from the user, it may not.
    virtual bool ConfirmOverwrite(const OverwriteQuestion&) { return false; }
};


// A window that shows nothing and never sounds: for work whose messages
// and beeps no one should see, such as comparing a stored frame.
class SilentWindow final : public WindowInterface {
public:
    void ReplaceList(const std::vector<std::string>&) override {}
    void SetProgress(float) override {}
    void Yield() override {}
    void ShowMessage(const std::string&, const std::string&) override {}
    void Beep() override {}
};

// The percentage done after `done` of `total` entries, worked out in double
// precision and handed over as the single-precision value the bar takes.
inline float ProgressPercent(int32_t done, int32_t total)
{
    return static_cast<float>(static_cast<double>(done) / total * 100.0);
}

}  // namespace Brimwork
