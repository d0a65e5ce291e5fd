// Every file operation of a rebuild and of an extraction is made to fail in
// turn: the run must report it, name the file, and leave the user's files
// whole. A run is first performed once without a fault to count its
// operations; then operation 1, 2, ... N of each kind fails. A rebuild
// that keeps the replaced container as a backup runs both where the file
// system makes it by a second name and where it copies it.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>

#include "tests/format/fault_subjects.h"

namespace Brimwork::Testing {
namespace {

struct FaultCase {
    Procedure run;
    FileOperation operation;
    int error;
};

std::vector<FaultCase> AllFaultCases()
{
    std::vector<FaultCase> cases;
    for (Procedure run : AllRuns)
        for (FileOperation operation : AllFileOperations) {
            if (operation == FileOperation::Write)
                cases.push_back({run, operation, ENOSPC});
            cases.push_back({run, operation, EIO});
        }
    return cases;
}

class FaultInjection : public ::testing::TestWithParam<FaultCase> {};

TEST_P(FaultInjection, EachFailingOperationIsReportedAndLosesNothing)
{
    const FaultCase fault = GetParam();
    Subject subject(fault.run);
    const int occurrences = subject.CountOperations().Count(fault.operation);
    for (int n = 1; n <= occurrences; ++n) {
        SCOPED_TRACE(std::string(NameOf(fault.operation)) + " " + std::to_string(n) + " of " +
                     std::to_string(occurrences) + " fails: " + std::strerror(fault.error));
        FaultyFileSystem files;
        files.FailAt(fault.operation, n, fault.error);
        const auto message = subject.Perform(files);
        subject.CheckAfterFailure(files, message);
        if (message) {
            EXPECT_TRUE(Contains(*message, std::strerror(fault.error))) << *message;
        }
        if (::testing::Test::HasFailure())
            return;
    }
}

INSTANTIATE_TEST_SUITE_P(AllRunsAndOperations, FaultInjection, ::testing::ValuesIn(AllFaultCases()),
                         [](const ::testing::TestParamInfo<FaultCase>& info) {
                             return std::string(NameOf(info.param.run)) + "_" +
                                    std::string(NameOf(info.param.operation)) + "_" +
                                    (info.param.error == ENOSPC ? "DiskFull" : "IoError");
                         });

// Every file written is closed with a checked close; a rebuild forces the
// work file and then the folder to the disk and renames once. The number
// of fault points of each run is printed.
TEST(FaultPoints, EachRunFlushesAndClosesWhatItWrites)
{
    for (Procedure run : AllRuns) {
        SCOPED_TRACE(std::string(NameOf(run)));
        Subject subject(run);
        const FaultyFileSystem files = subject.CountOperations();
        EXPECT_EQ(files.Count(FileOperation::Close), files.Count(FileOperation::Create));
        if (IsRebuild(run)) {
            EXPECT_GE(files.Count(FileOperation::Sync), 1);
            EXPECT_GE(files.Count(FileOperation::SyncFolder), 1);
            EXPECT_EQ(files.Count(FileOperation::Rename), KeepsBackup(run) ? 2 : 1);
        }
        // Writes fail twice each: with a full disk and with an I/O error.
        const int faultPoints = files.TotalCount() + files.Count(FileOperation::Write);
        std::ostringstream line;
        line << NameOf(run) << ": " << faultPoints << " fault points (";
        for (FileOperation operation : AllFileOperations)
            line << " " << NameOf(operation) << " " << files.Count(operation);
        line << " )";
        std::cout << line.str() << '\n';
        ::testing::Test::RecordProperty(std::string(NameOf(run)), faultPoints);
    }
}

}  // namespace
}  // namespace Brimwork::Testing
