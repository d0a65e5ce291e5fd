// The pieces the benchmarks stand on: a workload that does not hold what
// its description says, or a failed child counted as a timing, would make
// their figures lie.

#include <gtest/gtest.h>

#include <csignal>

#include "bench/bench_workloads.h"
#include "bench/child_run.h"
#include "container/document.h"
#include "io/files.h"
#include "tests/support/test_support.h"

namespace {

using namespace Brimwork;
using namespace Brimwork::BenchWork;

struct Shape {
    size_t entries;
    size_t imagesPerEntry;  // 0: varies
    int32_t width;          // 0: varies
    int32_t height;
};

void ExpectShape(const Workload& workload, const Shape& shape)
{
    SCOPED_TRACE(workload.key);
    Testing::TempFolder folder;
    Samples::WriteBytes(folder / workload.fileName, workload.build());
    const Document document = Document::Open(RealFileSystem(), folder / workload.fileName);
    ASSERT_EQ(document.Entries().size(), shape.entries);
    int64_t largest = 0;
    for (const auto& entry : document.Entries()) {
        if (shape.imagesPerEntry != 0) {
            ASSERT_EQ(entry.images.size(), shape.imagesPerEntry) << entry.name;
        }
        for (const auto& image : entry.images) {
            if (shape.width != 0) {
                ASSERT_EQ(image.width, shape.width) << entry.name;
                ASSERT_EQ(image.height, shape.height) << entry.name;
            }
            largest = std::max(largest, int64_t{image.width} * image.height * 2);
        }
    }
    EXPECT_LE(largest, workload.largestImageBytes) << "the memory goal would be set too low";
}

TEST(BenchWorkloads, EachHoldsTheEntriesAndImagesItsDescriptionPromises)
{
    ExpectShape(GadgetUnits(), {400, 25, 48, 40});
    ExpectShape(Screens(), {40, 1, 1024, 768});
    ExpectShape(MixedGadgets(), {100, 10, 0, 0});
    ExpectShape(Vehicles(), {24, 0, 0, 0});
    ExpectShape(GadgetGrid("S", "", 300, 1, 8, 8), {300, 1, 8, 8});
}

TEST(BenchWorkloads, AreTheSameFromRunToRun)
{
    EXPECT_EQ(MixedGadgets().build(), MixedGadgets().build());
}

TEST(BenchMedian, OfOddAndEvenCountsAndOfNone)
{
    EXPECT_EQ(Median({3, 1, 2}), 2);
    EXPECT_EQ(Median({4, 1, 3, 2}), 2.5);
    EXPECT_EQ(Median({}), 0);
}

TEST(RunInChild, AFailureIsReportedWithWhatTheChildSaid)
{
    const ChildRun thrown = RunInChild([] { throw std::runtime_error("the disk is full"); });
    EXPECT_FALSE(thrown.succeeded);
    EXPECT_EQ(thrown.errors, "the disk is full");

    const ChildRun killed = RunInChild([] { std::raise(SIGKILL); });
    EXPECT_FALSE(killed.succeeded);
    EXPECT_NE(killed.errors.find("signal"), std::string::npos) << killed.errors;

    const ChildRun exited = RunInChild([] { std::_Exit(3); });
    EXPECT_FALSE(exited.succeeded);
    EXPECT_EQ(exited.errors, "exit status 3");

    EXPECT_THROW(MustRunInChild("the work", [] { throw std::runtime_error("no"); }), std::runtime_error);
}

TEST(RunInChild, ReportsTheChildsPeakMemoryAndLeavesThisProcessAlone)
{
    constexpr size_t Touched = size_t{64} << 20;
    const long before = ResidentKiB();
    const ChildRun run = RunInChild([] {
        std::vector<uint8_t> block(Touched, 1);
        if (block[Touched / 2] != 1)
            std::_Exit(2);
    });
    ASSERT_TRUE(run.succeeded) << run.errors;
    EXPECT_GE(run.peakKiB, long(Touched / 1024));
    EXPECT_LT(ResidentKiB(), before + long(Touched / 1024) / 2);
    EXPECT_GT(run.seconds, 0);
}

}  // namespace
