#include "app/form1.h"

#include <algorithm>
#include <array>
#include <exception>
#include <optional>
#include <system_error>
#include <utility>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QStyle>
#include <QUndoStack>
#include <QWheelEvent>

#include "app/entry_list.h"
#include "app/image_panel.h"
#include "app/image_view.h"
#include "app/modal_dialogs.h"
#include "app/progress_dialog.h"
#include "app/thumbnails.h"
#include "core/checked.h"
#include "core/error.h"
#include "core/rebuild_report.h"

namespace Brimwork {
namespace {

constexpr int ClientWidth = 614;
constexpr int ClientHeight = 360;
// The room the picture may take: right of the list and below the label,
// keeping the margins the picture box has at the window's first size.
constexpr int RoomRightMargin = ClientWidth - (248 + 353);
constexpr int RoomBottomMargin = ClientHeight - (64 + 281);
constexpr int MostRecentFiles = 8;
constexpr int ListBottomMargin = ClientHeight - (64 + 276);

// The font of the layout in the family asked for, or in `fallback` where
// the family is not installed: 9.75 pt, regular.
QFont ControlFont(const QString& family, const QFont& fallback)
{
    QFont font = QFontDatabase::hasFamily(family) ? QFont(family) : fallback;
    font.setPointSizeF(9.75);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}


// The settings' keys.
const QString RecentFilesKey = QStringLiteral("recentFiles");
const QString LastFolderKey = QStringLiteral("lastFolder");
const QString GeometryKey = QStringLiteral("geometry");
const QString KeepBackupKey = QStringLiteral("keepBackupOnRebuild");
const QString OpenFilterKey = QStringLiteral("openFilter");

}  // namespace

QAction* Form1::AddMenuItem(QMenu* menu, const char* objectName, const QString& caption, bool enabled,
                          const QList<QKeySequence>& shortcuts)
{
    QAction* action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(objectName));
    action->setEnabled(enabled);
    action->setShortcuts(shortcuts);
    return action;
}

Form1::Form1(ModalDialogs& dialogs, FileSystem& files, std::filesystem::path startFolder, QWidget* parent)
    : QMainWindow(parent)
    , dialogs_(dialogs)
    , files_(files)
    , session_(*this, files, std::move(startFolder))
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Brimwork"));
    undoStack_ = new QUndoStack(this);
    BuildControls();
    BuildMenu();
    BuildEditMenu();
    BuildViewer();
    UpdateEditActions();
    // Client area 614 x 360 between the menu bar and the status bar.
    resize(ClientWidth, ClientHeight + menuBar()->sizeHint().height() + statusBar()->sizeHint().height());
}

Form1::~Form1()
{
    // Children are destroyed after this: their last signals (the picture
    // losing the cursor, the panel's action unchecked) find no window.
    picture1_->disconnect(this);
    thumbnails_->disconnect(this);
    imagePanel_->disconnect(this);
    mnuViewImagePanel_->disconnect(this);
    mnuViewThumbnails_->disconnect(this);
    undoStack_->disconnect(this);
    list1_->disconnect(this);
    filter_->disconnect(this);
}

