#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <QKeySequence>
#include <QList>
#include <QMainWindow>
#include <QStringList>

#include "app/edit_commands.h"
#include "app/entry_list.h"
#include "container/document.h"
#include "container/session.h"
#include "core/window.h"

class QAction;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QSettings;
class QUndoStack;

namespace Brimwork {

class Dialog;
class FileSystem;
class ImagePanel;
class ImageView;
class ModalDialogs;
class ThumbnailPanel;

// The main window: the entry list, the picture, the "Next Image" button,
// the labels and the menu, and the handlers that turn each user action
// into a call on the Session. It is also the window the modules reach
// through WindowInterface. Modal interactions (the Open dialog, messages,
// the beep) go through `dialogs`.
//
// The open container is also a Document: the Edit menu's commands change
// it, each a step of the undo stack, and Save writes it. Extract and
// Rebuild work on the file on disk, through the Session.
class Form1 : public QMainWindow, public WindowInterface, private EditTarget {
    Q_OBJECT
public:
    Form1(ModalDialogs& dialogs, FileSystem& files, std::filesystem::path startFolder, QWidget* parent = nullptr);
    ~Form1() override;

    // Paints the image buffer into Picture1 at the view's zoom and writes
    // Label1.
    void DisplayBMP();

    // Opens a file as a confirmed choice in the Open dialog would: the file
    // given on the command line, dropped on the window or chosen from Open
    // Recent.
    void OpenFile(const std::filesystem::path& fileName);

    // Keeps the recent files, the last folder and the window's size and
    // place in `settings` from now on, taking what it already holds. Without
    // it the window remembers nothing.
    void RememberIn(QSettings& settings);
    // The containers opened most recently, the newest first.
    const QStringList& RecentFiles() const { return recentFiles_; }

    // WindowInterface, for the modules.
    void ReplaceList(const std::vector<std::string>& names) override;
    void SetProgress(float percent) override;
    void Yield() override;
    void ShowMessage(const std::string& text, const std::string& title) override;
    void Beep() override;
    void ShowStatus(const std::string& text) override;
    bool ConfirmOverwrite(const OverwriteQuestion& question) override;

    // The state the handlers keep, for tests and the modules' callers.
    const Session& CurrentSession() const { return session_; }
    // The open container as edited; none before a file is open, or when
    // the file lists but cannot be read for editing.
    const Document* CurrentDocument() const { return document_ ? &*document_ : nullptr; }
    QUndoStack* UndoStack() const { return undoStack_; }
    QLineEdit* EntryFilter() const { return filter_; }
    QLabel* ImagePosition() const { return imagePosition_; }
    int32_t ImageIndex() const { return imageIndex_; }
    const std::filesystem::path& LastChosenFile() const { return lastChosenFile_; }
    // The progress window while a run stands, null otherwise.
    Dialog* ProgressWindow() const { return dialog_.get(); }

