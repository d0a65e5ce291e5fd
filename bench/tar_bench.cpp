// Times brimwork-cli against GNU tar doing the same file work:
//   extract  against  tar -xf                    (the same files written)
//   rebuild  against  tar --remove-files -cf     (the same files read into
//                                                 one file, then deleted)
// on four workloads made in code, and the gadget rebuild's scaling from
// 1,000 to 16,000 entries. Every timed command runs alone in a folder
// prepared outside the timing, after a sync; Brimwork and tar take turns,
// round after round. Prints medians, the median of the per-round ratios,
// and the peak resident memory of each command. Each rebuild is also timed
// against brimwork-durable-pack (bench/durable_pack.cpp), the bare file
// work of a rebuild that forces its result to the disk, which tar skips;
// and each extraction is run again over the files it wrote, against tar -xf
// over them.
//
//   brimwork-speed [--cli PATH] [--work DIR] [--rounds N] [--scaling-rounds N]
//                  [--only W1,W2,...] [--no-scaling] [--keep]

#include <fcntl.h>
#include <spawn.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/bench_workloads.h"
#include "samples/sample_containers.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace Brimwork;
using namespace Brimwork::BenchWork;
using Clock = std::chrono::steady_clock;

// ---------------------------------------------------------------- commands

struct Timing {
    double seconds = 0;
    double cpuSeconds = 0;  // user + system
    long peakKiB = 0;
};

struct Outcome {
    Timing timing;
    int status = 0;
    std::string errors;
};

double Seconds(const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; }

// Runs the command in `folder` after a sync and waits for it; standard
// output is dropped, standard error kept for the report. GNU time runs it
// and gives its peak memory: a child started from this process directly
// would count this process's own memory as its peak.
Outcome RunTimed(const std::vector<std::string>& command, const fs::path& folder, const fs::path& errorFile)
{
    const fs::path memoryFile = errorFile.string() + ".peak";
    std::vector<std::string> timed{"/usr/bin/time", "-f", "%M", "-o", memoryFile.string()};
    timed.insert(timed.end(), command.begin(), command.end());
    std::vector<char*> argv;
    for (const auto& part : timed)
        argv.push_back(const_cast<char*>(part.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    ::sync();
    const auto start = Clock::now();
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        throw std::runtime_error("cannot start " + command[0] + ": " + std::strerror(spawned));
    int status = 0;
    rusage usage{};
    while (::wait4(child, &status, 0, &usage) < 0)
        if (errno != EINTR)
            throw std::runtime_error(std::string("wait4: ") + std::strerror(errno));
    Outcome outcome;
    outcome.timing.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    outcome.timing.cpuSeconds = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::ifstream in(errorFile);
    outcome.errors.assign(std::istreambuf_iterator<char>(in), {});
    std::ifstream memory(memoryFile);
    std::string line;
    while (std::getline(memory, line))
        if (!line.empty() && std::isdigit(static_cast<unsigned char>(line[0])))
            outcome.timing.peakKiB = std::stol(line);
    return outcome;
}

Timing MustRun(const std::vector<std::string>& command, const fs::path& folder, const fs::path& errorFile)
{
    Outcome outcome = RunTimed(command, folder, errorFile);
    if (outcome.status != 0) {
        std::string line;
        for (const auto& part : command)
            line += part + " ";
        throw std::runtime_error(line + "failed (" + std::to_string(outcome.status) + "): " + outcome.errors);
    }
    return outcome.timing;
}

void WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes) { Samples::WriteBytes(path, bytes); }

// Where the timed commands run. On ext4 a new file's inode is searched for
// past every inode deleted in the last minute in its group, which makes
// file creation right after a mass deletion (the previous round's) many
// times slower, for Brimwork and tar alike, depending on luck. Folders made
// under a folder marked as a top of a hierarchy are spread over the disk,
// away from what was just deleted.
fs::path RunsFolder(const fs::path& work)
{
    const fs::path runs = work / "runs";
    fs::create_directories(runs);
    const int fd = ::open(runs.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        int flags = 0;
        if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
            flags |= FS_TOPDIR_FL;
            ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
        }
        ::close(fd);
    }
    return runs;
}

