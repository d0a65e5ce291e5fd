#pragma once

#include <filesystem>
#include <optional>

#include <QString>

namespace Brimwork {

// The interactions that wait for the user: the Open dialog, the message
// box and the beep. The main window reaches them only through this
// interface, so that tests can script them and drive the window without
// blocking.
class ModalDialogs {
public:
    virtual ~ModalDialogs() = default;

    // Shows the Open dialog, starting in `startFolder`, and returns the full
    // path of the confirmed choice, or nothing when it was cancelled.
    virtual std::optional<std::filesystem::path> ChooseFileToOpen(const std::filesystem::path& startFolder) = 0;

    // A modal message box with a single OK button and no icon; returns
    // when the user has dismissed it.
    virtual void ShowMessage(const QString& text, const QString& title) = 0;

    // The system's default sound.
    virtual void Beep() = 0;

    // A question box with Overwrite and Cancel, Cancel the default; true
    // when the user chose Overwrite.
    virtual bool AskToOverwrite(const QString& text, const QString& title) = 0;

    // Shows what a rebuild would do, with Rebuild and Cancel (only Close
    // when `canRebuild` is false); true when the user chose Rebuild.
    virtual bool ShowRebuildReport(const QString& report, bool canRebuild) = 0;
};

// The real dialogs: QFileDialog, QMessageBox and QApplication::beep().
class QtModalDialogs : public ModalDialogs {
public:
    std::optional<std::filesystem::path> ChooseFileToOpen(const std::filesystem::path& startFolder) override;
    void ShowMessage(const QString& text, const QString& title) override;
    void Beep() override;
    bool AskToOverwrite(const QString& text, const QString& title) override;
    bool ShowRebuildReport(const QString& report, bool canRebuild) override;
};

// Conversions between the 8-bit texts of the library and Qt's strings.
// Entry names are 8-bit characters, one per byte (Latin-1); paths are the
// file system's bytes; message texts usually carry a path and are read as
// UTF-8 when they are valid UTF-8, byte by byte otherwise.
QString EntryNameText(const std::string& name);
QString PathText(const std::filesystem::path& path);
std::filesystem::path PathFromText(const QString& text);
QString MessageText(const std::string& text);

}  // namespace Brimwork
