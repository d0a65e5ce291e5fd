#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "core/window.h"

namespace Brimwork::Testing {

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    // Names of the files in the folder, sorted.
    std::vector<std::string> Names() const;

private:
    std::filesystem::path path_;
};

// Records what the modules send to the window.
class RecordingWindow : public WindowInterface {
public:
    struct Message {
        std::string text;
        std::string title;
    };

    void ReplaceList(const std::vector<std::string>& names) override
    {
        list = names;
        ++listFills;
    }
    void SetProgress(float percent) override { progress.push_back(percent); }
    void Yield() override { ++yields; }
    void ShowMessage(const std::string& text, const std::string& title) override
    {
        messages.push_back({text, title});
    }
    void Beep() override { ++beeps; }
    void ShowStatus(const std::string& text) override { statuses.push_back(text); }
    bool ConfirmOverwrite(const OverwriteQuestion& question) override
    {
        overwriteQuestions.push_back(question);
        return overwrite;
    }

    std::vector<std::string> list;
    int listFills = 0;
    std::vector<float> progress;
    int yields = 0;
    std::vector<Message> messages;
    int beeps = 0;
    std::vector<std::string> statuses;
    std::vector<OverwriteQuestion> overwriteQuestions;
    bool overwrite = false;  // the answer to every question whether to overwrite
};

std::string ReadText(const std::filesystem::path& path);
void WriteText(const std::filesystem::path& path, const std::string& text);

}  // namespace Brimwork::Testing
