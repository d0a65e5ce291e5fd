// Editing in the window: Form1 driven through its Edit and File commands,
// with the modal dialogs scripted, over containers written into a
// temporary folder. Every step is checked on the screen and, through Save
// As, on the bytes it writes.
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include <QAction>
#include <QAbstractItemDelegate>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QToolTip>
#include <QTest>
#include <QUndoStack>
#include <QUrl>

#include "app/entry_list.h"
#include "app/form1.h"
#include "app/image_panel.h"
#include "app/image_view.h"
#include "app/thumbnails.h"
#include "io/files.h"
#include "image/png.h"
#include "image/tga.h"
#include "samples/sample_containers.h"
#include "testing/faulty_files.h"
#include "tests/window/scripted_dialogs.h"

namespace fs = std::filesystem;
using namespace Brimwork;
using Samples::GadgetEntry;
using Samples::Picture;
using Samples::Solid;
using SaveChoice = ModalDialogs::SaveChoice;

namespace {

constexpr uint16_t Red = 0x7C00, Green = 0x03E0, Blue = 0x001F, White = 0x7FFF;

QRgb Rgb(uint16_t word)
{
    const int r = (word >> 10) & 31, g = (word >> 5) & 31, b = word & 31;
    return qRgb(r << 3 | r >> 2, g << 3 | g >> 2, b << 3 | b >> 2);
}

std::vector<GadgetEntry> ThreeEntries()
{
    return {GadgetEntry{"alpha", 1, {Solid(2, 2, Red), Solid(3, 1, Green)}},
            GadgetEntry{"beta", 2, {Solid(1, 1, Blue)}}, GadgetEntry{"gamma", 3, {Solid(4, 4, White)}}};
}

// A fresh folder with a gadget file, scripted dialogs and a Form1 on the
// given file system that has opened the file.
struct Harness {
    QTemporaryDir temp;
    fs::path folder{PathFromText(temp.path())};
    fs::path container;
    std::vector<uint8_t> original;
    Testing::ScriptedDialogs dialogs;
    Form1 form;

    explicit Harness(FileSystem& files = RealFileSystem(),
                     const std::vector<uint8_t>& bytes = Samples::BuildGadgetFile(7, ThreeEntries()),
                     const std::string& name = "items.gdg")
        : container(folder / name), form(dialogs, files, PathFromText(temp.path()))
    {
        original = bytes;
        Samples::WriteBytes(container, original);
        form.show();
        form.activateWindow();
        if (!QTest::qWaitForWindowActive(&form))
            qWarning("The window did not become active");
        form.OpenFile(container);
    }

    fs::path WriteImage(const std::string& name, const Picture& picture)
    {
        WriteTGA(RealFileSystem(), folder / name, ImageBuffer{picture.width, picture.height, picture.Bytes()});
        return folder / name;
    }

    QStringList List() const
    {
        QStringList texts;
        for (int i = 0; i < form.List1()->count(); ++i)
            texts << form.List1()->item(i)->text();
        return texts;
    }

    void Select(int entry, int image = 0)
    {
        form.List1()->setCurrentRow(entry);
        for (int i = 0; i < image; ++i)
            form.Command1()->click();
    }

    // The colour at a pixel of the shown image, at zoom 1.
    QRgb Pixel(int x, int y) const { return form.Picture1()->grab().toImage().pixel(x, y); }
    QString Label() const { return form.Label1()->text(); }
    QString Status() const { return form.statusBar()->currentMessage(); }

    // Saves the document over its file and gives the bytes written.
    std::vector<uint8_t> Saved()
    {
        form.MnuFileSave()->trigger();
        return Samples::ReadBytes(container);
    }

