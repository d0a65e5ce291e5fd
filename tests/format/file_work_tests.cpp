// File work spread over threads must fail as work done one task at a time
// fails: the earliest failed task is the one reported, every task before it
// has run, and the tasks' memory stays within its bound. Each case runs
// without threads of its own and with two.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "core/error.h"
#include "io/file_pool.h"
#include "io/file_work.h"
#include "io/files.h"
#include "image/image_buffer.h"
#include "image/tga.h"
#include "io/in_order_reader.h"
#include "io/whole_file_writer.h"
#include "samples/sample_containers.h"
#include "tests/support/test_support.h"

namespace Brimwork::Testing {
namespace {

class FileWorkThreads : public ::testing::TestWithParam<int> {
protected:
    // Runs tasks 0 .. count-1, of which those in `failing` throw
    // "task <n>", then the producer's own failure when it has one; returns
    // the message reported, "" when none.
    std::string RunTasks(int count, const std::set<int>& failing, bool producerFails = false)
    {
        FileWork work(GetParam());
        try {
            work.Run([&] {
                for (int n = 0; n < count; ++n)
                    work.Add([this, n, &failing] {
                        Record(n);
                        if (failing.contains(n))
                            throw Error("task " + std::to_string(n));
                    });
                if (producerFails)
                    throw Error("producer");
            });
        } catch (const Error& error) {
            return error.what();
        }
        return "";
    }

    void Record(int n)
    {
        const std::lock_guard lock(mutex_);
        ran_.insert(n);
    }

    bool RanAllBefore(int n) const
    {
        for (int i = 0; i < n; ++i)
            if (!ran_.contains(i))
                return false;
        return true;
    }

