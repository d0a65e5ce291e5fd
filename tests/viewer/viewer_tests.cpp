// The viewer's additions to Form1: zoom, Fit, the status bar readout,
// Previous/Next/First/Last, thumbnails, opening by name, by drop and from
// Open Recent, and Copy Image. Settings live in a temporary file.
#include <filesystem>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include "app/form1.h"
#include "app/image_view.h"
#include "app/modal_dialogs.h"
#include "app/thumbnails.h"
#include "io/files.h"
#include "samples/sample_containers.h"
#include "tests/window/scripted_dialogs.h"

namespace fs = std::filesystem;
using namespace Brimwork;
using Samples::GadgetEntry;
using Samples::Picture;

namespace {

constexpr uint16_t Red = 0x7C00, Green = 0x03E0, Blue = 0x001F, White = 0x7FFF;

QRgb Rgb(uint16_t word)
{
    const int r = (word >> 10) & 31, g = (word >> 5) & 31, b = word & 31;
    return qRgb(r << 3 | r >> 2, g << 3 | g >> 2, b << 3 | b >> 2);
}

// 4 x 2, every pixel its own colour; (1, 0) has bit 15 set.
Picture Checks() { return Picture{4, 2, {Red, 0x8000 | Red, Blue, White, Green, Blue, White, 0x0421}}; }

struct Harness {
    QTemporaryDir temp;
    fs::path folder{PathFromText(temp.path())};
    Testing::ScriptedDialogs dialogs;
    Form1 form{dialogs, RealFileSystem(), folder};

    fs::path Write(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        Samples::WriteBytes(folder / name, bytes);
        return folder / name;
    }
    fs::path Write(const std::string& name, const std::vector<GadgetEntry>& entries)
    {
        return Write(name, Samples::BuildGadgetFile(0, entries));
    }
    void Show()
    {
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
    }
    QString Label() const { return form.Label1()->text(); }
    QImage Screen() const { return form.Picture1()->grab().toImage(); }
    void Hover(QPoint at) const
    {
        QMouseEvent move(QEvent::MouseMove, at, form.Picture1()->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(form.Picture1(), &move);
    }
};

// A shadow entry of `frames` frames, frame f being f + 1 pixels wide.
std::vector<uint8_t> ShadowFile(int frames)
{
    Samples::VehicleEntry shadow{"shade", 0, true, {}, {}};
    for (int f = 0; f < frames; ++f)
        shadow.frames.push_back(Samples::EncodeShadow({std::vector<bool>(static_cast<size_t>(f % 50 + 1), true)}));
    return Samples::BuildVehicleFile({shadow});
}

std::vector<GadgetEntry> ThreeSteps()
{
    using Samples::Solid;
    return {GadgetEntry{"steps", 0, {Solid(1, 1, Red), Solid(2, 1, Green), Solid(3, 1, Blue)}}};
}

}  // namespace

class ViewerTests : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // ---- Zoom --------------------------------------------------------------------

    void zoomDrawsEveryPixelAsAnExactSquare()
    {
        Harness h;
        h.Show();
        h.form.OpenFile(h.Write("a.gdg", {GadgetEntry{"checks", 0, {Checks()}}}));
        h.form.List1()->setCurrentRow(0);
        const Picture picture = Checks();
        for (int step : {1, 3, 16}) {
            h.form.Picture1()->SetZoomStep(step);
            QCOMPARE(h.form.Picture1()->geometry(), QRect(248, 64, 4 * step, 2 * step));
            const QImage shown = h.Screen();
            for (int y = 0; y < shown.height(); ++y)
                for (int x = 0; x < shown.width(); ++x)
                    QCOMPARE(shown.pixel(x, y), Rgb(picture.pixels[static_cast<size_t>(y / step * 4 + x / step)]));
        }
        QCOMPARE(h.Label(), QStringLiteral("Image: 00 Size:4x2"));  // the label keeps its text
    }

    void zoomStepsAndShortcuts()
    {
        Harness h;
        h.Show();
        h.form.OpenFile(h.Write("a.gdg", {GadgetEntry{"checks", 0, {Checks()}}}));
        h.form.List1()->setCurrentRow(0);
        QList<double> scales;
        for (int press = 0; press < 9; ++press) {
            QTest::keyClick(&h.form, Qt::Key_Equal, Qt::ControlModifier);
            scales << h.form.Picture1()->Scale();
        }
        QCOMPARE(scales, QList<double>({2, 3, 4, 6, 8, 12, 16, 16, 16}));
        QTest::keyClick(&h.form, Qt::Key_Minus, Qt::ControlModifier);
        QCOMPARE(h.form.Picture1()->Scale(), 12.0);
        QTest::keyClick(&h.form, Qt::Key_0, Qt::ControlModifier);
        QCOMPARE(h.form.Picture1()->Scale(), 1.0);
        QCOMPARE(h.form.ZoomReadout()->text(), QStringLiteral("Zoom: 100%"));
    }