// Processes that keep one core each busy while the object lives.
class BusyProcesses {
public:
    explicit BusyProcesses(int count)
    {
        for (int i = 0; i < count; ++i) {
            const pid_t child = ::fork();
            if (child < 0)
                throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
            if (child == 0) {
                volatile uint64_t spin = 0;
                for (;;)
                    spin = spin + 1;
            }
            children_.push_back(child);
        }
    }
    ~BusyProcesses()
    {
        for (const pid_t child : children_) {
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
        }
    }
    BusyProcesses(const BusyProcesses&) = delete;
    BusyProcesses& operator=(const BusyProcesses&) = delete;

private:
    std::vector<pid_t> children_;
};

std::vector<std::string> Sorted(std::vector<std::string> names)
{
    std::sort(names.begin(), names.end());
    return names;
}

// ---------------------------------------------------------------- statistics

// One command's rounds.
struct Series {
    std::vector<double> seconds;
    std::vector<double> cpu;
    long peakKiB = 0;
    void Add(const Timing& t)
    {
        seconds.push_back(t.seconds);
        cpu.push_back(t.cpuSeconds);
        peakKiB = std::max(peakKiB, t.peakKiB);
    }
};

// Brimwork against tar on the same work, round by round.
struct Pair {
    Series brimwork;
    Series tar;
    double MedianRatio() const
    {
        std::vector<double> ratios;
        for (size_t i = 0; i < brimwork.seconds.size() && i < tar.seconds.size(); ++i)
            ratios.push_back(brimwork.seconds[i] / tar.seconds[i]);
        return Median(ratios);
    }
    double CpuRatio() const { return Median(brimwork.cpu) / Median(tar.cpu); }
};

// ---------------------------------------------------------------- the bench

struct Options {
    fs::path cli;
    fs::path durablePack;
    fs::path work;
    int rounds = 7;
    int scalingRounds = 5;
    std::vector<std::string> only;
    std::vector<std::string> conditions{"quiet", "busy", "loop"};
    bool scaling = true;
    bool keep = false;  // leave the prepared folders for a closer look
};

// A workload's container, the files its extraction leaves and a tar of them.
struct Prepared {
    fs::path master;  // the container and everything extract wrote
    std::vector<std::string> extracted;
    fs::path tarFile;
    fs::path tarList;
    bool rebuilds = false;
    std::string rebuildNote;
};

class Bench {
public:
    explicit Bench(Options options) : o_(std::move(options)), runs_(RunsFolder(o_.work)) {}

    Prepared Prepare(const std::string& key, const std::string& fileName, const std::vector<uint8_t>& container)
    {
        Prepared p;
        const fs::path base = o_.work / key;
        fs::remove_all(base);
        p.master = base / "master";
        fs::create_directories(p.master);
        WriteFile(p.master / fileName, container);
        MustRun({o_.cli.string(), "extract", (p.master / fileName).string()}, p.master, base / "errors.txt");
        for (const auto& entry : fs::directory_iterator(p.master))
            if (entry.path().filename() != fileName)
                p.extracted.push_back(entry.path().filename().string());
        p.extracted = Sorted(p.extracted);
        p.tarList = base / "files.txt";
        {
            std::ofstream list(p.tarList);
            for (const auto& name : p.extracted)
                list << name << '\n';
        }
        p.tarFile = base / "extracted.tar";
        MustRun({"tar", "-cf", p.tarFile.string(), "-T", p.tarList.string()}, p.master, base / "errors.txt");

        // One rebuild outside the timing: it must work and give the container back unchanged.
        const fs::path probe = FreshCopy(p.master, WithContainer(p, fileName), runs_);
        Outcome outcome = RunTimed({o_.cli.string(), "rebuild", (probe / fileName).string()}, probe,
                                   base / "errors.txt");
        if (outcome.status == 0) {
            p.rebuilds = true;
            if (Samples::ReadBytes(probe / fileName) != container)
                p.rebuildNote = "(the rebuilt container differs from the original!)";
            if (std::distance(fs::directory_iterator(probe), fs::directory_iterator()) != 1)
                p.rebuildNote += "(the rebuild left files behind!)";
        } else {
            p.rebuildNote = "no rebuild: " + outcome.errors.substr(0, outcome.errors.find('\n'));
        }
        fs::remove_all(probe);
        return p;
    }

