// Times the editable document and verify against the least work of the
// same job on the same file:
//   replace  Document::Open + ReplaceImageFromFile (of a TGA file written
//            beforehand) + Save of one image, in W2's screen file and W1's
//            gadget file, in a forked child; against the bare durable write
//            of the same bytes in a forked child: written in 256 KiB calls
//            as bench/durable_pack.cpp writes them, then fsync, rename over
//            the container and fsync of the folder. Also the replace's peak
//            resident memory, against 3 x the largest image + 32 MiB.
//   open     Document::Open of a gadget file of 16,000 entries of one 8x8
//            image, in this process, against listing the same file
//            (KindForFileName(...)->ListEntries), in this process too.
//   verify   Verify of W1-W4 in a forked child, against extracting the same
//            file in a forked child (Session::OpenArchive + ExtractAll into
//            a fresh folder holding a copy of the container).
// The rounds are interleaved: each round times every contender back to
// back, the order alternating from round to round. Figures are medians
// over the rounds; a ratio is the median of the per-round ratios. Every
// file work starts after a sync.
//
//   brimwork-document-bench [--work DIR] [--rounds N]
//                           [--only replace,open,verify] [--keep]

#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/bench_workloads.h"
#include "bench/durable_write.h"
#include "bench/child_run.h"
#include "container/document.h"
#include "container/kinds.h"
#include "container/session.h"
#include "io/files.h"
#include "core/window.h"
#include "image/image_buffer.h"
#include "image/tga.h"
#include "samples/sample_containers.h"
#ifdef BRIMWORK_BENCH_HAS_VERIFY
#include "container/verify.h"
#endif

namespace {

namespace fs = std::filesystem;
using namespace Brimwork;
using namespace Brimwork::BenchWork;
using Clock = std::chrono::steady_clock;

struct Options {
    fs::path work;
    int rounds = 7;
    std::vector<std::string> only;  // empty: every part
    bool keep = false;

    bool Runs(const std::string& part) const
    {
        return only.empty() || std::find(only.begin(), only.end(), part) != only.end();
    }
};

// ---------------------------------------------------------------- figures

struct Series {
    std::vector<double> seconds;
    long peakKiB = 0;
    void Add(double s, long kib = 0)
    {
        seconds.push_back(s);
        peakKiB = std::max(peakKiB, kib);
    }
};

// A contender and its baseline, round by round.
struct Contest {
    Series subject;
    Series baseline;
    double MedianRatio() const
    {
        std::vector<double> ratios;
        for (size_t i = 0; i < subject.seconds.size() && i < baseline.seconds.size(); ++i)
            ratios.push_back(subject.seconds[i] / baseline.seconds[i]);
        return Median(ratios);
    }
};

void PrintHeading(const char* subject, const char* baseline)
{
    std::printf("%-34s %10s %10s %8s %8s\n", "", subject, baseline, "ratio", "goal");
}

void PrintContest(const std::string& label, const Contest& contest, double goal)
{
    const double ratio = contest.MedianRatio();
    std::printf("%-34s %10.4f %10.4f %8.2f %7s%.1f %s\n", label.c_str(), Median(contest.subject.seconds),
                Median(contest.baseline.seconds), ratio, "<=", goal, ratio <= goal ? "met" : "MISSED");
}

double MiB(double bytes) { return bytes / 1048576.0; }

// ---------------------------------------------------------------- folders

void WriteBytes(const fs::path& path, const std::vector<uint8_t>& bytes) { Samples::WriteBytes(path, bytes); }

// Runs `work` in a forked child after a sync, so that the writeback of
// what came before does not fall into its time.
ChildRun TimedInChild(const std::string& what, const std::function<void()>& work)
{
    ::sync();
    return MustRunInChild(what, work);
}

// Gives the memory this process let go of back to the system, so that the
// children forked afterwards do not start with it counted as theirs.
void ShedMemory() { ::malloc_trim(0); }

// ---------------------------------------------------------------- replace

constexpr const char* ReplacementName = "REPLACEMENT.TGA";

struct ReplaceCase {
    Workload workload;
    size_t entry = 0;
    size_t image = 0;
    int32_t width = 0;  // of the image replaced
    int32_t height = 0;
    fs::path master;
    Contest contest;
    long inheritedKiB = 0;  // this process's resident memory at the forks

