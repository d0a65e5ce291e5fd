// Measures editing in the window, through Form1's own commands:
//   edits   every edit command and its undo, each to the view brought up to
//           date (pending events processed), on a gadget file of 16,000
//           entries and on a vehicle file whose shadow has 2,000 frames,
//           acting on the first entry (the most entries to shift) and the
//           middle frame;
//   filter  each keystroke typed into the entry filter over 16,000 names,
//           and each one taken back, to the list laid out again;
//   save    Save of W2 (40 screens of 1024x768) after one replaced image,
//           against the bare durable write of the same bytes (as
//           brimwork-durable-pack writes: 256 KiB calls, fsync, rename,
//           fsync of the folder), interleaved round by round, in a fresh
//           folder each round.
// Prints medians; a ratio is the median of the per-round ratios.
//
//   brimwork-edit-bench [--quick] [--work DIR]
// Works in DIR (a temporary folder by default: give one on the disk that
// matters, since Save forces its file to the disk). Runs on the offscreen
// platform unless QT_QPA_PLATFORM says otherwise.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>

#include "app/form1.h"
#include "bench/bench_workloads.h"
#include "bench/durable_write.h"
#include "bench/no_dialogs.h"
#include "bench/shadow_fixture.h"
#include "io/files.h"
#include "image/tga.h"
#include "samples/sample_containers.h"

namespace {

namespace fs = std::filesystem;
using namespace Brimwork;
using namespace Brimwork::BenchWork;
using Clock = std::chrono::steady_clock;

double MillisecondsOf(const std::function<void()>& work)
{
    const auto start = Clock::now();
    work();
    QCoreApplication::processEvents();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct EditCommand {
    const char* name;
    std::function<void(Form1&)> edit;
};

// Each command done and undone `runs` times on the selected entry and image;
// prints the median of each.
void TimeEdits(const char* title, Form1& form, NoDialogs& dialogs, int entry, int image,
               const std::vector<EditCommand>& commands, int runs)
{
    std::printf("%s (median of %d)\n", title, runs);
    std::printf("  %-16s %10s %10s\n", "command", "edit ms", "undo ms");
    for (const EditCommand& command : commands) {
        std::vector<double> edits, undos;
        for (int run = 0; run < runs; ++run) {
            form.List1()->setCurrentRow(entry);
            form.ShowImageAt(image);
            QCoreApplication::processEvents();
            const int before = dialogs.messages;
            edits.push_back(MillisecondsOf([&] { command.edit(form); }));
            undos.push_back(MillisecondsOf([&] { form.MnuEditUndo()->trigger(); }));
            if (dialogs.messages != before)
                throw std::runtime_error(std::string(command.name) + " was refused");
        }
        std::printf("  %-16s %10.3f %10.3f\n", command.name, Median(edits), Median(undos));
    }
    std::printf("  (goal: each at most 10 ms)\n\n");
}

std::vector<EditCommand> Commands(bool hotspots, bool images)
{
    std::vector<EditCommand> commands{
        {"Replace Image", [](Form1& form) { form.MnuEditReplaceImage()->trigger(); }},
    };
    if (images) {
        commands.push_back({"Insert Image", [](Form1& form) { form.MnuEditInsertImage()->trigger(); }});
        commands.push_back({"Delete Image", [](Form1& form) { form.MnuEditDeleteImage()->trigger(); }});
    }
    if (hotspots)
        commands.push_back({"Move Hotspot", [](Form1& form) { form.MoveSelectedHotspot(1, 0); }});
    commands.push_back({"New Entry", [](Form1& form) { form.MnuEditNewEntry()->trigger(); }});
    commands.push_back({"Rename Entry", [](Form1& form) { form.RenameEntryTo(form.List1()->currentRow(), QStringLiteral("RENAMED")); }});
    commands.push_back({"Delete Entry", [](Form1& form) { form.MnuEditDeleteEntry()->trigger(); }});
    commands.push_back({"Move Down", [](Form1& form) { form.MnuEditMoveDown()->trigger(); }});
    return commands;
}

fs::path WriteTga(const fs::path& path, const Samples::Picture& picture)
{
    WriteTGA(RealFileSystem(), path, ImageBuffer{picture.width, picture.height, picture.Bytes()});
    return path;
}

void TimeFilter(Form1& form, int runs)
{
    const QString typed = QStringLiteral("UNIT1234");
    std::vector<double> keystrokes;
    for (int run = 0; run < runs; ++run) {
        for (qsizetype length = 1; length <= typed.size(); ++length)
            keystrokes.push_back(MillisecondsOf([&] { form.EntryFilter()->setText(typed.left(length)); }));
        for (qsizetype length = typed.size() - 1; length >= 0; --length)
            keystrokes.push_back(MillisecondsOf([&] { form.EntryFilter()->setText(typed.left(length)); }));
    }
    std::sort(keystrokes.begin(), keystrokes.end());
    std::printf("Filter over 16,000 names, typing \"UNIT1234\" and taking it back (%zu keystrokes)\n"
                "  median %8.3f ms   slowest %8.3f ms   (goal: at most 30 ms a keystroke)\n\n",
                keystrokes.size(), Median(keystrokes), keystrokes.back());
}

void TimeSave(Form1& form, NoDialogs& dialogs, const fs::path& work, int rounds)
{
    const Workload w2 = Screens();
    const fs::path master = work / "master";
    fs::create_directories(master);
    Samples::WriteBytes(master / w2.fileName, w2.build());
    Random random(3);
    const fs::path replacement = WriteTga(work / "replacement.tga", Noise(1024, 768, random));
    std::vector<double> saves, durables, ratios;
    for (int round = 0; round < rounds; ++round) {
        const fs::path edited = FreshCopy(master, {w2.fileName}, work);
        form.OpenFile(edited / w2.fileName);
        form.List1()->setCurrentRow(7);
        form.ReplaceImageFrom(replacement);
        ::sync();
        const double save = MillisecondsOf([&] { form.MnuFileSave()->trigger(); });
        const fs::path bare = FreshCopy(master, {w2.fileName}, work);
        ::sync();
        const double durable = MillisecondsOf([&] { BareDurableWrite(master / w2.fileName, bare / w2.fileName); });
        if (dialogs.messages > 0)
            throw std::runtime_error("the save was refused");
        saves.push_back(save);
        durables.push_back(durable);
        ratios.push_back(save / durable);
        fs::remove_all(edited);
        fs::remove_all(bare);
    }
    std::printf("Save of W2 (60 MiB) after one replaced image, against the bare durable write (%d rounds)\n"
                "  save %8.1f ms   durable write %8.1f ms   ratio %5.2f   (goal: at most 1.1)\n",
                rounds, Median(saves), Median(durables), Median(ratios));
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    bool quick = false;
    fs::path work;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0)
            quick = true;
        else if (std::strcmp(argv[i], "--work") == 0 && i + 1 < argc)
            work = argv[++i];
    }
    const int runs = quick ? 5 : 31;