    // Times `command` run in a fresh copy of `names` from the master
    // folder; `command` is given that folder.
    Timing InFreshCopy(const Prepared& p, const std::vector<std::string>& names, const fs::path& base,
                       const std::function<std::vector<std::string>(const fs::path&)>& command)
    {
        const fs::path folder = FreshCopy(p.master, names, runs_);
        Timing t = MustRun(command(folder), folder, base / "errors.txt");
        fs::remove_all(folder);
        return t;
    }

    // Everything the extraction wrote, and the container.
    static std::vector<std::string> WithContainer(const Prepared& p, const std::string& fileName)
    {
        std::vector<std::string> all = p.extracted;
        all.push_back(fileName);
        return all;
    }

    std::function<std::vector<std::string>(const fs::path&)> Cli(const std::string& verb,
                                                                 const std::string& fileName) const
    {
        return [this, verb, fileName](const fs::path& folder) {
            return std::vector<std::string>{o_.cli.string(), verb, (folder / fileName).string()};
        };
    }

    Timing Extract(const Prepared& p, const std::string& fileName, const fs::path& base)
    {
        return InFreshCopy(p, {fileName}, base, Cli("extract", fileName));
    }

    Timing Untar(const Prepared& p, const fs::path& base)
    {
        return InFreshCopy(p, {}, base, [&](const fs::path&) { return UntarCommand(p); });
    }

    // Extraction again over the files the last one wrote, as after editing
    // some of them; tar -xf over the same files.
    Timing ExtractAgain(const Prepared& p, const std::string& fileName, const fs::path& base)
    {
        return InFreshCopy(p, WithContainer(p, fileName), base, Cli("extract", fileName));
    }

    Timing UntarAgain(const Prepared& p, const fs::path& base)
    {
        return InFreshCopy(p, p.extracted, base, [&](const fs::path&) { return UntarCommand(p); });
    }

    Timing Rebuild(const Prepared& p, const std::string& fileName, const fs::path& base)
    {
        return InFreshCopy(p, WithContainer(p, fileName), base, Cli("rebuild", fileName));
    }

    // The rebuild's dry run: everything read and checked, nothing written.
    Timing DryRun(const Prepared& p, const std::string& fileName, const fs::path& base)
    {
        return InFreshCopy(p, WithContainer(p, fileName), base, [this, fileName](const fs::path& folder) {
            return std::vector<std::string>{o_.cli.string(), "rebuild", "--dry-run", (folder / fileName).string()};
        });
    }

    // The same files through brimwork-durable-pack: the least a rebuild
    // costs that forces its result to the disk and replaces the container.
    Timing DurablePack(const Prepared& p, const std::string& fileName, const fs::path& base)
    {
        return InFreshCopy(p, WithContainer(p, fileName), base, [&](const fs::path&) {
            return std::vector<std::string>{o_.durablePack.string(), fileName, p.tarList.string()};
        });
    }

    Timing TarAndRemove(const Prepared& p, const fs::path& base)
    {
        return InFreshCopy(p, p.extracted, base, [&](const fs::path&) { return TarAndRemoveCommand(p); });
    }

    static std::vector<std::string> UntarCommand(const Prepared& p) { return {"tar", "-xf", p.tarFile.string()}; }

    std::vector<std::string> TarAndRemoveCommand(const Prepared& p) const
    {
        return {"tar", "--remove-files", "-cf", "packed.tar", "-T", p.tarList.string()};
    }

