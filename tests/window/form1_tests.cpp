// Form1 driven through its menu actions, List1 and Command1, with the modal
// dialogs scripted, over containers written into a temporary folder.
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFontDatabase>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSet>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/form1.h"
#include "app/image_view.h"
#include "app/modal_dialogs.h"
#include "app/progress_dialog.h"
#include "app/thumbnails.h"
#include "core/error.h"
#include "io/files.h"
#include "image/tga.h"
#include "samples/sample_containers.h"
#include "tests/window/scripted_dialogs.h"

namespace fs = std::filesystem;
using namespace Brimwork;
using Samples::GadgetEntry;
using Samples::Picture;

namespace {

constexpr uint16_t Red = 0x7C00, Green = 0x03E0, Blue = 0x001F, White = 0x7FFF, Black = 0x0000;

// The state of the window at one moment of a run.
struct Moment {
    bool formEnabled = true;
    bool dialogShown = false;
    QString title;
    int progress = -1;
};

// Form1 with its yield observed: what the window shows while a module runs.
class ObservedForm1 : public Form1 {
public:
    using Form1::Form1;

    Moment Now() const
    {
        Moment moment;
        moment.formEnabled = isEnabled();
        if (Dialog* dialog = ProgressWindow())
            moment = {isEnabled(), dialog->isVisible(), dialog->windowTitle(), dialog->ProgressBar1()->value()};
        return moment;
    }

    void Yield() override
    {
        yields.push_back(Now());
        if (Dialog* dialog = ProgressWindow(); dialog && dialog != watched) {
            watched = dialog;
            QObject::connect(dialog, &QWidget::windowTitleChanged, dialog,
                             [this](const QString& title) { laterTitles << title; });
        }
        Form1::Yield();
    }

    std::vector<Moment> yields;
    QStringList laterTitles;  // titles the progress window takes after its first yield
    Dialog* watched = nullptr;
};

// The files of a folder, by name, with their bytes.
using FolderFiles = std::map<std::string, std::vector<uint8_t>>;

// A fresh folder, scripted dialogs and a Form1 started in that folder.
struct Harness {
    QTemporaryDir temp;
    fs::path folder{PathFromText(temp.path())};
    Testing::ScriptedDialogs dialogs;
    ObservedForm1 form{dialogs, RealFileSystem(), folder};
    std::vector<Moment> atMessages;  // the window while each message stood

    Harness()
    {
        dialogs.onMessage = [this](const auto&) { atMessages.push_back(form.Now()); };
    }

    fs::path Write(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        Samples::WriteBytes(folder / name, bytes);
        return folder / name;
    }
    fs::path Write(const std::string& name, const std::vector<GadgetEntry>& entries)
    {
        return Write(name, Samples::BuildGadgetFile(7, entries));
    }

    void Open(std::optional<fs::path> choice)
    {
        dialogs.choices.push_back(std::move(choice));
        form.MnuFileOpen()->trigger();
    }

    QStringList List() const
    {
        QStringList texts;
        for (int i = 0; i < form.List1()->count(); ++i)
            texts << form.List1()->item(i)->text();
        return texts;
    }

    // Each message as "title|text".
    QStringList Messages() const
    {
        QStringList shown;
        for (const auto& message : dialogs.messages)
            shown << message.title + "|" + message.text;
        return shown;
    }

    QString Label() const { return form.Label1()->text(); }
    QImage Screen() const { return form.Picture1()->grab().toImage(); }
    bool Idle() const { return form.isEnabled() && !form.ProgressWindow(); }
    QString Status() const { return form.statusBar()->currentMessage(); }

    FolderFiles Files() const
    {
        FolderFiles files;
        for (const auto& item : fs::directory_iterator(folder))
            files[item.path().filename().string()] = Samples::ReadBytes(item.path());
        return files;
    }

    // Writes a TGA file of one colour over an extracted one, as an image
    // editor would.
    void EditTga(const std::string& name, int32_t width, int32_t height, uint16_t word)
    {
        const Picture edited = Samples::Solid(width, height, word);
        WriteTGA(RealFileSystem(), folder / name, ImageBuffer{edited.width, edited.height, edited.Bytes()});
    }
};

Picture FourColours() { return Picture{4, 1, {Red, Green, Blue, White}}; }
Picture OddWidth() { return Picture{3, 2, {Red, Green, Blue, White, Black, Red}}; }

std::vector<GadgetEntry> TwoEntries()
{
    using Samples::Solid;
    return {GadgetEntry{"colours", 1, {FourColours()}},
            GadgetEntry{"steps", 2, {Solid(1, 1, Red), Solid(2, 1, Green), Solid(3, 1, Blue)}}};
}

// The colour a 5-5-5 word shows as.
QRgb Rgb(uint16_t word)
{
    const int r = (word >> 10) & 31, g = (word >> 5) & 31, b = word & 31;
    return qRgb(r << 3 | r >> 2, g << 3 | g >> 2, b << 3 | b >> 2);
}

QStringList Names(const QImage& image)
{
    QStringList names;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            names << QColor(image.pixel(x, y)).name();
    return names;
}

const QString SignatureError = QStringLiteral("Brimwork Error|Error: Gadget file signature not found!");

// The names of the files that are not the same in both, byte for byte.
QStringList Differences(const FolderFiles& before, const FolderFiles& after)
{
    QStringList names;
    for (const auto& [name, bytes] : before)
        if (!after.contains(name) || after.at(name) != bytes)
            names << QString::fromStdString(name);
    for (const auto& [name, bytes] : after)
        if (!before.contains(name))
            names << QString::fromStdString(name);
    return names;
}

std::string TgaName(const std::string& entry, int image)
{
    return entry + "_" + QStringLiteral("%1").arg(image, 3, 10, QLatin1Char('0')).toStdString() + ".tga";
}

// The letter after the single '&' of a menu caption, upper-cased.
QString AccessKey(const QString& caption)
{
    for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != QLatin1Char('&'))
            continue;
        if (caption[i + 1] != QLatin1Char('&'))
            return caption[i + 1].toUpper();
        ++i;  // "&&" is a plain '&'
    }
    return {};
}

}  // namespace