    std::mutex mutex_;
    std::set<int> ran_;
};

TEST_P(FileWorkThreads, ReportsTheEarliestFailureAfterEveryTaskBeforeIt)
{
    EXPECT_EQ(RunTasks(300, {}), "");
    EXPECT_EQ(ran_.size(), 300u);

    ran_.clear();
    EXPECT_EQ(RunTasks(300, {40, 41, 200}), "task 40");
    EXPECT_TRUE(RanAllBefore(41));
    if (GetParam() == 0) {
        EXPECT_EQ(*ran_.rbegin(), 40) << "without threads nothing runs after the failure";
    }
}

TEST_P(FileWorkThreads, AProducerFailureComesAfterTheTasksAddedBeforeIt)
{
    EXPECT_EQ(RunTasks(20, {}, true), "producer");
    EXPECT_EQ(ran_.size(), 20u) << "the tasks added before the failure still run";

    ran_.clear();
    EXPECT_EQ(RunTasks(20, {7}, true), "task 7");
}

TEST_P(FileWorkThreads, HoldsNoMoreThanItsLimitOfTaskMemoryAtOnce)
{
    constexpr int64_t TaskBytes = 4;
    constexpr int64_t Limit = 10;
    std::atomic<int64_t> held = 0;
    std::atomic<int64_t> most = 0;
    FileWork work(GetParam(), Limit);
    work.Run([&] {
        for (int n = 0; n < 200; ++n) {
            // Counted before Add, which may run the task at once.
            const int64_t now = held += TaskBytes;
            most = std::max(most.load(), now);
            work.Add([&] { held -= TaskBytes; }, TaskBytes);
        }
    });
    // Two tasks fit the limit, and the one being added waits beside them.
    EXPECT_LE(most.load(), 3 * TaskBytes);
    EXPECT_EQ(held.load(), 0);

    // Tasks of more than half the limit, or more than all of it, still get
    // their turn.
    std::atomic<int> ran = 0;
    work.Run([&] {
        for (const int64_t bytes : {7, 25, 7, 3, 7, 25})
            work.Add([&] { ++ran; }, bytes);
    });
    EXPECT_EQ(ran, 6);
}

INSTANTIATE_TEST_SUITE_P(NoneAndTwo, FileWorkThreads, ::testing::Values(0, 2),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::to_string(info.param) + "Threads";
                         });

// Two images for one file name, while other files are written beside them:
// the later image is the one that stays, as when written one by one.
TEST(WholeFileWriter, ALaterImageForTheSameFileNameIsTheOneThatStays)
{
    ASSERT_GT(RealFileSystem().WorkerThreads(FileSystem::Work::Creating), 0);
    TempFolder folder;
    WholeFileWriter writer(RealFileSystem(), folder.path());
    writer.Run([&] {
        for (int32_t width = 1; width <= 60; ++width) {
            const std::string other = "other_" + std::to_string(width) + ".tga";
            writer.Write(other, EncodeTga(folder / other, ImageBuffer{1, 1, {0, 0}}));
            writer.Write("same.tga", EncodeTga(folder / "same.tga",
                                               ImageBuffer{width, 1, std::vector<uint8_t>(size_t(width) * 2, 7)}));
        }
    });
    ImageBuffer last;
    ReadTGA(RealFileSystem(), folder / "same.tga", last);
    EXPECT_EQ(last.ImageWidth, 60);
}

// Files read ahead come in the order given, each as ReadTGA reads it; a
// broken file fails at its turn, after every file before it, naming it.
TEST(InOrderReader, GivesEachTgaFileInTurnAndFailsAtTheBrokenOne)
{
    ASSERT_GT(RealFileSystem().WorkerThreads(FileSystem::Work::Reading), 0);
    TempFolder folder;
    std::vector<std::filesystem::path> paths;
    std::vector<std::string> names;
    for (int32_t width = 1; width <= 40; ++width) {
        names.push_back("image_" + std::to_string(width) + ".tga");
        paths.push_back(folder / names.back());
        WriteTGA(RealFileSystem(), paths.back(), ImageBuffer{width, 2, std::vector<uint8_t>(size_t(width) * 4, 1)});
    }
    Samples::WriteBytes(paths[30], {1, 2, 3});

    InOrderReader<TgaImage> images(RealFileSystem(), folder.path(), names, DecodeTga);
    ImageBuffer image;
    for (size_t i = 0; i < 30; ++i) {
        image = images.Next().image;
        ASSERT_EQ(image.ImageWidth, static_cast<int32_t>(i + 1));
    }
    try {
        image = images.Next().image;
        ADD_FAILURE() << "a broken file was read";
    } catch (const Error& error) {
        EXPECT_NE(std::string(error.what()).find(paths[30].string()), std::string::npos) << error.what();
    }
    EXPECT_EQ(image.ImageWidth, 30) << "a failed read leaves the buffer as it was";
}

// The pool's threads serve one operation after another: work done again
// and again finds the threads of the work before (a thread that has just
// finished may not be waiting yet, so a few more may start, never one set
// per work); and a work's task that waits for
// another work's task (a reading thread waiting for its caller, who waits
// for deletions) never waits behind it, since a task that finds no thread
// free starts one.
TEST(FilePoolTest, ThreadsAreKeptForLaterWorkAndNoTaskWaitsBehindAnother)
{
    const auto runWork = [] {
        FileWork work(3);
        std::atomic<int> done = 0;
        work.Run([&] {
            for (int n = 0; n < 40; ++n)
                work.Add([&] { ++done; });
        });
        return done.load();
    };
    EXPECT_EQ(runWork(), 40);
    const int threads = FilePool::Shared().Threads();
    constexpr int Again = 20;
    for (int again = 0; again < Again; ++again)
        EXPECT_EQ(runWork(), 40);
    EXPECT_LT(FilePool::Shared().Threads(), threads + Again / 2);

    std::mutex mutex;
    std::condition_variable changed;
    bool released = false;
    bool waited = false;
    FileWork waiting(1);
    waiting.Add([&] {
        std::unique_lock lock(mutex);
        waited = changed.wait_for(lock, std::chrono::seconds(20), [&] { return released; });
    });
    FileWork releasing(1);
    releasing.Add([&] {
        const std::lock_guard lock(mutex);
        released = true;
        changed.notify_all();
    });
    releasing.Finish();
    waiting.Finish();
    EXPECT_TRUE(waited);
}

// A child made by fork has none of its parent's threads: its file work
// runs on a pool of its own rather than waiting for threads that are not
// there.
TEST(FilePoolTest, AForkedChildGetsAPoolOfItsOwn)
{
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "ThreadSanitizer cannot start threads in a child forked from a process with threads";
#endif
    FileWork before(2);
    before.Run([&] { before.Add([] {}); });
    ASSERT_GT(FilePool::Shared().Threads(), 0);  // the parent's pool has threads
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::alarm(20);  // a child that hangs is ended, and the test fails
        std::atomic<int> done = 0;
        FileWork work(2);
        work.Run([&] {
            for (int n = 0; n < 10; ++n)
                work.Add([&] { ++done; });
        });
        ::_exit(done == 10 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// The threads file work takes follow the machine: on two cores, one
// reader, two creators and four deleters, as measured there.
TEST(ThreadPolicy, FileWorkFollowsTheProcessorsWithinBounds)
{
    using Work = FileSystem::Work;
    struct Row {
        unsigned hardwareThreads;
        int reading, creating, deleting;
    };
    const Row rows[] = {
        {0, 1, 2, 2},  // unknown: taken as one
        {1, 1, 2, 2}, {2, 1, 2, 4}, {4, 1, 4, 8}, {8, 1, 8, 8}, {64, 1, 8, 8},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Brimwork::FileWorkThreads(Work::Reading, row.hardwareThreads), row.reading) << row.hardwareThreads;
        EXPECT_EQ(Brimwork::FileWorkThreads(Work::Creating, row.hardwareThreads), row.creating) << row.hardwareThreads;
        EXPECT_EQ(Brimwork::FileWorkThreads(Work::Deleting, row.hardwareThreads), row.deleting) << row.hardwareThreads;
    }
    EXPECT_EQ(RealFileSystem().WorkerThreads(Work::Deleting),
              Brimwork::FileWorkThreads(Work::Deleting, std::thread::hardware_concurrency()));
}

}  // namespace
}  // namespace Brimwork::Testing