    QListWidget* List1() const { return list1_; }
    QPushButton* Command1() const { return command1_; }
    ImageView* Picture1() const { return picture1_; }
    QLabel* Label1() const { return label1_; }
    QLabel* Label2() const { return label2_; }
    QAction* MnuFileOpen() const { return mnuFileOpen_; }
    QAction* MnuFileExtract() const { return mnuFileExtract_; }
    QAction* MnuFileRebuild() const { return mnuFileRebuild_; }
    QAction* MnuFilePreviewRebuild() const { return mnuFilePreviewRebuild_; }
    QAction* MnuFileKeepBackup() const { return mnuFileKeepBackup_; }
    QAction* MnuFileExit() const { return mnuFileExit_; }
    QAction* MnuFileSave() const { return mnuFileSave_; }
    QAction* MnuFileSaveAs() const { return mnuFileSaveAs_; }
    QAction* MnuEditUndo() const { return mnuEditUndo_; }
    QAction* MnuEditRedo() const { return mnuEditRedo_; }
    QAction* MnuEditExportImage() const { return mnuEditExportImage_; }
    QAction* MnuEditReplaceImage() const { return mnuEditReplaceImage_; }
    QAction* MnuEditInsertImage() const { return mnuEditInsertImage_; }
    QAction* MnuEditDeleteImage() const { return mnuEditDeleteImage_; }
    QAction* MnuEditNewEntry() const { return mnuEditNewEntry_; }
    QAction* MnuEditRenameEntry() const { return mnuEditRenameEntry_; }
    QAction* MnuEditDeleteEntry() const { return mnuEditDeleteEntry_; }
    QAction* MnuEditMoveUp() const { return mnuEditMoveUp_; }
    QAction* MnuEditMoveDown() const { return mnuEditMoveDown_; }
    QAction* MnuEditFindEntry() const { return mnuEditFindEntry_; }
    QAction* MnuHelpAbout() const { return mnuHelpAbout_; }
    QMenu* MnuFileOpenRecent() const { return mnuFileOpenRecent_; }
    QAction* MnuEditCopyImage() const { return mnuEditCopyImage_; }
    QAction* MnuViewZoomIn() const { return mnuViewZoomIn_; }
    QAction* MnuViewZoomOut() const { return mnuViewZoomOut_; }
    QAction* MnuViewActualSize() const { return mnuViewActualSize_; }
    QAction* MnuViewZoomToFit() const { return mnuViewZoomToFit_; }
    QAction* MnuViewPreviousImage() const { return mnuViewPreviousImage_; }
    QAction* MnuViewNextImage() const { return mnuViewNextImage_; }
    QAction* MnuViewFirstImage() const { return mnuViewFirstImage_; }
    QAction* MnuViewLastImage() const { return mnuViewLastImage_; }
    QAction* MnuViewThumbnails() const { return mnuViewThumbnails_; }
    ThumbnailPanel* Thumbnails() const { return thumbnails_; }
    ImagePanel* ImageDetails() const { return imagePanel_; }
    QAction* MnuViewShowHotspots() const { return mnuViewShowHotspots_; }
    QAction* MnuViewImagePanel() const { return mnuViewImagePanel_; }
    // The hotspot point the Alt+arrow keys move.
    int SelectedHotspot() const { return selectedHotspot_; }
    QLabel* PixelReadout() const { return pixelReadout_; }
    QLabel* ZoomReadout() const { return zoomReadout_; }

public Q_SLOTS:
    void mnuFileOpen_Click();
    void List1_Click();
    void Command1_Click();
    void mnuFileExtract_Click();
    void mnuFileRebuild_Click();
    void mnuFilePreviewRebuild_Click();
    void mnuFileExit_Click();
    void mnuHelpAbout_Click();
    void mnuViewPreviousImage_Click();
    void mnuViewFirstImage_Click();
    void mnuViewLastImage_Click();
    void mnuEditCopyImage_Click();
    void mnuFileSave_Click();
    void mnuFileSaveAs_Click();
    void mnuEditExportImage_Click();
    void mnuEditReplaceImage_Click();
    void mnuEditInsertImage_Click();
    void mnuEditDeleteImage_Click();
    void mnuEditNewEntry_Click();
    void mnuEditRenameEntry_Click();
    void mnuEditDeleteEntry_Click();
    void MoveSelectedEntry(int by);
    // Shows image `imageIndex` of the selected entry, as a click on its
    // thumbnail does.
    void ShowImageAt(int32_t imageIndex);
    // Replaces the shown image with a TGA or PNG file, as Replace Image
    // does with the file chosen.
    void ReplaceImageFrom(const std::filesystem::path& file);
    // Moves an entry to stand at `to`, as a drag in the list does.
    void MoveEntryTo(int from, int to);
    // Renames an entry, as an edit in place in the list does.
    void RenameEntryTo(int entry, const QString& name);
    // Puts hotspot point `index` of the shown image at `pixel`, as a drag
    // of its crosshair does; moves the selected one by (dx, dy), as the
    // Alt+arrow keys do; sets all the values, as the Image panel does.
    void MoveHotspotTo(int index, QPoint pixel);
    void MoveSelectedHotspot(int dx, int dy);
    void SetShownHotspots(const std::vector<int32_t>& values);

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // A menu item with its object name, enabled or not, and its shortcuts.
    static QAction* AddMenuItem(QMenu* menu, const char* objectName, const QString& caption, bool enabled,
                                const QList<QKeySequence>& shortcuts = {});
    void BuildControls();
    void BuildMenu();
    void BuildEditMenu();
    void BuildViewer();

