// A real `brimwork-cli rebuild` is killed at random moments: whatever the
// moment, the container must be the old one or the rebuilt one, whole, and
// no input may be lost while the old one stands.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <ostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "io/files.h"
#include "image/image_buffer.h"
#include "image/tga.h"
#include "samples/sample_containers.h"
#include "tests/cli/cli_process.h"
#include "tests/support/test_support.h"

extern char** environ;

namespace Brimwork::Testing {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Samples::GadgetEntry;
using Samples::Picture;
using FolderContents = std::map<std::string, std::string>;

constexpr int Runs = 50;
constexpr const char* WorkFileName = "REBUILD.TMP";

// 1.5 MB of pixels in 12 images, so that a rebuild takes long enough to be
// killed in the middle of its writing.
std::vector<GadgetEntry> BigEntries(bool edited)
{
    std::vector<GadgetEntry> entries;
    for (int e = 0; e < 3; ++e) {
        GadgetEntry entry{"PART" + std::to_string(e), e, {}};
        for (int k = 0; k < 4; ++k)
            entry.images.push_back(k % 2 == 0 ? Samples::Gradient(256, 256) : Samples::Stripes(256, 256));
        entries.push_back(std::move(entry));
    }
    if (edited)
        entries[0].images[0] = Samples::Solid(200, 100, Samples::Rgb555(31, 0, 0));
    return entries;
}

// About 1.5 MB of vehicle slots and a shadow of many frames.
std::vector<Samples::VehicleEntry> BigVehicles(bool edited)
{
    Samples::VehicleEntry truck{"TRUCK", 1, false, {}, {}};
    for (int j = 0; j < 17; ++j)
        truck.slots.push_back({j % 2 == 0 ? Samples::Gradient(256, 160) : Samples::Stripes(256, 160), {j, j, j, j}});
    if (edited)
        truck.slots[0].image = Samples::Solid(200, 100, Samples::Rgb555(31, 0, 0));
    Samples::VehicleEntry shadow{"TRUCK_S", 2, true, {}, {}};
    for (int f = 0; f < 200; ++f)
        shadow.frames.push_back(Samples::EncodeShadow(std::vector<std::vector<bool>>(20, std::vector<bool>(30, f % 2 == 0))));
    return {truck, shadow};
}

// A container, its rebuilt form, and the TGA file that an edit changes.
struct KillCase {
    std::string label;
    std::string containerName;
    std::string manifestName;
    std::vector<uint8_t> old;
    std::vector<uint8_t> rebuilt;
    std::string editedFile;
    Picture edit;
};

void PrintTo(const KillCase& kind, std::ostream* out) { *out << kind.label; }

std::vector<KillCase> KillCases()
{
    return {{"Gadget", "big.gdg", "EXTRACT.DAT", Samples::BuildGadgetFile(9, BigEntries(false)),
             Samples::BuildGadgetFile(9, BigEntries(true)), "PART0_000.tga", BigEntries(true)[0].images[0]},
            {"Vehicle", "big.azp", "big.azp.txt", Samples::BuildVehicleFile(BigVehicles(false)),
             Samples::BuildVehicleFile(BigVehicles(true)), "TRUCK_000.tga", BigVehicles(true)[0].slots[0].image}};
}

std::string Bytes(const fs::path& path) { return ReadWholeFile(RealFileSystem(), path, int64_t{1} << 30); }

std::string Bytes(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

FolderContents Contents(const TempFolder& folder)
{
    FolderContents contents;
    for (const auto& name : folder.Names())
        contents[name] = Bytes(folder / name);
    return contents;
}

void Empty(const TempFolder& folder)
{
    for (const auto& name : folder.Names())
        fs::remove(folder / name);
}

// The container is copied; the inputs, which a rebuild only reads and
// deletes, are linked.
void Stage(const TempFolder& from, const TempFolder& to, const std::string& containerName)
{
    Empty(to);
    for (const auto& name : from.Names()) {
        if (name == containerName)
            fs::copy_file(from / name, to / name);
        else
            fs::create_hard_link(from / name, to / name);
    }
}

pid_t StartCli(std::vector<std::string> words)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    words.insert(words.begin(), BRIMWORK_CLI_PATH);
    std::vector<char*> argv;
    for (auto& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    const int spawned = ::posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        throw std::runtime_error("cannot start " + words[0]);
    return child;
}

void KillAndReap(pid_t child)
{
    ::kill(child, SIGKILL);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
}

// Kill moments spread evenly over [0, span) in random order, so that every
// stage of the rebuild is met.
std::vector<Clock::duration> KillMoments(Clock::duration span, std::mt19937& random)
{
    std::uniform_real_distribution<double> within(0.0, 1.0);
    std::vector<Clock::duration> moments;
    for (int i = 0; i < Runs; ++i)
        moments.push_back(std::chrono::duration_cast<Clock::duration>(span * ((i + within(random)) / Runs)));
    std::shuffle(moments.begin(), moments.end(), random);
    return moments;
}

class KilledRebuild : public ::testing::TestWithParam<KillCase> {
public:
    void SetUp() override
    {
        const KillCase& kind = GetParam();
        containerName = kind.containerName;
        Samples::WriteBytes(master / containerName, kind.old);
        oldContainer = Bytes(kind.old);
        newContainer = Bytes(kind.rebuilt);
        ASSERT_EQ(RunCli({"extract", (master / containerName).string()}).exitCode, 0);
        const Picture& edit = kind.edit;
        WriteTGA(RealFileSystem(), master / kind.editedFile, ImageBuffer{edit.width, edit.height, edit.Bytes()});
        inputs = Contents(master);
        inputs.erase(containerName);
    }

    // A rebuild left to finish, from whatever the folder holds now.
    void ExpectCompleteRebuild()
    {
        const CliResult result = RunCli({"rebuild", (folder / containerName).string()});
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(folder.Names(), std::vector<std::string>{containerName});
        EXPECT_TRUE(Bytes(folder / containerName) == newContainer);
    }

    // The container is whole, old or new; while it is old every input is
    // there as it was; once it is new, what is left of the inputs is as it
    // was and the manifest never stays without its TGA files.
    void ExpectWhole(FolderContents now, const std::string& when)
    {
        const auto container = now.extract(containerName);
        ASSERT_FALSE(container.empty()) << when << ": the container is gone";
        const bool old = container.mapped() == oldContainer;
        ASSERT_TRUE(old || container.mapped() == newContainer)
            << when << ": the container is neither the old nor the rebuilt one";
        if (now.extract(WorkFileName)) {
            EXPECT_TRUE(old) << when << ": REBUILD.TMP stays beside the rebuilt container";
        }
        if (old) {
            ++oldCount;
            EXPECT_TRUE(now == inputs) << when << ": an input was lost or changed under the old container";
            return;
        }
        ++newCount;
        for (const auto& [name, bytes] : now)
            EXPECT_TRUE(inputs.contains(name) && inputs.at(name) == bytes) << when << ": " << name << " changed";
        if (now.contains(GetParam().manifestName)) {
            EXPECT_EQ(now.size(), inputs.size()) << when << ": the manifest stays without all its TGA files";
        }
    }

    std::string containerName;
    TempFolder master;
    TempFolder folder;
    std::string oldContainer;
    std::string newContainer;
    FolderContents inputs;
    int oldCount = 0;
    int newCount = 0;
};

TEST_P(KilledRebuild, LeavesTheOldOrTheNewContainerAndTheNextRebuildFinishes)
{
    // The longest of three whole rebuilds sets the span of the kill moments,
    // so that some kills come after the container has been replaced.
    const auto started = Clock::now();
    Clock::duration rebuildTime{};
    for (int i = 0; i < 3; ++i) {
        Stage(master, folder, containerName);
        const auto start = Clock::now();
        ExpectCompleteRebuild();
        rebuildTime = std::max(rebuildTime, Clock::now() - start);
    }
    ASSERT_FALSE(HasFailure());

    const unsigned seed = std::random_device{}();
    std::mt19937 random(seed);
    int leftWorkFiles = 0;
    for (const auto moment : KillMoments(rebuildTime * 11 / 10, random)) {
        const std::string when =
            "killed after " + std::to_string(std::chrono::duration_cast<std::chrono::microseconds>(moment).count()) +
            " us (seed " + std::to_string(seed) + ")";
        Stage(master, folder, containerName);
        const pid_t child = StartCli({"rebuild", (folder / containerName).string()});
        std::this_thread::sleep_for(moment);
        KillAndReap(child);
        ExpectWhole(Contents(folder), when);
        // A few times, the next rebuild runs over what the killed one left.
        if (fs::exists(folder / WorkFileName) && ++leftWorkFiles <= 3)
            ExpectCompleteRebuild();
        if (HasFailure())
            return;
    }
    const auto milliseconds = [](Clock::duration d) {
        return static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
    };
    std::printf("A whole rebuild took %lld ms; %d killed rebuilds took %lld ms: %d left the old container, %d the "
                "new one, %d left REBUILD.TMP\n",
                milliseconds(rebuildTime), Runs, milliseconds(Clock::now() - started), oldCount, newCount,
                leftWorkFiles);
    EXPECT_GT(oldCount, 0) << "no kill came before the container was replaced";
    EXPECT_GT(newCount, 0) << "no kill came after the container was replaced";
}

// A real `brimwork-cli replace` killed at random moments leaves the old
// container or the new one, whole, and at most its temporary file beside it.
TEST(KilledReplace, LeavesTheOldOrTheNewContainerAndAtMostItsTemporaryFile)
{
    TempFolder source;
    TempFolder folder;
    const Picture edit = BigEntries(true)[0].images[0];
    WriteTGA(RealFileSystem(), source / "in.tga", ImageBuffer{edit.width, edit.height, edit.Bytes()});
    const std::string oldContainer = Bytes(Samples::BuildGadgetFile(9, BigEntries(false)));
    const std::string newContainer = Bytes(Samples::BuildGadgetFile(9, BigEntries(true)));
    const fs::path container = folder / "big.gdg";
    const std::vector<std::string> replace{"replace", container.string(), "PART0", (source / "in.tga").string()};
    const auto stage = [&] {
        Empty(folder);
        Samples::WriteBytes(container, Samples::BuildGadgetFile(9, BigEntries(false)));
    };

    Clock::duration replaceTime{};
    for (int i = 0; i < 3; ++i) {
        stage();
        const auto start = Clock::now();
        const CliResult result = RunCli(replace);
        replaceTime = std::max(replaceTime, Clock::now() - start);
        ASSERT_EQ(result.exitCode, 0) << result.err;
        ASSERT_TRUE(Bytes(container) == newContainer);
        ASSERT_EQ(folder.Names(), std::vector<std::string>{"big.gdg"});
    }

    const unsigned seed = std::random_device{}();
    std::mt19937 random(seed);
    int oldCount = 0;
    int newCount = 0;
    for (const auto moment : KillMoments(replaceTime * 11 / 10, random)) {
        const std::string when =
            "killed after " + std::to_string(std::chrono::duration_cast<std::chrono::microseconds>(moment).count()) +
            " us (seed " + std::to_string(seed) + ")";
        stage();
        const pid_t child = StartCli(replace);
        std::this_thread::sleep_for(moment);
        KillAndReap(child);
        FolderContents now = Contents(folder);
        const auto kept = now.extract("big.gdg");
        ASSERT_FALSE(kept.empty()) << when << ": the container is gone";
        const bool old = kept.mapped() == oldContainer;
        ASSERT_TRUE(old || kept.mapped() == newContainer) << when << ": the container is neither old nor new";
        ++(old ? oldCount : newCount);
        now.erase(".big.gdg.brimwork-save");
        EXPECT_TRUE(now.empty()) << when << ": " << now.begin()->first << " was left beside the container";
        if (HasFailure())
            return;
    }
    EXPECT_GT(oldCount, 0) << "no kill came before the container was replaced";
    EXPECT_GT(newCount, 0) << "no kill came after the container was replaced";
}

INSTANTIATE_TEST_SUITE_P(EachKind, KilledRebuild, ::testing::ValuesIn(KillCases()),
                         [](const ::testing::TestParamInfo<KillCase>& info) { return info.param.label; });

}  // namespace
}  // namespace Brimwork::Testing