class Form1Tests : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // ---- Layout ---------------------------------------------------------------

    void startsWithItsLayoutAndMenu()
    {
        Harness h;
        h.form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&h.form));
        QCOMPARE(h.form.windowTitle(), QStringLiteral("Brimwork"));
        QCOMPARE(h.form.centralWidget()->size(), QSize(614, 360));

        auto* command1 = h.form.findChild<QPushButton*>(QStringLiteral("Command1"));
        auto* picture1 = h.form.findChild<QWidget*>(QStringLiteral("Picture1"));
        auto* list1 = h.form.findChild<QListWidget*>(QStringLiteral("List1"));
        auto* label1 = h.form.findChild<QLabel*>(QStringLiteral("Label1"));
        auto* label2 = h.form.findChild<QLabel*>(QStringLiteral("Label2"));
        QVERIFY(command1 && picture1 && list1 && label1 && label2);
        QCOMPARE(command1->geometry(), QRect(488, 24, 81, 33));
        QCOMPARE(picture1->geometry(), QRect(248, 64, 353, 281));
        QCOMPARE(list1->geometry(), QRect(8, 64, 209, 276));
        QCOMPARE(label1->geometry(), QRect(248, 32, 233, 25));
        QCOMPARE(label2->geometry(), QRect(8, 40, 209, 17));
        QCOMPARE(command1->text(), QStringLiteral("Next Image"));
        QCOMPARE(label1->text(), QString());
        QCOMPARE(label2->text(), QStringLiteral("&Gadget Entries"));
        QCOMPARE(label2->buddy(), list1);
        QCOMPARE(list1->selectionMode(), QAbstractItemView::SingleSelection);
        QVERIFY(!list1->isSortingEnabled());
        QCOMPARE(command1->nextInFocusChain(), picture1);  // tab order: Command1, Picture1, List1
        QCOMPARE(picture1->nextInFocusChain(), static_cast<QWidget*>(list1));
        for (QWidget* widget : std::initializer_list<QWidget*>{command1, picture1, list1, label1, label2}) {
            QCOMPARE(widget->font().pointSizeF(), 9.75);
            QCOMPARE(widget->font().weight(), QFont::Normal);
            QVERIFY(!widget->font().italic() && !widget->font().underline());
        }
        if (!QFontDatabase::hasFamily(QStringLiteral("Courier New")))
            QCOMPARE(list1->font().family(), QFontDatabase::systemFont(QFontDatabase::FixedFont).family());

        // File and Help keep their items, without shortcut keys; the viewer's
        // Open Recent, Edit and View menus come between them, and Preview
        // Rebuild and Keep Backup (unchecked) follow Rebuild.
        QStringList menu;
        for (QAction* top : h.form.menuBar()->actions()) {
            menu << top->text();
            for (QAction* item : top->menu()->actions()) {
                if (item->isSeparator())
                    continue;
                QStringList keys;
                for (const QKeySequence& key : item->shortcuts())
                    keys << key.toString();
                menu << item->objectName() + "=" + item->text() + (item->isEnabled() ? "" : " (disabled)") +
                            (item->isCheckable() ? (item->isChecked() ? " (checked)" : " (unchecked)") : "") +
                            (keys.isEmpty() ? QString() : " [" + keys.join(" ") + "]");
            }
        }
        QCOMPARE(menu, QStringList({"&File", "mnuFileOpen=&Open... [Ctrl+O]", "mnuFileOpenRecent=Open Re&cent",
                                    "mnuFileSave=&Save (disabled) [Ctrl+S]",
                                    "mnuFileSaveAs=Save &As... (disabled) [Ctrl+Shift+S]",
                                    "mnuFileExtract=&Extract (disabled)", "mnuFileRebuild=&Rebuild... (disabled)",
                                    "mnuFilePreviewRebuild=Pre&view Rebuild... (disabled)",
                                    "mnuFileKeepBackup=Keep &Backup on Rebuild (unchecked)", "mnuFileExit=E&xit",
                                    "&Edit", "mnuEditUndo=&Undo (disabled) [Ctrl+Z]",
                                    "mnuEditRedo=&Redo (disabled) [Ctrl+Shift+Z Ctrl+Y]",
                                    "mnuEditCopyImage=&Copy Image [Ctrl+C]",
                                    "mnuEditExportImage=E&xport Image... (disabled)",
                                    "mnuEditReplaceImage=Re&place Image... (disabled)",
                                    "mnuEditInsertImage=&Insert Image... (disabled)",
                                    "mnuEditDeleteImage=De&lete Image (disabled)",
                                    "mnuEditNewEntry=&New Entry... (disabled)",
                                    "mnuEditRenameEntry=Rena&me Entry (disabled) [F2]",
                                    "mnuEditDeleteEntry=&Delete Entry (disabled) [Del]",
                                    "mnuEditMoveUp=Mo&ve Up (disabled) [Ctrl+Up]",
                                    "mnuEditMoveDown=Move Do&wn (disabled) [Ctrl+Down]",
                                    "mnuEditFindEntry=&Filter Entries [Ctrl+F]", "&View",
                                    "mnuViewZoomIn=Zoom &In [Ctrl++ Ctrl+=]", "mnuViewZoomOut=Zoom &Out [Ctrl+-]",
                                    "mnuViewActualSize=&Actual Size [Ctrl+0]",
                                    "mnuViewZoomToFit=Zoom to &Fit [Ctrl+9]",
                                    "mnuViewPreviousImage=&Previous Image [Left]",
                                    "mnuViewNextImage=&Next Image [Right]", "mnuViewFirstImage=F&irst Image [Home]",
                                    "mnuViewLastImage=&Last Image [End]",
                                    "mnuViewThumbnails=&Thumbnails (unchecked) [Ctrl+T]",
                                    "mnuViewImagePanel=Ima&ge Panel (unchecked)",
                                    "mnuViewShowHotspots=Show &Hotspots (unchecked)",
                                    "&Help", "mnuHelpAbout=&About"}));
        QVERIFY(h.form.Thumbnails()->isHidden());  // the panel is closed until asked for
    }

    void progressWindowLayout()
    {
        Dialog dialog;
        QVERIFY(!dialog.parentWidget() && !dialog.isModal());
        QVERIFY(dialog.windowFlags() & Qt::Tool);  // not in the task bar
        QVERIFY(!(dialog.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        const QPoint screen = QGuiApplication::primaryScreen()->geometry().topLeft();
        QCOMPARE(dialog.geometry(), QRect(screen + QPoint(184, 250), QSize(274, 71)));
        QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
        QProgressBar* bar = dialog.findChild<QProgressBar*>(QStringLiteral("ProgressBar1"));
        QVERIFY(bar);
        QCOMPARE(bar->geometry(), QRect(17, 27, 241, 17));
        QCOMPARE(QPoint(bar->minimum(), bar->maximum()), QPoint(0, 100));
        QList<int> values;
        for (float percent : {49.5f, 50.5f, 33.3333f, 250.0f, -4.0f}) {
            dialog.SetPercent(percent);
            values << bar->value();
        }
        QCOMPARE(values, QList<int>({50, 50, 33, 100, 0}));  // nearest, halves to even, held in range
    }

    // ---- Open -------------------------------------------------------------------

    void openListsEntriesAndEnablesCommands()
    {
        Harness h;
        QDir::setCurrent(QDir::tempPath());
        fs::create_directory(h.folder / "sub");
        const fs::path file = h.Write("sub/units.GDG", {GadgetEntry{"caf\xE9", 0, {FourColours()}},
                                                        GadgetEntry{"", 0, {FourColours()}}});
        h.Open(file);
        QCOMPARE(h.List(), QStringList({QStringLiteral("caf\u00E9"), QString()}));  // 8-bit names
        QVERIFY(h.dialogs.messages.empty());
        QVERIFY(h.form.MnuFileExtract()->isEnabled() && h.form.MnuFileRebuild()->isEnabled());
        QCOMPARE(h.form.CurrentSession().Container().FileName, file);
        QCOMPARE(h.form.List1()->selectedItems().size(), 0);
        QCOMPARE(h.Label(), QString());

        // The dialog starts in the start folder, then in the listed file's
        // folder; the process's current directory is left alone.
        h.Open(std::nullopt);
        QCOMPARE(h.dialogs.startFolders, std::vector<fs::path>({h.folder, h.folder / "sub"}));
        QCOMPARE(QDir::currentPath(), QDir::tempPath());
    }

    void cancelBeforeAnyChoiceDoesNothing()
    {
        Harness h;
        h.Open(std::nullopt);
        QCOMPARE(h.form.List1()->count(), 0);
        QVERIFY(h.dialogs.messages.empty());
        QVERIFY(!h.form.MnuFileExtract()->isEnabled());
    }

    void cancelReopensLastConfirmedChoice()
    {
        Harness h;
        const fs::path file = h.Write("a.gdg", TwoEntries());
        h.Open(file);
        h.form.List1()->setCurrentRow(0);
        // The file changes on disk; a cancelled dialog lists it again, and the
        // refill loads nothing for the old selection.
        h.Write("a.gdg", {GadgetEntry{"one", 0, {Samples::Solid(9, 9, Red)}}, GadgetEntry{"two", 0, {}}});
        h.Open(std::nullopt);
        QCOMPARE(h.List(), QStringList({"one", "two"}));
        QCOMPARE(h.form.LastChosenFile(), file);
        QCOMPARE(h.form.List1()->selectedItems().size(), 0);
        QCOMPARE(h.Label(), QString());  // the old image is not left on screen
        QVERIFY(h.dialogs.messages.empty());
    }

    void failedOpenLeavesListAndContainerUnchanged()
    {
        Harness h;
        const fs::path good = h.Write("good.gdg", TwoEntries());
        h.Open(good);
        std::vector<uint8_t> bytes = Samples::BuildGadgetFile(0, {GadgetEntry{"other", 0, {OddWidth()}}});
        bytes[0] = 'g';  // the signature is compared with its letter case
        const fs::path bad = h.Write("bad.gdg", bytes);

        h.Open(bad);
        QCOMPARE(h.Messages(), QStringList({SignatureError}));
        QCOMPARE(h.List(), QStringList({"colours", "steps"}));
        QVERIFY(h.form.MnuFileExtract()->isEnabled());
        QCOMPARE(h.form.LastChosenFile(), bad);
        QCOMPARE(h.form.CurrentSession().Container().FileName, good);
        h.form.List1()->setCurrentRow(0);  // still shows the good file
        QCOMPARE(h.Label(), QStringLiteral("Image: 00 Size:4x1"));
        QCOMPARE(h.dialogs.messages.size(), size_t{1});
    }

    // ---- Image view ---------------------------------------------------------------

    void selectionShowsImageZeroInItsColours()
    {
        Harness h;
        h.form.show();
        h.Open(h.Write("a.gdg", TwoEntries()));
        h.form.List1()->setCurrentRow(0);
        QCOMPARE(h.form.Picture1()->geometry(), QRect(248, 64, 4, 1));
        QCOMPARE(h.Label(), QStringLiteral("Image: 00 Size:4x1"));
        const QImage shown = h.Screen();
        QCOMPARE(Names(shown), QStringList({"#ff0000", "#00ff00", "#0000ff", "#ffffff"}));
        h.form.DisplayBMP();  // the same buffer twice gives the same picture
        QCOMPARE(h.Screen(), shown);
    }

    void oddWidthImageShowsRowsWithoutPadding()
    {
        Harness h;
        h.form.show();
        h.Open(h.Write("odd.gdg", {GadgetEntry{"odd", 0, {OddWidth()}}}));
        h.form.List1()->setCurrentRow(0);
        QCOMPARE(h.form.Picture1()->size(), QSize(3, 2));
        QCOMPARE(h.Label(), QStringLiteral("Image: 00 Size:3x2"));
        QStringList expected;
        for (uint16_t word : OddWidth().pixels)
            expected << QColor(Rgb(word)).name();
        QCOMPARE(Names(h.Screen()), expected);
    }

    void nextImageCyclesAndWraps()
    {
        Harness h;
        h.Open(h.Write("a.gdg", TwoEntries()));
        h.form.List1()->setCurrentRow(1);
        QStringList labels{h.Label()};
        for (int press = 0; press < 4; ++press) {
            h.form.Command1()->click();
            labels << h.Label() + QStringLiteral(" box %1").arg(h.form.Picture1()->width());
        }
        QCOMPARE(labels, QStringList({"Image: 00 Size:1x1", "Image: 01 Size:2x1 box 2", "Image: 02 Size:3x1 box 3",
                                      "Image: 00 Size:1x1 box 1", "Image: 01 Size:2x1 box 2"}));
        QCOMPARE(h.form.ImageIndex(), 1);
        h.form.List1()->setCurrentRow(0);  // a new selection starts at image 0
        h.form.List1()->setCurrentRow(1);
        QCOMPARE(h.Label(), QStringLiteral("Image: 00 Size:1x1"));
        QCOMPARE(h.dialogs.beeps, 0);
    }

    void nextImageWithNothingSelectedBeeps()
    {
        Harness h;
        h.Open(h.Write("a.gdg", TwoEntries()));
        h.form.Command1()->setFocus();
        h.form.Command1()->click();
        QCOMPARE(h.dialogs.beeps, 1);
        QCOMPARE(h.form.focusWidget(), static_cast<QWidget*>(h.form.List1()));
        QCOMPARE(h.form.ImageIndex(), 0);
        QCOMPARE(h.Label(), QString());
        QCOMPARE(h.form.Picture1()->size(), QSize(353, 281));
    }

    void boxTakesEachImageSizeDownToNothing()
    {
        Harness h;
        h.form.show();
        h.Open(h.Write("a.gdg", {GadgetEntry{"big", 0, {Samples::Solid(40, 30, White)}},
                                 GadgetEntry{"small", 0, {Samples::Solid(2, 2, Blue)}},
                                 GadgetEntry{"none", 0, {Picture{0, 0, {}}}}}));
        h.form.List1()->setCurrentRow(0);
        QCOMPARE(h.form.Picture1()->size(), QSize(40, 30));
        h.form.List1()->setCurrentRow(1);
        QCOMPARE(Names(h.Screen()), QStringList(4, QStringLiteral("#0000ff")));
        h.form.List1()->setCurrentRow(2);
        QCOMPARE(h.form.Picture1()->geometry(), QRect(248, 64, 0, 0));
        QCOMPARE(h.Label(), QStringLiteral("Image: 00 Size:0x0"));
        QVERIFY(h.dialogs.messages.empty());
    }

    void shortBufferShowsOnlyWholeRowsItHolds()
    {
        ImageBuffer image{3, 2, OddWidth().Bytes()};  // packed: 12 bytes where the display layout needs 16
        const DisplayPicture picture = MakeDisplayPicture(image);
        QCOMPARE(QSize(picture.width, picture.height), QSize(3, 2));
        QCOMPARE(picture.rows.size(), QSize(3, 1));
        image.ImageBytes.resize(7);
        QVERIFY(MakeDisplayPicture(image).rows.isNull());

        // The box keeps the full size; the rows missing show the background,
        // not what the box showed before.
        ImageView view;
        QPalette palette = view.palette();
        palette.setColor(view.backgroundRole(), Qt::black);
        view.setPalette(palette);
        view.Show(MakeDisplayPicture(ImageBuffer{3, 2, std::vector<uint8_t>(16, 0xFF)}));
        view.Show(picture);
        QCOMPARE(view.size(), QSize(3, 2));
        QCOMPARE(Names(view.BackingImage()),
                 QStringList({"#ff0000", "#00ff00", "#0000ff", "#000000", "#000000", "#000000"}));
    }

    void overflowingOrNegativeSizesAreErrors()
    {
        QVERIFY_THROWS_EXCEPTION(Error, MakeDisplayPicture(ImageBuffer{0x08000000, 1, {}}));  // stride
        QVERIFY_THROWS_EXCEPTION(Error, MakeDisplayPicture(ImageBuffer{30000, 100000, {}}));  // stride x height
        QVERIFY_THROWS_EXCEPTION(Error, MakeDisplayPicture(ImageBuffer{-1, 4, {}}));
        QVERIFY(MakeDisplayPicture(ImageBuffer{0, 0, {0, 0}}).rows.isNull());
    }

    void repaintAfterExtractionStaysInsideBuffer()
    {
        Harness h;
        h.Open(h.Write("odd.gdg", {GadgetEntry{"odd", 0, {OddWidth()}}}));
        h.form.MnuFileExtract()->trigger();
        h.form.DisplayBMP();  // the buffer may now hold the packed layout
        QCOMPARE(h.form.Picture1()->size(), QSize(3, 2));
        QCOMPARE(h.form.Picture1()->BackingImage().pixel(0, 0), Rgb(Red));
        QVERIFY(h.dialogs.messages.empty());
    }

    // ---- Extract and Rebuild ----------------------------------------------------

    void extractWithEmptyListShowsMessage()
    {
        Harness h;
        h.Open(h.Write("a.gdg", TwoEntries()));
        h.Open(h.Write("empty.gdg", std::vector<GadgetEntry>{}));  // Extract stays enabled, the list empties
        QCOMPARE(h.form.List1()->count(), 0);
        h.form.MnuFileExtract()->trigger();
        QCOMPARE(h.Messages(),
                 QStringList({"Extraction Error|Error: You must open a file before you can extract its contents."}));
        QVERIFY(!h.atMessages[0].dialogShown);
        QVERIFY(h.form.yields.empty());
        QVERIFY(h.Idle());
    }

    void extractRunsUnderProgressWindow()
    {
        Harness h;
        h.Open(h.Write("a.gdg", TwoEntries()));
        h.form.MnuFileExtract()->trigger();
        QVERIFY(h.dialogs.messages.empty());
        QVERIFY(!h.form.yields.empty());
        for (const Moment& moment : h.form.yields) {
            QVERIFY(!moment.formEnabled && moment.dialogShown);
            QCOMPARE(moment.title, QStringLiteral("Extracting ...."));
        }
        QCOMPARE(h.form.yields.front().progress, 0);
        QCOMPARE(h.form.laterTitles, QStringList({"Done!"}));
        QVERIFY(h.Idle());
        for (QWidget* window : QApplication::topLevelWidgets())
            QVERIFY(window->objectName() != QStringLiteral("Dialog"));
        QVERIFY(fs::exists(h.folder / "EXTRACT.DAT") && fs::exists(h.folder / "steps_002.tga"));
    }

    void rebuildRunsUnderProgressWindowAndRelists()
    {
        Harness h;
        h.Open(h.Write("a.gdg", TwoEntries()));
        h.form.MnuFileExtract()->trigger();
        h.form.yields.clear();
        h.form.MnuFileRebuild()->trigger();
        QVERIFY(h.dialogs.messages.empty());
        QVERIFY(!h.form.yields.empty());
        for (const Moment& moment : h.form.yields) {
            QVERIFY(!moment.formEnabled);
            QCOMPARE(moment.title, QStringLiteral("Rebuilding ...."));
        }
        QCOMPARE(h.form.yields.back().progress, 100);
        QVERIFY(h.Idle());
        QCOMPARE(h.List(), QStringList({"colours", "steps"}));
        QVERIFY(!fs::exists(h.folder / "EXTRACT.DAT"));
    }

    // ---- Overwriting, the status bar, Preview Rebuild, Keep Backup ---------------

    void extractionAsksBeforeOverwritingOtherBytes_data()
    {
        QTest::addColumn<int>("images");
        QTest::addColumn<int>("edited");
        QTest::addColumn<QString>("question");  // %1: the folder
        QTest::addColumn<QString>("overwritten");

        const QString other = QStringLiteral(" other bytes than extraction would write (edited images, or another "
                                             "container's files):\n");
        QTest::newRow("one of four") << 4 << 1
                                     << "1 file in %1 holds" + other + "many_000.tga\n\nOverwrite it?"
                                     << "Extracted 4 images of a.gdg and EXTRACT.DAT (3 of them already there "
                                        "with the same bytes)";
        QStringList ten;
        for (int i = 0; i < 10; ++i)
            ten << QString::fromStdString(TgaName("many", i));
        QTest::newRow("twelve, ten listed")
            << 12 << 12 << "12 files in %1 hold" + other + ten.join("\n") + "\nand 2 more files\n\nOverwrite them?"
            << "Extracted 12 images of a.gdg and EXTRACT.DAT";
    }

    void extractionAsksBeforeOverwritingOtherBytes()
    {
        QFETCH(int, images);
        QFETCH(int, edited);
        QFETCH(QString, question);
        QFETCH(QString, overwritten);
        Harness h;
        const std::vector<Picture> pictures(static_cast<size_t>(images), Samples::Solid(2, 1, Red));
        h.Open(h.Write("a.gdg", {GadgetEntry{"many", 0, pictures}}));
        h.form.MnuFileExtract()->trigger();
        const FolderFiles extracted = h.Files();
        for (int i = 0; i < edited; ++i)
            h.EditTga(TgaName("many", i), 2, 1, Blue);
        const FolderFiles edits = h.Files();

        // Cancel, the default: nothing is written.
        h.form.MnuFileExtract()->trigger();
        QCOMPARE(h.dialogs.questions.size(), size_t{1});
        QCOMPARE(h.dialogs.questions[0].title, QStringLiteral("Extract"));
        QCOMPARE(h.dialogs.questions[0].text, question.arg(PathText(h.folder)));
        QCOMPARE(Differences(edits, h.Files()), QStringList());
        QCOMPARE(h.Status(), QStringLiteral("Extraction of a.gdg stopped: nothing was written"));
        QVERIFY(h.dialogs.messages.empty());
        QVERIFY(h.Idle());

        // Overwrite: every file as the first extraction wrote it.
        h.dialogs.overwrite = true;
        h.form.MnuFileExtract()->trigger();
        QCOMPARE(h.dialogs.questions.size(), size_t{2});
        QCOMPARE(Differences(extracted, h.Files()), QStringList());
        QCOMPARE(h.Status(), overwritten);
        QVERIFY(h.dialogs.messages.empty());
    }

    void statusBarSaysWhatExtractAndRebuildDidUntilAPixelIsPointedAt()
    {
        Harness h;
        h.form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&h.form));
        h.Open(h.Write("a.gdg", TwoEntries()));
        QStringList statuses{h.Status()};
        h.form.MnuFileExtract()->trigger();
        statuses << h.Status();
        h.form.MnuFileExtract()->trigger();  // over its own files: nothing to ask
        statuses << h.Status();
        h.form.MnuFileRebuild()->trigger();
        statuses << h.Status();
        QCOMPARE(statuses, QStringList({"", "Extracted 4 images of a.gdg and EXTRACT.DAT",
                                        "Extracted 4 images of a.gdg and EXTRACT.DAT (4 of them already there with "
                                        "the same bytes)",
                                        "Rebuilt a.gdg from 4 TGA files"}));
        QVERIFY(h.dialogs.questions.empty() && h.dialogs.messages.empty());

        h.form.List1()->setCurrentRow(0);
        QCOMPARE(h.Status(), statuses.last());  // showing an image leaves it
        QMouseEvent move(QEvent::MouseMove, QPointF(1, 0), h.form.Picture1()->mapToGlobal(QPointF(1, 0)),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(h.form.Picture1(), &move);
        QCOMPARE(h.Status(), QString());
        QVERIFY(h.form.PixelReadout()->text().startsWith(QStringLiteral("X: 1  Y: 0  Word: 0x03E0")));
    }

    void previewRebuildReportsAndWritesNothing_data()
    {
        QTest::addColumn<QString>("before");  // what is done to the folder before the preview
        QTest::addColumn<bool>("chooseRebuild");
        QTest::addColumn<QString>("report");  // a pattern for the whole report; empty: none is shown
        QTest::addColumn<QStringList>("messages");

        const QString head = QStringLiteral("^Dry run of the rebuild of a\\.gdg from EXTRACT\\.DAT: nothing is "
                                            "written\\.\n");
        QTest::newRow("edited, Cancel") << "edit" << false
                                        << head + "(.*\n)*  image 1  steps_001\\.tga  changed  \\d+ x \\d+ -> 2 x 1\n(.*\n)*"
                                                  "The rebuild would succeed\\.\n$"
                                        << QStringList();
        // A refused rebuild is not offered, though the user would choose it.
        QTest::newRow("damaged, refused") << "damage" << true
                                          << head + "(.*\n)*The rebuild would be refused:\n.*steps_001\\.tga.*\n$"
                                          << QStringList();
        QTest::newRow("no manifest")
            << "nothing" << true << QString()
            << QStringList({"Rebuild Error|Error: No EXTRACT.DAT file found in current directory.  Can't rebuild."});
    }

    void previewRebuildReportsAndWritesNothing()
    {
        QFETCH(QString, before);
        QFETCH(bool, chooseRebuild);
        QFETCH(QString, report);
        QFETCH(QStringList, messages);
        Harness h;
        h.Open(h.Write("a.gdg", TwoEntries()));
        QVERIFY(h.form.MnuFilePreviewRebuild()->isEnabled());
        if (before != QStringLiteral("nothing"))
            h.form.MnuFileExtract()->trigger();
        if (before == QStringLiteral("edit"))
            h.EditTga("steps_001.tga", 2, 1, White);
        if (before == QStringLiteral("damage"))
            h.Write("steps_001.tga", std::vector<uint8_t>{0, 0, 2, 0, 0});
        const FolderFiles files = h.Files();
        h.dialogs.rebuildAfterReport = chooseRebuild;

        h.form.MnuFilePreviewRebuild()->trigger();
        if (report.isEmpty()) {
            QVERIFY(h.dialogs.reports.empty());
        } else {
            QCOMPARE(h.dialogs.reports.size(), size_t{1});
            const QString& shown = h.dialogs.reports[0];
            QVERIFY2(QRegularExpression(report).match(shown).hasMatch(), qPrintable(shown));
        }
        QCOMPARE(h.Messages(), messages);
        QCOMPARE(Differences(files, h.Files()), QStringList());
        QCOMPARE(h.List(), QStringList({"colours", "steps"}));
        QVERIFY(h.Idle());
    }

    void rebuildChosenFromThePreviewRebuilds()
    {
        Harness h;
        const fs::path file = h.Write("a.gdg", TwoEntries());
        h.Open(file);
        h.form.MnuFileExtract()->trigger();
        h.EditTga("steps_001.tga", 2, 1, White);
        h.dialogs.rebuildAfterReport = true;
        h.form.MnuFilePreviewRebuild()->trigger();
        QCOMPARE(h.dialogs.reports.size(), size_t{1});
        std::vector<GadgetEntry> edited = TwoEntries();
        edited[1].images[1] = Samples::Solid(2, 1, White);
        QVERIFY(Samples::ReadBytes(file) == Samples::BuildGadgetFile(7, edited));
        QCOMPARE(QDir(h.temp.path()).entryList(QDir::Files), QStringList({"a.gdg"}));
        QCOMPARE(h.Status(), QStringLiteral("Rebuilt a.gdg from 4 TGA files"));
        QVERIFY(h.dialogs.messages.empty());
    }

    void rebuildRefusesAnotherContainersManifest()
    {
        Harness h;
        const fs::path items = h.Write("ITEMS.GDG", TwoEntries());
        const fs::path units = h.Write("UNITS.GDG", {GadgetEntry{"colours", 0, {Samples::Solid(4, 1, Black)}}});
        h.Open(items);
        h.form.MnuFileExtract()->trigger();
        h.Open(units);
        h.dialogs.overwrite = true;
        h.form.MnuFileExtract()->trigger();  // over ITEMS.GDG's manifest and its first image
        QCOMPARE(h.dialogs.questions.size(), size_t{1});
        for (const char* name : {"EXTRACT.DAT", "colours_000.tga"})
            QVERIFY(h.dialogs.questions[0].text.contains(QLatin1String(name)));

        h.Open(items);
        const FolderFiles files = h.Files();
        h.form.MnuFileRebuild()->trigger();
        QCOMPARE(h.dialogs.messages.size(), size_t{1});
        const auto& [refusal, title] = h.dialogs.messages[0];
        QCOMPARE(title, QStringLiteral("Brimwork Error"));
        QVERIFY2(refusal.startsWith("EXTRACT.DAT in " + PathText(h.folder) +
                                    " was written for UNITS.GDG, not ITEMS.GDG: "),
                 qPrintable(refusal));
        QCOMPARE(Differences(files, h.Files()), QStringList());
        QCOMPARE(h.List(), QStringList({"colours", "steps"}));
        QCOMPARE(h.form.CurrentSession().Container().FileName, items);

        // Its preview says the same, and offers no Rebuild.
        h.dialogs.rebuildAfterReport = true;
        h.form.MnuFilePreviewRebuild()->trigger();
        QCOMPARE(h.dialogs.reports.size(), size_t{1});
        QVERIFY(h.dialogs.reports[0].endsWith("The rebuild would be refused:\n" + refusal + "\n"));
        QCOMPARE(h.dialogs.messages.size(), size_t{1});
        QCOMPARE(Differences(files, h.Files()), QStringList());
        QVERIFY(h.Idle());
    }

    void keepBackupOnRebuildKeepsTheReplacedFileAndIsRemembered()
    {
        QTemporaryDir settingsFolder;
        const QString settingsFile = settingsFolder.filePath(QStringLiteral("brimwork.ini"));
        const auto remembered = [&] {
            return QSettings(settingsFile, QSettings::IniFormat).value(QStringLiteral("keepBackupOnRebuild"));
        };
        QSettings settings(settingsFile, QSettings::IniFormat);
        Harness h;
        h.form.RememberIn(settings);
        QVERIFY(h.form.MnuFileKeepBackup()->isCheckable() && !h.form.MnuFileKeepBackup()->isChecked());
        const fs::path file = h.Write("a.gdg", TwoEntries());
        h.Open(file);
        const auto rebuildWithEdit = [&](uint16_t word) {
            h.form.MnuFileExtract()->trigger();
            h.EditTga("colours_000.tga", 4, 1, word);
            h.form.MnuFileRebuild()->trigger();
        };

        rebuildWithEdit(Blue);  // unchecked: nothing is kept
        QCOMPARE(QDir(h.temp.path()).entryList(QDir::Files), QStringList({"a.gdg"}));
        const std::vector<uint8_t> replaced = Samples::ReadBytes(file);

        h.form.MnuFileKeepBackup()->trigger();
        QVERIFY(h.form.MnuFileKeepBackup()->isChecked());
        QCOMPARE(remembered(), QVariant(true));
        rebuildWithEdit(Green);
        QCOMPARE(QDir(h.temp.path()).entryList(QDir::Files), QStringList({"a.gdg", "a.gdg.bak"}));
        QVERIFY(Samples::ReadBytes(h.folder / "a.gdg.bak") == replaced);
        QVERIFY(Samples::ReadBytes(file) != replaced);
        QCOMPARE(h.Status(), QStringLiteral("Rebuilt a.gdg from 4 TGA files, keeping the file it replaced as "
                                            "a.gdg.bak"));
        QVERIFY(h.dialogs.messages.empty());

        // A window started later with the same settings has it checked, and
        // unchecking it there is remembered too.
        QSettings again(settingsFile, QSettings::IniFormat);
        Testing::ScriptedDialogs dialogs;
        Form1 later(dialogs, RealFileSystem(), h.folder);
        later.RememberIn(again);
        QVERIFY(later.MnuFileKeepBackup()->isChecked());
        later.MnuFileKeepBackup()->trigger();
        QCOMPARE(remembered(), QVariant(false));
    }

    void fileMenuAccessKeysStayDistinct()
    {
        Harness h;
        QStringList keys;
        for (QAction* item : h.form.menuBar()->actions().first()->menu()->actions())
            if (!item->isSeparator())
                keys << AccessKey(item->text());
        // The old items keep their keys; the new ones take letters of their own.
        QCOMPARE(keys, QStringList({"O", "C", "S", "A", "E", "R", "V", "B", "X"}));
        QCOMPARE(QSet<QString>(keys.begin(), keys.end()).size(), keys.size());
    }

    // ---- Screen and vehicle files -------------------------------------------------

    void nextImageOnScreenEntryBeepsAndRepaints()
    {
        Harness h;
        h.Open(h.Write("intro.pix", Samples::BuildScreenFile(0, {Samples::ScreenEntry{"title", FourColours()}})));
        h.form.List1()->setCurrentRow(0);
        const QImage first = h.Screen();
        QStringList labels;
        for (int press = 0; press < 3; ++press) {
            h.form.Command1()->click();
            labels << h.Label();
            QCOMPARE(h.Screen(), first);
        }
        QCOMPARE(labels, QStringList({"Image: 01 Size:4x1", "Image: 02 Size:4x1", "Image: 03 Size:4x1"}));
        QCOMPARE(h.dialogs.beeps, 3);
        QVERIFY(h.dialogs.messages.empty());
    }

    void rebuildOfVehicleFileShowsTheEditAndTheRounding()
    {
        Harness h;
        Samples::VehicleEntry car{"car", 0, false, std::vector<Samples::VehicleSlot>(17), {}};
        car.slots[0].image = FourColours();
        Samples::VehicleEntry shadow{"shade", 0, true, {}, {}};
        shadow.frames.push_back(Samples::EncodeShadow({{true, false, true}}));
        const fs::path file = h.Write("HANGAR.Azp", Samples::BuildVehicleFile({car, shadow}));
        h.Open(file);
        h.form.MnuFileExtract()->trigger();
        const Samples::Picture grey{2, 1, {Samples::Rgb555(16, 16, 16), 0x0842}};
        WriteTGA(RealFileSystem(), h.folder / "shade_000.tga", ImageBuffer{grey.width, grey.height, grey.Bytes()});

        h.form.MnuFileRebuild()->trigger();
        QCOMPARE(h.Messages(), QStringList({"Rebuild|The rebuild rounded 2 pixels of shadow frames to black or white "
                                            "(white where red, green and blue add up to at least 47):\n"
                                            "shade_000.tga: 2 pixels"}));
        QCOMPARE(h.atMessages[0].title, QStringLiteral("Rebuilding ...."));
        QVERIFY(h.Idle());
        QCOMPARE(QDir(h.temp.path()).entryList(QDir::Files), QStringList({"HANGAR.Azp"}));
        QCOMPARE(h.List(), QStringList({"car", "shade"}));
        h.form.List1()->setCurrentRow(1);
        QCOMPARE(h.Label(), QStringLiteral("Image: 00 Size:2x1"));
        QCOMPARE(Names(h.Screen()).mid(0, 2), QStringList({"#ffffff", "#000000"}));
    }

    void shadowFramesStepAndWrapInBlackAndWhite()
    {
        Harness h;
        h.form.show();
        Samples::VehicleEntry shadow{"shade", 0, true, {}, {}};
        shadow.frames.push_back(Samples::EncodeShadow({{true, false, true}, {false, false, true}}));
        shadow.frames.push_back(Samples::EncodeShadow({{false, true, true, true}}));
        h.Open(h.Write("cars.azp", Samples::BuildVehicleFile({shadow})));
        h.form.List1()->setCurrentRow(0);
        QCOMPARE(h.Label(), QStringLiteral("Image: 00 Size:3x2"));
        QCOMPARE(Names(h.Screen()), QStringList({"#ffffff", "#000000", "#ffffff", "#000000", "#000000", "#ffffff"}));
        h.form.Command1()->click();
        QCOMPARE(h.Label(), QStringLiteral("Image: 01 Size:4x1"));
        QCOMPARE(Names(h.Screen()), QStringList({"#000000", "#ffffff", "#ffffff", "#ffffff"}));
        h.form.Command1()->click();
        QCOMPARE(h.Label(), QStringLiteral("Image: 00 Size:3x2"));
        QCOMPARE(h.form.ImageIndex(), 0);
        QVERIFY(h.dialogs.messages.empty());
    }

    // ---- Errors -------------------------------------------------------------------

    void damagedFileReportsErrorAndWindowCarriesOn()
    {
        Harness h;
        const fs::path file = h.Write("a.gdg", TwoEntries());
        h.Open(file);
        h.form.List1()->setCurrentRow(0);
        std::vector<uint8_t> bytes = Samples::ReadBytes(file);
        bytes.resize(12 + 2 * 44 + 4);  // the image tables and pixels are gone
        Samples::WriteBytes(file, bytes);

        h.form.List1()->setCurrentRow(1);
        QCOMPARE(h.dialogs.messages.size(), size_t{1});
        QCOMPARE(h.dialogs.messages[0].title, QStringLiteral("Brimwork Error"));
        QCOMPARE(h.Label(), QStringLiteral("Image: 00 Size:4x1"));  // nothing new painted

        h.form.MnuFileExtract()->trigger();
        QCOMPARE(h.dialogs.messages.size(), size_t{2});
        QCOMPARE(h.dialogs.messages[1].title, QStringLiteral("Brimwork Error"));
        QVERIFY(h.atMessages[1].dialogShown && !h.atMessages[1].formEnabled);
        QVERIFY(h.Idle());

        h.Open(h.folder / "gone.gdg");
        QCOMPARE(h.dialogs.messages.size(), size_t{3});
        QVERIFY(h.dialogs.messages[2].text.contains(QStringLiteral("gone.gdg")));

        h.Open(h.Write("b.gdg", TwoEntries()));  // the tool carries on
        h.form.List1()->setCurrentRow(1);
        QCOMPARE(h.Label(), QStringLiteral("Image: 00 Size:1x1"));
        QCOMPARE(h.dialogs.messages.size(), size_t{3});
    }

    // ---- Help, Exit and the real dialogs -----------------------------------------

    void aboutAndExit()
    {
        Harness h;
        h.form.show();
        h.form.MnuHelpAbout()->trigger();
        QCOMPARE(h.dialogs.messages.size(), size_t{1});
        QCOMPARE(h.dialogs.messages[0].title, QStringLiteral("About Brimwork"));
        for (const char* part : {"Brimwork", BRIMWORK_VERSION, "Brimwork developers"})
            QVERIFY(h.dialogs.messages[0].text.contains(QString::fromLatin1(part)));
        h.form.MnuFileExit()->trigger();
        QVERIFY(!h.form.isVisible());
    }

    void realDialogsAreSetUpWithTheirFiltersAndFlags()
    {
        QtModalDialogs dialogs;
        QStringList seen;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            seen << box->windowTitle() << box->text() << QString::number(box->icon())
                 << QString::number(box->buttons().size());
            box->button(QMessageBox::Ok)->click();
        });
        dialogs.ShowMessage(QStringLiteral("Some text"), QStringLiteral("Some title"));
        QCOMPARE(seen, QStringList({"Some title", "Some text", QString::number(QMessageBox::NoIcon), "1"}));

        // The Open dialog: the containers' filters, starting on the filter
        // last used, or on the first.
        QTemporaryDir temp;
        const QString allContainers = QStringLiteral("All containers (*.gdg *.pix *.azp)");
        for (const QString& filter : {QString(), allContainers}) {
            seen.clear();
            QTimer::singleShot(0, [&] {
                auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                QVERIFY(dialog);
                seen << dialog->nameFilters() << dialog->selectedNameFilter() << dialog->defaultSuffix()
                     << dialog->directory().absolutePath()
                     << QString::number(dialog->fileMode() == QFileDialog::ExistingFile);
                dialog->reject();
            });
            QString chosen = filter;
            QVERIFY(!dialogs.ChooseFileToOpen(PathFromText(temp.path()), chosen));
            QCOMPARE(chosen, filter);  // a cancelled dialog leaves the filter as it was
            QCOMPARE(seen, QStringList({"Gadget files (*.gdg)", "Vehicle Files (*.azp)", "Screen Files (*.pix)",
                                        allContainers, "All files (*)",
                                        filter.isEmpty() ? QStringLiteral("Gadget files (*.gdg)") : filter, "gdg",
                                        QDir(temp.path()).absolutePath(), "1"}));
        }
        QCOMPARE(MessageText("caf\xC3\xA9"), QStringLiteral("caf\u00E9"));  // UTF-8 when valid,
        QCOMPARE(MessageText("caf\xE9"), QStringLiteral("caf\u00E9"));      // byte by byte otherwise
    }
};

QTEST_MAIN(Form1Tests)
#include "form1_tests.moc"