    std::string Label() const
    {
        return workload.key + " entry " + std::to_string(entry) + " image " + std::to_string(image);
    }
};

void ReplaceAndSave(const fs::path& container, const ReplaceCase& c)
{
    Document document = Document::Open(RealFileSystem(), container);
    document.ReplaceImageFromFile(c.entry, c.image, c.master / ReplacementName);
    document.Save();
}

// One replace outside the timing, checked: the saved file holds the new
// image where the old one was, the image after it unchanged, and has the
// old file's size (the new image has the old one's sides).
void CheckReplace(const ReplaceCase& c, const fs::path& runs)
{
    const std::string& name = c.workload.fileName;
    const fs::path probe = FreshCopy(c.master, {name}, runs);
    MustRunInChild("the replace's check in " + c.workload.key, [&] {
        FileSystem& files = RealFileSystem();
        const Document before = Document::Open(files, c.master / name);
        const size_t nextEntry = c.image + 1 < before.Entry(c.entry).images.size() ? c.entry : c.entry + 1;
        const size_t nextImage = nextEntry == c.entry ? c.image + 1 : 0;
        ReplaceAndSave(probe / name, c);
        const Document after = Document::Open(files, probe / name);
        if (after.LoadImage(c.entry, c.image).ImageBytes !=
            ReadImageFile(files, c.master / ReplacementName).ImageBytes)
            throw std::runtime_error("the saved file does not hold the new image");
        if (after.LoadImage(nextEntry, nextImage).ImageBytes != before.LoadImage(nextEntry, nextImage).ImageBytes)
            throw std::runtime_error("the image after the replaced one changed");
        if (fs::file_size(probe / name) != fs::file_size(c.master / name))
            throw std::runtime_error("the saved file's size differs from the original's");
    });
    fs::remove_all(probe);
}

ReplaceCase PrepareReplace(Workload workload, size_t entry, size_t image, int32_t width, int32_t height,
                           const fs::path& work, const fs::path& runs)
{
    const fs::path master = work / ("replace-" + workload.key);
    ReplaceCase c{std::move(workload), entry, image, width, height, master, {}, 0};
    std::fprintf(stderr, "preparing the replace in %s...\n", c.workload.key.c_str());
    fs::remove_all(c.master);
    fs::create_directories(c.master);
    WriteBytes(c.master / c.workload.fileName, c.workload.build());
    Random random(99);
    const Samples::Picture picture = Noise(width, height, random);
    WriteTGA(RealFileSystem(), c.master / ReplacementName, ImageBuffer{width, height, picture.Bytes()});
    ShedMemory();
    CheckReplace(c, runs);
    return c;
}

double TimeReplace(ReplaceCase& c, const fs::path& runs)
{
    const fs::path folder = FreshCopy(c.master, {c.workload.fileName}, runs);
    c.inheritedKiB = std::max(c.inheritedKiB, ResidentKiB());
    const ChildRun run = TimedInChild("the replace in " + c.workload.key,
                                      [&] { ReplaceAndSave(folder / c.workload.fileName, c); });
    c.contest.subject.Add(run.seconds, run.peakKiB);
    fs::remove_all(folder);
    return run.seconds;
}

void TimeDurableWrite(ReplaceCase& c, const fs::path& runs)
{
    const std::string& name = c.workload.fileName;
    const fs::path folder = FreshCopy(c.master, {name}, runs);
    const ChildRun run = TimedInChild("the durable write in " + c.workload.key,
                                      [&] { BareDurableWrite(c.master / name, folder / name); });
    c.contest.baseline.Add(run.seconds);
    fs::remove_all(folder);
}

void PrintReplace(const std::vector<ReplaceCase>& cases)
{
    std::printf("Replace one image and save (Document::Open + ReplaceImageFromFile + Save, forked child),\n"
                "against the bare durable write of the same bytes (256 KiB calls, fsync, rename, fsync of the\n"
                "folder; forked child), seconds\n");
    PrintHeading("replace", "durable");
    for (const auto& c : cases)
        PrintContest(c.Label() + " (" + std::to_string(c.width) + "x" + std::to_string(c.height) + ")", c.contest,
                     1.1);
    std::printf("\nPeak resident memory of the replace (ru_maxrss of the child, the largest of any round),\n"
                "counting the pages it shares with this process at the fork, MiB\n");
    std::printf("%-34s %10s %10s %10s\n", "", "peak", "at fork", "goal");
    for (const auto& c : cases) {
        const double goal = MiB(3.0 * double(c.workload.largestImageBytes)) + 32.0;
        const double peak = c.contest.subject.peakKiB / 1024.0;
        std::printf("%-34s %10.1f %10.1f %10.1f %s\n", c.Label().c_str(), peak, c.inheritedKiB / 1024.0, goal,
                    peak <= goal ? "met" : "MISSED");
    }
    std::printf("\n");
}

// ---------------------------------------------------------------- open

constexpr int OpenEntries = 16000;
// Each round times this many calls of each, alternating, and keeps their
// mean: one call takes milliseconds, which one busy moment could swamp.
constexpr int CallsPerRound = 5;

struct OpenCase {
    fs::path container;
    Contest contest;
};

OpenCase PrepareOpen(const fs::path& work)
{
    std::fprintf(stderr, "preparing the open of %d entries...\n", OpenEntries);
    const Workload w = GadgetGrid("S16000", "", OpenEntries, 1, 8, 8);
    OpenCase c{work / "open" / w.fileName, {}};
    fs::remove_all(c.container.parent_path());
    fs::create_directories(c.container.parent_path());
    WriteBytes(c.container, w.build());
    const size_t opened = Document::Open(RealFileSystem(), c.container).Entries().size();
    const size_t listed = KindForFileName(c.container.filename().string())
                              ->ListEntries(RealFileSystem(), c.container)
                              .size();
    if (opened != size_t(OpenEntries) || listed != size_t(OpenEntries))
        throw std::runtime_error("the open found " + std::to_string(opened) + " entries and the list " +
                                 std::to_string(listed) + ", not " + std::to_string(OpenEntries));
    ShedMemory();
    return c;
}

double SecondsOfOpen(const fs::path& container)
{
    const auto start = Clock::now();
    const Document document = Document::Open(RealFileSystem(), container);
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double SecondsOfList(const fs::path& container)
{
    const auto start = Clock::now();
    const auto names = KindForFileName(container.filename().string())->ListEntries(RealFileSystem(), container);
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void TimeOpenRound(OpenCase& c, bool openFirst)
{
    double open = 0;
    double list = 0;
    for (int call = 0; call < CallsPerRound; ++call) {
        if (openFirst == (call % 2 == 0)) {
            open += SecondsOfOpen(c.container);
            list += SecondsOfList(c.container);
        } else {
            list += SecondsOfList(c.container);
            open += SecondsOfOpen(c.container);
        }
    }
    c.contest.subject.Add(open / CallsPerRound);
    c.contest.baseline.Add(list / CallsPerRound);
    ShedMemory();
}

void PrintOpen(const OpenCase& c)
{
    std::printf("Document::Open of a gadget file of %d entries x 1 image of 8x8, against listing it\n"
                "(KindForFileName(...)->ListEntries), both in this process, mean of %d calls a round, seconds\n",
                OpenEntries, CallsPerRound);
    PrintHeading("open", "list");
    PrintContest("16,000 entries", c.contest, 1.5);
    std::printf("\n");
}

// ---------------------------------------------------------------- verify

struct VerifyCase {
    Workload workload;
    fs::path master;
    Contest contest;
    std::string findings;  // what verify said of the file, outside the timing
};

void ExtractInto(const fs::path& folder, const std::string& fileName)
{
    SilentWindow window;
    Session session(window, RealFileSystem(), folder);
    session.OpenArchive(folder / fileName);
    const ExtractionResult result = session.ExtractAll();
    if (!result.done || result.images == 0)
        throw std::runtime_error("the extraction wrote nothing");
}

#ifdef BRIMWORK_BENCH_HAS_VERIFY
constexpr bool VerifyBuilt = true;

void VerifyFile(const fs::path& container) { Verify(RealFileSystem(), container); }

// Verify once outside the timing: a file made by the samples' writers
// should hold no defect, and anything verify says of it is shown.
std::string FindingsOf(const fs::path& container)
{
    const VerifyReport report = Verify(RealFileSystem(), container);
    return report.findings.empty() ? "no findings" : report.Text();
}
#else
constexpr bool VerifyBuilt = false;

void VerifyFile(const fs::path&) { throw std::logic_error("verify is not built"); }
std::string FindingsOf(const fs::path&) { return {}; }
#endif

VerifyCase PrepareVerify(Workload workload, const fs::path& work)
{
    std::fprintf(stderr, "preparing verify of %s...\n", workload.key.c_str());
    VerifyCase c{std::move(workload), {}, {}, {}};
    c.master = work / ("verify-" + c.workload.key);
    fs::remove_all(c.master);
    fs::create_directories(c.master);
    WriteBytes(c.master / c.workload.fileName, c.workload.build());
    ShedMemory();
    c.findings = FindingsOf(c.master / c.workload.fileName);
    ShedMemory();
    return c;
}

void TimeVerify(VerifyCase& c)
{
    const fs::path container = c.master / c.workload.fileName;
    c.contest.subject.Add(TimedInChild("verify of " + c.workload.key, [&] { VerifyFile(container); }).seconds);
}

void TimeExtraction(VerifyCase& c, const fs::path& runs)
{
    const fs::path folder = FreshCopy(c.master, {c.workload.fileName}, runs);
    c.contest.baseline.Add(
        TimedInChild("the extraction of " + c.workload.key, [&] { ExtractInto(folder, c.workload.fileName); })
            .seconds);
    fs::remove_all(folder);
}

void PrintVerify(const std::vector<VerifyCase>& cases)
{
    std::printf("Verify against extraction of the same file (Session::OpenArchive + ExtractAll into a fresh\n"
                "folder), each in a forked child, seconds\n");
    PrintHeading("verify", "extract");
    for (const auto& c : cases)
        PrintContest(c.workload.key + " " + c.workload.description.substr(0, c.workload.description.find(':')),
                     c.contest, 0.5);
    for (const auto& c : cases)
        std::printf("verify of %s: %s\n", c.workload.key.c_str(), c.findings.c_str());
    std::printf("\n");
}

// ---------------------------------------------------------------- the bench

void Run(const Options& o)
{
    const fs::path runs = o.work / "runs";
    fs::create_directories(runs);
    std::vector<ReplaceCase> replaces;
    if (o.Runs("replace")) {
        replaces.push_back(PrepareReplace(Screens(), 20, 0, 1024, 768, o.work, runs));
        replaces.push_back(PrepareReplace(GadgetUnits(), 200, 12, 48, 40, o.work, runs));
    }
    std::optional<OpenCase> open;
    if (o.Runs("open"))
        open = PrepareOpen(o.work);
    std::vector<VerifyCase> verifies;
    const bool verify = o.Runs("verify") && VerifyBuilt;
    if (verify)
        for (auto& w : Workloads())
            verifies.push_back(PrepareVerify(std::move(w), o.work));

    for (int round = 0; round < o.rounds; ++round) {
        std::fprintf(stderr, "round %d of %d\n", round + 1, o.rounds);
        const bool subjectFirst = round % 2 == 0;
        for (auto& c : replaces) {
            if (subjectFirst)
                TimeReplace(c, runs);
            TimeDurableWrite(c, runs);
            if (!subjectFirst)
                TimeReplace(c, runs);
        }
        if (open)
            TimeOpenRound(*open, subjectFirst);
        for (auto& c : verifies) {
            if (subjectFirst)
                TimeVerify(c);
            TimeExtraction(c, runs);
            if (!subjectFirst)
                TimeVerify(c);
        }
    }

    std::printf("Median of %d interleaved rounds; ratio: median of the per-round ratios\n\n", o.rounds);
    if (!replaces.empty())
        PrintReplace(replaces);
    if (open)
        PrintOpen(*open);
    if (verify)
        PrintVerify(verifies);
    else if (o.Runs("verify"))
        std::printf("Verify: not measured. Verify has no implementation in this tree yet (the verify branch\n"
                    "has not been merged); the measurement is in place and runs once it is.\n");
}

const char* Usage = "usage: brimwork-document-bench [--work DIR] [--rounds N] "
                    "[--only replace,open,verify] [--keep]\n";

Options ParseOptions(int argc, char** argv)
{
    Options o;
    o.work = fs::current_path() / "document-work";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                throw std::runtime_error(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--work")
            o.work = value();
        else if (arg == "--rounds")
            o.rounds = std::stoi(value());
        else if (arg == "--keep")
            o.keep = true;
        else if (arg == "--only") {
            std::stringstream list(value());
            for (std::string part; std::getline(list, part, ',');)
                o.only.push_back(part);
        } else
            throw std::runtime_error("unknown option " + arg);
    }
    if (o.rounds < 1)
        throw std::runtime_error("--rounds needs at least 1");
    o.work = fs::absolute(o.work);
    return o;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    try {
        options = ParseOptions(argc, argv);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "brimwork-document-bench: %s\n%s", error.what(), Usage);
        return 2;
    }
    std::printf("Machine: %s, %ld cores; load average at start: %s\n\n",
                FirstLineOf("sed -n 's/^model name[^:]*: //p' /proc/cpuinfo | head -n 1").c_str(),
                ::sysconf(_SC_NPROCESSORS_ONLN), FirstLineOf("cut -d' ' -f1-3 /proc/loadavg").c_str());
    try {
        fs::create_directories(options.work);
        Run(options);
        if (!options.keep)
            fs::remove_all(options.work);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "brimwork-document-bench: %s\n", error.what());
        return 1;
    }
    std::printf("Load average at the end: %s\n", FirstLineOf("cut -d' ' -f1-3 /proc/loadavg").c_str());
    return 0;
}