void Form1::BuildControls()
{
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("Form1Client"));
    setCentralWidget(central);

    const QFont tahoma = ControlFont(QStringLiteral("Tahoma"), QFontDatabase::systemFont(QFontDatabase::GeneralFont));
    const QFont courier =
        ControlFont(QStringLiteral("Courier New"), QFontDatabase::systemFont(QFontDatabase::FixedFont));

    command1_ = new QPushButton(QStringLiteral("Next Image"), central);
    command1_->setObjectName(QStringLiteral("Command1"));
    command1_->setGeometry(488, 24, 81, 33);
    command1_->setFont(tahoma);
    command1_->setAutoDefault(false);

    picture1_ = new ImageView(central);
    picture1_->setObjectName(QStringLiteral("Picture1"));
    picture1_->setGeometry(248, 64, 353, 281);
    picture1_->setFont(tahoma);
    picture1_->setFocusPolicy(Qt::StrongFocus);

    list1_ = new EntryList(central);
    list1_->setObjectName(QStringLiteral("List1"));
    list1_->setGeometry(8, 64, 209, 276);
    list1_->setFont(courier);

    // Above the list's label, in the room the layout leaves free there.
    filter_ = new QLineEdit(central);
    filter_->setObjectName(QStringLiteral("EntryFilter"));
    filter_->setGeometry(8, 10, 209, 24);
    filter_->setFont(tahoma);
    filter_->setPlaceholderText(QStringLiteral("Filter entries (Ctrl+F)"));
    filter_->setClearButtonEnabled(true);
    filter_->installEventFilter(this);

    label1_ = new QLabel(central);
    label1_->setObjectName(QStringLiteral("Label1"));
    label1_->setGeometry(248, 32, 233, 25);
    label1_->setFont(tahoma);
    label1_->setTextFormat(Qt::PlainText);
    label1_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    label2_ = new QLabel(QStringLiteral("&Gadget Entries"), central);
    label2_->setObjectName(QStringLiteral("Label2"));
    label2_->setGeometry(8, 40, 209, 17);
    label2_->setFont(tahoma);
    label2_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label2_->setBuddy(list1_);

    QWidget::setTabOrder(command1_, picture1_);
    QWidget::setTabOrder(picture1_, list1_);
    QWidget::setTabOrder(list1_, label1_);
    QWidget::setTabOrder(label1_, label2_);
    QWidget::setTabOrder(label2_, filter_);

    connect(command1_, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(filter_, &QLineEdit::textChanged, list1_, &EntryList::SetFilter);
    connect(list1_, &EntryList::NameDropped, this, &Form1::MoveEntryTo);
    connect(list1_, &EntryList::NameEdited, this, &Form1::RenameEntryTo);
    connect(list1_, &QListWidget::itemSelectionChanged, this, [this] {
        if (SelectedPosition() >= 0)
            List1_Click();
    });
}