    // EditTarget: the list and the view follow each step of the undo stack.
    Document& EditedDocument() override { return *document_; }
    void EntryInserted(size_t position) override;
    void EntryRemoved(size_t position) override;
    void EntryMoved(size_t from, size_t to) override;
    void EntryChanged(size_t entry) override;
    void ShowEdited(size_t entry, int32_t image) override;

    // The editing commands' common steps.
    // The selected entry and shown image for an image command; beeps and
    // gives nothing when there is no document or no selection.
    std::optional<std::pair<int, int32_t>> EditedImage();
    // Runs `edit` on the document and, when it went through, pushes a step
    // named `text` that undoes it by putting the entry back.
    bool EditEntry(const QString& text, int entry, int32_t imageAfter, const std::function<void(Document&)>& edit);
    // Opens the document of the file the session listed; a file that lists
    // but cannot be edited leaves the window a viewer, saying why.
    void OpenDocument();
    // Saves to `path` (the document's own file when empty) with the
    // progress window; true when the file was written.
    bool SaveDocument(const std::filesystem::path& path = {});
    // Asks Save, Discard or Cancel when there are unsaved changes; true
    // when the window may go on and lose them.
    bool MayDiscardChanges();
    // Extract and Rebuild read the file on disk: true when it holds what is
    // shown (saved first if the user agrees).
    bool SavedForDiskCommand(const QString& command);
    void UpdateTitle();
    void UpdateEditActions();
    void UpdateImagePosition();
    // The picture blank and Label1 empty, until an entry is selected.
    void ClearImage();
    // Shows image `imageIndex` of the entry, from the document when one is
    // open; gives the image shown, wrapped into the entry's images.
    int32_t LoadShownImage(int entryIndex, int32_t imageIndex);
    int32_t ImageCount(int entryIndex);
    // Shows image `target` of the selected entry (wrapped into the entry's
    // images) as "Next Image" would; a screen entry beeps when `beep`.
    void StepTo(const std::function<int32_t(int32_t count)>& target, bool beepOnScreen);
    void ShowThumbnailsOfSelection();
    void ShowThumbnailsPanel(bool shown);
    // The panels beside the picture take their room beside the window's
    // controls, not from them.
    void MakeRoomForPanels();
    void SelectHotspot(int index);
    // The crosshairs and the Image panel for the shown image.
    void UpdateHotspotView();
    // The selected entry and the image shown, as the document holds them;
    // null without a document, a selection or an image.
    const DocumentEntry* SelectedDocumentEntry() const;
    const DocumentImage* ShownDocumentImage() const;
    void ShowThumbnailMenu(QPoint at);
    void AddRecentFile(const std::filesystem::path& fileName);
    void FillRecentMenu();
    void SaveSettings();
    void UpdateReadout();
    void UpdateRoom();
    void OpenArchive(const std::filesystem::path& fileName);
    // The position of the selected entry, -1 when nothing is selected.
    int SelectedPosition() const;
    // The selected position; without a selection, beeps and puts the focus
    // on the list, and gives -1.
    int SelectionOrBeep();
    // Runs a command's work; an error thrown out of it is shown as a
    // message titled "Brimwork Error". Returns whether it ran through.
    bool RunReportingErrors(const std::function<void()>& work);
    // Extract and Rebuild: Form1 disabled and the progress window shown,
    // titled `title`, while `work` runs; then "Done!", Form1 enabled and
    // the progress window destroyed, whatever happened.
    void RunWithProgress(const QString& title, const std::function<void()>& work);