    // The modder's loop: extraction into the folder where a rebuild has
    // just deleted the TGA files.
    Timing ExtractAfterRebuild(const Prepared& p, const std::string& fileName, const fs::path& base)
    {
        const fs::path folder = FreshCopy(p.master, WithContainer(p, fileName), runs_);
        MustRun(Cli("rebuild", fileName)(folder), folder, base / "errors.txt");
        Timing t = MustRun(Cli("extract", fileName)(folder), folder, base / "errors.txt");
        fs::remove_all(folder);
        return t;
    }

    Timing UntarAfterTarAndRemove(const Prepared& p, const fs::path& base)
    {
        const fs::path folder = FreshCopy(p.master, p.extracted, runs_);
        MustRun(TarAndRemoveCommand(p), folder, base / "errors.txt");
        Timing t = MustRun(UntarCommand(p), folder, base / "errors.txt");
        fs::remove_all(folder);
        return t;
    }

    bool Measures(const std::string& condition) const
    {
        return std::find(o_.conditions.begin(), o_.conditions.end(), condition) != o_.conditions.end();
    }

    struct Row {
        Workload w;
        Prepared p;
        Pair extract;
        Pair rebuild;
        Series floor;  // brimwork-durable-pack
        Pair again;    // extraction over the files already there
        Series dryRun;  // rebuild --dry-run
        Pair busyExtract;
        Pair busyRebuild;
        Pair loopExtract;  // right after the rebuild or tar deleted the files there
    };

    // One round on the quiet machine; `brimworkFirst` alternates between rounds.
    void QuietRound(Row& row, bool brimworkFirst)
    {
        const fs::path base = o_.work / row.w.key;
        const std::string& name = row.w.fileName;
        auto extract = [&] { row.extract.brimwork.Add(Extract(row.p, name, base)); };
        auto untar = [&] { row.extract.tar.Add(Untar(row.p, base)); };
        auto extractAgain = [&] { row.again.brimwork.Add(ExtractAgain(row.p, name, base)); };
        auto untarAgain = [&] { row.again.tar.Add(UntarAgain(row.p, base)); };
        auto rebuild = [&] { row.rebuild.brimwork.Add(Rebuild(row.p, name, base)); };
        auto pack = [&] { row.rebuild.tar.Add(TarAndRemove(row.p, base)); };
        auto floor = [&] { row.floor.Add(DurablePack(row.p, name, base)); };
        auto dryRun = [&] { row.dryRun.Add(DryRun(row.p, name, base)); };
        InTurn(brimworkFirst, {extract, untar, extractAgain, untarAgain});
        if (row.p.rebuilds)
            InTurn(brimworkFirst, {dryRun, rebuild, pack, floor});
    }

    void BusyRound(Row& row, bool brimworkFirst)
    {
        const fs::path base = o_.work / row.w.key;
        const std::string& name = row.w.fileName;
        auto extract = [&] { row.busyExtract.brimwork.Add(Extract(row.p, name, base)); };
        auto untar = [&] { row.busyExtract.tar.Add(Untar(row.p, base)); };
        auto rebuild = [&] { row.busyRebuild.brimwork.Add(Rebuild(row.p, name, base)); };
        auto pack = [&] { row.busyRebuild.tar.Add(TarAndRemove(row.p, base)); };
        InTurn(brimworkFirst, {extract, untar});
        if (row.p.rebuilds)
            InTurn(brimworkFirst, {rebuild, pack});
    }

    void LoopRound(Row& row, bool brimworkFirst)
    {
        if (!row.p.rebuilds)
            return;
        const fs::path base = o_.work / row.w.key;
        auto extract = [&] { row.loopExtract.brimwork.Add(ExtractAfterRebuild(row.p, row.w.fileName, base)); };
        auto untar = [&] { row.loopExtract.tar.Add(UntarAfterTarAndRemove(row.p, base)); };
        InTurn(brimworkFirst, {extract, untar});
    }

