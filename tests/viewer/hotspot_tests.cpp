// Hotspot crosshairs on the picture (drawing, selecting, dragging), image
// files dropped on it, and the Image panel's fields.
#include <cstdint>
#include <limits>
#include <vector>

#include <QApplication>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QUrl>

#include "app/image_panel.h"
#include "app/image_view.h"

using namespace Brimwork;

Q_DECLARE_METATYPE(std::vector<int32_t>)

namespace {

const QRgb Ground = qRgb(0, 132, 132);  // the pictures' colour: neither the line nor the outline
const QRgb Line = qRgb(255, 255, 255);
const QRgb Outline = qRgb(0, 0, 0);

DisplayPicture SolidPicture(int width, int height)
{
    QImage rows(width, height, QImage::Format_RGB555);
    rows.fill(QColor(Ground));
    return DisplayPicture{width, height, rows};
}

// A window that takes whatever is dropped on it, as the main window takes
// containers.
class DropTarget : public QWidget {
public:
    DropTarget() { setAcceptDrops(true); }
    int entered = 0, dropped = 0;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override { ++entered, event->acceptProposedAction(); }
    void dropEvent(QDropEvent* event) override { ++dropped, event->acceptProposedAction(); }
};

// The picture at (10, 10) in a window, with a room of 200 x 150.
struct ViewHarness {
    DropTarget window;
    ImageView* view = new ImageView(&window);

    explicit ViewHarness(int width = 40, int height = 30)
    {
        window.resize(260, 220);
        view->move(10, 10);
        view->SetRoom(QSize(200, 150));
        view->Show(SolidPicture(width, height));
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            qFatal("The test window was not shown");
    }
    QImage Screen() const { return view->grab().toImage(); }
    // The left button pressed, moved with or released; whether it was taken.
    bool Mouse(QEvent::Type type, QPoint at) const
    {
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, at, view->mapToGlobal(at), button, held, Qt::NoModifier);
        QApplication::sendEvent(view, &event);
        return event.isAccepted();
    }
    // Sends a drag over the picture and, when it is taken, the drop.
    bool Drop(const QList<QUrl>& urls) const
    {
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view, &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view, &drop);
        return true;
    }
};

// The first pixel of the crosshair drawn around `middle` in `shown` that
// is not as it should be, within the picture: the line to the arms' ends,
// the outline beside it, the picture past it. Empty when all are right.
QString CrosshairFault(const QImage& shown, QPoint middle, QRgb line)
{
    constexpr int Arm = CrosshairArm;
    const struct {
        int dx, dy;
        QRgb colour;
    } expected[] = {{0, 0, line},         {-Arm, 0, line},         {Arm, 0, line},           {0, -Arm, line},
                    {0, Arm, line},       {-Arm, -1, Outline},     {Arm, 1, Outline},        {-1, Arm, Outline},
                    {Arm + 1, 0, Outline}, {Arm + 2, 0, Ground},   {-Arm - 2, 0, Ground},    {0, Arm + 2, Ground},
                    {3, 3, Ground}};
    for (const auto& e : expected) {
        const QPoint at = middle + QPoint(e.dx, e.dy);
        if (shown.rect().contains(at) && shown.pixel(at) != e.colour)
            return QStringLiteral("(%1, %2) is %3, not %4")
                .arg(at.x()).arg(at.y()).arg(shown.pixel(at), 0, 16).arg(e.colour, 0, 16);
    }
    return {};
}

#define VERIFY_CROSSHAIR(shown, middle, line)                      \
    do {                                                           \
        const QString fault = CrosshairFault(shown, middle, line); \
        QVERIFY2(fault.isEmpty(), qPrintable(fault));              \
    } while (false)

}  // namespace