    ModalDialogs& dialogs_;
    FileSystem& files_;
    Session session_;
    std::optional<Document> document_;
    // The picture as last loaded from the document, in display layout;
    // without a document the session's image buffer is shown.
    std::optional<ImageBuffer> shownImage_;
    QUndoStack* undoStack_ = nullptr;
    QString openFilter_;
    int32_t imageIndex_ = 0;
    std::filesystem::path lastChosenFile_;
    std::unique_ptr<Dialog> dialog_;
    bool busy_ = false;

    QPushButton* command1_ = nullptr;
    ImageView* picture1_ = nullptr;
    EntryList* list1_ = nullptr;
    QLineEdit* filter_ = nullptr;
    QLabel* imagePosition_ = nullptr;
    QLabel* label1_ = nullptr;
    QLabel* label2_ = nullptr;
    QMenu* mnuFile_ = nullptr;
    QMenu* mnuHelp_ = nullptr;
    QAction* mnuFileOpen_ = nullptr;
    QAction* mnuFileExtract_ = nullptr;
    QAction* mnuFileRebuild_ = nullptr;
    QAction* mnuFilePreviewRebuild_ = nullptr;
    QAction* mnuFileKeepBackup_ = nullptr;
    QAction* mnuFileExit_ = nullptr;
    QAction* mnuHelpAbout_ = nullptr;
    QAction* mnuFileSave_ = nullptr;
    QAction* mnuFileSaveAs_ = nullptr;
    QAction* mnuEditUndo_ = nullptr;
    QAction* mnuEditRedo_ = nullptr;
    QAction* mnuEditExportImage_ = nullptr;
    QAction* mnuEditReplaceImage_ = nullptr;
    QAction* mnuEditInsertImage_ = nullptr;
    QAction* mnuEditDeleteImage_ = nullptr;
    QAction* mnuEditNewEntry_ = nullptr;
    QAction* mnuEditRenameEntry_ = nullptr;
    QAction* mnuEditDeleteEntry_ = nullptr;
    QAction* mnuEditMoveUp_ = nullptr;
    QAction* mnuEditMoveDown_ = nullptr;
    QAction* mnuEditFindEntry_ = nullptr;

    // What the viewer adds to the window.
    QSettings* settings_ = nullptr;
    QStringList recentFiles_;
    std::filesystem::path lastFolder_;
    int panelsWidth_ = 0;  // what opening the panels added to the window
    ImagePanel* imagePanel_ = nullptr;
    int selectedHotspot_ = 0;
    QAction* mnuViewShowHotspots_ = nullptr;
    QAction* mnuViewImagePanel_ = nullptr;
    ThumbnailPanel* thumbnails_ = nullptr;
    QLabel* pixelReadout_ = nullptr;
    QLabel* zoomReadout_ = nullptr;
    QMenu* mnuFileOpenRecent_ = nullptr;
    QMenu* mnuEdit_ = nullptr;
    QMenu* mnuView_ = nullptr;
    QAction* mnuFileOpenRecentClear_ = nullptr;
    QAction* mnuEditCopyImage_ = nullptr;
    QAction* mnuViewZoomIn_ = nullptr;
    QAction* mnuViewZoomOut_ = nullptr;
    QAction* mnuViewActualSize_ = nullptr;
    QAction* mnuViewZoomToFit_ = nullptr;
    QAction* mnuViewPreviousImage_ = nullptr;
    QAction* mnuViewNextImage_ = nullptr;
    QAction* mnuViewFirstImage_ = nullptr;
    QAction* mnuViewLastImage_ = nullptr;
    QAction* mnuViewThumbnails_ = nullptr;
};

}  // namespace Brimwork
