#include "app/form1.h"

#include <exception>
#include <utility>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>

#include "app/image_view.h"
#include "app/modal_dialogs.h"
#include "app/progress_dialog.h"
#include "core/checked.h"
#include "core/error.h"

namespace Brimwork {
namespace {

constexpr int ClientWidth = 614;
constexpr int ClientHeight = 360;

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

QAction* AddMenuItem(QMenu* menu, const char* objectName, const QString& caption, bool enabled)
{
    QAction* action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(objectName));
    action->setEnabled(enabled);
    return action;
}

}  // namespace

Form1::Form1(ModalDialogs& dialogs, FileSystem& files, std::filesystem::path startFolder, QWidget* parent)
    : QMainWindow(parent)
    , dialogs_(dialogs)
    , session_(*this, files, std::move(startFolder))
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Brimwork"));
    BuildControls();
    BuildMenu();
    // Client area 614 x 360 below the menu bar.
    resize(ClientWidth, ClientHeight + menuBar()->sizeHint().height());
}

Form1::~Form1() = default;

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

    list1_ = new QListWidget(central);
    list1_->setObjectName(QStringLiteral("List1"));
    list1_->setGeometry(8, 64, 209, 276);
    list1_->setFont(courier);
    list1_->setSelectionMode(QAbstractItemView::SingleSelection);
    list1_->setSortingEnabled(false);

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

    connect(command1_, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(list1_, &QListWidget::itemSelectionChanged, this, [this] {
        if (SelectedPosition() >= 0)
            List1_Click();
    });
}

void Form1::BuildMenu()
{
    mnuFile_ = menuBar()->addMenu(QStringLiteral("&File"));
    mnuFile_->setObjectName(QStringLiteral("mnuFile"));
    mnuFileOpen_ = AddMenuItem(mnuFile_, "mnuFileOpen", QStringLiteral("&Open..."), true);
    mnuFileExtract_ = AddMenuItem(mnuFile_, "mnuFileExtract", QStringLiteral("&Extract"), false);
    mnuFileRebuild_ = AddMenuItem(mnuFile_, "mnuFileRebuild", QStringLiteral("&Rebuild..."), false);
    mnuFileExit_ = AddMenuItem(mnuFile_, "mnuFileExit", QStringLiteral("E&xit"), true);

    mnuHelp_ = menuBar()->addMenu(QStringLiteral("&Help"));
    mnuHelp_->setObjectName(QStringLiteral("mnuHelp"));
    mnuHelpAbout_ = AddMenuItem(mnuHelp_, "mnuHelpAbout", QStringLiteral("&About"), true);

    connect(mnuFileOpen_, &QAction::triggered, this, &Form1::mnuFileOpen_Click);
    connect(mnuFileExtract_, &QAction::triggered, this, &Form1::mnuFileExtract_Click);
    connect(mnuFileRebuild_, &QAction::triggered, this, &Form1::mnuFileRebuild_Click);
    connect(mnuFileExit_, &QAction::triggered, this, &Form1::mnuFileExit_Click);
    connect(mnuHelpAbout_, &QAction::triggered, this, &Form1::mnuHelpAbout_Click);
}

// ---- Handlers --------------------------------------------------------------

void Form1::mnuFileOpen_Click()
{
    if (std::optional<std::filesystem::path> chosen = dialogs_.ChooseFileToOpen(session_.Folder()))
        lastChosenFile_ = std::move(*chosen);
    // The dialog keeps its last confirmed choice: a cancelled dialog opens
    // that file again; before any choice, nothing is opened.
    if (!lastChosenFile_.empty())
        OpenArchive(lastChosenFile_);
    if (list1_->count() > 0) {
        mnuFileExtract_->setEnabled(true);
        mnuFileRebuild_->setEnabled(true);
    }
}

void Form1::OpenArchive(const std::filesystem::path& fileName)
{
    RunReportingErrors([&] { session_.OpenArchive(fileName); });
}

void Form1::List1_Click()
{
    imageIndex_ = 0;
    const int entryIndex = SelectedPosition();
    const bool loaded = RunReportingErrors([&] {
        int32_t firstImage = 0;  // a separate 0, not ImageIndex itself
        session_.LoadImage(entryIndex, firstImage);
    });
    if (loaded)
        DisplayBMP();
}

void Form1::Command1_Click()
{
    const int entryIndex = SelectedPosition();
    if (entryIndex == -1) {
        Beep();
        list1_->setFocus();
        return;
    }
    const bool loaded = RunReportingErrors([&] {
        imageIndex_ = Checked::Add(imageIndex_, 1, "The number of the image to show");
        if (session_.FileKind() == ScreenFileKind)
            Beep();  // a screen entry holds one image: the same buffer is shown again
        else
            session_.LoadImage(entryIndex, imageIndex_);
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
    RunWithProgress(QStringLiteral("Extracting ...."), [&] { session_.ExtractAll(); });
}

void Form1::mnuFileRebuild_Click()
{
    // The Session answers a vehicle file with its message, shown while the
    // progress window stands.
    RunWithProgress(QStringLiteral("Rebuilding ...."), [&] { session_.Rebuild(); });
}

void Form1::mnuFileExit_Click()
{
    close();
}

void Form1::mnuHelpAbout_Click()
{
    ShowMessage(std::string("Brimwork, version ") + BRIMWORK_VERSION +
                    "\n"
                    "Views and extracts the images of gadget, screen and vehicle files, and rebuilds gadget and "
                    "screen files from edited TGA images.\n"
                    "\n"
                    "By the Brimwork developers.",
                "About Brimwork");
}

void Form1::closeEvent(QCloseEvent* event)
{
    // A run must end before the window closes (the window takes no input
    // meanwhile, but the window manager may still ask).
    if (busy_)
        event->ignore();
    else
        QMainWindow::closeEvent(event);
}

// ---- Image view ------------------------------------------------------------

void Form1::DisplayBMP()
{
    RunReportingErrors([&] {
        const ImageBuffer& image = session_.Image();
        const DisplayPicture picture = MakeDisplayPicture(image);
        picture1_->Show(picture);
        label1_->setText(QString::fromStdString(ImageLabelText(imageIndex_, image)));
    });
}

// ---- WindowInterface -------------------------------------------------------

void Form1::ReplaceList(const std::vector<std::string>& names)
{
    const QSignalBlocker blocker(list1_);
    list1_->clear();
    for (const std::string& name : names)
        list1_->addItem(EntryNameText(name));
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

// ---- Helpers ---------------------------------------------------------------

int Form1::SelectedPosition() const
{
    const QList<QListWidgetItem*> selected = list1_->selectedItems();
    return selected.isEmpty() ? -1 : list1_->row(selected.first());
}

bool Form1::RunReportingErrors(const std::function<void()>& work)
{
    std::string failure;
    try {
        work();
        return true;
    } catch (const std::exception& error) {
        failure = error.what();
    } catch (...) {
        failure = "An unexpected error stopped the command.";
    }
    ShowMessage(failure, Messages::ErrorTitle);
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
