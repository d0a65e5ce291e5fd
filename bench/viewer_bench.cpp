// Measures the window's viewer: selecting a 1024 x 768 screen entry until
// it is painted (at 1x and at Fit), Previous Image at the start and at the
// end of a 2,000-frame shadow entry, and opening the thumbnail panel on
// that entry until its first row is painted. Prints medians.
//
//   brimwork-viewer-bench [--quick]
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <vector>

#include <QApplication>
#include <QListView>
#include <QListWidget>
#include <QTemporaryDir>

#include "app/form1.h"
#include "app/image_view.h"
#include "app/modal_dialogs.h"
#include "app/thumbnails.h"
#include "bench/no_dialogs.h"
#include "bench/shadow_fixture.h"
#include "io/files.h"
#include "samples/sample_containers.h"

namespace {

namespace fs = std::filesystem;
using namespace Brimwork;
using Clock = std::chrono::steady_clock;


double MedianMilliseconds(int runs, const std::function<void()>& prepare, const std::function<void()>& work)
{
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        prepare();
        const auto start = Clock::now();
        work();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

std::vector<uint8_t> ShadowFile(int frames)
{
    return Samples::BuildVehicleFile({BenchFixtures::BandedShadow(frames)});
}

void SelectToPaint(Form1& form, const fs::path& folder, int runs)
{
    const fs::path file = folder / "SCREENS.PIX";
    Samples::WriteBytes(file, Samples::BuildScreenFile(0, {{"ONE", Samples::Gradient(1024, 768)},
                                                           {"TWO", Samples::Stripes(1024, 768)}}));
    form.OpenFile(file);
    std::printf("Select to paint, a 1024 x 768 screen entry (median of %d)\n", runs);
    for (bool fit : {false, true}) {
        if (fit)
            form.MnuViewZoomToFit()->trigger();
        else
            form.MnuViewActualSize()->trigger();
        int row = 0;
        const double ms = MedianMilliseconds(
            runs, [&] { row = 1 - row; },
            [&] {
                form.List1()->setCurrentRow(row);
                form.Picture1()->repaint();
            });
        std::printf("  %-4s %8.2f ms\n", fit ? "Fit" : "1x", ms);
    }
    form.MnuViewActualSize()->trigger();
}

void PreviousImage(Form1& form, const fs::path& folder, int runs)
{
    const fs::path file = folder / "SHADOWS.AZP";
    Samples::WriteBytes(file, ShadowFile(2000));
    form.OpenFile(file);
    form.List1()->setCurrentRow(0);
    std::printf("\nPrevious Image in a 2,000-frame shadow entry (median of %d)\n", runs);
    for (int frame : {1, 1999}) {
        const double ms = MedianMilliseconds(
            runs,
            [&] {
                while (form.ImageIndex() != frame)  // not timed: back to the frame
                    form.MnuViewNextImage()->trigger();
            },
            [&] {
                form.MnuViewPreviousImage()->trigger();
                form.Picture1()->repaint();
            });
        std::printf("  at frame %4d %8.3f ms\n", frame, ms);
    }
}

void OpenThumbnails(Form1& form, int runs)
{
    // The shadow file of PreviousImage is open and its entry selected; the
    // panel opens showing the first frames.
    form.MnuViewFirstImage()->trigger();
    ThumbnailPanel* panel = form.Thumbnails();
    QListView* view = panel->View();
    int columns = 0;
    const double ms = MedianMilliseconds(
        runs,
        [&] {
            if (panel->isVisible())
                form.MnuViewThumbnails()->trigger();
            QCoreApplication::processEvents();
        },
        [&] {
            form.MnuViewThumbnails()->trigger();
            QCoreApplication::processEvents();  // lays out and paints the placeholders
            ThumbnailModel* model = panel->Model();
            // The first row: the thumbnails beside the first one, in sight.
            const QRect first = view->visualRect(model->index(0));
            columns = 1;
            while (columns < model->rowCount()) {
                const QRect next = view->visualRect(model->index(columns));
                if (next.top() != first.top() || next.right() >= view->viewport()->width())
                    break;
                ++columns;
            }
            const auto firstRowHeld = [&] {
                for (int i = 0; i < columns; ++i)
                    if (!model->Holds(i))
                        return false;
                return true;
            };
            const auto deadline = Clock::now() + std::chrono::seconds(10);
            while (!firstRowHeld()) {
                if (Clock::now() > deadline)
                    throw std::runtime_error("the first row of thumbnails did not arrive");
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            }
            view->viewport()->repaint();
        });
    std::printf("\nThumbnail panel on the 2,000-frame entry, to its first row painted (%d thumbnails; median of "
                "%d)\n  %8.2f ms\n",
                columns, runs, ms);
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const int runs = quick ? 5 : 31;

    QTemporaryDir temp;
    const fs::path folder = PathFromText(temp.path());
    BenchWork::NoDialogs dialogs;
    Form1 form(dialogs, RealFileSystem(), folder);
    form.show();
    QCoreApplication::processEvents();

    try {
        SelectToPaint(form, folder, runs);
        PreviousImage(form, folder, runs);
        OpenThumbnails(form, quick ? 3 : 11);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "brimwork-viewer-bench: %s\n", error.what());
        return 1;
    }
    return 0;
}