    if (!work.empty())
        fs::create_directories(work);
    QTemporaryDir temp(work.empty() ? QDir::tempPath() + QStringLiteral("/brimwork-edit-bench")
                                    : PathText(work / "edit-bench"));
    const fs::path folder = PathFromText(temp.path());
    NoDialogs dialogs;
    Form1 form(dialogs, RealFileSystem(), folder);
    form.show();
    QCoreApplication::processEvents();

    try {
        Random random(5);
        const fs::path gadget = folder / "MANY.GDG";
        Samples::WriteBytes(gadget, GadgetGrid("S16000", "", 16000, 1, 8, 8).build());
        dialogs.imageFile = WriteTga(folder / "small.tga", Noise(8, 8, random));
        dialogs.newEntry = ModalDialogs::NewEntry{QStringLiteral("NEWENTRY"), 0};
        form.OpenFile(gadget);
        TimeEdits("Edits on a gadget file of 16,000 entries, at its first entry", form, dialogs, 0, 0,
                  Commands(false, true), runs);
        TimeFilter(form, quick ? 1 : 5);

        const fs::path vehicle = folder / "SHADOWS.AZP";
        Samples::VehicleEntry car{"CAR", 1, false, {}, {}};
        for (int slot = 0; slot < 17; ++slot)
            car.slots.push_back(Samples::VehicleSlot{Noise(32, 24, random), {1, 2, 3, 4}});
        Samples::WriteBytes(vehicle, Samples::BuildVehicleFile({BenchFixtures::BandedShadow(2000), car}));
        dialogs.imageFile = WriteTga(folder / "frame.tga", Noise(32, 24, random));
        dialogs.newEntry = ModalDialogs::NewEntry{QStringLiteral("NEWSHADOW"), 1};
        form.OpenFile(vehicle);
        TimeEdits("Edits on a shadow of 2,000 frames, at frame 1,000", form, dialogs, 0, 1000,
                  Commands(true, true), runs);

        TimeSave(form, dialogs, folder, quick ? 3 : 7);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "brimwork-edit-bench: %s\n", error.what());
        return 1;
    }
    return 0;
}