    void Undo() { form.MnuEditUndo()->trigger(); }
    void Redo() { form.MnuEditRedo()->trigger(); }
    QString UndoText() const { return form.MnuEditUndo()->text().remove(QLatin1Char('&')); }

};

// Every edit command, done on a fresh window: what the list and picture
// show after it, and that undo gives back the file's very bytes.
struct EditCase {
    const char* name;
    const char* undoText;
    std::function<void(Harness&)> edit;
    QStringList listAfter;
};

std::vector<EditCase> EditCases()
{
    return {
        {"replace image", "Undo Replace Image",
         [](Harness& h) {
             h.Select(1);
             h.form.ReplaceImageFrom(h.WriteImage("red.tga", Solid(1, 1, Red)));
         },
         {"alpha", "beta", "gamma"}},
        {"insert image", "Undo Insert Image",
         [](Harness& h) {
             h.Select(0);
             h.dialogs.imageFiles.push_back(h.WriteImage("new.tga", Solid(5, 5, Blue)));
             h.form.MnuEditInsertImage()->trigger();
         },
         {"alpha", "beta", "gamma"}},
        {"delete image", "Undo Delete Image",
         [](Harness& h) {
             h.Select(0, 1);
             h.form.MnuEditDeleteImage()->trigger();
         },
         {"alpha", "beta", "gamma"}},
        {"new entry", "Undo New Entry",
         [](Harness& h) {
             h.Select(0);
             h.dialogs.newEntries.push_back(ModalDialogs::NewEntry{QStringLiteral("delta"), 0});
             h.form.MnuEditNewEntry()->trigger();
         },
         {"alpha", "delta", "beta", "gamma"}},
        {"rename entry", "Undo Rename Entry",
         [](Harness& h) {
             h.Select(2);
             h.form.RenameEntryTo(2, QStringLiteral("omega"));
         },
         {"alpha", "beta", "omega"}},
        {"delete entry", "Undo Delete Entry",
         [](Harness& h) {
             h.Select(1);
             h.form.MnuEditDeleteEntry()->trigger();
         },
         {"alpha", "gamma"}},
        {"move down", "Undo Move Entry",
         [](Harness& h) {
             h.Select(0);
             h.form.MnuEditMoveDown()->trigger();
         },
         {"beta", "alpha", "gamma"}},
        {"move up", "Undo Move Entry",
         [](Harness& h) {
             h.Select(2);
             h.form.MnuEditMoveUp()->trigger();
         },
         {"alpha", "gamma", "beta"}},
    };
}

// A vehicle file: a vehicle entry whose slots have two hotspot points,
// and a shadow of two frames with one each.
std::vector<uint8_t> VehicleWithHotspots()
{
    Samples::VehicleEntry car{"car", 5, false, {}, {}};
    for (int slot = 0; slot < 17; ++slot)
        car.slots.push_back(Samples::VehicleSlot{Solid(8, 8, Red), {2, 3, 5, 6}});
    Samples::VehicleEntry shadow{"car_shadow", 0, true, {}, {}};
    const std::vector<std::vector<bool>> rows(4, std::vector<bool>{true, false, true});
    shadow.frames = {Samples::EncodeShadow(rows, {1, 2}), Samples::EncodeShadow(rows, {0, 0})};
    return Samples::BuildVehicleFile({car, shadow});
}

void SendMouse(QWidget* view, QEvent::Type type, QPoint at)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, at, view->mapToGlobal(at), button, held, Qt::NoModifier);
    QApplication::sendEvent(view, &event);
}

}  // namespace

