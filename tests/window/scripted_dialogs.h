#pragma once

#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include <QString>

#include "app/modal_dialogs.h"

namespace Brimwork::Testing {

// The modal dialogs of Form1, scripted: the Open dialog answers from a
// queue (an empty queue cancels), messages and beeps are recorded, and a
// hook sees each message while the handler waits for it.
class ScriptedDialogs : public ModalDialogs {
public:
    struct Message {
        QString text;
        QString title;
    };

    std::optional<std::filesystem::path> ChooseFileToOpen(const std::filesystem::path& startFolder) override
    {
        startFolders.push_back(startFolder);
        if (choices.empty())
            return std::nullopt;
        std::optional<std::filesystem::path> choice = choices.front();
        choices.pop_front();
        return choice;
    }

    void ShowMessage(const QString& text, const QString& title) override
    {
        messages.push_back({text, title});
        if (onMessage)
            onMessage(messages.back());
    }

    void Beep() override { ++beeps; }

    bool AskToOverwrite(const QString& text, const QString& title) override
    {
        questions.push_back({text, title});
        return overwrite;
    }

    bool ShowRebuildReport(const QString& report, bool canRebuild) override
    {
        reports.push_back(report);
        return canRebuild && rebuildAfterReport;
    }

    std::deque<std::optional<std::filesystem::path>> choices;
    std::vector<std::filesystem::path> startFolders;
    std::vector<Message> messages;
    std::function<void(const Message&)> onMessage;
    int beeps = 0;
    std::vector<Message> questions;  // overwrite questions, answered by `overwrite`
    bool overwrite = false;
    std::vector<QString> reports;  // rebuild reports, answered by `rebuildAfterReport`
    bool rebuildAfterReport = false;
};

}  // namespace Brimwork::Testing