    void ctrlWheelZoomsAroundTheCursor()
    {
        Harness h;
        h.Show();
        h.form.OpenFile(h.Write("a.gdg", {GadgetEntry{"big", 0, {Samples::Gradient(400, 300)}}}));
        h.form.List1()->setCurrentRow(0);
        ImageView* view = h.form.Picture1();
        const QPoint at(100, 80);  // image pixel (100, 80) at 1x
        QWheelEvent wheel(at, view->mapToGlobal(at), {}, QPoint(0, 120), Qt::NoButton, Qt::ControlModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(view, &wheel);
        QCOMPARE(view->Scale(), 2.0);
        QCOMPARE(view->PixelAt(at), std::optional<QPoint>(QPoint(100, 80)));
        QVERIFY(view->HorizontalScrollBar()->isVisible() && view->VerticalScrollBar()->isVisible());
        QCOMPARE(view->pos(), QPoint(248, 64));
    }

    void fitTakesTheLargestStepOrScalesDownAndHolds()
    {
        Harness h;
        h.Show();
        h.form.OpenFile(h.Write("s.pix", Samples::BuildScreenFile(
                                              0, {Samples::ScreenEntry{"small", Samples::Solid(40, 30, Red)},
                                                  Samples::ScreenEntry{"large", Samples::Gradient(1024, 768)}})));
        h.form.List1()->setCurrentRow(1);
        ImageView* view = h.form.Picture1();
        QVERIFY(view->HorizontalScrollBar()->isVisible() && view->VerticalScrollBar()->isVisible());
        const QSize room = view->Room();
        QCOMPARE(room, QSize(353, 281));
        const int bar = view->VerticalScrollBar()->width();
        QCOMPARE(view->size(), room - QSize(bar, bar));  // scroll bars within the room

        h.form.MnuViewZoomToFit()->trigger();
        QCOMPARE(view->size(), QSize(353, 264));  // 1024 x 768 scaled by 353/1024
        QVERIFY(!view->HorizontalScrollBar()->isVisible() && !view->VerticalScrollBar()->isVisible());
        QCOMPARE(h.form.ZoomReadout()->text(), QStringLiteral("Zoom: 34% (Fit)"));

        h.form.List1()->setCurrentRow(0);  // Fit holds: 40 x 30 takes step 8
        QCOMPARE(view->Scale(), 8.0);
        QCOMPARE(view->size(), QSize(320, 240));
        QCOMPARE(h.form.ZoomReadout()->text(), QStringLiteral("Zoom: 800% (Fit)"));

        h.form.resize(h.form.width() + 200, h.form.height() + 200);  // the room grows with the window
        QTRY_COMPARE(view->Room(), QSize(553, 481));
        QCOMPARE(view->Scale(), 12.0);
    }

    // ---- Readout -----------------------------------------------------------------

    void readoutGivesThePixelUnderTheCursor_data()
    {
        QTest::addColumn<int>("step");
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<QString>("readout");
        QTest::newRow("1x red") << 1 << QPoint(0, 0) << "X: 0  Y: 0  Word: 0x7C00  R: 31  G: 0  B: 0";
        QTest::newRow("1x bit 15") << 1 << QPoint(1, 0) << "X: 1  Y: 0  Word: 0xFC00  R: 31  G: 0  B: 0";
        QTest::newRow("3x") << 3 << QPoint(11, 5) << "X: 3  Y: 1  Word: 0x0421  R: 1  G: 1  B: 1";
        QTest::newRow("16x edge") << 16 << QPoint(31, 16) << "X: 1  Y: 1  Word: 0x001F  R: 0  G: 0  B: 31";
        QTest::newRow("outside") << 1 << QPoint(300, 200) << "";
    }

    void readoutGivesThePixelUnderTheCursor()
    {
        QFETCH(int, step);
        QFETCH(QPoint, at);
        QFETCH(QString, readout);
        Harness h;
        h.Show();
        h.form.OpenFile(h.Write("a.gdg", {GadgetEntry{"checks", 0, {Checks()}}}));
        h.form.List1()->setCurrentRow(0);
        h.form.Picture1()->SetZoomStep(step);
        h.Hover(at);
        QCOMPARE(h.form.PixelReadout()->text(), readout);
        QCOMPARE(h.form.ZoomReadout()->text(), QStringLiteral("Zoom: %1%").arg(step * 100));
    }

    // ---- Previous, Next, First, Last ---------------------------------------------

    void previousNextFirstLastWrapFromAnywhere()
    {
        Harness h;
        h.Show();
        h.form.OpenFile(h.Write("a.gdg", ThreeSteps()));
        h.form.List1()->setCurrentRow(0);
        h.form.List1()->setFocus();  // the keys work with the list focused too
        QStringList labels;
        for (Qt::Key key : {Qt::Key_Left, Qt::Key_Left, Qt::Key_Right, Qt::Key_Right, Qt::Key_End, Qt::Key_Home}) {
            QTest::keyClick(h.form.List1(), key);
            labels << h.Label();
        }
        QCOMPARE(labels, QStringList({"Image: 02 Size:3x1", "Image: 01 Size:2x1", "Image: 02 Size:3x1",
                                      "Image: 00 Size:1x1", "Image: 02 Size:3x1", "Image: 00 Size:1x1"}));
        QCOMPARE(h.form.List1()->currentRow(), 0);
        QCOMPARE(h.dialogs.beeps, 0);
    }

    void previousThroughALongShadowAndOnAScreen()
    {
        Harness h;
        h.form.OpenFile(h.Write("cars.azp", ShadowFile(2000)));
        h.form.List1()->setCurrentRow(0);
        h.form.MnuViewPreviousImage()->trigger();  // wraps to the last frame
        QCOMPARE(h.Label(), QStringLiteral("Image: 1999 Size:50x1"));
        h.form.MnuViewPreviousImage()->trigger();
        QCOMPARE(h.Label(), QStringLiteral("Image: 1998 Size:49x1"));
        h.form.MnuViewNextImage()->trigger();
        h.form.MnuViewNextImage()->trigger();
        QCOMPARE(h.Label(), QStringLiteral("Image: 00 Size:1x1"));

        h.form.OpenFile(h.Write("intro.pix", Samples::BuildScreenFile(0, {{"title", Checks()}})));
        h.form.List1()->setCurrentRow(0);
        h.form.MnuViewPreviousImage()->trigger();  // one image: a beep, as "Next Image" gives
        QCOMPARE(h.Label(), QStringLiteral("Image: 00 Size:4x2"));
        QCOMPARE(h.dialogs.beeps, 1);
        QVERIFY(h.dialogs.messages.empty());
    }

    // ---- Thumbnails --------------------------------------------------------------

    void thumbnailClickShowsThatImage()
    {
        Harness h;
        h.Show();
        h.form.OpenFile(h.Write("a.gdg", ThreeSteps()));
        h.form.List1()->setCurrentRow(0);
        const int width = h.form.width();
        QTest::keyClick(&h.form, Qt::Key_T, Qt::ControlModifier);
        QVERIFY(h.form.Thumbnails()->isVisible());
        QVERIFY(h.form.width() > width);  // the panel takes room beside the controls
        QCOMPARE(h.form.centralWidget()->width(), 614);
        ThumbnailModel* model = h.form.Thumbnails()->Model();
        QCOMPARE(model->rowCount(), 3);
        QTRY_VERIFY(model->Holds(0) && model->Holds(1) && model->Holds(2));
        QCOMPARE(model->data(model->index(2), Qt::DisplayRole).toString(), QStringLiteral("02"));
        QCOMPARE(model->data(model->index(2), Qt::DecorationRole).value<QPixmap>().size(), QSize(63, 21));

        QListView* view = h.form.Thumbnails()->View();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(model->index(2)).center());
        QCOMPARE(h.Label(), QStringLiteral("Image: 02 Size:3x1"));
        QCOMPARE(h.form.ImageIndex(), 2);
        QCOMPARE(view->currentIndex().row(), 2);
    }

