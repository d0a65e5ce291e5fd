#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include <QString>
#include <QStringList>

namespace Brimwork {

// The interactions that wait for the user: the Open dialog, the message
// box and the beep. The main window reaches them only through this
// interface, so that tests can script them and drive the window without
// blocking.
class ModalDialogs {
public:
    virtual ~ModalDialogs() = default;

    // Shows the Open dialog, starting in `startFolder` with the name filter
    // `filter` chosen (the first one when it is not among them), and returns
    // the full path of the confirmed choice, or nothing when it was
    // cancelled. A confirmed choice leaves in `filter` the filter in use.
    virtual std::optional<std::filesystem::path> ChooseFileToOpen(const std::filesystem::path& startFolder,
                                                                  QString& filter) = 0;

    // An Open dialog titled `title` for one TGA or PNG file.
    virtual std::optional<std::filesystem::path> ChooseImageFile(const QString& title,
                                                                 const std::filesystem::path& startFolder) = 0;

    // A Save dialog titled `title`, starting at `suggested` (its folder and
    // name), with the name filters given; the chosen path, or nothing.
    virtual std::optional<std::filesystem::path> ChooseFileToSave(const QString& title,
                                                                  const std::filesystem::path& suggested,
                                                                  const QStringList& filters) = 0;

    // Asks what to do with unsaved changes before they would be lost.
    enum class SaveChoice { Save, Discard, Cancel };
    virtual SaveChoice AskToSaveChanges(const QString& text) = 0;

    // Asks to save before a command that works on the file on disk: true
    // for Save, false for Cancel.
    virtual bool AskToSaveFirst(const QString& text, const QString& title) = 0;

    // Asks for a new entry's name and, when `kinds` offers more than one,
    // its kind (an index into `kinds`); nothing when cancelled.
    struct NewEntry {
        QString name;
        int kind = 0;
    };
    virtual std::optional<NewEntry> AskNewEntry(const QStringList& kinds) = 0;

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
    std::optional<std::filesystem::path> ChooseFileToOpen(const std::filesystem::path& startFolder,
                                                          QString& filter) override;
    std::optional<std::filesystem::path> ChooseImageFile(const QString& title,
                                                         const std::filesystem::path& startFolder) override;
    std::optional<std::filesystem::path> ChooseFileToSave(const QString& title, const std::filesystem::path& suggested,
                                                          const QStringList& filters) override;
    SaveChoice AskToSaveChanges(const QString& text) override;
    bool AskToSaveFirst(const QString& text, const QString& title) override;
    std::optional<NewEntry> AskNewEntry(const QStringList& kinds) override;
    void ShowMessage(const QString& text, const QString& title) override;
    void Beep() override;
    bool AskToOverwrite(const QString& text, const QString& title) override;
    bool ShowRebuildReport(const QString& report, bool canRebuild) override;
};

// The Open dialog's name filters, in the order it lists them.
QStringList ContainerFilters();

// Conversions between the 8-bit texts of the library and Qt's strings.
// Entry names are 8-bit characters, one per byte (Latin-1); paths are the
// file system's bytes; message texts usually carry a path and are read as
// UTF-8 when they are valid UTF-8, byte by byte otherwise.
QString EntryNameText(const std::string& name);
// The reverse, for a name typed in the window: an Error for a character
// outside the 8 bits an entry name holds.
std::string EntryNameFromText(const QString& text);
QString PathText(const std::filesystem::path& path);
std::filesystem::path PathFromText(const QString& text);
QString MessageText(const std::string& text);

}  // namespace Brimwork