    // Runs the steps in order, or in the reverse order.
    static void InTurn(bool forwards, const std::vector<std::function<void()>>& steps)
    {
        if (forwards)
            for (const auto& step : steps)
                step();
        else
            for (auto step = steps.rbegin(); step != steps.rend(); ++step)
                (*step)();
    }

    void Workloads()
    {
        std::vector<Row> rows;
        for (auto& w : BenchWork::Workloads()) {
            if (!o_.only.empty() && std::find(o_.only.begin(), o_.only.end(), w.key) == o_.only.end())
                continue;
            std::fprintf(stderr, "preparing %s...\n", w.key.c_str());
            Prepared p = Prepare(w.key, w.fileName, w.build());
            rows.push_back({std::move(w), std::move(p), {}, {}, {}, {}, {}, {}, {}, {}});
        }
        for (int round = 0; round < o_.rounds; ++round) {
            std::fprintf(stderr, "round %d of %d\n", round + 1, o_.rounds);
            const bool brimworkFirst = round % 2 == 0;
            if (Measures("quiet"))
                for (auto& row : rows)
                    QuietRound(row, brimworkFirst);
            if (Measures("loop"))
                for (auto& row : rows)
                    LoopRound(row, brimworkFirst);
            if (Measures("busy")) {
                const BusyProcesses busy(2);
                for (auto& row : rows)
                    BusyRound(row, brimworkFirst);
            }
        }
        std::printf("Median seconds of %d interleaved rounds; ratio: median of the per-round Brimwork/tar ratios\n"
                    "(CPU: user+system seconds, ratio of medians). Peak RSS: the largest of any round.\n",
                    o_.rounds);
        if (Measures("quiet"))
            PrintQuiet(rows);
        if (Measures("busy")) {
            std::printf("\nWith two busy processes competing for the cores\n");
            PrintPairs(rows, &Row::busyExtract, &Row::busyRebuild);
        }
        if (Measures("loop")) {
            std::printf("\nThe modder's loop: extract where a rebuild (tar: tar --remove-files) has just deleted the "
                        "files\n");
            PrintPairs(rows, &Row::loopExtract, nullptr);
        }
        for (auto& row : rows)
            if (!o_.keep)
                fs::remove_all(o_.work / row.w.key);
    }

    static void PrintPairs(const std::vector<Row>& rows, Pair Row::*extract, Pair Row::*rebuild)
    {
        std::printf("%-52s %8s %8s %6s %6s", "workload", "extract", "tar -xf", "ratio", "CPU");
        if (rebuild)
            std::printf(" | %8s %8s %6s %6s", "rebuild", "tar -rm", "ratio", "CPU");
        std::printf("\n");
        for (const auto& row : rows) {
            const Pair& e = row.*extract;
            std::printf("%-52s %8.3f %8.3f %6.2f %6.2f", (row.w.key + " " + row.w.description).c_str(),
                        Median(e.brimwork.seconds), Median(e.tar.seconds), e.MedianRatio(), e.CpuRatio());
            if (rebuild && row.p.rebuilds) {
                const Pair& r = row.*rebuild;
                std::printf(" | %8.3f %8.3f %6.2f %6.2f %s", Median(r.brimwork.seconds), Median(r.tar.seconds),
                            r.MedianRatio(), r.CpuRatio(), row.p.rebuildNote.c_str());
            } else if (!row.p.rebuilds) {
                std::printf(" %s", row.p.rebuildNote.c_str());
            }
            std::printf("\n");
        }
    }