    void thumbnailsDecodeOnlyWhatIsInSight()
    {
        Harness h;
        h.Show();
        h.form.OpenFile(h.Write("cars.azp", ShadowFile(2000)));
        h.form.List1()->setCurrentRow(0);
        h.form.MnuViewThumbnails()->trigger();
        ThumbnailModel* model = h.form.Thumbnails()->Model();
        QCOMPARE(model->rowCount(), 2000);
        QTRY_VERIFY(model->Holds(0) && model->Holds(5));
        QTest::qWait(200);  // whatever else was to come, has come
        QVERIFY2(model->Decoded() < 200, qPrintable(QString::number(model->Decoded())));
        QVERIFY(!model->Holds(1000));
    }

    // ---- Opening -----------------------------------------------------------------

    void fileFromTheCommandLineOpensAsOpenWould()
    {
        Harness h;
        h.Write("units.gdg", ThreeSteps());
        const QString saved = QDir::currentPath();
        QDir::setCurrent(h.temp.path());
        h.form.OpenFile("units.gdg");  // as `brimwork units.gdg` hands it over
        QDir::setCurrent(saved);
        QCOMPARE(h.form.List1()->count(), 1);
        QCOMPARE(h.form.CurrentSession().Container().FileName, h.folder / "units.gdg");
        QVERIFY(h.form.MnuFileExtract()->isEnabled() && h.form.MnuFileRebuild()->isEnabled());

        // A file that cannot be opened gets the message File > Open gives.
        h.form.OpenFile(h.folder / "gone.gdg");
        h.dialogs.choices.push_back(h.folder / "gone.gdg");
        h.form.MnuFileOpen()->trigger();
        QCOMPARE(h.dialogs.messages.size(), size_t{2});
        QCOMPARE(h.dialogs.messages[0].text, h.dialogs.messages[1].text);
        QCOMPARE(h.dialogs.messages[0].title, h.dialogs.messages[1].title);
        QCOMPARE(h.form.List1()->count(), 1);
    }

