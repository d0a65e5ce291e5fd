#pragma once

#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include <QString>
#include <QStringList>

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

    std::optional<std::filesystem::path> ChooseFileToOpen(const std::filesystem::path& startFolder,
                                                          QString& filter) override
    {
        startFolders.push_back(startFolder);
        openFilters.push_back(filter);
        if (!chosenFilter.isEmpty() && !choices.empty() && choices.front())
            filter = chosenFilter;
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

    std::optional<std::filesystem::path> ChooseImageFile(const QString& title,
                                                         const std::filesystem::path& startFolder) override
    {
        imageDialogs.push_back({title, QString::fromStdString(startFolder.string()), {}});
        return Next(imageFiles);
    }

    std::optional<std::filesystem::path> ChooseFileToSave(const QString& title, const std::filesystem::path& suggested,
                                                          const QStringList& filters) override
    {
        saveDialogs.push_back({title, QString::fromStdString(suggested.string()), filters});
        return Next(savePaths);
    }

    SaveChoice AskToSaveChanges(const QString& text) override
    {
        saveQuestions.push_back(text);
        if (onSaveQuestion)
            onSaveQuestion();
        return saveChoice;
    }

    bool AskToSaveFirst(const QString& text, const QString& title) override
    {
        saveFirstQuestions.push_back({text, title});
        return saveFirst;
    }

    std::optional<NewEntry> AskNewEntry(const QStringList& kinds) override
    {
        newEntryKinds.push_back(kinds);
        return Next(newEntries);
    }

    std::deque<std::optional<std::filesystem::path>> choices;
    QString chosenFilter;  // the filter a confirmed Open dialog leaves, when set
    std::vector<QString> openFilters;  // the filter each Open dialog started with
    std::vector<std::filesystem::path> startFolders;
    std::vector<Message> messages;
    std::function<void(const Message&)> onMessage;
    int beeps = 0;
    std::vector<Message> questions;  // overwrite questions, answered by `overwrite`
    bool overwrite = false;
    std::vector<QString> reports;  // rebuild reports, answered by `rebuildAfterReport`
    bool rebuildAfterReport = false;

    struct FileDialog {
        QString title;
        QString start;  // the folder, or the suggested path
        QStringList filters;
    };
    std::vector<FileDialog> imageDialogs;  // answered from `imageFiles` (an empty queue cancels)
    std::deque<std::optional<std::filesystem::path>> imageFiles;
    std::vector<FileDialog> saveDialogs;  // answered from `savePaths`
    std::deque<std::optional<std::filesystem::path>> savePaths;
    std::vector<QString> saveQuestions;  // Save, Discard or Cancel, answered by `saveChoice`
    SaveChoice saveChoice = SaveChoice::Cancel;
    std::function<void()> onSaveQuestion;
    std::vector<Message> saveFirstQuestions;  // answered by `saveFirst`
    bool saveFirst = false;
    std::vector<QStringList> newEntryKinds;  // answered from `newEntries`
    std::deque<std::optional<NewEntry>> newEntries;

private:
    template <typename T>
    static std::optional<T> Next(std::deque<std::optional<T>>& queue)
    {
        if (queue.empty())
            return std::nullopt;
        std::optional<T> next = std::move(queue.front());
        queue.pop_front();
        return next;
    }
};

}  // namespace Brimwork::Testing
