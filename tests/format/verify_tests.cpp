#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "container/verify.h"
#include "core/bytes.h"
#include "core/error.h"
#include "testing/memory_files.h"
#include "samples/sample_containers.h"

using namespace Brimwork;
using namespace Brimwork::Samples;

namespace {

using FileBytes = std::vector<uint8_t>;
using Patch = std::function<void(FileBytes&)>;

void Put32(FileBytes& file, int64_t offset, int32_t value) { Bytes::PutInt32(file, static_cast<size_t>(offset), value); }
void Put16(FileBytes& file, int64_t offset, int16_t value) { Bytes::PutInt16(file, static_cast<size_t>(offset), value); }
int32_t At32(const FileBytes& file, int64_t offset) { return Bytes::Int32At(file, static_cast<size_t>(offset)); }

// Where the records of the containers below lie, read from the files
// themselves.
int64_t GadgetEntryRecord(int64_t entry) { return 12 + 44 * entry; }
int64_t GadgetImageHeader(const FileBytes& file, int64_t entry, int64_t image)
{
    return At32(file, GadgetEntryRecord(entry) + 40) + 16 * image;
}
int64_t ScreenEntryRecord(int64_t entry) { return 12 + 48 * entry; }
int64_t VehicleEntryRecord(int64_t entry) { return 4 + 264 * entry; }
int64_t VehicleRecord(const FileBytes& file, int64_t entry) { return At32(file, VehicleEntryRecord(entry) + 256); }
int64_t SlotField(const FileBytes& file, int64_t slot, int64_t field)  // field: 0 width, 1 height, 2 offset
{
    const int64_t record = VehicleRecord(file, 0);
    return field == 2 ? record + 416 + 4 * slot : record + 280 + 8 * slot + 4 * field;
}
int64_t ShadowFrameAt(const FileBytes& file, int64_t frame)
{
    int64_t start = VehicleRecord(file, 1) + 20;
    for (int64_t f = 0; f < frame; ++f)
        start += 12 + At32(file, start + 8);
    return start;
}
// Frame 1 below: 4 x 2, rows {0, -1}, codes {245 2, 0 2}.
int64_t FrameRows(const FileBytes& file) { return ShadowFrameAt(file, 1) + 12; }
int64_t FrameCodes(const FileBytes& file) { return FrameRows(file) + 4; }

FileBytes GadgetFile()
{
    return BuildGadgetFile(1, {{"ALPHA", 1, {Solid(4, 3, 0x1234), Solid(2, 2, 0x4321)}},
                               {"BETA", 2, {Solid(3, 3, 0x7FFF)}}});
}

FileBytes ScreenFile()
{
    return BuildScreenFile(1, {{"ONE", Solid(3, 3, 0x0001)}, {"TWO", Solid(3, 3, 0x0002)}});
}

FileBytes VehicleFile()
{
    VehicleEntry truck{"TRUCK", 1, false, {}, {}};
    for (int32_t j = 0; j < 17; ++j)
        truck.slots.push_back({Solid(j == 5 ? 0 : 2 + j % 3, 2, 0x0F0F), {j, 0, 0, 0}});
    VehicleEntry shadow{"SHADOW", 2, true, {}, {}};
    shadow.frames = {EncodeShadow({{true, false, false, true}, {false, false, false, false}}),
                     Samples::ShadowFrame{4, 2, {1, 2}, {0, -1}, {245, 2, 0, 2}},
                     EncodeShadow({{true, true}, {false, true}})};
    return BuildVehicleFile({truck, shadow});
}

VerifyReport VerifyBytes(const std::string& name, const FileBytes& bytes)
{
    MemoryFileSystem files;
    files.AddFile("/c/" + name, bytes);
    return Verify(files, "/c/" + name);
}

// The findings as lines of Text(), without the summary.
std::vector<std::string> Lines(const VerifyReport& report)
{
    std::vector<std::string> lines;
    const std::string text = report.Text();
    for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(text.substr(at, end - at));
    lines.pop_back();
    return lines;
}

bool HasFinding(const VerifyReport& report, VerifyFinding::Severity severity, const std::string& where,
                const std::string& text)
{
    for (const VerifyFinding& finding : report.findings)
        if (finding.severity == severity && finding.where == where && finding.text.find(text) != std::string::npos)
            return true;
    return false;
}

struct Case {
    const char* name;
    std::string fileName;
    std::function<FileBytes()> build;
    Patch patch;
    std::string where;
    std::string text;
};

std::string CaseName(const ::testing::TestParamInfo<Case>& info) { return info.param.name; }

std::string Report(const VerifyReport& report) { return "report:\n" + report.Text(); }

// ---- Defects ----

class VerifyDefects : public ::testing::TestWithParam<Case> {};

TEST_P(VerifyDefects, AreReportedWhereTheyLie)
{
    FileBytes bytes = GetParam().build();
    GetParam().patch(bytes);
    const VerifyReport report = VerifyBytes(GetParam().fileName, bytes);
    EXPECT_TRUE(report.HasDefects()) << Report(report);
    EXPECT_TRUE(HasFinding(report, VerifyFinding::Severity::Defect, GetParam().where, GetParam().text))
        << Report(report);
}

const std::string Alpha = "entry 0 (\"ALPHA\")";
const std::string Beta = "entry 1 (\"BETA\")";
const std::string Two = "entry 1 (\"TWO\")";
const std::string Truck = "entry 0 (\"TRUCK\")";
const std::string Shadow = "entry 1 (\"SHADOW\")";

INSTANTIATE_TEST_SUITE_P(
    VerifyGadget, VerifyDefects,
    ::testing::Values(
        Case{"PixelsPastTheEnd", "G.GDG", GadgetFile, [](FileBytes& f) { Put32(f, GadgetImageHeader(f, 0, 1) + 12, 1000); },
             "image 1 of " + Alpha, "(2 x 2, 8 bytes at offset 1000) do not lie within the file"},
        Case{"NegativeDataOffset", "G.GDG", GadgetFile, [](FileBytes& f) { Put32(f, GadgetImageHeader(f, 1, 0) + 12, -4); },
             "image 0 of " + Beta, "at offset -4) do not lie within the file"},
        Case{"NegativeSize", "G.GDG", GadgetFile, [](FileBytes& f) { Put32(f, GadgetImageHeader(f, 1, 0), -3); },
             "image 0 of " + Beta, "negative size (-3 x 3)"},
        Case{"SizeOverflowsItsField", "G.GDG", GadgetFile,
             [](FileBytes& f) {
                 Put32(f, GadgetImageHeader(f, 0, 0), 0x10000);
                 Put32(f, GadgetImageHeader(f, 0, 0) + 4, 0x10000);
             },
             "image 0 of " + Alpha, "65536 x 65536 needs 8589934592 bytes of pixels, more than a 32-bit size"},
        Case{"TooLargeForTga", "G.GDG", GadgetFile,
             [](FileBytes& f) {
                 Put32(f, GadgetImageHeader(f, 0, 0), 40000);
                 Put32(f, GadgetImageHeader(f, 0, 0) + 4, 0);
             },
             "image 0 of " + Alpha, "40000 x 0 is too large for a TGA file"},
        Case{"EntryCountTooLarge", "G.GDG", GadgetFile, [](FileBytes& f) { Put32(f, 8, 1000); }, "",
             "entry count 1000 needs a table of 44000 bytes"},
        Case{"ImageTablePastTheEnd", "G.GDG", GadgetFile, [](FileBytes& f) { Put32(f, GadgetEntryRecord(1) + 36, 100); },
             Beta, "image table (100 images, 1600 bytes at offset"},
        Case{"ImageTableOffsetNegative", "G.GDG", GadgetFile,
             [](FileBytes& f) { Put32(f, GadgetEntryRecord(0) + 40, -16); }, Alpha, "at offset -16) lies outside the file"},
        Case{"WrongSignature", "G.GDG", GadgetFile, [](FileBytes& f) { f[0] = 'X'; }, "",
             "does not start with the gadget signature \"GADG\""},
        // Under another name a file is a gadget file unless it starts as a
        // screen file does.
        Case{"OtherNamesAreGadgetFiles", "G.BIN", ScreenFile, [](FileBytes& f) { f[3] = 'X'; }, "",
             "gadget signature"},
        Case{"ShorterThanItsHeader", "G.GDG", GadgetFile, [](FileBytes& f) { f.resize(7); }, "",
             "7 bytes, too few for its 12-byte header"},
        Case{"NameExtractionRefuses", "G.GDG", GadgetFile, [](FileBytes& f) { f[GadgetEntryRecord(1) + 1] = '/'; },
             "entry 1 (\"B/TA\")", "extraction refuses it"},
        Case{"NamesEqualButForCase", "G.GDG", GadgetFile,
             [](FileBytes& f) { Bytes::PutText(f, static_cast<size_t>(GadgetEntryRecord(1)), 32, "alpha"); },
             "entry 1 (\"alpha\")", "equals that of " + Alpha}),
    CaseName);

INSTANTIATE_TEST_SUITE_P(
    VerifyScreen, VerifyDefects,
    ::testing::Values(
        Case{"PixelsPastTheEnd", "S.PIX", ScreenFile, [](FileBytes& f) { Put32(f, ScreenEntryRecord(1) + 44, 5000); },
             Two, "(3 x 3, 18 bytes at offset 5000) do not lie within the file"},
        Case{"NegativeSize", "S.PIX", ScreenFile, [](FileBytes& f) { Put32(f, ScreenEntryRecord(1) + 36, -1); }, Two,
             "negative size (3 x -1)"},
        Case{"EntryCountTooLarge", "S.PIX", ScreenFile, [](FileBytes& f) { Put32(f, 8, 3); }, "",
             "entry count 3 needs a table of 144 bytes"},
        Case{"WrongSignature", "s.pix", GadgetFile, [](FileBytes&) {}, "",
             "does not start with the screen signature \"PICS\""}),
    CaseName);

INSTANTIATE_TEST_SUITE_P(
    VerifyVehicle, VerifyDefects,
    ::testing::Values(
        Case{"SlotPixelsPastTheEnd", "V.AZP", VehicleFile, [](FileBytes& f) { Put32(f, SlotField(f, 3, 2), 100000); },
             "slot 3 of " + Truck, "(2 x 2, 8 bytes at offset 101016) do not lie within the file"},
        Case{"SlotNegativeSize", "V.AZP", VehicleFile, [](FileBytes& f) { Put32(f, SlotField(f, 5, 0), -2); },
             "slot 5 of " + Truck, "negative size (-2 x 2)"},
        Case{"RecordOutsideTheFile", "V.AZP", VehicleFile,
             [](FileBytes& f) { Put32(f, VehicleEntryRecord(0) + 256, 1 << 30); }, Truck,
             "record lies outside the file (offset 1073741824)"},
        Case{"SpriteRecordPastTheEnd", "V.AZP", VehicleFile,
             [](FileBytes& f) { Put32(f, VehicleEntryRecord(0) + 256, static_cast<int32_t>(f.size()) - 100); }, Truck,
             "vehicle record (484 bytes at offset"},
        Case{"EntryCountTooLarge", "V.AZP", VehicleFile, [](FileBytes& f) { Put32(f, 0, 1000000); }, "",
             "entry count 1000000 needs a table of 264000000 bytes"},
        Case{"EmptyFile", "V.AZP", VehicleFile, [](FileBytes& f) { f.clear(); }, "",
             "0 bytes, too few to hold its 4-byte entry count"},
        Case{"FrameCountBeyondTheData", "V.AZP", VehicleFile,
             [](FileBytes& f) { Put16(f, VehicleRecord(f, 1) + 10, 30); }, Shadow,
             "frame count 30 is more than the file holds: frame 3 would begin"},
        Case{"FrameDataPastTheEnd", "V.AZP", VehicleFile, [](FileBytes& f) { Put32(f, ShadowFrameAt(f, 0) + 8, 9999); },
             "frame 0 of " + Shadow, "9999 bytes of data at offset"},
        Case{"FrameDataSmallerThanItsRows", "V.AZP", VehicleFile,
             [](FileBytes& f) { Put32(f, ShadowFrameAt(f, 0) + 8, 3); }, "frame 0 of " + Shadow,
             "holds 3 bytes of data, fewer than its table of 2 rows needs; frames 1 to 2 behind it cannot be reached"},
        Case{"FrameNegativeSize", "V.AZP", VehicleFile, [](FileBytes& f) { Put16(f, ShadowFrameAt(f, 2), -2); },
             "frame 2 of " + Shadow, "negative size (-2 x 2)"},
        Case{"CodesRunPastTheData", "V.AZP", VehicleFile, [](FileBytes& f) { Put16(f, FrameRows(f), 2); },
             "frame 1 of " + Shadow, "row 0's codes run past the end of the frame's data after 2 of 4 pixels"},
        Case{"RunWithoutItsLength", "V.AZP", VehicleFile,
             [](FileBytes& f) {
                 Put16(f, FrameRows(f), 3);
                 f[FrameCodes(f) + 3] = 0;
             },
             "frame 1 of " + Shadow, "row 0's last run has no length"},
        Case{"CodesRunPastTheRow", "V.AZP", VehicleFile, [](FileBytes& f) { f[FrameCodes(f) + 1] = 9; },
             "frame 1 of " + Shadow, "row 0's runs cover 9 pixels, past the end of its row of 4"},
        Case{"RowOffsetPastTheData", "V.AZP", VehicleFile, [](FileBytes& f) { Put16(f, FrameRows(f), 50); },
             "frame 1 of " + Shadow, "row 0 begins at byte 50, outside the frame's 4 bytes of codes"},
        Case{"RowOffsetBelowWhiteRow", "V.AZP", VehicleFile, [](FileBytes& f) { Put16(f, FrameRows(f) + 2, -5); },
             "frame 1 of " + Shadow, "row 1 begins at byte -5"},
        Case{"CodeWithoutMeaning", "V.AZP", VehicleFile, [](FileBytes& f) { f[FrameCodes(f)] = 7; },
             "frame 1 of " + Shadow, "row 0 holds the code 7 at byte 0, which means nothing"},
        Case{"ManyDamagedRowsAreOneDefect", "V.AZP", VehicleFile,
             [](FileBytes& f) {
                 Put16(f, FrameRows(f), 50);
                 Put16(f, FrameRows(f) + 2, 60);
             },
             "frame 1 of " + Shadow, "row 0 begins at byte 50, outside the frame's 4 bytes of codes (2 rows damaged"}),
    CaseName);

TEST(VerifyDefectsTogether, IndependentDefectsAreAllReported)
{
    FileBytes gadget = GadgetFile();
    Put32(gadget, GadgetImageHeader(gadget, 0, 0), -1);
    Put32(gadget, GadgetImageHeader(gadget, 1, 0) + 12, 9000);
    const VerifyReport gadgetReport = VerifyBytes("G.GDG", gadget);
    EXPECT_TRUE(HasFinding(gadgetReport, VerifyFinding::Severity::Defect, "image 0 of " + Alpha, "negative size"));
    EXPECT_TRUE(HasFinding(gadgetReport, VerifyFinding::Severity::Defect, "image 0 of " + Beta, "offset 9000"));

    FileBytes vehicle = VehicleFile();
    Put32(vehicle, SlotField(vehicle, 16, 2), -100000);
    Put16(vehicle, FrameRows(vehicle), 50);
    const VerifyReport vehicleReport = VerifyBytes("V.AZP", vehicle);
    EXPECT_TRUE(HasFinding(vehicleReport, VerifyFinding::Severity::Defect, "slot 16 of " + Truck, "do not lie within"));
    EXPECT_TRUE(HasFinding(vehicleReport, VerifyFinding::Severity::Defect, "frame 1 of " + Shadow, "row 0 begins"));
    // The frame after the damaged one is still read and checked.
    EXPECT_EQ(vehicleReport.images, 17 + 3) << Report(vehicleReport);
}

// ---- Notes ----

class VerifyNotes : public ::testing::TestWithParam<Case> {};

TEST_P(VerifyNotes, AreNotDefects)
{
    FileBytes bytes = GetParam().build();
    GetParam().patch(bytes);
    const VerifyReport report = VerifyBytes(GetParam().fileName, bytes);
    EXPECT_FALSE(report.HasDefects()) << Report(report);
    EXPECT_TRUE(HasFinding(report, VerifyFinding::Severity::Note, GetParam().where, GetParam().text))
        << Report(report);
}

INSTANTIATE_TEST_SUITE_P(
    VerifyLayouts, VerifyNotes,
    ::testing::Values(
        // Image 0 of ALPHA shrinks from 4 x 3 to 4 x 2: its last row's 8
        // bytes stay in the file, pointed at by nothing.
        Case{"GapBetweenImages", "G.GDG", GadgetFile,
             [](FileBytes& f) {
                 Put32(f, GadgetImageHeader(f, 0, 0) + 4, 2);
                 Put32(f, GadgetImageHeader(f, 0, 0) + 8, 16);
             },
             "", "8 bytes at offset 148, between image 0 of " + Alpha + " and image 1 of " + Alpha},
        Case{"SharedData", "S.PIX", ScreenFile,
             [](FileBytes& f) {
                 Put32(f, ScreenEntryRecord(1) + 44, At32(f, ScreenEntryRecord(0) + 44));
                 f.resize(f.size() - 18);
             },
             Two, "shares 18 bytes at offset 108 with entry 0 (\"ONE\")"},
        Case{"TrailingBytes", "V.AZP", VehicleFile, [](FileBytes& f) { f.insert(f.end(), 5, 0xEE); }, "",
             "5 bytes at offset"},
        Case{"OutOfOrder", "S.PIX", ScreenFile,
             [](FileBytes& f) {
                 Put32(f, ScreenEntryRecord(0) + 44, 126);
                 Put32(f, ScreenEntryRecord(1) + 44, 108);
             },
             "", "entry 1 (\"TWO\") lies before entry 0 (\"ONE\")"},
        Case{"StatedDataSizeIsNotTheSizes", "G.GDG", GadgetFile,
             [](FileBytes& f) { Put32(f, GadgetImageHeader(f, 1, 0) + 8, 5); }, "image 0 of " + Beta,
             "data size field says 5 bytes, its size gives 18"},
        Case{"NegativeFrameCount", "V.AZP", VehicleFile,
             [](FileBytes& f) {
                 Put16(f, VehicleRecord(f, 1) + 10, -1);
                 f.resize(static_cast<size_t>(VehicleRecord(f, 1) + 20));
             },
             Shadow, "frame count -1 is read as no frames"}),
    CaseName);

// ---- Clean containers and the report ----

struct CleanCase {
    const char* name;
    std::string fileName;
    std::function<FileBytes()> build;
    int64_t entries;
    int64_t images;
};

class VerifyClean : public ::testing::TestWithParam<CleanCase> {};

TEST_P(VerifyClean, HasNoFindings)
{
    const VerifyReport report = VerifyBytes(GetParam().fileName, GetParam().build());
    EXPECT_TRUE(report.findings.empty()) << Report(report);
    EXPECT_FALSE(report.HasDefects());
    EXPECT_EQ(report.entries, GetParam().entries);
    EXPECT_EQ(report.images, GetParam().images);
}

INSTANTIATE_TEST_SUITE_P(
    VerifyKinds, VerifyClean,
    ::testing::Values(CleanCase{"Gadget", "G.GDG", GadgetFile, 2, 3}, CleanCase{"Screen", "S.PIX", ScreenFile, 2, 2},
                      CleanCase{"ScreenUnderAnotherName", "S.BIN", ScreenFile, 2, 2},
                      CleanCase{"Vehicle", "V.AZP", VehicleFile, 2, 20},
                      // The bundled samples: an entry without images, a
                      // slot without pixels, a frame ending in the beep code.
                      CleanCase{"SampleGadget", "GADGETS.GDG",
                                [] { return BuildGadgetFile(1, SampleGadgetEntries()); }, 5, 11},
                      CleanCase{"SampleScreen", "SCREENS.PIX",
                                [] { return BuildScreenFile(1, SampleScreenEntries()); }, 3, 3},
                      CleanCase{"SampleVehicle", "VEHICLES.AZP",
                                [] { return BuildVehicleFile(SampleVehicleEntries()); }, 3, 17 + 8 + 17},
                      CleanCase{"NoEntries", "E.GDG", [] { return BuildGadgetFile(0, {}); }, 0, 0}),
    [](const ::testing::TestParamInfo<CleanCase>& info) { return std::string(info.param.name); });

TEST(VerifyReportText, GivesOneLinePerFindingThenTheSummary)
{
    FileBytes bytes = GadgetFile();
    Put32(bytes, GadgetImageHeader(bytes, 1, 0), -3);
    bytes.insert(bytes.end(), 2, 0);
    const VerifyReport report = VerifyBytes("UNITS.GDG", bytes);
    const std::vector<std::string> expected{
        "defect: image 0 of entry 1 (\"BETA\"): it has a negative size (-3 x 3)",
        "note: 20 bytes at offset 180, after the image table of entry 1 (\"BETA\"), belong to no record; a rebuild "
        "drops them",
    };
    EXPECT_EQ(Lines(report), expected);
    EXPECT_TRUE(report.Text().ends_with("\nUNITS.GDG: 2 entries, 3 images, 1 defect, 1 note\n")) << report.Text();
}

TEST(VerifyReportText, GroupsLargeCounts)
{
    VerifyReport report;
    report.container = "/x/UNITS.GDG";
    report.entries = 120;
    report.images = 3400;
    EXPECT_EQ(report.Text(), "UNITS.GDG: 120 entries, 3,400 images, 0 defects, 0 notes\n");
}

TEST(VerifyErrors, AFileThatCannotBeOpenedIsAnError)
{
    MemoryFileSystem files;
    EXPECT_THROW(Verify(files, "/c/MISSING.GDG"), Error);
}

}  // namespace