    void droppedFileOpens()
    {
        Harness h;
        const fs::path file = h.Write("dropped.gdg", ThreeSteps());
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(PathText(file))});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&h.form, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&h.form, &drop);
        QCOMPARE(h.form.List1()->count(), 1);
        QCOMPARE(h.form.CurrentSession().Container().FileName, file);

        QMimeData text;
        text.setText(QStringLiteral("not a file"));
        QDragEnterEvent refused(QPoint(10, 10), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
        refused.ignore();
        QApplication::sendEvent(&h.form, &refused);
        QVERIFY(!refused.isAccepted());
    }

    void openRecentLastFolderAndGeometrySurviveARestart()
    {
        Harness h;
        QTemporaryDir settingsFolder;
        const QString settingsFile = settingsFolder.filePath(QStringLiteral("brimwork.ini"));
        fs::create_directory(h.folder / "sub");
        {
            QSettings settings(settingsFile, QSettings::IniFormat);
            Testing::ScriptedDialogs dialogs;
            Form1 first(dialogs, RealFileSystem(), h.folder);
            first.RememberIn(settings);
            first.show();
            for (int i = 0; i < 9; ++i)
                first.OpenFile(h.Write("sub/f" + std::to_string(i) + ".gdg", ThreeSteps()));
            first.resize(700, 500);
            first.close();
        }
        QSettings settings(settingsFile, QSettings::IniFormat);
        Form1& second = h.form;
        second.RememberIn(settings);
        QCOMPARE(second.size(), QSize(700, 500));
        QCOMPARE(second.RecentFiles().size(), 8);  // the newest first, the oldest dropped
        QCOMPARE(second.RecentFiles().first(), PathText(h.folder / "sub/f8.gdg"));
        QCOMPARE(second.RecentFiles().last(), PathText(h.folder / "sub/f1.gdg"));

        const QList<QAction*> items = second.MnuFileOpenRecent()->actions();
        QCOMPARE(items.size(), 10);  // eight files, a separator, Clear Menu
        QCOMPARE(items[1]->text(), "&2 " + PathText(h.folder / "sub/f7.gdg"));
        items[1]->trigger();
        QCOMPARE(second.CurrentSession().Container().FileName, h.folder / "sub/f7.gdg");
        QCOMPARE(second.RecentFiles().first(), PathText(h.folder / "sub/f7.gdg"));

        second.MnuFileOpen()->trigger();  // cancelled; it started in the last folder
        QCOMPARE(h.dialogs.startFolders.back(), h.folder / "sub");

        second.MnuFileOpenRecent()->actions().last()->trigger();  // Clear Menu
        QVERIFY(second.RecentFiles().isEmpty());
        QCOMPARE(QSettings(settingsFile, QSettings::IniFormat).value("recentFiles").toStringList(), QStringList());
        QVERIFY(!second.MnuFileOpenRecent()->actions().last()->isEnabled());
    }

    // ---- Copy --------------------------------------------------------------------

    void copyImagePutsThePictureAtActualSize()
    {
        Harness h;
        h.Show();
        h.form.OpenFile(h.Write("a.gdg", {GadgetEntry{"checks", 0, {Checks()}}}));
        h.form.List1()->setCurrentRow(0);
        h.form.Picture1()->SetZoomStep(3);
        QGuiApplication::clipboard()->clear();
        QTest::keyClick(h.form.List1(), Qt::Key_C, Qt::ControlModifier);
        const QImage copied = QGuiApplication::clipboard()->image();
        QCOMPARE(copied.size(), QSize(4, 2));
        const Picture picture = Checks();
        for (int i = 0; i < 8; ++i)
            QCOMPARE(copied.pixel(i % 4, i / 4), Rgb(picture.pixels[static_cast<size_t>(i)]));
    }
};

QTEST_MAIN(ViewerTests)
#include "viewer_tests.moc"