    static void PrintQuiet(const std::vector<Row>& rows)
    {
        std::printf("\nOn the quiet machine\n");
        PrintPairs(rows, &Row::extract, &Row::rebuild);
        std::printf("\nExtraction again over the files it wrote before, against tar -xf over them\n");
        std::printf("%-6s %10s %10s %8s\n", "", "extract", "tar -xf", "ratio");
        for (const auto& row : rows)
            std::printf("%-6s %10.3f %10.3f %8.2f\n", row.w.key.c_str(), Median(row.again.brimwork.seconds),
                        Median(row.again.tar.seconds), row.again.MedianRatio());
        std::printf("\nRebuild against the least file work of a rebuild that forces its result to the disk and\n"
                    "replaces the container (brimwork-durable-pack: read every file, write one file, fsync,\n"
                    "rename, fsync the folder, delete the files on 4 threads), median seconds and ratios\n");
        std::printf("%-6s %10s %10s %10s %12s %14s\n", "", "rebuild", "floor", "tar -rm", "floor/tar",
                    "rebuild/floor");
        for (const auto& row : rows) {
            if (!row.p.rebuilds)
                continue;
            const Pair floorToTar{row.floor, row.rebuild.tar};
            const Pair rebuildToFloor{row.rebuild.brimwork, row.floor};
            std::printf("%-6s %10.3f %10.3f %10.3f %12.2f %14.2f\n", row.w.key.c_str(),
                        Median(row.rebuild.brimwork.seconds), Median(row.floor.seconds),
                        Median(row.rebuild.tar.seconds), floorToTar.MedianRatio(), rebuildToFloor.MedianRatio());
        }
        std::printf("\nThe rebuild's dry run (rebuild --dry-run: reads and checks everything, writes nothing)\n");
        std::printf("%-6s %10s %10s %8s\n", "", "dry run", "rebuild", "ratio");
        for (const auto& row : rows) {
            if (!row.p.rebuilds)
                continue;
            const Pair dryToRebuild{row.dryRun, row.rebuild.brimwork};
            std::printf("%-6s %10.3f %10.3f %8.2f\n", row.w.key.c_str(), Median(row.dryRun.seconds),
                        Median(row.rebuild.brimwork.seconds), dryToRebuild.MedianRatio());
        }
        std::printf("\nPeak resident memory (MiB)\n%-6s %10s %10s %10s %10s %12s %10s\n", "", "files", "extract",
                    "tar -xf", "rebuild", "tar -rm", "bound");
        for (const auto& row : rows) {
            const double bound = (3.0 * double(row.w.largestImageBytes) + 32.0 * 1048576) / 1048576;
            std::printf("%-6s %10zu %10.1f %10.1f %10.1f %12.1f %10.1f\n", row.w.key.c_str(), row.p.extracted.size(),
                        row.extract.brimwork.peakKiB / 1024.0, row.extract.tar.peakKiB / 1024.0,
                        row.rebuild.brimwork.peakKiB / 1024.0, row.rebuild.tar.peakKiB / 1024.0, bound);
        }
    }

