// Form1's editing: the Edit menu's image and entry commands, the steps of
// the undo stack they push, Save and Save As, and the questions asked
// before unsaved changes would be lost.
#include <algorithm>
#include <cstdint>
#include <exception>

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QUndoStack>

#include "app/entry_list.h"
#include "app/form1.h"
#include "app/image_panel.h"
#include "app/image_view.h"
#include "app/modal_dialogs.h"
#include "app/thumbnails.h"
#include "core/error.h"
#include "core/names.h"

namespace Brimwork {
void Form1::BuildEditMenu()
{
    mnuEditUndo_ = undoStack_->createUndoAction(this, QStringLiteral("&Undo"));
    mnuEditUndo_->setObjectName(QStringLiteral("mnuEditUndo"));
    mnuEditUndo_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    mnuEditRedo_ = undoStack_->createRedoAction(this, QStringLiteral("&Redo"));
    mnuEditRedo_->setObjectName(QStringLiteral("mnuEditRedo"));
    mnuEditRedo_->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    mnuEdit_->insertActions(mnuEditCopyImage_, {mnuEditUndo_, mnuEditRedo_});
    mnuEdit_->insertSeparator(mnuEditCopyImage_);

    mnuEditExportImage_ = AddMenuItem(mnuEdit_, "mnuEditExportImage", QStringLiteral("E&xport Image..."), true);
    mnuEditReplaceImage_ = AddMenuItem(mnuEdit_, "mnuEditReplaceImage", QStringLiteral("Re&place Image..."), true);
    mnuEditInsertImage_ = AddMenuItem(mnuEdit_, "mnuEditInsertImage", QStringLiteral("&Insert Image..."), true);
    mnuEditDeleteImage_ = AddMenuItem(mnuEdit_, "mnuEditDeleteImage", QStringLiteral("De&lete Image"), true);
    mnuEdit_->addSeparator();
    mnuEditNewEntry_ = AddMenuItem(mnuEdit_, "mnuEditNewEntry", QStringLiteral("&New Entry..."), true);
    mnuEditRenameEntry_ =
        AddMenuItem(mnuEdit_, "mnuEditRenameEntry", QStringLiteral("Rena&me Entry"), true, {QKeySequence(Qt::Key_F2)});
    mnuEditDeleteEntry_ =
        AddMenuItem(mnuEdit_, "mnuEditDeleteEntry", QStringLiteral("&Delete Entry"), true, {QKeySequence::Delete});
    mnuEditMoveUp_ =
        AddMenuItem(mnuEdit_, "mnuEditMoveUp", QStringLiteral("Mo&ve Up"), true, {QKeySequence(Qt::CTRL | Qt::Key_Up)});
    mnuEditMoveDown_ = AddMenuItem(mnuEdit_, "mnuEditMoveDown", QStringLiteral("Move Do&wn"), true,
                                   {QKeySequence(Qt::CTRL | Qt::Key_Down)});
    mnuEdit_->addSeparator();
    mnuEditFindEntry_ =
        AddMenuItem(mnuEdit_, "mnuEditFindEntry", QStringLiteral("&Filter Entries"), true, {QKeySequence::Find});

    connect(mnuEditExportImage_, &QAction::triggered, this, &Form1::mnuEditExportImage_Click);
    connect(mnuEditReplaceImage_, &QAction::triggered, this, &Form1::mnuEditReplaceImage_Click);
    connect(mnuEditInsertImage_, &QAction::triggered, this, &Form1::mnuEditInsertImage_Click);
    connect(mnuEditDeleteImage_, &QAction::triggered, this, &Form1::mnuEditDeleteImage_Click);
    connect(mnuEditNewEntry_, &QAction::triggered, this, &Form1::mnuEditNewEntry_Click);
    connect(mnuEditRenameEntry_, &QAction::triggered, this, &Form1::mnuEditRenameEntry_Click);
    connect(mnuEditDeleteEntry_, &QAction::triggered, this, &Form1::mnuEditDeleteEntry_Click);
    connect(mnuEditMoveUp_, &QAction::triggered, this, [this] { MoveSelectedEntry(-1); });
    connect(mnuEditMoveDown_, &QAction::triggered, this, [this] { MoveSelectedEntry(+1); });
    connect(mnuEditFindEntry_, &QAction::triggered, this, [this] {
        filter_->setFocus(Qt::ShortcutFocusReason);
        filter_->selectAll();
    });
    connect(undoStack_, &QUndoStack::cleanChanged, this, [this] {
        UpdateTitle();
        UpdateEditActions();
    });

    // The list's menu holds the entry commands, the thumbnails' the image
    // commands.
    list1_->setContextMenuPolicy(Qt::ActionsContextMenu);
    list1_->addActions({mnuEditNewEntry_, mnuEditRenameEntry_, mnuEditDeleteEntry_, mnuEditMoveUp_, mnuEditMoveDown_});
}

// ---- The view follows the document ------------------------------------------

void Form1::EntryInserted(size_t position)
{
    const QSignalBlocker blocker(list1_);
    list1_->InsertName(static_cast<int>(position), EntryNameText(document_->Entry(position).name));
    const bool any = list1_->count() > 0;
    mnuFileExtract_->setEnabled(any);
    mnuFileRebuild_->setEnabled(any);
    mnuFilePreviewRebuild_->setEnabled(any);
}

void Form1::EntryRemoved(size_t position)
{
    {
        const QSignalBlocker blocker(list1_);
        list1_->RemoveName(static_cast<int>(position));
    }
    if (list1_->count() == 0)
        ClearImage();
}

void Form1::EntryMoved(size_t from, size_t to)
{
    const QSignalBlocker blocker(list1_);
    list1_->MoveName(static_cast<int>(from), static_cast<int>(to));
}

void Form1::EntryChanged(size_t entry)
{
    list1_->Rename(static_cast<int>(entry), EntryNameText(document_->Entry(entry).name));
}

void Form1::ShowEdited(size_t entry, int32_t image)
{
    {
        const QSignalBlocker blocker(list1_);
        list1_->setCurrentRow(static_cast<int>(entry));
    }
    const int32_t count = ImageCount(static_cast<int>(entry));
    imageIndex_ = std::clamp<int32_t>(image, 0, std::max<int32_t>(count - 1, 0));
    if (RunReportingErrors([&] { imageIndex_ = LoadShownImage(static_cast<int>(entry), imageIndex_); }))
        DisplayBMP();
    ShowThumbnailsOfSelection();
    UpdateEditActions();
}

// ---- Common steps ------------------------------------------------------------

std::optional<std::pair<int, int32_t>> Form1::EditedImage()
{
    const int entry = document_ ? SelectedPosition() : -1;
    if (entry < 0 || ImageCount(entry) == 0) {
        Beep();
        return std::nullopt;
    }
    return std::pair{entry, imageIndex_};
}

bool Form1::EditEntry(const QString& text, int entry, int32_t imageAfter, const std::function<void(Document&)>& edit)
{
    if (!document_)
        return false;
    std::optional<DocumentEntry> before;
    const bool done = RunReportingErrors([&] {
        before = document_->Entry(static_cast<size_t>(entry));
        edit(*document_);
    });
    if (!done)
        return false;
    undoStack_->push(new EntryEditCommand(*this, text, static_cast<size_t>(entry), std::move(*before), imageIndex_,
                                          imageAfter));
    return true;
}

void Form1::OpenDocument()
{
    undoStack_->clear();
    document_.reset();
    try {
        document_.emplace(Document::Open(files_, session_.Container().FileName));
    } catch (const std::exception& error) {
        ShowStatus(std::string("Shown for viewing only, since it cannot be edited: ") + error.what());
    }
    UpdateTitle();
    UpdateEditActions();
}

bool Form1::SaveDocument(const std::filesystem::path& path)
{
    if (!document_)
        return false;
    const int entry = SelectedPosition();
    const int32_t image = imageIndex_;
    bool saved = false;
    RunWithProgress(QStringLiteral("Saving ...."), [&] {
        if (path.empty())
            document_->Save();
        else
            document_->SaveAs(path);
        saved = true;
    });
    if (!saved)
        return false;
    undoStack_->setClean();
    // The session reads the file anew for Extract, Rebuild and the list;
    // the view comes back to what it showed.
    RunReportingErrors([&] { session_.OpenArchive(document_->Path()); });
    AddRecentFile(document_->Path());
    UpdateTitle();
    if (entry >= 0 && static_cast<size_t>(entry) < document_->Entries().size())
        ShowEdited(static_cast<size_t>(entry), image);
    ShowStatus("Saved " + document_->Path().filename().string());
    return true;
}

bool Form1::MayDiscardChanges()
{
    if (!document_ || undoStack_->isClean())
        return true;
    const std::string name = document_->Path().filename().string();
    switch (dialogs_.AskToSaveChanges(MessageText(name + " has changes that are not saved. Save them?"))) {
    case ModalDialogs::SaveChoice::Save:
        return SaveDocument();
    case ModalDialogs::SaveChoice::Discard:
        return true;
    case ModalDialogs::SaveChoice::Cancel:
        break;
    }
    return false;
}

bool Form1::SavedForDiskCommand(const QString& command)
{
    if (!document_ || undoStack_->isClean())
        return true;
    const QString text = MessageText(document_->Path().filename().string()) +
                         QStringLiteral(" has changes that are not saved, and %1 works on the file on disk. "
                                        "Save them first?")
                             .arg(command);
    return dialogs_.AskToSaveFirst(text, command) && SaveDocument();
}

void Form1::UpdateTitle()
{
    if (!document_ && session_.Container().FileName.empty()) {
        setWindowTitle(QStringLiteral("Brimwork"));
        return;
    }
    const std::filesystem::path& file = document_ ? document_->Path() : session_.Container().FileName;
    // "[*]" is where Qt shows the mark of unsaved changes.
    setWindowTitle(PathText(file.filename()) + QStringLiteral("[*] - Brimwork"));
    setWindowModified(!undoStack_->isClean());
}

void Form1::UpdateEditActions()
{
    const DocumentEntry* held = SelectedDocumentEntry();
    const bool selected = held != nullptr;
    const int entry = SelectedPosition();
    const bool hasImage = held != nullptr && !held->images.empty();
    const bool growable = held != nullptr && (held->kind == EntryKind::Gadget || held->kind == EntryKind::Shadow);
    mnuFileSave_->setEnabled(document_ && !undoStack_->isClean());
    mnuFileSaveAs_->setEnabled(document_.has_value());
    mnuEditExportImage_->setEnabled(hasImage);
    mnuEditReplaceImage_->setEnabled(hasImage);
    mnuEditInsertImage_->setEnabled(growable);
    mnuEditDeleteImage_->setEnabled(growable && hasImage);
    mnuEditNewEntry_->setEnabled(document_.has_value());
    mnuEditRenameEntry_->setEnabled(selected);
    mnuEditDeleteEntry_->setEnabled(selected);
    mnuEditMoveUp_->setEnabled(selected && entry > 0);
    mnuEditMoveDown_->setEnabled(selected && static_cast<size_t>(entry) + 1 < document_->Entries().size());
}

// ---- Image commands ----------------------------------------------------------

void Form1::mnuEditExportImage_Click()
{
    const auto target = EditedImage();
    if (!target)
        return;
    const auto [entry, image] = *target;
    RunReportingErrors([&] {
        const std::filesystem::path suggested =
            document_->Path().parent_path() /
            document_->Kind().ImageFileName(document_->Entry(static_cast<size_t>(entry)).name, image);
        const std::optional<std::filesystem::path> out = dialogs_.ChooseFileToSave(
            QStringLiteral("Export Image"), suggested,
            {QStringLiteral("TGA images (*.tga)"), QStringLiteral("PNG images (*.png)")});
        if (!out)
            return;
        const ExportResult result = document_->ExportImage(static_cast<size_t>(entry), static_cast<size_t>(image), *out);
        std::string status = "Exported " + out->filename().string();
        if (result.bit15Lost > 0)
            status += ": " + CountOf(result.bit15Lost, "pixel", "pixels") +
                      " had bit 15 set, which a PNG file cannot keep (a TGA file does)";
        ShowStatus(status);
    });
}

void Form1::mnuEditReplaceImage_Click()
{
    if (!EditedImage())
        return;
    if (const auto chosen = dialogs_.ChooseImageFile(QStringLiteral("Replace Image"), document_->Path().parent_path()))
        ReplaceImageFrom(*chosen);
}

void Form1::ReplaceImageFrom(const std::filesystem::path& file)
{
    const auto target = EditedImage();
    if (!target)
        return;
    const auto [entry, image] = *target;
    ImageChange change;
    const bool replaced = EditEntry(QStringLiteral("Replace Image"), entry, image, [&](Document& document) {
        change = document.ReplaceImageFromFile(static_cast<size_t>(entry), static_cast<size_t>(image), file);
    });
    if (!replaced)
        return;
    std::string status = "Replaced image " + std::to_string(image) + " of " +
                         document_->Entry(static_cast<size_t>(entry)).name + " with " + file.filename().string();
    if (change.roundedPixels > 0)
        status += ": " + CountOf(change.roundedPixels, "pixel was", "pixels were") +
                  " rounded to black or white, as a shadow holds no other colours";
    ShowStatus(status);
}

void Form1::mnuEditInsertImage_Click()
{
    const int entry = document_ ? SelectedPosition() : -1;
    if (entry < 0) {
        Beep();
        return;
    }
    const auto chosen = dialogs_.ChooseImageFile(QStringLiteral("Insert Image"), document_->Path().parent_path());
    if (!chosen)
        return;
    // After the image shown; into an entry without images, as its first.
    const int32_t count = ImageCount(entry);
    const int32_t position = count == 0 ? 0 : imageIndex_ + 1;
    ImageChange change;
    const bool inserted = EditEntry(QStringLiteral("Insert Image"), entry, position, [&](Document& document) {
        change = document.InsertImage(static_cast<size_t>(entry), static_cast<size_t>(position),
                                      ReadImageFile(files_, *chosen), chosen->string());
    });
    if (inserted && change.roundedPixels > 0)
        ShowStatus(CountOf(change.roundedPixels, "pixel was", "pixels were") + " rounded to black or white");
}

void Form1::mnuEditDeleteImage_Click()
{
    const auto target = EditedImage();
    if (!target)
        return;
    const auto [entry, image] = *target;
    EditEntry(QStringLiteral("Delete Image"), entry, image, [&](Document& document) {
        document.DeleteImage(static_cast<size_t>(entry), static_cast<size_t>(image));
    });
}

// ---- Entry commands ----------------------------------------------------------

void Form1::mnuEditNewEntry_Click()
{
    if (!document_) {
        Beep();
        return;
    }
    QStringList kindNames;
    std::vector<EntryKind> kinds;
    for (const EntryKind kind : {EntryKind::Gadget, EntryKind::Screen, EntryKind::Vehicle, EntryKind::Shadow})
        if (document_->Kind().Holds(kind)) {
            kinds.push_back(kind);
            QString name = QString::fromLatin1(EntryKindName(kind));
            name[0] = name[0].toUpper();
            kindNames << name;
        }
    const std::optional<ModalDialogs::NewEntry> answer = dialogs_.AskNewEntry(kindNames);
    if (!answer || answer->kind < 0 || static_cast<size_t>(answer->kind) >= kinds.size())
        return;
    const EntryKind kind = kinds[static_cast<size_t>(answer->kind)];
    // After the selected entry, or last.
    const int selected = SelectedPosition();
    const size_t position = selected >= 0 ? static_cast<size_t>(selected) + 1 : document_->Entries().size();
    std::optional<std::filesystem::path> image;
    if (kind == EntryKind::Screen) {
        image = dialogs_.ChooseImageFile(QStringLiteral("New Entry"), document_->Path().parent_path());
        if (!image)
            return;
    }
    const bool added = RunReportingErrors([&] {
        const std::string name = EntryNameFromText(answer->name);
        if (image)
            document_->AddScreenEntry(position, name, ReadImageFile(files_, *image), image->string());
        else
            document_->AddEntry(position, name, kind);
    });
    if (added)
        undoStack_->push(new EntryPresenceCommand(*this, QStringLiteral("New Entry"), position, std::nullopt));
}

void Form1::mnuEditRenameEntry_Click()
{
    const int entry = document_ ? SelectedPosition() : -1;
    if (entry < 0) {
        Beep();
        return;
    }
    list1_->scrollToItem(list1_->item(entry));
    list1_->setFocus();
    list1_->editItem(list1_->item(entry));
}

void Form1::RenameEntryTo(int entry, const QString& name)
{
    if (!document_ || entry < 0 || static_cast<size_t>(entry) >= document_->Entries().size())
        return;
    EditEntry(QStringLiteral("Rename Entry"), entry, imageIndex_, [&](Document& document) {
        document.RenameEntry(static_cast<size_t>(entry), EntryNameFromText(name));
    });
}

void Form1::mnuEditDeleteEntry_Click()
{
    const int entry = document_ ? SelectedPosition() : -1;
    if (entry < 0) {
        Beep();
        return;
    }
    std::optional<DocumentEntry> taken;
    if (RunReportingErrors([&] { taken = document_->TakeEntry(static_cast<size_t>(entry)); }))
        undoStack_->push(
            new EntryPresenceCommand(*this, QStringLiteral("Delete Entry"), static_cast<size_t>(entry), std::move(taken)));
}

void Form1::MoveSelectedEntry(int by)
{
    const int entry = document_ ? SelectedPosition() : -1;
    const int to = entry + by;
    if (entry < 0 || to < 0 || to >= list1_->count()) {
        Beep();
        return;
    }
    MoveEntryTo(entry, to);
}

void Form1::MoveEntryTo(int from, int to)
{
    if (!document_)
        return;
    if (RunReportingErrors([&] { document_->MoveEntry(static_cast<size_t>(from), static_cast<size_t>(to)); }))
        undoStack_->push(
            new MoveEntryCommand(*this, QStringLiteral("Move Entry"), static_cast<size_t>(from), static_cast<size_t>(to)));
}

// ---- Save --------------------------------------------------------------------

void Form1::mnuFileSave_Click()
{
    SaveDocument();
}

void Form1::mnuFileSaveAs_Click()
{
    if (!document_)
        return;
    const std::string extension = document_->Kind().Extension();
    QString filter;
    for (const QString& candidate : ContainerFilters())
        if (candidate.contains(QStringLiteral("(*.%1)").arg(QString::fromStdString(extension).toLower())))
            filter = candidate;
    const auto chosen = dialogs_.ChooseFileToSave(QStringLiteral("Save As"), document_->Path(), {filter});
    if (chosen)
        SaveDocument(*chosen);
}

// ---- Hotspots ----------------------------------------------------------------

const DocumentEntry* Form1::SelectedDocumentEntry() const
{
    const int entry = document_ ? SelectedPosition() : -1;
    return entry >= 0 && static_cast<size_t>(entry) < document_->Entries().size()
               ? &document_->Entries()[static_cast<size_t>(entry)]
               : nullptr;
}

const DocumentImage* Form1::ShownDocumentImage() const
{
    const DocumentEntry* entry = SelectedDocumentEntry();
    return entry != nullptr && imageIndex_ >= 0 && static_cast<size_t>(imageIndex_) < entry->images.size()
               ? &entry->images[static_cast<size_t>(imageIndex_)]
               : nullptr;
}

void Form1::UpdateHotspotView()
{
    const DocumentImage* image = ShownDocumentImage();
    if (image == nullptr) {
        picture1_->SetHotspots({});
        imagePanel_->Clear();
        return;
    }
    std::vector<QPoint> points;
    for (size_t k = 0; k + 1 < image->hotspots.size(); k += 2)
        points.emplace_back(image->hotspots[k], image->hotspots[k + 1]);
    picture1_->SetHotspots(points);
    // A shadow frame stores its hotspot in 16 bits.
    const bool shadow = SelectedDocumentEntry()->kind == EntryKind::Shadow;
    imagePanel_->ShowImage(image->width, image->height, image->hotspots, shadow ? INT16_MIN : INT32_MIN,
                           shadow ? INT16_MAX : INT32_MAX);
    SelectHotspot(std::clamp(selectedHotspot_, 0, std::max<int>(static_cast<int>(points.size()) - 1, 0)));
}

void Form1::SelectHotspot(int index)
{
    selectedHotspot_ = index;
    picture1_->SelectHotspot(index);
    imagePanel_->SelectHotspot(index);
}

void Form1::SetShownHotspots(const std::vector<int32_t>& values)
{
    const auto target = EditedImage();
    if (!target)
        return;
    const auto [entry, image] = *target;
    EditEntry(QStringLiteral("Move Hotspot"), entry, image, [&](Document& document) {
        document.SetHotspots(static_cast<size_t>(entry), static_cast<size_t>(image), values);
    });
}

void Form1::MoveHotspotTo(int index, QPoint pixel)
{
    const DocumentImage* image = ShownDocumentImage();
    std::vector<int32_t> values = image != nullptr ? image->hotspots : std::vector<int32_t>{};
    const auto x = static_cast<size_t>(index) * 2;
    if (index < 0 || x + 1 >= values.size()) {
        Beep();
        return;
    }
    values[x] = pixel.x();
    values[x + 1] = pixel.y();
    SelectHotspot(index);
    SetShownHotspots(values);
}

void Form1::MoveSelectedHotspot(int dx, int dy)
{
    const DocumentImage* image = ShownDocumentImage();
    const auto x = static_cast<size_t>(std::max(selectedHotspot_, 0)) * 2;
    if (image == nullptr || x + 1 >= image->hotspots.size()) {
        Beep();  // a gadget or screen image has no hotspots
        return;
    }
    // Stepping past a shadow's 16 bits is refused by the document; past
    // 32 bits, here.
    const int64_t newX = int64_t{image->hotspots[x]} + dx, newY = int64_t{image->hotspots[x + 1]} + dy;
    if (newX < INT32_MIN || newX > INT32_MAX || newY < INT32_MIN || newY > INT32_MAX) {
        Beep();
        return;
    }
    MoveHotspotTo(selectedHotspot_, QPoint(static_cast<int>(newX), static_cast<int>(newY)));
}

void Form1::ShowThumbnailMenu(QPoint at)
{
    const QModelIndex index = thumbnails_->View()->indexAt(at);
    if (index.isValid())
        StepTo([row = index.row()](int32_t) { return row; }, false);
    QMenu menu(this);
    menu.addActions({mnuEditExportImage_, mnuEditReplaceImage_, mnuEditInsertImage_, mnuEditDeleteImage_});
    menu.exec(thumbnails_->View()->viewport()->mapToGlobal(at));
}

// ---- The shown image ---------------------------------------------------------

int32_t Form1::ImageCount(int entryIndex)
{
    if (!document_)
        return session_.CountImages(entryIndex);
    return static_cast<int32_t>(document_->Entry(static_cast<size_t>(entryIndex)).images.size());
}

int32_t Form1::LoadShownImage(int entryIndex, int32_t imageIndex)
{
    if (!document_) {
        shownImage_.reset();
        return session_.LoadImage(entryIndex, imageIndex);
    }
    const int32_t count = ImageCount(entryIndex);
    if (imageIndex < 0 || imageIndex >= count)
        imageIndex = 0;
    ImageBuffer shown;
    if (count == 0)
        MakeEmptyImage(shown);
    else
        shown = PaddedCopy(document_->LoadImage(static_cast<size_t>(entryIndex), static_cast<size_t>(imageIndex)));
    shownImage_ = std::move(shown);
    return imageIndex;
}

void Form1::ClearImage()
{
    imageIndex_ = 0;
    shownImage_.reset();
    picture1_->Clear();
    picture1_->SetHotspots({});
    imagePanel_->Clear();
    label1_->clear();
    imagePosition_->clear();
    thumbnails_->Clear();
    UpdateEditActions();
}

void Form1::UpdateImagePosition()
{
    const int entry = SelectedPosition();
    if (entry < 0) {
        imagePosition_->clear();
        return;
    }
    try {
        const int32_t count = ImageCount(entry);
        imagePosition_->setText(count == 0 ? QStringLiteral("No images")
                                           : QStringLiteral("Image %1 of %2").arg(imageIndex_ + 1).arg(count));
    } catch (const std::exception&) {
        imagePosition_->clear();
    }
}

}  // namespace Brimwork
