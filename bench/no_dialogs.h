#pragma once

// Modal dialogs for the window's benchmarks: no dialog waits; messages go
// to standard error, and the files and names the commands ask for are
// set beforehand.

#include <cstdio>
#include <filesystem>
#include <optional>

#include "app/modal_dialogs.h"

namespace Brimwork::BenchWork {

class NoDialogs : public ModalDialogs {
public:
    std::optional<std::filesystem::path> ChooseFileToOpen(const std::filesystem::path&, QString&) override { return std::nullopt; }
    std::optional<std::filesystem::path> ChooseImageFile(const QString&, const std::filesystem::path&) override { return imageFile; }
    std::optional<std::filesystem::path> ChooseFileToSave(const QString&, const std::filesystem::path&, const QStringList&) override
    {
        return std::nullopt;
    }
    SaveChoice AskToSaveChanges(const QString&) override { return SaveChoice::Discard; }
    bool AskToSaveFirst(const QString&, const QString&) override { return false; }
    std::optional<NewEntry> AskNewEntry(const QStringList&) override { return newEntry; }
    void ShowMessage(const QString& text, const QString& title) override
    {
        std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(text));
        ++messages;
    }
    void Beep() override {}
    bool AskToOverwrite(const QString&, const QString&) override { return false; }
    bool ShowRebuildReport(const QString&, bool) override { return false; }

    std::optional<std::filesystem::path> imageFile;
    std::optional<NewEntry> newEntry;
    int messages = 0;
};

}  // namespace Brimwork::BenchWork