class EditTests : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // ---- Each command, its undo and its redo ------------------------------------

    void eachCommandUndoesToTheOriginalBytesAndRedoes()
    {
        for (const EditCase& c : EditCases()) {
            Harness h;
            c.edit(h);
            QVERIFY2(h.dialogs.messages.empty(), c.name);
            QCOMPARE(h.List(), c.listAfter);
            QCOMPARE(h.UndoText(), QString::fromLatin1(c.undoText));
            QVERIFY2(h.form.isWindowModified(), c.name);
            QVERIFY(h.form.windowTitle().startsWith(QStringLiteral("items.gdg")));
            const std::vector<uint8_t> edited = h.Saved();
            QVERIFY2(edited != h.original, c.name);

            h.Undo();
            QCOMPARE(h.List(), QStringList({"alpha", "beta", "gamma"}));
            QVERIFY2(h.form.isWindowModified(), c.name);  // the file holds the edit now
            QVERIFY2(h.Saved() == h.original, c.name);

            h.Redo();
            QCOMPARE(h.List(), c.listAfter);
            QVERIFY2(h.Saved() == edited, c.name);
            h.Undo();
            h.Undo();  // past the start of the stack: nothing more
            QVERIFY2(h.dialogs.messages.empty(), c.name);
        }
    }

    void replaceShowsTheNewPixelsAndUndoTheOld()
    {
        Harness h;
        h.Select(0, 1);
        QCOMPARE(h.Pixel(0, 0), Rgb(Green));
        h.form.ReplaceImageFrom(h.WriteImage("red.tga", Solid(6, 2, Red)));
        QCOMPARE(h.Label(), QStringLiteral("Image: 01 Size:6x2"));
        QCOMPARE(h.Pixel(5, 1), Rgb(Red));
        QVERIFY(h.Status().contains(QStringLiteral("red.tga")));
        h.Undo();
        QCOMPARE(h.Label(), QStringLiteral("Image: 01 Size:3x1"));
        QCOMPARE(h.Pixel(0, 0), Rgb(Green));
    }

    void refusedEditsChangeNothingAndPushNoStep()
    {
        Harness h;
        h.Select(0);
        h.form.RenameEntryTo(0, QStringLiteral("BETA"));  // equal to another name, ignoring case
        h.form.RenameEntryTo(0, QStringLiteral("caf\u00E9\u20AC"));  // not an 8-bit character
        h.form.ReplaceImageFrom(h.folder / "missing.tga");
        QCOMPARE(h.dialogs.messages.size(), size_t{3});
        QVERIFY(h.dialogs.messages[1].text.contains(QStringLiteral("8-bit")));
        QCOMPARE(h.form.UndoStack()->count(), 0);
        QCOMPARE(h.List(), QStringList({"alpha", "beta", "gamma"}));
        QVERIFY(!h.form.isWindowModified());
    }

    void commandsFollowTheSelectionAndTheKind()
    {
        Harness h;
        for (QAction* command : {h.form.MnuEditMoveUp(), h.form.MnuEditDeleteEntry(), h.form.MnuEditRenameEntry(),
                                 h.form.MnuEditReplaceImage(), h.form.MnuEditExportImage()})
            QVERIFY(!command->isEnabled());
        QVERIFY(h.form.MnuEditNewEntry()->isEnabled());
        h.Select(2);
        QVERIFY(h.form.MnuEditReplaceImage()->isEnabled() && h.form.MnuEditInsertImage()->isEnabled());
        QVERIFY(!h.form.MnuEditMoveDown()->isEnabled());  // the last entry

        // A vehicle slot is replaced, never inserted or deleted.
        Harness v(RealFileSystem(), Samples::BuildVehicleFile(Samples::SampleVehicleEntries()), "cars.azp");
        v.Select(0);
        QVERIFY(v.form.MnuEditReplaceImage()->isEnabled());
        QVERIFY(!v.form.MnuEditInsertImage()->isEnabled() && !v.form.MnuEditDeleteImage()->isEnabled());
    }

    void exportSuggestsTheExtractionNameAndWritesTheImage()
    {
        Harness h;
        h.Select(0, 1);
        const fs::path out = h.folder / "exported.png";
        h.dialogs.savePaths.push_back(out);
        h.form.MnuEditExportImage()->trigger();
        QCOMPARE(h.dialogs.saveDialogs.back().start, PathText(h.folder / "alpha_001.tga"));
        ImageBuffer read;
        ReadPNG(RealFileSystem(), out, read);
        QCOMPARE(read.ImageWidth, 3);
        QCOMPARE(read.ImageBytes, Solid(3, 1, Green).Bytes());
        QCOMPARE(h.form.UndoStack()->count(), 0);  // an export changes nothing
    }

    void newEntryOffersTheKindsTheFileHolds()
    {
        Harness v(RealFileSystem(), Samples::BuildVehicleFile(Samples::SampleVehicleEntries()), "cars.azp");
        v.dialogs.newEntries.push_back(ModalDialogs::NewEntry{QStringLiteral("ghost"), 1});
        v.form.MnuEditNewEntry()->trigger();
        QCOMPARE(v.dialogs.newEntryKinds.back(), QStringList({"Vehicle", "Shadow"}));
        QCOMPARE(v.form.CurrentDocument()->Entries().back().name, std::string("ghost"));
        QCOMPARE(v.form.CurrentDocument()->Entries().back().kind, EntryKind::Shadow);
        QCOMPARE(v.form.List1()->currentRow(), v.form.List1()->count() - 1);
    }

    // ---- The list ------------------------------------------------------------------

    void renameInPlaceAndDragReorderAreSteps()
    {
        Harness h;
        h.Select(1);
        h.form.MnuEditRenameEntry()->trigger();
        auto* editor = h.form.List1()->viewport()->findChild<QLineEdit*>();
        QVERIFY(editor);
        editor->setText(QStringLiteral("bravo"));
        // What the editor's delegate does on Enter.
        Q_EMIT h.form.List1()->itemDelegate()->commitData(editor);
        Q_EMIT h.form.List1()->itemDelegate()->closeEditor(editor);
        QCOMPARE(h.List(), QStringList({"alpha", "bravo", "gamma"}));
        QCOMPARE(h.UndoText(), QStringLiteral("Undo Rename Entry"));

        // Where a dragged row lands, and the drop made a step.
        auto* list = qobject_cast<EntryList*>(h.form.List1());
        const auto rowRect = [&](int row) { return list->visualItemRect(list->item(row)); };
        QCOMPARE(list->DropPosition(0, rowRect(2).center() + QPoint(0, 40)), 2);  // below every row
        QCOMPARE(list->DropPosition(2, rowRect(0).topLeft() + QPoint(2, 1)), 0);   // upper half of the first
        QCOMPARE(list->DropPosition(0, rowRect(1).bottomLeft() - QPoint(-2, 1)), 1);  // lower half of the second
        QCOMPARE(list->DropPosition(1, rowRect(1).center() - QPoint(0, 1)), 1);    // onto itself
        h.Select(0);
        Q_EMIT list->NameDropped(0, 2);
        QCOMPARE(h.List(), QStringList({"bravo", "gamma", "alpha"}));
        QCOMPARE(h.form.CurrentDocument()->Entries()[2].name, std::string("alpha"));
        h.Undo();
        h.Undo();
        QCOMPARE(h.List(), QStringList({"alpha", "beta", "gamma"}));
    }

    void filterNarrowsTheListAndCommandsKeepEntryNumbers()
    {
        Harness h;
        QTest::keySequence(&h.form, QKeySequence::Find);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(h.form.EntryFilter()));
        h.form.EntryFilter()->setText(QStringLiteral("MM"));  // letter case ignored
        QVERIFY(h.form.List1()->item(0)->isHidden() && h.form.List1()->item(1)->isHidden());
        QVERIFY(!h.form.List1()->item(2)->isHidden());
        h.Select(2);
        h.form.MnuEditDeleteEntry()->trigger();
        QCOMPARE(h.List(), QStringList({"alpha", "beta"}));
        QCOMPARE(h.form.CurrentDocument()->Entries().size(), size_t{2});
        h.Undo();  // put back hidden rows and the filtered one alike
        QVERIFY(!h.form.List1()->item(2)->isHidden() && h.form.List1()->item(0)->isHidden());
        QTest::keyClick(h.form.EntryFilter(), Qt::Key_Escape);
        QVERIFY(h.form.EntryFilter()->text().isEmpty());
        QVERIFY(!h.form.List1()->item(0)->isHidden());
    }

    void listGrowsWithTheWindowAndShowsLongNamesInTooltips()
    {
        const std::string longName(32, 'W');  // as long as a gadget name field
        Harness h(RealFileSystem(), Samples::BuildGadgetFile(1, {GadgetEntry{"short", 0, {}}, GadgetEntry{longName, 0, {}}}));
        QCOMPARE(h.form.List1()->geometry(), QRect(8, 64, 209, 276));
        h.form.resize(h.form.width(), h.form.height() + 100);
        QApplication::processEvents();
        QCOMPARE(h.form.List1()->geometry(), QRect(8, 64, 209, 376));

        const auto tooltipAt = [&](int row) {
            QToolTip::hideText();
            const QPoint at = h.form.List1()->visualItemRect(h.form.List1()->item(row)).center();
            QHelpEvent help(QEvent::ToolTip, at, h.form.List1()->viewport()->mapToGlobal(at));
            QApplication::sendEvent(h.form.List1()->viewport(), &help);
            return QToolTip::isVisible() ? QToolTip::text() : QString();
        };
        QCOMPARE(tooltipAt(0), QString());
        QCOMPARE(tooltipAt(1), QString::fromStdString(longName));
    }

    void thumbnailsShowTheEditedImages()
    {
        Harness h;
        h.form.MnuViewThumbnails()->trigger();
        h.Select(1);
        h.form.ReplaceImageFrom(h.WriteImage("red.tga", Solid(2, 2, Red)));
        ThumbnailModel* model = h.form.Thumbnails()->Model();
        QTRY_VERIFY(model->Holds(0));
        const QPixmap thumbnail = model->data(model->index(0), Qt::DecorationRole).value<QPixmap>();
        QCOMPARE(thumbnail.toImage().pixel(0, 0), Rgb(Red));
    }

    void openDialogStartsOnTheFilterLastUsedAndRemembersIt()
    {
        Harness h;
        QSettings settings(PathText(h.folder / "settings.ini"), QSettings::IniFormat);
        h.form.RememberIn(settings);
        const QString all = QStringLiteral("All containers (*.gdg *.pix *.azp)");
        h.dialogs.chosenFilter = all;
        for (int open = 0; open < 2; ++open) {
            h.dialogs.choices.push_back(h.container);
            QTest::keySequence(&h.form, QKeySequence(Qt::CTRL | Qt::Key_O));
        }
        QCOMPARE(h.dialogs.openFilters, std::vector<QString>({QString(), all}));

        Testing::ScriptedDialogs dialogs;
        Form1 later(dialogs, RealFileSystem(), h.folder);
        later.RememberIn(settings);
        later.MnuFileOpen()->trigger();
        QCOMPARE(dialogs.openFilters, std::vector<QString>({all}));
    }

    void statusCountsImagesAndOpeningClearsThePicture()
    {
        Harness h;
        h.Select(0, 1);
        QCOMPARE(h.form.ImagePosition()->text(), QStringLiteral("Image 2 of 2"));
        h.form.OpenFile(h.container);
        QCOMPARE(h.Label(), QString());
        QVERIFY(h.form.Picture1()->BackingImage().isNull());
        QCOMPARE(h.form.ImagePosition()->text(), QString());
    }

    // ---- Hotspots and drops --------------------------------------------------------

    void hotspotsMoveByKeysMouseAndPanelEachAStep()
    {
        Harness h(RealFileSystem(), VehicleWithHotspots(), "cars.azp");
        h.form.MnuViewShowHotspots()->trigger();
        h.form.MnuViewImagePanel()->trigger();
        h.Select(0, 3);
        const auto values = [&] { return h.form.CurrentDocument()->Image(0, 3).hotspots; };
        QCOMPARE(h.form.Picture1()->Hotspots(), std::vector<QPoint>({QPoint(2, 3), QPoint(5, 6)}));

        QTest::keyClick(&h.form, Qt::Key_Right, Qt::AltModifier);
        QTest::keyClick(&h.form, Qt::Key_Down, Qt::AltModifier | Qt::ShiftModifier);
        QCOMPARE(values(), std::vector<int32_t>({3, 11, 5, 6}));
        QCOMPARE(h.form.Picture1()->Hotspots().front(), QPoint(3, 11));
        QCOMPARE(h.form.ImageDetails()->Values(), values());

        // The second crosshair dragged from (5, 6) to (7, 1): one step.
        const QPoint from = h.form.Picture1()->ScreenPointOf(QPoint(5, 6)).toPoint();
        const QPoint to = h.form.Picture1()->ScreenPointOf(QPoint(7, 1)).toPoint();
        SendMouse(h.form.Picture1(), QEvent::MouseButtonPress, from);
        SendMouse(h.form.Picture1(), QEvent::MouseMove, to);
        SendMouse(h.form.Picture1(), QEvent::MouseButtonRelease, to);
        QCOMPARE(values(), std::vector<int32_t>({3, 11, 7, 1}));
        QCOMPARE(h.form.SelectedHotspot(), 1);
        QCOMPARE(h.form.UndoStack()->count(), 3);
        QCOMPARE(h.UndoText(), QStringLiteral("Undo Move Hotspot"));

        // The panel's fields: the value typed, confirmed.
        auto* field = h.form.ImageDetails()->findChild<QSpinBox*>(QStringLiteral("HotspotValue2"));
        field->setValue(-4);
        Q_EMIT field->editingFinished();
        QCOMPARE(values(), std::vector<int32_t>({3, 11, -4, 1}));

        for (int step = 0; step < 4; ++step)
            h.Undo();
        QCOMPARE(values(), std::vector<int32_t>({2, 3, 5, 6}));
        QCOMPARE(h.Saved(), h.original);
    }

    void shadowHotspotsStayWithinSixteenBitsAndGadgetImagesHaveNone()
    {
        Harness v(RealFileSystem(), VehicleWithHotspots(), "cars.azp");
        v.Select(1);
        v.form.MoveHotspotTo(0, QPoint(-32760, 0));
        v.form.MoveSelectedHotspot(-8, 0);  // to -32768: the last value a shadow holds
        QCOMPARE(v.form.CurrentDocument()->Image(1, 0).hotspots, std::vector<int32_t>({-32768, 0}));
        v.form.MoveSelectedHotspot(-1, 0);
        QCOMPARE(v.dialogs.messages.size(), size_t{1});  // refused, and said so
        QCOMPARE(v.form.CurrentDocument()->Image(1, 0).hotspots, std::vector<int32_t>({-32768, 0}));

        Harness h;
        h.Select(0);
        h.form.MoveSelectedHotspot(1, 0);
        QCOMPARE(h.dialogs.beeps, 1);
        QCOMPARE(h.form.UndoStack()->count(), 0);
    }

    void imageFileDroppedOnThePictureReplacesTheImage()
    {
        Harness h;
        h.Select(2);
        const fs::path png = h.folder / "dropped.png";
        const Picture blue = Solid(3, 3, Blue);
        WritePNG(RealFileSystem(), png, ImageBuffer{3, 3, blue.Bytes()});
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(PathText(png))});
        const QPoint at(2, 2);
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(h.form.Picture1(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(h.form.Picture1(), &drop);
        QCOMPARE(h.UndoText(), QStringLiteral("Undo Replace Image"));
        QCOMPARE(h.Label(), QStringLiteral("Image: 00 Size:3x3"));
        QCOMPARE(h.Pixel(2, 2), Rgb(Blue));
        QCOMPARE(h.form.CurrentSession().Container().FileName, h.container);  // not opened as a container
    }

    // ---- Saving ----------------------------------------------------------------------

    void saveWritesWhatWasShownAndReopensTheSame()
    {
        Harness h;
        h.Select(2);
        h.form.ReplaceImageFrom(h.WriteImage("blue.tga", Solid(2, 3, Blue)));
        h.form.RenameEntryTo(2, QStringLiteral("zeta"));
        h.form.MnuFileSave()->trigger();
        QVERIFY(!h.form.isWindowModified());
        QVERIFY(!h.form.MnuFileSave()->isEnabled());
        QVERIFY(h.Status().contains(QStringLiteral("Saved")));
        QCOMPARE(h.form.UndoStack()->count(), 2);  // the steps stay, the file is their clean point

        Testing::ScriptedDialogs dialogs;
        Form1 again(dialogs, RealFileSystem(), h.folder);
        again.OpenFile(h.container);
        again.List1()->setCurrentRow(2);
        QCOMPARE(again.List1()->item(2)->text(), QStringLiteral("zeta"));
        QCOMPARE(again.Label1()->text(), QStringLiteral("Image: 00 Size:2x3"));
        QCOMPARE(again.Picture1()->grab().toImage().pixel(1, 2), Rgb(Blue));

        h.Undo();  // back past the save: unsaved again
        QVERIFY(h.form.isWindowModified());
    }

    void failedSaveKeepsTheFileAndTheSteps()
    {
        for (const Testing::FileOperation operation :
             {Testing::FileOperation::Create, Testing::FileOperation::Write, Testing::FileOperation::Sync,
              Testing::FileOperation::Rename}) {
            Testing::FaultyFileSystem files;
            Harness h(files);
            h.Select(0);
            h.form.RenameEntryTo(0, QStringLiteral("first"));
            files.FailAt(operation, files.Count(operation) + 1, ENOSPC);
            h.form.MnuFileSave()->trigger();
            QCOMPARE(h.dialogs.messages.size(), size_t{1});
            QVERIFY(h.dialogs.messages[0].text.contains(QStringLiteral("items.gdg")));
            QVERIFY(Samples::ReadBytes(h.container) == h.original);
            QVERIFY(h.form.isWindowModified());
            QCOMPARE(h.form.UndoStack()->count(), 1);
            QVERIFY(h.form.isEnabled() && !h.form.ProgressWindow());
            QStringList names;
            for (const auto& item : fs::directory_iterator(h.folder))
                names << QString::fromStdString(item.path().filename().string());
            QCOMPARE(names, QStringList({"items.gdg"}));
        }
    }

    // ---- Leaving with unsaved changes -----------------------------------------------

    void everyWayOfLeavingAsksAndFollowsTheAnswer()
    {
        const std::vector<std::pair<const char*, std::function<void(Harness&, const fs::path&)>>> ways{
            {"open", [](Harness& h, const fs::path& other) {
                 h.dialogs.choices.push_back(other);
                 h.form.MnuFileOpen()->trigger();
             }},
            {"recent", [](Harness& h, const fs::path& other) {
                 h.form.OpenFile(h.container);  // as Open Recent and the command line do
                 (void)other;
             }},
            {"drop", [](Harness& h, const fs::path& other) {
                 QMimeData data;
                 data.setUrls({QUrl::fromLocalFile(PathText(other))});
                 QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
                 QApplication::sendEvent(&h.form, &enter);
                 QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
                 QApplication::sendEvent(&h.form, &drop);
             }},
            {"close", [](Harness& h, const fs::path&) { h.form.close(); }},
        };
        for (const auto& [way, leave] : ways) {
            for (const SaveChoice answer : {SaveChoice::Cancel, SaveChoice::Discard, SaveChoice::Save}) {
                Harness h;
                h.form.show();
                const fs::path other = h.folder / "other.gdg";
                Samples::WriteBytes(other, Samples::BuildGadgetFile(1, {GadgetEntry{"solo", 0, {}}}));
                h.Select(0);
                h.form.RenameEntryTo(0, QStringLiteral("first"));
                h.dialogs.saveChoice = answer;
                leave(h, other);
                QVERIFY2(h.dialogs.saveQuestions.size() == 1, way);
                QVERIFY(h.dialogs.saveQuestions[0].contains(QStringLiteral("items.gdg")));
                const bool left = answer != SaveChoice::Cancel;
                const bool closedUnsaved = std::string(way) == "close" && answer == SaveChoice::Discard;
                QVERIFY2(h.form.isWindowModified() == (!left || closedUnsaved), way);
                const bool saved = Samples::ReadBytes(h.container) != h.original;
                QCOMPARE(saved, answer == SaveChoice::Save);
                if (std::string(way) == "close")
                    QCOMPARE(h.form.isVisible(), !left);
                if (answer == SaveChoice::Cancel)
                    QCOMPARE(h.List().first(), QStringLiteral("first"));
            }
        }
    }

    void extractAndRebuildAskToSaveFirst()
    {
        Harness h;
        h.Select(0);
        h.form.RenameEntryTo(0, QStringLiteral("first"));
        h.dialogs.saveFirst = false;
        h.form.MnuFileExtract()->trigger();
        QCOMPARE(h.dialogs.saveFirstQuestions.size(), size_t{1});
        QCOMPARE(h.dialogs.saveFirstQuestions[0].title, QStringLiteral("Extract"));
        QVERIFY(!fs::exists(h.folder / "first_000.tga") && !fs::exists(h.folder / "alpha_000.tga"));

        h.dialogs.saveFirst = true;
        h.form.MnuFileExtract()->trigger();
        QVERIFY(fs::exists(h.folder / "first_000.tga"));
        QVERIFY(!h.form.isWindowModified());

        // A rebuild replaces the file: the view starts again from it.
        h.form.MnuFileRebuild()->trigger();
        QCOMPARE(h.dialogs.saveFirstQuestions.size(), size_t{2});  // nothing unsaved: not asked
        QCOMPARE(h.Label(), QString());
        QCOMPARE(h.form.UndoStack()->count(), 0);
        QCOMPARE(h.form.CurrentDocument()->Entries()[0].name, std::string("first"));
    }
};

QTEST_MAIN(EditTests)
#include "edit_tests.moc"