class HotspotTests : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // ---- Drawing -----------------------------------------------------------------

    void crosshairsSitOnTheMiddleOfTheirPixel_data()
    {
        QTest::addColumn<QSize>("image");
        QTest::addColumn<int>("step");  // 0: fitted into the room
        QTest::addColumn<QPoint>("scroll");
        QTest::addColumn<QPoint>("hotspot");
        QTest::addColumn<QPoint>("middle");
        QTest::newRow("1x") << QSize(40, 30) << 1 << QPoint() << QPoint(10, 5) << QPoint(10, 5);
        QTest::newRow("4x") << QSize(40, 30) << 4 << QPoint() << QPoint(10, 5) << QPoint(42, 22);
        QTest::newRow("3x scrolled") << QSize(200, 150) << 3 << QPoint(100, 60) << QPoint(50, 40) << QPoint(51, 61);
        QTest::newRow("fitted, half size") << QSize(400, 300) << 0 << QPoint() << QPoint(100, 60) << QPoint(50, 30);
        QTest::newRow("left of the image") << QSize(40, 30) << 2 << QPoint() << QPoint(-3, 5) << QPoint(-5, 11);
    }

    void crosshairsSitOnTheMiddleOfTheirPixel()
    {
        QFETCH(QSize, image);
        QFETCH(int, step);
        QFETCH(QPoint, scroll);
        QFETCH(QPoint, hotspot);
        QFETCH(QPoint, middle);
        ViewHarness h(image.width(), image.height());
        h.view->SetHotspots({hotspot, QPoint(image.width() - 1, image.height() - 1)});
        h.view->SetHotspotsShown(true);
        if (step == 0) {
            h.view->ZoomToFit();
        } else {
            h.view->SetZoomStep(step);
            h.view->HorizontalScrollBar()->setValue(scroll.x());
            h.view->VerticalScrollBar()->setValue(scroll.y());
        }
        QCOMPARE(QPoint(h.view->HorizontalScrollBar()->value(), h.view->VerticalScrollBar()->value()), scroll);
        VERIFY_CROSSHAIR(h.Screen(), middle, Line);
    }

    void hiddenOrSelectedHotspotsAndNewPictures()
    {
        ViewHarness h;
        const QImage plain = h.Screen();
        h.view->SetHotspots({QPoint(10, 5), QPoint(30, 20)});
        QCOMPARE(h.Screen(), plain);  // not shown until asked for

        h.view->SetHotspotsShown(true);
        h.view->SelectHotspot(1);
        QCOMPARE(h.view->SelectedHotspot(), 1);
        QImage shown = h.Screen();
        VERIFY_CROSSHAIR(shown, QPoint(10, 5), Line);
        const QRgb selected = shown.pixel(30, 20);
        QVERIFY(selected != Line && selected != Outline && selected != Ground);
        VERIFY_CROSSHAIR(shown, QPoint(30, 20), selected);

        h.view->Show(SolidPicture(50, 40));  // another picture keeps them
        VERIFY_CROSSHAIR(h.Screen(), QPoint(10, 5), Line);

        h.view->SetHotspots({QPoint(2, 2)});  // the selection is gone with its hotspot
        QCOMPARE(h.view->SelectedHotspot(), -1);
        h.view->SetHotspotsShown(false);
        QCOMPARE(h.Screen().pixel(2, 2), Ground);

        // Stored values may be anything: far off the picture, nothing shows.
        h.view->SetZoomStep(16);
        h.view->SetHotspots({QPoint(std::numeric_limits<int>::max(), std::numeric_limits<int>::min())});
        h.view->SetHotspotsShown(true);
        const QImage far = h.Screen();
        QImage ground(far.size(), far.format());
        ground.fill(QColor(Ground));
        QCOMPARE(far, ground);
    }

    // ---- Dragging ----------------------------------------------------------------

    void dragFollowsTheMouseInWholePixelsAndSignalsOnRelease()
    {
        ViewHarness h;
        h.view->SetZoomStep(4);
        h.view->SetHotspots({QPoint(2, 2), QPoint(10, 5)});
        h.view->SetHotspotsShown(true);
        QSignalSpy selected(h.view, &ImageView::HotspotSelected);
        QSignalSpy moved(h.view, &ImageView::HotspotMoved);

        h.Mouse(QEvent::MouseButtonPress, QPoint(44, 23));  // a little off the middle (42, 22)
        QCOMPARE(selected.count(), 1);
        QCOMPARE(selected[0][0].toInt(), 1);
        QCOMPARE(h.view->SelectedHotspot(), 1);
        for (QPoint at : {QPoint(47, 25), QPoint(50, 27), QPoint(52, 28)})
            h.Mouse(QEvent::MouseMove, at);
        QCOMPARE(moved.count(), 0);
        QCOMPARE(h.view->PointedPixel(), std::optional<QPoint>(QPoint(13, 7)));  // the readout goes on
        const QImage dragged = h.Screen();  // drawn on (12, 7), gone from (10, 5)
        VERIFY_CROSSHAIR(dragged, QPoint(50, 30), dragged.pixel(50, 30));
        QCOMPARE(dragged.pixel(42, 22), Ground);

        h.Mouse(QEvent::MouseButtonRelease, QPoint(52, 28));
        QCOMPARE(moved.count(), 1);
        QCOMPARE(moved[0][0].toInt(), 1);
        QCOMPARE(moved[0][1].toPoint(), QPoint(12, 7));
        QCOMPARE(h.view->Hotspots(), std::vector<QPoint>({QPoint(2, 2), QPoint(12, 7)}));
        h.Mouse(QEvent::MouseMove, QPoint(60, 60));
        QCOMPARE(h.view->PointedPixel(), std::optional<QPoint>(QPoint(15, 15)));
        QCOMPARE(moved.count(), 1);
    }

    void dragsThatEndWhereTheyStartedOrAreCancelledSignalNothing()
    {
        ViewHarness h;
        h.view->SetZoomStep(4);
        h.view->SetHotspots({QPoint(10, 5)});
        h.view->SetHotspotsShown(true);
        QSignalSpy moved(h.view, &ImageView::HotspotMoved);

        h.Mouse(QEvent::MouseButtonPress, QPoint(42, 22));
        h.Mouse(QEvent::MouseMove, QPoint(60, 22));
        h.Mouse(QEvent::MouseMove, QPoint(43, 21));  // back within the same pixel
        h.Mouse(QEvent::MouseButtonRelease, QPoint(43, 21));

        h.Mouse(QEvent::MouseButtonPress, QPoint(42, 22));
        h.Mouse(QEvent::MouseMove, QPoint(70, 40));
        QTest::keyClick(h.view, Qt::Key_Escape);
        h.Mouse(QEvent::MouseButtonRelease, QPoint(70, 40));
        QCOMPARE(moved.count(), 0);
        QCOMPARE(h.view->Hotspots(), std::vector<QPoint>({QPoint(10, 5)}));
        const QImage back = h.Screen();
        VERIFY_CROSSHAIR(back, QPoint(42, 22), back.pixel(42, 22));
    }

    void pressesAwayFromShownCrosshairsAreLeftAlone()
    {
        ViewHarness h;
        h.view->SetHotspots({QPoint(10, 5)});
        QSignalSpy selected(h.view, &ImageView::HotspotSelected);
        QVERIFY(!h.Mouse(QEvent::MouseButtonPress, QPoint(10, 5)));  // not shown
        h.view->SetHotspotsShown(true);
        constexpr int Far = CrosshairArm + CrosshairReach;
        QVERIFY(!h.Mouse(QEvent::MouseButtonPress, QPoint(10 + Far + 1, 5)));
        QVERIFY(!h.Mouse(QEvent::MouseButtonPress, QPoint(10 + CrosshairReach + 1, 5 + CrosshairReach + 1)));
        QCOMPARE(selected.count(), 0);
        QVERIFY(h.Mouse(QEvent::MouseButtonPress, QPoint(10 + Far, 5 - CrosshairReach)));
        QCOMPARE(selected.count(), 1);
    }

    // ---- Dropping ----------------------------------------------------------------

    void imageFilesDropOnThePictureAndOthersReachTheWindow_data()
    {
        QTest::addColumn<QList<QUrl>>("urls");
        QTest::addColumn<bool>("taken");
        const auto file = [](const char* name) { return QUrl::fromLocalFile(QStringLiteral("/tmp/") + name); };
        QTest::newRow("png") << QList<QUrl>{file("a.png")} << true;
        QTest::newRow("TGA") << QList<QUrl>{file("B.TGA")} << true;
        QTest::newRow("container") << QList<QUrl>{file("cars.gdg")} << false;
        QTest::newRow("two images") << QList<QUrl>{file("a.png"), file("b.png")} << false;
        QTest::newRow("not local") << QList<QUrl>{QUrl(QStringLiteral("http://host/a.png"))} << false;
        QTest::newRow("png in the folder name") << QList<QUrl>{file("a.png/units.pix")} << false;
    }

    void imageFilesDropOnThePictureAndOthersReachTheWindow()
    {
        QFETCH(QList<QUrl>, urls);
        QFETCH(bool, taken);
        ViewHarness h;
        QSignalSpy dropped(h.view, &ImageView::ImageFileDropped);
        QVERIFY(h.Drop(urls));  // the picture or the window takes it
        QCOMPARE(dropped.count(), taken ? 1 : 0);
        if (taken)
            QCOMPARE(dropped[0][0].toString(), urls.first().toLocalFile());
        QCOMPARE(h.window.entered, taken ? 0 : 1);
        QCOMPARE(h.window.dropped, taken ? 0 : 1);
    }

    // ---- The Image panel ---------------------------------------------------------

    void panelShowsSizeValuesAndRanges_data()
    {
        QTest::addColumn<std::vector<int32_t>>("values");
        QTest::addColumn<int>("lowest");
        QTest::addColumn<int>("highest");
        constexpr int32_t Low32 = std::numeric_limits<int32_t>::min(), High32 = std::numeric_limits<int32_t>::max();
        QTest::newRow("vehicle slot") << std::vector<int32_t>{-5, 7, High32, Low32} << Low32 << High32;
        QTest::newRow("shadow frame") << std::vector<int32_t>{-32768, 32767} << -32768 << 32767;
        QTest::newRow("gadget image") << std::vector<int32_t>{} << 0 << 0;
    }

    void panelShowsSizeValuesAndRanges()
    {
        QFETCH(std::vector<int32_t>, values);
        QFETCH(int, lowest);
        QFETCH(int, highest);
        ImagePanel panel;
        panel.show();
        panel.ShowImage(64, 48, values, lowest, highest);
        QCOMPARE(panel.findChild<QLabel*>(QStringLiteral("ImageSize"))->text(), QStringLiteral("Size: 64 x 48"));
        for (int field = 0; field < ImagePanel::MostValues; ++field) {
            auto* box = panel.findChild<QSpinBox*>(QStringLiteral("HotspotValue%1").arg(field));
            const bool shown = field < static_cast<int>(values.size());
            QCOMPARE(box->isVisible() && box->isEnabled(), shown);
            if (shown)
                QCOMPARE(QList<int>({box->value(), box->minimum(), box->maximum()}),
                         QList<int>({values[static_cast<size_t>(field)], lowest, highest}));
        }
        QStringList labels;
        for (QLabel* label : panel.findChildren<QLabel*>())
            if (label->isVisible() && label->objectName().isEmpty())
                labels << label->text();
        const QStringList all{"Hotspot 1: X", "Y", "Hotspot 2: X", "Y"};
        QCOMPARE(labels, all.mid(0, static_cast<qsizetype>(values.size())));

        panel.Clear();
        QCOMPARE(panel.findChild<QLabel*>(QStringLiteral("ImageSize"))->text(), QString());
        QVERIFY(!panel.findChild<QSpinBox*>(QStringLiteral("HotspotValue0"))->isVisible());
    }

    void panelEditsHandBackEveryValue()
    {
        ImagePanel panel;
        QSignalSpy edited(&panel, &ImagePanel::HotspotsEdited);
        QSignalSpy selected(&panel, &ImagePanel::HotspotSelected);
        panel.show();
        panel.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&panel));
        // A value beyond the range it is shown in is handed back as it was.
        panel.ShowImage(8, 8, {1, 2, 3, 40000}, -32768, 32767);
        QCOMPARE(edited.count(), 0);

        auto* x2 = panel.findChild<QSpinBox*>(QStringLiteral("HotspotValue2"));
        auto* y2 = panel.findChild<QSpinBox*>(QStringLiteral("HotspotValue3"));
        y2->setFocus();
        QTRY_COMPARE(selected.count(), 1);
        QCOMPARE(selected[0][0].toInt(), 1);
        x2->setFocus();  // leaving the clamped, untouched field is no edit
        QTRY_VERIFY(x2->hasFocus());
        QCOMPARE(edited.count(), 0);

        x2->selectAll();
        QTest::keyClicks(x2, QStringLiteral("-12"));
        QCOMPARE(edited.count(), 0);  // not until confirmed
        QTest::keyClick(x2, Qt::Key_Return);
        QCOMPARE(edited.count(), 1);
        QCOMPARE(edited[0][0].value<std::vector<int32_t>>(), std::vector<int32_t>({1, 2, -12, 40000}));

        panel.ShowImage(8, 8, {5, 6}, -32768, 32767);  // another image, no signal
        panel.Clear();
        QCOMPARE(edited.count(), 1);
    }
};

QTEST_MAIN(HotspotTests)
#include "hotspot_tests.moc"