    // The gadget rebuild with one 8x8 image per entry, for growing entry
    // counts: its cost per file should not grow.
    void Scaling()
    {
        const std::vector<int> counts{1000, 4000, 16000};
        std::vector<Prepared> prepared;
        for (int count : counts) {
            std::fprintf(stderr, "preparing %d entries...\n", count);
            Workload w = GadgetGrid("S" + std::to_string(count), "", count, 1, 8, 8);
            prepared.push_back(Prepare(w.key, w.fileName, w.build()));
        }
        std::vector<Pair> pairs(counts.size());
        for (int round = 0; round < o_.scalingRounds; ++round) {
            std::fprintf(stderr, "scaling round %d of %d\n", round + 1, o_.scalingRounds);
            for (size_t i = 0; i < counts.size(); ++i) {
                const fs::path base = o_.work / ("S" + std::to_string(counts[i]));
                if (round % 2 == 0) {
                    pairs[i].brimwork.Add(Rebuild(prepared[i], "UNITS.GDG", base));
                    pairs[i].tar.Add(TarAndRemove(prepared[i], base));
                } else {
                    pairs[i].tar.Add(TarAndRemove(prepared[i], base));
                    pairs[i].brimwork.Add(Rebuild(prepared[i], "UNITS.GDG", base));
                }
            }
        }
        std::printf("\nScaling: gadget rebuild, one 8x8 image per entry (median of %d rounds)\n", o_.scalingRounds);
        std::printf("%8s %10s %12s %10s %8s %12s %10s\n", "entries", "rebuild s", "us per file", "tar -rm s", "ratio",
                    "vs 1,000", "peak MiB");
        const double first = Median(pairs[0].brimwork.seconds);
        for (size_t i = 0; i < counts.size(); ++i) {
            const double s = Median(pairs[i].brimwork.seconds);
            std::printf("%8d %10.3f %12.1f %10.3f %8.2f %11.1fx %10.1f\n", counts[i], s, 1e6 * s / counts[i],
                        Median(pairs[i].tar.seconds), pairs[i].MedianRatio(), s / first,
                        pairs[i].brimwork.peakKiB / 1024.0);
        }
        for (int count : counts)
            fs::remove_all(o_.work / ("S" + std::to_string(count)));
    }

private:
    Options o_;
    fs::path runs_;
};

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    options.cli = fs::path(argv[0]).parent_path() / ".." / "cli" / "brimwork-cli";
    options.durablePack = fs::absolute(fs::path(argv[0]).parent_path() / "brimwork-durable-pack");
    options.work = fs::current_path() / "speed-work";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                throw std::runtime_error(arg + " needs a value");
            return argv[++i];
        };
        try {
            if (arg == "--cli")
                options.cli = value();
            else if (arg == "--work")
                options.work = value();
            else if (arg == "--rounds")
                options.rounds = std::stoi(value());
            else if (arg == "--scaling-rounds")
                options.scalingRounds = std::stoi(value());
            else if (arg == "--keep")
                options.keep = true;
            else if (arg == "--no-scaling")
                options.scaling = false;
            else if (arg == "--conditions") {
                options.conditions.clear();
                std::stringstream list(value());
                for (std::string condition; std::getline(list, condition, ',');)
                    options.conditions.push_back(condition);
            } else if (arg == "--only") {
                std::stringstream list(value());
                for (std::string key; std::getline(list, key, ',');)
                    options.only.push_back(key);
            } else if (arg == "--help") {
                std::printf("usage: brimwork-speed [--cli PATH] [--work DIR] [--rounds N] [--scaling-rounds N] "
                            "[--only W1,W2,...] [--conditions quiet,busy,loop] [--no-scaling] [--keep]\n");
                return 0;
            } else {
                std::fprintf(stderr, "usage: brimwork-speed [--cli PATH] [--work DIR] [--rounds N] "
                                     "[--scaling-rounds N] [--only W1,W2,...] [--conditions quiet,busy,loop] "
                                     "[--no-scaling] [--keep]\n");
                return 2;
            }
        } catch (const std::exception& error) {
            std::fprintf(stderr, "brimwork-speed: %s\n", error.what());
            return 2;
        }
    }
    options.cli = fs::absolute(options.cli);
    options.work = fs::absolute(options.work);
    std::printf("Machine: %s, %ld cores; %s; load average at start: %s\n",
                FirstLineOf("sed -n 's/^model name[^:]*: //p' /proc/cpuinfo | head -n 1").c_str(),
                ::sysconf(_SC_NPROCESSORS_ONLN), FirstLineOf("df -T " + options.work.parent_path().string() +
                                                             " | awk 'NR==2 {print $2 \" file system\"}'")
                                                     .c_str(),
                FirstLineOf("cut -d' ' -f1-3 /proc/loadavg").c_str());
    std::printf("%s\n\n", FirstLineOf("tar --version").c_str());
    std::fflush(stdout);
    try {
        fs::create_directories(options.work);
        Bench bench(options);
        if (options.only.empty() || options.only.front() != "none")
            bench.Workloads();
        if (options.scaling)
            bench.Scaling();
        if (!options.keep)
            fs::remove_all(options.work);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "brimwork-speed: %s\n", error.what());
        return 1;
    }
    std::printf("\nLoad average at the end: %s\n", FirstLineOf("cut -d' ' -f1-3 /proc/loadavg").c_str());
    return 0;
}
