// Every system call that the real file system makes during an extraction,
// a rebuild and a save is made to fail in turn, over a real folder: the
// run must say so, and leave the container whole, no half-written image
// under a name a rebuild would read, and no temporary file beside it. A
// run is made once to count its calls; then each call of each kind fails,
// or for a kind with many calls the first, the last and some between.

#include <gtest/gtest.h>

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <iostream>

#include "container/document.h"
#include "testing/failing_syscalls.h"
#include "tests/format/fault_subjects.h"

namespace Brimwork::Testing {
namespace {

// Which calls of a kind made `count` times fail: all of a few, else the
// first, the last and evenly spaced ones between, to keep the runs short.
std::vector<int> Occurrences(int count)
{
    constexpr int MostPerKind = 10;
    std::vector<int> chosen;
    if (count <= MostPerKind) {
        for (int n = 1; n <= count; ++n)
            chosen.push_back(n);
        return chosen;
    }
    for (int i = 0; i < MostPerKind; ++i)
        chosen.push_back(1 + i * (count - 1) / (MostPerKind - 1));
    return chosen;
}

std::string Describe(Syscall call, int n, int count, int error)
{
    return std::string(NameOf(call)) + " " + std::to_string(n) + " of " + std::to_string(count) +
           " fails: " + std::strerror(error);
}

// A call whose failure the real file system may rightly get past: a hint
// to start writing back, the closing of a file or folder only read, a link
// that is tried again another way, the opening of the folder for new files
// (which are then created by path). A run that gets past one must then
// leave exactly what a run without a fault leaves.
bool MayBeGotPast(Syscall call)
{
    return call == Syscall::SyncFileRange || call == Syscall::Close || call == Syscall::Closedir ||
           call == Syscall::Linkat || call == Syscall::Open;
}

using CallCounts = std::array<int, AllSyscalls.size()>;

// The number of calls of each kind a run makes, printed: the fault points.
void PrintCounts(std::string_view run, const CallCounts& counts)
{
    std::cout << run << ":";
    for (Syscall call : AllSyscalls)
        if (counts[static_cast<size_t>(call)] > 0)
            std::cout << " " << NameOf(call) << " " << counts[static_cast<size_t>(call)];
    std::cout << '\n';
}

// Each image file of an extraction is absent, as it was, or as a run
// without a fault writes it: never part of one.
void CheckImagesWhole(const Subject& subject)
{
    for (const auto& [name, bytes] : Contents(subject.Folder())) {
        if (!name.ends_with(".tga"))
            continue;
        const bool asBefore = subject.Start().contains(name) && subject.Start().at(name) == bytes;
        const bool asIntended = subject.Finished().contains(name) && subject.Finished().at(name) == bytes;
        EXPECT_TRUE(asBefore || asIntended) << name << " holds part of an image";
    }
}

// No file is left that neither the run's start nor its end holds.
void CheckNothingStray(const Subject& subject)
{
    for (const auto& name : subject.Folder().Names()) {
        EXPECT_TRUE(subject.Start().contains(name) || subject.Finished().contains(name))
            << name << " is left beside the container";
    }
}

class PosixFaults : public ::testing::TestWithParam<Procedure> {};

TEST_P(PosixFaults, EachFailingSystemCallIsReportedAndLosesNothing)
{
    Subject subject(GetParam());
    CallCounts counts{};
    {
        FailingSyscalls counted;
        ASSERT_EQ(subject.Perform(RealFileSystem()), std::nullopt);
        for (Syscall call : AllSyscalls)
            counts[static_cast<size_t>(call)] = counted.Count(call);
    }
    ASSERT_EQ(Differences(subject.Finished(), Contents(subject.Folder())), "");
    PrintCounts(NameOf(GetParam()), counts);
    // The real file system's calls all reach the table.
    EXPECT_GT(counts[static_cast<size_t>(Syscall::Open)], 0);
    EXPECT_GT(counts[static_cast<size_t>(Syscall::Pwritev)] + counts[static_cast<size_t>(Syscall::Pwrite)], 0);
    for (Syscall call : AllSyscalls) {
        const int count = counts[static_cast<size_t>(call)];
        const int error = TypicalError(call);
        for (int n : Occurrences(count)) {
            SCOPED_TRACE(Describe(call, n, count, error));
            std::optional<std::string> message;
            bool failed = false;
            {
                FailingSyscalls calls;
                calls.FailAt(call, n, error);
                message = subject.Perform(RealFileSystem());
                failed = calls.Failed();
            }
            if (!message) {
                // Threads racing may make fewer calls than the counted run.
                EXPECT_TRUE(!failed || MayBeGotPast(call)) << "the failure was not reported";
                EXPECT_EQ(Differences(subject.Finished(), Contents(subject.Folder())), "");
            } else {
                EXPECT_TRUE(failed) << *message;
                subject.CheckAfterReportedFailure(*message);
            }
            if (!IsRebuild(subject.Run()))
                CheckImagesWhole(subject);
            CheckNothingStray(subject);
            if (::testing::Test::HasFailure())
                return;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(RealFolder, PosixFaults, ::testing::ValuesIn(AllRuns),
                         [](const ::testing::TestParamInfo<Procedure>& info) {
                             return std::string(NameOf(info.param));
                         });

// The system as one that makes no unnamed file (O_TMPFILE), or where the
// folder cannot be held open: files are then made by their paths.
int OpenAtWithoutUnnamedFiles(int dir, const char* path, int flags, mode_t mode)
{
    if ((flags & O_TMPFILE) == O_TMPFILE) {
        errno = EOPNOTSUPP;
        return -1;
    }
    return SystemCalls().openat(dir, path, flags, mode);
}

int OpenWithoutHeldFolders(const char* path, int flags, mode_t mode)
{
    if ((flags & O_PATH) != 0) {
        errno = EACCES;
        return -1;
    }
    return SystemCalls().open(path, flags, mode);
}

// Every run leaves what it leaves on a system with both.
TEST(PosixFallbacks, WithoutUnnamedFilesOrAHeldFolderEveryRunLeavesTheSame)
{
    Syscalls withoutUnnamedFiles = SystemCalls();
    withoutUnnamedFiles.openat = OpenAtWithoutUnnamedFiles;
    Syscalls withoutHeldFolders = SystemCalls();
    withoutHeldFolders.open = OpenWithoutHeldFolders;
    const std::pair<const char*, const Syscalls*> systems[] = {{"without O_TMPFILE", &withoutUnnamedFiles},
                                                               {"without a folder held open", &withoutHeldFolders}};
    for (const auto& [what, table] : systems) {
        for (Procedure run : AllRuns) {
            SCOPED_TRACE(std::string(what) + ", " + std::string(NameOf(run)));
            Subject subject(run);
            std::optional<std::string> failure;
            {
                const ScopedSyscalls scoped(*table);
                failure = subject.Perform(RealFileSystem());
            }
            EXPECT_EQ(failure, std::nullopt);
            EXPECT_EQ(Differences(subject.Finished(), Contents(subject.Folder())), "");
        }
    }
}

// A save of an edited document over a real folder, each of its system
// calls failing in turn: the file stays as it was, no work file is left,
// and the document stays unsaved, or the message says that the file was
// replaced.
TEST(PosixSaveFaults, EachFailingSystemCallOfASaveLeavesTheFile)
{
    TempFolder folder;
    const fs::path path = folder / "UNITS.GDG";
    // The large image is copied from the old file by the system.
    const auto original =
        BuildGadgetFile(1, {{"A", 0, {Gradient(512, 300)}}, {"B", 0, {Solid(3, 2, 7)}}});
    const auto open = [&] {
        WriteBytes(path, original);
        // Permissions a new file does not get, so that the save sets them.
        fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
        Document document = Document::Open(RealFileSystem(), path);
        document.ReplaceImage(1, 0, ImageBuffer{4, 4, Solid(4, 4, 0x1234).Bytes()}, "edit");
        return document;
    };
    CallCounts counts{};
    {
        Document document = open();
        FailingSyscalls counted;
        document.Save();
        for (Syscall call : AllSyscalls)
            counts[static_cast<size_t>(call)] = counted.Count(call);
    }
    PrintCounts("Save", counts);
    const auto saved = ReadBytes(path);
    ASSERT_NE(saved, original);
    for (Syscall call : AllSyscalls) {
        const int count = counts[static_cast<size_t>(call)];
        const int error = TypicalError(call);
        for (int n : Occurrences(count)) {
            SCOPED_TRACE(Describe(call, n, count, error));
            Document document = open();
            bool reported = false;
            bool replaced = false;
            {
                FailingSyscalls calls;
                calls.FailAt(call, n, error);
                try {
                    document.Save();
                } catch (const Error& failure) {
                    reported = true;
                    // Only the file's opening again after the rename may fail
                    // once the file is replaced, and the message says so.
                    replaced = Contains(failure.what(), "succeeded");
                    EXPECT_NE(std::string(failure.what()).find(std::strerror(error)), std::string::npos)
                        << failure.what();
                }
                EXPECT_TRUE(calls.Failed());
            }
            EXPECT_EQ(folder.Names(), std::vector<std::string>{"UNITS.GDG"});
            if (replaced) {
                EXPECT_EQ(ReadBytes(path), saved);
            } else if (reported) {
                EXPECT_EQ(ReadBytes(path), original);
                EXPECT_TRUE(document.Modified());
            } else {
                EXPECT_TRUE(MayBeGotPast(call)) << "the failure was not reported";
                EXPECT_EQ(ReadBytes(path), saved);
            }
            if (::testing::Test::HasFailure())
                return;
        }
    }
}

// A table put in place for a scope is the one the real file system calls,
// and the one before it is back afterwards.
TEST(ScopedSyscallsTest, ReplacesTheCallsForItsScopeOnly)
{
    TempFolder folder;
    WriteBytes(folder / "A", {1, 2, 3});
    Syscalls refusing = SystemCalls();
    refusing.open = [](const char*, int, mode_t) {
        errno = EACCES;
        return -1;
    };
    {
        ScopedSyscalls scope(refusing);
        try {
            RealFileSystem().OpenForReading(folder / "A");
            ADD_FAILURE() << "the table was not used";
        } catch (const Error& error) {
            EXPECT_EQ(std::string(error.what()), "Cannot open " + (folder / "A").string() + ": " + std::strerror(EACCES));
        }
    }
    EXPECT_EQ(RealFileSystem().OpenForReading(folder / "A")->Size(), 3);
}

}  // namespace
}  // namespace Brimwork::Testing