void Form1::BuildMenu()
{
    mnuFile_ = menuBar()->addMenu(QStringLiteral("&File"));
    mnuFile_->setObjectName(QStringLiteral("mnuFile"));
    mnuFileOpen_ = AddMenuItem(mnuFile_, "mnuFileOpen", QStringLiteral("&Open..."), true,
                               {QKeySequence(Qt::CTRL | Qt::Key_O)});
    mnuFileOpenRecent_ = mnuFile_->addMenu(QStringLiteral("Open Re&cent"));
    mnuFileOpenRecent_->setObjectName(QStringLiteral("mnuFileOpenRecent"));
    mnuFileOpenRecent_->menuAction()->setObjectName(QStringLiteral("mnuFileOpenRecent"));
    mnuFileSave_ = AddMenuItem(mnuFile_, "mnuFileSave", QStringLiteral("&Save"), false,
                               {QKeySequence(Qt::CTRL | Qt::Key_S)});
    mnuFileSaveAs_ = AddMenuItem(mnuFile_, "mnuFileSaveAs", QStringLiteral("Save &As..."), false,
                                 {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)});
    mnuFileExtract_ = AddMenuItem(mnuFile_, "mnuFileExtract", QStringLiteral("&Extract"), false);
    mnuFileRebuild_ = AddMenuItem(mnuFile_, "mnuFileRebuild", QStringLiteral("&Rebuild..."), false);
    mnuFilePreviewRebuild_ =
        AddMenuItem(mnuFile_, "mnuFilePreviewRebuild", QStringLiteral("Pre&view Rebuild..."), false);
    mnuFileKeepBackup_ = AddMenuItem(mnuFile_, "mnuFileKeepBackup", QStringLiteral("Keep &Backup on Rebuild"), true);
    mnuFileKeepBackup_->setCheckable(true);
    mnuFileExit_ = AddMenuItem(mnuFile_, "mnuFileExit", QStringLiteral("E&xit"), true);

    mnuEdit_ = menuBar()->addMenu(QStringLiteral("&Edit"));
    mnuEdit_->setObjectName(QStringLiteral("mnuEdit"));
    mnuEditCopyImage_ = AddMenuItem(mnuEdit_, "mnuEditCopyImage", QStringLiteral("&Copy Image"), true,
                                    {QKeySequence(Qt::CTRL | Qt::Key_C)});

    mnuView_ = menuBar()->addMenu(QStringLiteral("&View"));
    mnuView_->setObjectName(QStringLiteral("mnuView"));
    mnuViewZoomIn_ = AddMenuItem(mnuView_, "mnuViewZoomIn", QStringLiteral("Zoom &In"), true,
                                 {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    mnuViewZoomOut_ = AddMenuItem(mnuView_, "mnuViewZoomOut", QStringLiteral("Zoom &Out"), true,
                                  {QKeySequence(Qt::CTRL | Qt::Key_Minus)});
    mnuViewActualSize_ = AddMenuItem(mnuView_, "mnuViewActualSize", QStringLiteral("&Actual Size"), true,
                                     {QKeySequence(Qt::CTRL | Qt::Key_0)});
    mnuViewZoomToFit_ = AddMenuItem(mnuView_, "mnuViewZoomToFit", QStringLiteral("Zoom to &Fit"), true,
                                    {QKeySequence(Qt::CTRL | Qt::Key_9)});
    mnuView_->addSeparator();
    mnuViewPreviousImage_ = AddMenuItem(mnuView_, "mnuViewPreviousImage", QStringLiteral("&Previous Image"), true,
                                        {QKeySequence(Qt::Key_Left)});
    mnuViewNextImage_ = AddMenuItem(mnuView_, "mnuViewNextImage", QStringLiteral("&Next Image"), true,
                                    {QKeySequence(Qt::Key_Right)});
    mnuViewFirstImage_ = AddMenuItem(mnuView_, "mnuViewFirstImage", QStringLiteral("F&irst Image"), true,
                                     {QKeySequence(Qt::Key_Home)});
    mnuViewLastImage_ = AddMenuItem(mnuView_, "mnuViewLastImage", QStringLiteral("&Last Image"), true,
                                    {QKeySequence(Qt::Key_End)});
    mnuView_->addSeparator();

    mnuHelp_ = menuBar()->addMenu(QStringLiteral("&Help"));
    mnuHelp_->setObjectName(QStringLiteral("mnuHelp"));
    mnuHelpAbout_ = AddMenuItem(mnuHelp_, "mnuHelpAbout", QStringLiteral("&About"), true);

    connect(mnuFileOpen_, &QAction::triggered, this, &Form1::mnuFileOpen_Click);
    connect(mnuFileExtract_, &QAction::triggered, this, &Form1::mnuFileExtract_Click);
    connect(mnuFileRebuild_, &QAction::triggered, this, &Form1::mnuFileRebuild_Click);
    connect(mnuFilePreviewRebuild_, &QAction::triggered, this, &Form1::mnuFilePreviewRebuild_Click);
    connect(mnuFileKeepBackup_, &QAction::toggled, this, [this](bool) { SaveSettings(); });
    connect(mnuFileExit_, &QAction::triggered, this, &Form1::mnuFileExit_Click);
    connect(mnuHelpAbout_, &QAction::triggered, this, &Form1::mnuHelpAbout_Click);
    connect(mnuEditCopyImage_, &QAction::triggered, this, &Form1::mnuEditCopyImage_Click);
    connect(mnuFileSave_, &QAction::triggered, this, &Form1::mnuFileSave_Click);
    connect(mnuFileSaveAs_, &QAction::triggered, this, &Form1::mnuFileSaveAs_Click);
    connect(mnuViewZoomIn_, &QAction::triggered, picture1_, &ImageView::ZoomIn);
    connect(mnuViewZoomOut_, &QAction::triggered, picture1_, &ImageView::ZoomOut);
    connect(mnuViewActualSize_, &QAction::triggered, picture1_, [this] { picture1_->SetZoomStep(1); });
    connect(mnuViewZoomToFit_, &QAction::triggered, picture1_, &ImageView::ZoomToFit);
    connect(mnuViewPreviousImage_, &QAction::triggered, this, &Form1::mnuViewPreviousImage_Click);
    connect(mnuViewNextImage_, &QAction::triggered, this, &Form1::Command1_Click);
    connect(mnuViewFirstImage_, &QAction::triggered, this, &Form1::mnuViewFirstImage_Click);
    connect(mnuViewLastImage_, &QAction::triggered, this, &Form1::mnuViewLastImage_Click);
    FillRecentMenu();
}

// The status bar, the thumbnail panel, the picture's room and dropping.
void Form1::BuildViewer()
{
    statusBar()->setObjectName(QStringLiteral("StatusBar"));
    pixelReadout_ = new QLabel(statusBar());
    pixelReadout_->setObjectName(QStringLiteral("PixelReadout"));
    zoomReadout_ = new QLabel(statusBar());
    zoomReadout_->setObjectName(QStringLiteral("ZoomReadout"));
    imagePosition_ = new QLabel(statusBar());
    imagePosition_->setObjectName(QStringLiteral("ImagePosition"));
    statusBar()->addWidget(pixelReadout_, 1);
    statusBar()->addPermanentWidget(imagePosition_);
    statusBar()->addPermanentWidget(zoomReadout_);
    connect(picture1_, &ImageView::PointedPixelChanged, this, &Form1::UpdateReadout);
    connect(picture1_, &ImageView::ZoomChanged, this, &Form1::UpdateReadout);
    UpdateReadout();

    thumbnails_ = new ThumbnailPanel(files_, this);
    addDockWidget(Qt::RightDockWidgetArea, thumbnails_);
    thumbnails_->hide();
    mnuViewThumbnails_ = thumbnails_->toggleViewAction();
    mnuViewThumbnails_->setObjectName(QStringLiteral("mnuViewThumbnails"));
    mnuViewThumbnails_->setText(QStringLiteral("&Thumbnails"));
    mnuViewThumbnails_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    mnuView_->addAction(mnuViewThumbnails_);
    connect(mnuViewThumbnails_, &QAction::toggled, this, &Form1::ShowThumbnailsPanel);
    connect(thumbnails_, &ThumbnailPanel::ImageClicked, this,
            &Form1::ShowImageAt);
    thumbnails_->View()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(thumbnails_->View(), &QWidget::customContextMenuRequested, this, &Form1::ShowThumbnailMenu);

    // The Image panel stands below the thumbnails when both are open.
    imagePanel_ = new ImagePanel(this);
    addDockWidget(Qt::RightDockWidgetArea, imagePanel_);
    splitDockWidget(thumbnails_, imagePanel_, Qt::Vertical);
    imagePanel_->hide();
    mnuViewImagePanel_ = imagePanel_->toggleViewAction();
    mnuViewImagePanel_->setObjectName(QStringLiteral("mnuViewImagePanel"));
    mnuViewImagePanel_->setText(QStringLiteral("Ima&ge Panel"));
    mnuView_->addAction(mnuViewImagePanel_);
    connect(mnuViewImagePanel_, &QAction::toggled, this, [this] { MakeRoomForPanels(); });
    connect(imagePanel_, &ImagePanel::HotspotsEdited, this, &Form1::SetShownHotspots);
    connect(imagePanel_, &ImagePanel::HotspotSelected, this, &Form1::SelectHotspot);

    mnuViewShowHotspots_ = AddMenuItem(mnuView_, "mnuViewShowHotspots", QStringLiteral("Show &Hotspots"), true);
    mnuViewShowHotspots_->setCheckable(true);
    connect(mnuViewShowHotspots_, &QAction::toggled, picture1_, &ImageView::SetHotspotsShown);
    connect(picture1_, &ImageView::HotspotSelected, this, &Form1::SelectHotspot);
    connect(picture1_, &ImageView::HotspotMoved, this, &Form1::MoveHotspotTo);
    connect(picture1_, &ImageView::ImageFileDropped, this,
            [this](const QString& file) { ReplaceImageFrom(PathFromText(file)); });
    // Alt+arrow moves the selected hotspot by a pixel, Alt+Shift+arrow by 8.
    const std::array<std::pair<Qt::Key, QPoint>, 4> directions{
        {{Qt::Key_Left, {-1, 0}}, {Qt::Key_Right, {1, 0}}, {Qt::Key_Up, {0, -1}}, {Qt::Key_Down, {0, 1}}}};
    for (const auto& [key, step] : directions)
        for (const int by : {1, 8}) {
            auto* move = new QAction(this);
            const QKeyCombination combination =
                by == 8 ? QKeyCombination(Qt::AltModifier | Qt::ShiftModifier, key) : QKeyCombination(Qt::AltModifier, key);
            move->setShortcut(QKeySequence(combination));
            move->setShortcutContext(Qt::WindowShortcut);
            connect(move, &QAction::triggered, this, [this, step, by] { MoveSelectedHotspot(step.x() * by, step.y() * by); });
            addAction(move);
        }

    centralWidget()->installEventFilter(this);
    setAcceptDrops(true);
}

// ---- Handlers --------------------------------------------------------------

void Form1::mnuFileOpen_Click()
{
    const std::filesystem::path startFolder = lastFolder_.empty() ? session_.Folder() : lastFolder_;
    if (std::optional<std::filesystem::path> chosen = dialogs_.ChooseFileToOpen(startFolder, openFilter_)) {
        lastChosenFile_ = std::move(*chosen);
        lastFolder_ = lastChosenFile_.parent_path();
        SaveSettings();
    }
    // The dialog keeps its last confirmed choice: a cancelled dialog opens
    // that file again; before any choice, nothing is opened.
    if (!lastChosenFile_.empty())
        OpenArchive(lastChosenFile_);
    if (list1_->count() > 0) {
        mnuFileExtract_->setEnabled(true);
        mnuFileRebuild_->setEnabled(true);
        mnuFilePreviewRebuild_->setEnabled(true);
    }
}

void Form1::OpenFile(const std::filesystem::path& fileName)
{
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(fileName, error);
    lastChosenFile_ = error ? fileName : absolute;
    lastFolder_ = lastChosenFile_.parent_path();
    SaveSettings();
    OpenArchive(lastChosenFile_);
    if (list1_->count() > 0) {
        mnuFileExtract_->setEnabled(true);
        mnuFileRebuild_->setEnabled(true);
        mnuFilePreviewRebuild_->setEnabled(true);
    }
}

void Form1::OpenArchive(const std::filesystem::path& fileName)
{
    if (!MayDiscardChanges())
        return;
    bool listed = false;
    RunReportingErrors([&] {
        session_.OpenArchive(fileName);
        listed = true;
    });
    if (!listed)
        return;
    AddRecentFile(session_.Container().FileName);
    OpenDocument();
}

void Form1::List1_Click()
{
    imageIndex_ = 0;
    const int entryIndex = SelectedPosition();
    const bool loaded = RunReportingErrors([&] {
        LoadShownImage(entryIndex, 0);  // a separate 0, not ImageIndex itself
    });
    if (loaded)
        DisplayBMP();
    ShowThumbnailsOfSelection();
}

void Form1::Command1_Click()
{
    const int entryIndex = SelectionOrBeep();
    if (entryIndex == -1)
        return;
    const bool loaded = RunReportingErrors([&] {
        imageIndex_ = Checked::Add(imageIndex_, 1, "The number of the image to show");
        if (session_.Kind().OneImagePerEntry())
            Beep();  // a screen entry holds one image: the same buffer is shown again
        else
            imageIndex_ = LoadShownImage(entryIndex, imageIndex_);
    });
    if (loaded)
        DisplayBMP();
}

void Form1::mnuFileExtract_Click()
{
    if (list1_->count() < 1) {
        ShowMessage(Messages::ExtractEmptyText, Messages::ExtractEmptyTitle);
        return;
    }
    if (!SavedForDiskCommand(QStringLiteral("Extract")))
        return;
    RunWithProgress(QStringLiteral("Extracting ...."), [&] { session_.ExtractAll(); });
}

void Form1::mnuFileRebuild_Click()
{
    if (!SavedForDiskCommand(QStringLiteral("Rebuild")))
        return;
    bool rebuilt = false;
    RunWithProgress(QStringLiteral("Rebuilding ...."), [&] {
        rebuilt = session_.Rebuild({.dryRun = false, .keepBackup = mnuFileKeepBackup_->isChecked()}).done;
    });
    if (rebuilt) {
        // The file on disk is another now: the document and the view
        // start again from it.
        ClearImage();
        OpenDocument();
    }
}

void Form1::mnuFilePreviewRebuild_Click()
{
    RebuildReport report;
    bool refused = false;
    RunWithProgress(QStringLiteral("Checking ...."), [&] {
        try {
            session_.PreviewRebuild(report);
        } catch (const std::exception&) {
            refused = true;  // the report holds the refusal
        }
    });
    // Without a manifest there is nothing to report: a message said so.
    if (!report.done && !refused)
        return;
    if (dialogs_.ShowRebuildReport(MessageText(report.Text()), report.done))
        mnuFileRebuild_Click();
}

void Form1::mnuFileExit_Click()
{
    close();
}

void Form1::mnuHelpAbout_Click()
{
    ShowMessage(std::string("Brimwork, version ") + BRIMWORK_VERSION +
                    "\n"
                    "Views and edits gadget, screen and vehicle files: replaces, exports, adds and deletes images "
                    "and entries, renames and reorders entries and moves hotspots, with undo; extracts every image "
                    "as a TGA file with a manifest, and rebuilds all three kinds from the edited TGA files.\n"
                    "\n"
                    "By the Brimwork developers.",
                "About Brimwork");
}

void Form1::closeEvent(QCloseEvent* event)
{
    // A run must end before the window closes (the window takes no input
    // meanwhile, but the window manager may still ask).
    if (busy_ || !MayDiscardChanges()) {
        event->ignore();
        return;
    }
    if (settings_) {
        settings_->setValue(GeometryKey, saveGeometry());
        settings_->sync();
    }
    QMainWindow::closeEvent(event);
}

// ---- Image view ------------------------------------------------------------

void Form1::DisplayBMP()
{
    UpdateImagePosition();
    UpdateEditActions();
    RunReportingErrors([&] {
        const ImageBuffer& image = shownImage_ ? *shownImage_ : session_.Image();
        const DisplayPicture picture = MakeDisplayPicture(image);
        picture1_->Show(picture);
        label1_->setText(QString::fromStdString(ImageLabelText(imageIndex_, image)));
    });
    UpdateReadout();
    UpdateHotspotView();
    thumbnails_->SetCurrent(imageIndex_);
}

// ---- WindowInterface -------------------------------------------------------

void Form1::ReplaceList(const std::vector<std::string>& names)
{
    const QSignalBlocker blocker(list1_);
    QStringList texts;
    texts.reserve(static_cast<qsizetype>(names.size()));
    for (const std::string& name : names)
        texts.append(EntryNameText(name));
    list1_->SetNames(texts);
    thumbnails_->Clear();  // nothing is selected any more
    ClearImage();
}

void Form1::SetProgress(float percent)
{
    if (dialog_)
        dialog_->SetPercent(percent);
}

void Form1::Yield()
{
    QCoreApplication::processEvents();
}

void Form1::ShowMessage(const std::string& text, const std::string& title)
{
    dialogs_.ShowMessage(MessageText(text), MessageText(title));
}

void Form1::Beep()
{
    dialogs_.Beep();
}

void Form1::ShowStatus(const std::string& text)
{
    statusBar()->showMessage(MessageText(text));
}

bool Form1::ConfirmOverwrite(const OverwriteQuestion& question)
{
    const std::string text =
        DifferingFilesText(question) + "\n\nOverwrite " + (question.files.size() == 1 ? "it" : "them") + "?";
    return dialogs_.AskToOverwrite(MessageText(text), QStringLiteral("Extract"));
}

// ---- Viewer ----------------------------------------------------------------

void Form1::mnuViewPreviousImage_Click()
{
    // Wraps from the first image to the last; an index past the entry's
    // images steps back to the last as well.
    StepTo(
        [this](int32_t count) {
            return imageIndex_ > 0 && imageIndex_ <= count ? imageIndex_ - 1 : std::max<int32_t>(count - 1, 0);
        },
        true);
}

void Form1::ShowImageAt(int32_t imageIndex)
{
    StepTo([imageIndex](int32_t) { return imageIndex; }, false);
}

void Form1::mnuViewFirstImage_Click()
{
    StepTo([](int32_t) { return 0; }, false);
}

void Form1::mnuViewLastImage_Click()
{
    StepTo([](int32_t count) { return std::max<int32_t>(count - 1, 0); }, false);
}

void Form1::StepTo(const std::function<int32_t(int32_t count)>& target, bool beepOnScreen)
{
    const int entryIndex = SelectionOrBeep();
    if (entryIndex == -1)
        return;
    const bool loaded = RunReportingErrors([&] {
        const int32_t count = ImageCount(entryIndex);
        imageIndex_ = target(count);
        if (session_.Kind().OneImagePerEntry() && beepOnScreen)
            Beep();  // a screen entry holds one image, as "Next Image" finds too
        // The loader reads the chosen image straight away: a shadow frame is
        // found through the frame index, however far into the entry it lies.
        imageIndex_ = LoadShownImage(entryIndex, imageIndex_);
    });
    if (loaded)
        DisplayBMP();
}

void Form1::mnuEditCopyImage_Click()
{
    const QImage& image = picture1_->BackingImage();
    if (image.isNull()) {
        Beep();
        return;
    }
    QGuiApplication::clipboard()->setImage(image.convertToFormat(QImage::Format_RGB32));
}

void Form1::ShowThumbnailsOfSelection()
{
    const int entryIndex = SelectedPosition();
    if (!mnuViewThumbnails_->isChecked() || entryIndex < 0) {
        thumbnails_->Clear();
        return;
    }
    // A failure here was already reported by the load of the same entry.
    try {
        if (document_) {
            const DocumentEntry& entry = document_->Entry(static_cast<size_t>(entryIndex));
            thumbnails_->SetImages(document_->Path(), entry.kind, entry.images);
        } else {
            thumbnails_->SetEntry(session_.Container().FileName, entryIndex, session_.CountImages(entryIndex));
        }
        thumbnails_->SetCurrent(imageIndex_);
    } catch (const std::exception&) {
        thumbnails_->Clear();
    }
}

void Form1::ShowThumbnailsPanel(bool)
{
    MakeRoomForPanels();
    ShowThumbnailsOfSelection();
}

void Form1::MakeRoomForPanels()
{
    // The widest open panel sets the width the window adds for them.
    int needed = 0;
    if (mnuViewThumbnails_->isChecked())
        needed = std::max(needed, thumbnails_->sizeHint().width());
    if (mnuViewImagePanel_->isChecked())
        needed = std::max(needed, imagePanel_->sizeHint().width());
    if (needed > 0)
        needed += style()->pixelMetric(QStyle::PM_DockWidgetSeparatorExtent, nullptr, this);
    if (needed != panelsWidth_) {
        resize(width() + needed - panelsWidth_, height());
        panelsWidth_ = needed;
    }
}

void Form1::UpdateReadout()
{
    if (const std::optional<QPoint> pixel = picture1_->PointedPixel()) {
        // What the last command did gives way to the readout it hides.
        statusBar()->clearMessage();
        pixelReadout_->setText(PixelReadoutText(pixel->x(), pixel->y(), picture1_->WordAt(*pixel)));
    } else {
        pixelReadout_->clear();
    }
    zoomReadout_->setText(ZoomText(picture1_->Scale(), picture1_->Fitting()));
}

void Form1::UpdateRoom()
{
    const QSize client = centralWidget()->size();
    // The list keeps its place and width and takes the height the window
    // gives, keeping its bottom margin.
    list1_->resize(list1_->width(), std::max(ClientHeight - 64 - ListBottomMargin, client.height() - 64 - ListBottomMargin));
    picture1_->SetRoom(QSize(client.width() - picture1_->x() - RoomRightMargin,
                             client.height() - picture1_->y() - RoomBottomMargin));
    UpdateReadout();
}

bool Form1::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == filter_ && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && !filter_->text().isEmpty()) {
        filter_->clear();
        return true;
    }
    if (watched == centralWidget()) {
        if (event->type() == QEvent::Resize) {
            UpdateRoom();
        } else if (event->type() == QEvent::Wheel) {
            // Ctrl + wheel anywhere in the picture's room zooms around the
            // cursor, also beside a picture smaller than the room.
            auto* wheel = static_cast<QWheelEvent*>(event);
            if (wheel->modifiers() & Qt::ControlModifier && wheel->angleDelta().y() != 0) {
                const QPoint at = wheel->position().toPoint();
                const QRect room(picture1_->pos(), picture1_->Room());
                if (room.contains(at)) {
                    picture1_->ZoomAround(wheel->angleDelta().y() > 0 ? 1 : -1,
                                          picture1_->mapFrom(centralWidget(), at));
                    return true;
                }
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

namespace {

// The local file a drag carries, if it carries one.
std::optional<QString> DraggedFile(const QMimeData* data)
{
    if (data == nullptr || !data->hasUrls() || data->urls().isEmpty() || !data->urls().first().isLocalFile())
        return std::nullopt;
    return data->urls().first().toLocalFile();
}

}  // namespace

void Form1::dragEnterEvent(QDragEnterEvent* event)
{
    if (DraggedFile(event->mimeData()))
        event->acceptProposedAction();
}

void Form1::dropEvent(QDropEvent* event)
{
    const std::optional<QString> file = DraggedFile(event->mimeData());
    if (!file)
        return;
    event->acceptProposedAction();
    // A TGA or PNG file dropped on the picture replaces the image; any
    // other file opens, asking first about unsaved changes.
    OpenFile(PathFromText(*file));
}

// ---- Remembered settings ---------------------------------------------------

void Form1::RememberIn(QSettings& settings)
{
    settings_ = &settings;
    recentFiles_ = settings.value(RecentFilesKey).toStringList().mid(0, MostRecentFiles);
    lastFolder_ = PathFromText(settings.value(LastFolderKey).toString());
    openFilter_ = settings.value(OpenFilterKey).toString();
    {
        const QSignalBlocker blocker(mnuFileKeepBackup_);
        mnuFileKeepBackup_->setChecked(settings.value(KeepBackupKey, false).toBool());
    }
    const QByteArray geometry = settings.value(GeometryKey).toByteArray();
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
    FillRecentMenu();
}

void Form1::AddRecentFile(const std::filesystem::path& fileName)
{
    const QString text = PathText(fileName);
    recentFiles_.removeAll(text);
    recentFiles_.prepend(text);
    while (recentFiles_.size() > MostRecentFiles)
        recentFiles_.removeLast();
    FillRecentMenu();
    SaveSettings();
}

void Form1::FillRecentMenu()
{
    mnuFileOpenRecent_->clear();
    for (qsizetype i = 0; i < recentFiles_.size(); ++i) {
        QString caption = recentFiles_[i];
        caption.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* action = mnuFileOpenRecent_->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(caption));
        const QString file = recentFiles_[i];
        connect(action, &QAction::triggered, this, [this, file] { OpenFile(PathFromText(file)); });
    }
    mnuFileOpenRecent_->addSeparator();
    QAction* clear = mnuFileOpenRecent_->addAction(QStringLiteral("&Clear Menu"));
    clear->setObjectName(QStringLiteral("mnuFileOpenRecentClear"));
    clear->setEnabled(!recentFiles_.isEmpty());
    connect(clear, &QAction::triggered, this, [this] {
        recentFiles_.clear();
        FillRecentMenu();
        SaveSettings();
    });
}

void Form1::SaveSettings()
{
    if (!settings_)
        return;
    settings_->setValue(RecentFilesKey, recentFiles_);
    settings_->setValue(LastFolderKey, PathText(lastFolder_));
    settings_->setValue(KeepBackupKey, mnuFileKeepBackup_->isChecked());
    settings_->setValue(OpenFilterKey, openFilter_);
    settings_->sync();
}

// ---- Helpers ---------------------------------------------------------------

int Form1::SelectionOrBeep()
{
    const int entryIndex = SelectedPosition();
    if (entryIndex == -1) {
        Beep();
        list1_->setFocus();
    }
    return entryIndex;
}

int Form1::SelectedPosition() const
{
    const QList<QListWidgetItem*> selected = list1_->selectedItems();
    return selected.isEmpty() ? -1 : list1_->row(selected.first());
}

bool Form1::RunReportingErrors(const std::function<void()>& work)
{
    std::string failure;
    std::string title = Messages::ErrorTitle;
    try {
        work();
        return true;
    } catch (const Error& error) {
        failure = error.what();
        if (!error.Title().empty())
            title = error.Title();
    } catch (const std::exception& error) {
        failure = error.what();
    } catch (...) {
        failure = "An unexpected error stopped the command.";
    }
    ShowMessage(failure, title);
    return false;
}

void Form1::RunWithProgress(const QString& title, const std::function<void()>& work)
{
    busy_ = true;
    setEnabled(false);
    dialog_ = std::make_unique<Dialog>();
    dialog_->setWindowTitle(title);
    dialog_->SetPercent(0);
    dialog_->show();

    RunReportingErrors(work);

    dialog_->setWindowTitle(QStringLiteral("Done!"));
    setEnabled(true);
    busy_ = false;
    dialog_->hide();
    dialog_.reset();
}

}  // namespace Brimwork
