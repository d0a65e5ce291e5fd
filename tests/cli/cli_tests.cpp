// brimwork-cli end to end: the real program on containers made here.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "core/files.h"
#include "image/image_buffer.h"
#include "image/tga.h"
#include "samples/sample_containers.h"
#include "tests/cli/cli_process.h"
#include "tests/support/test_support.h"

namespace Brimwork::Testing {
namespace {

namespace fs = std::filesystem;
using Samples::GadgetEntry;
using Samples::Picture;
using Names = std::vector<std::string>;

constexpr int32_t UnitsHeaderValue = -3;

// Three entries of one, two and three images, odd widths among them.
std::vector<GadgetEntry> UnitEntries()
{
    using namespace Samples;
    return {
        {"CHAIR", 7, {Gradient(5, 3), Disc(8, 6, Rgb555(31, 0, 0), 0x7FFF)}},
        {"LAMP", 0, {Stripes(4, 4)}},
        {"TABLE", -12, {Solid(2, 2, Rgb555(0, 31, 0)), Gradient(3, 1), Disc(6, 6, 0x0000, 0x7FFF)}},
    };
}

fs::path WriteUnits(const fs::path& folder)
{
    fs::path container = folder / "units.gdg";
    Samples::WriteBytes(container, Samples::BuildGadgetFile(UnitsHeaderValue, UnitEntries()));
    return container;
}

Names NamesIn(const fs::path& folder)
{
    Names names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void ExpectSilentSuccess(const CliResult& result)
{
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
}

void ExpectFailure(const CliResult& result, const std::string& expectedError)
{
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, expectedError);
    EXPECT_EQ(result.out, "");
}

TEST(CliRoundTrip, ListExtractEditRebuildAndListAgain)
{
    TempFolder folder;
    fs::path container = WriteUnits(folder.path());

    CliResult listed = RunCli({"list", container.string()});
    ExpectSilentSuccess(listed);
    EXPECT_EQ(listed.out, "CHAIR\nLAMP\nTABLE\n");

    CliResult extracted = RunCli({"extract", container.string()});
    ExpectSilentSuccess(extracted);
    EXPECT_EQ(extracted.out, "");
    EXPECT_EQ(folder.Names(), (Names{"CHAIR_000.tga", "CHAIR_001.tga", "EXTRACT.DAT", "LAMP_000.tga", "TABLE_000.tga",
                                     "TABLE_001.tga", "TABLE_002.tga", "units.gdg"}));
    ImageBuffer disc;
    ReadTGA(RealFileSystem(), folder / "CHAIR_001.tga", disc);
    EXPECT_EQ(disc.ImageWidth, 8);
    EXPECT_EQ(disc.ImageHeight, 6);
    EXPECT_EQ(disc.ImageBytes, UnitEntries()[0].images[1].Bytes());

    // The lamp is redrawn larger, so every later position moves.
    Picture biggerLamp = Samples::Solid(7, 5, Samples::Rgb555(0, 0, 31));
    WriteTGA(RealFileSystem(), folder / "LAMP_000.tga", ImageBuffer{7, 5, biggerLamp.Bytes()});

    CliResult rebuilt = RunCli({"rebuild", container.string()});
    ExpectSilentSuccess(rebuilt);
    EXPECT_EQ(rebuilt.out, "");
    EXPECT_EQ(folder.Names(), Names{"units.gdg"});
    std::vector<GadgetEntry> edited = UnitEntries();
    edited[1].images = {biggerLamp};
    EXPECT_EQ(Samples::ReadBytes(container), Samples::BuildGadgetFile(UnitsHeaderValue, edited));

    CliResult relisted = RunCli({"list", container.string()});
    ExpectSilentSuccess(relisted);
    EXPECT_EQ(relisted.out, listed.out);
}

TEST(CliRoundTrip, FilesLandBesideTheContainerAndNowhereElse)
{
    TempFolder root;
    fs::create_directory(root / "data");
    WriteUnits(root / "data");
    WriteText(root / "keep.tga", "not an image of this container");

    // A relative FILE, run from another folder.
    ExpectSilentSuccess(RunCli({"extract", "data/units.gdg"}, {root.path()}));
    EXPECT_EQ(root.Names(), (Names{"data", "keep.tga"}));
    EXPECT_TRUE(fs::exists(root / "data" / "EXTRACT.DAT"));
    EXPECT_TRUE(fs::exists(root / "data" / "TABLE_002.tga"));

    ExpectSilentSuccess(RunCli({"rebuild", "data/units.gdg"}, {root.path()}));
    EXPECT_EQ(root.Names(), (Names{"data", "keep.tga"}));
    EXPECT_EQ(NamesIn(root / "data"), Names{"units.gdg"});
    EXPECT_EQ(Samples::ReadBytes(root / "data" / "units.gdg"),
              Samples::BuildGadgetFile(UnitsHeaderValue, UnitEntries()));
}

TEST(CliList, NamesArePrintedByteForByteInFileOrder)
{
    TempFolder folder;
    std::vector<GadgetEntry> entries{{"caf\xE9", 0, {}}, {"", 0, {}}, {"A B", 0, {}}, {"0123456789abcdef0123456789ABCDEF", 0, {}}};
    Samples::WriteBytes(folder / "odd.gdg", Samples::BuildGadgetFile(0, entries));

    CliResult listed = RunCli({"list", (folder / "odd.gdg").string()});
    ExpectSilentSuccess(listed);
    EXPECT_EQ(listed.out, "caf\xE9\n\nA B\n0123456789abcdef0123456789ABCDEF\n");
}

TEST(CliMessages, WrongSignatureStopsEveryCommandBeforeItWrites)
{
    TempFolder folder;
    std::vector<uint8_t> bytes = Samples::BuildGadgetFile(0, UnitEntries());
    std::copy_n("gadg", 4, bytes.begin());
    Samples::WriteBytes(folder / "units.gdg", bytes);

    for (const char* command : {"list", "extract", "rebuild"}) {
        SCOPED_TRACE(command);
        ExpectFailure(RunCli({command, (folder / "units.gdg").string()}),
                      "Brimwork Error: Error: Gadget file signature not found!\n");
        EXPECT_EQ(folder.Names(), Names{"units.gdg"});
    }
}

TEST(CliMessages, RebuildWithoutManifestTouchesNothing)
{
    TempFolder folder;
    fs::path container = WriteUnits(folder.path());
    std::vector<uint8_t> before = Samples::ReadBytes(container);
    WriteText(folder / "LAMP_000.tga", "left from elsewhere");

    ExpectFailure(RunCli({"rebuild", container.string()}),
                  "Rebuild Error: Error: No EXTRACT.DAT file found in current directory.  Can't rebuild.\n");
    EXPECT_EQ(folder.Names(), (Names{"LAMP_000.tga", "units.gdg"}));
    EXPECT_EQ(Samples::ReadBytes(container), before);
}

TEST(CliMessages, ExtractOfAContainerWithoutEntriesAsksForAFile)
{
    TempFolder folder;
    Samples::WriteBytes(folder / "empty.gdg", Samples::BuildGadgetFile(5, {}));

    CliResult listed = RunCli({"list", (folder / "empty.gdg").string()});
    ExpectSilentSuccess(listed);
    EXPECT_EQ(listed.out, "");

    ExpectFailure(RunCli({"extract", (folder / "empty.gdg").string()}),
                  "Extraction Error: Error: You must open a file before you can extract its contents.\n");
    EXPECT_EQ(folder.Names(), Names{"empty.gdg"});
}

TEST(CliMessages, VehicleRebuildReportsRoundingAndStillSucceeds)
{
    TempFolder folder;
    const fs::path file = folder / "HANGAR.Azp";
    Samples::WriteBytes(file, Samples::BuildVehicleFile({{"s", 0, true, {}, {Samples::EncodeShadow({{true}})}}}));
    ExpectFailure(RunCli({"rebuild", file.string()}),
                  "Rebuild Error: Error: No HANGAR.Azp.txt file found in current directory.  Can't rebuild.\n");
    ASSERT_EQ(RunCli({"extract", file.string()}).exitCode, 0);
    WriteText(folder / "s_000.tga", std::string("\0\0\2\0\0\0\0\0\0\0\0\0\1\0\1\0\x10\x20\x10\x42", 20));
    const CliResult rebuilt = RunCli({"rebuild", file.string()});
    EXPECT_EQ(rebuilt.exitCode, 0);
    EXPECT_EQ(rebuilt.err, "Rebuild: The rebuild rounded 1 pixel of shadow frames to black or white (white where "
                           "red, green and blue add up to at least 47):\ns_000.tga: 1 pixel\n");
    EXPECT_EQ(folder.Names(), Names{"HANGAR.Azp"});
}

TEST(CliFailures, MissingOrDamagedFilesAreErrorsNamingTheFile)
{
    TempFolder folder;
    CliResult missing = RunCli({"list", (folder / "absent.gdg").string()});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err.rfind("Brimwork Error: ", 0), 0u) << missing.err;
    EXPECT_NE(missing.err.find("absent.gdg"), std::string::npos) << missing.err;

    CliResult folderGiven = RunCli({"extract", folder.path().string()});
    EXPECT_EQ(folderGiven.exitCode, 1);
    EXPECT_EQ(folderGiven.err.rfind("Brimwork Error: ", 0), 0u) << folderGiven.err;

    // An entry count far beyond the file's 12 bytes.
    std::vector<uint8_t> header = Samples::BuildGadgetFile(0, {});
    header[8] = 0xE8;
    header[9] = 0x03;
    Samples::WriteBytes(folder / "short.gdg", header);
    CliResult tooShort = RunCli({"list", (folder / "short.gdg").string()});
    EXPECT_EQ(tooShort.exitCode, 1);
    EXPECT_EQ(tooShort.err.rfind("Brimwork Error: ", 0), 0u) << tooShort.err;
    EXPECT_EQ(tooShort.out, "");

    // The first image's data offset points far past the end of the file.
    std::vector<uint8_t> bytes = Samples::BuildGadgetFile(0, UnitEntries());
    const size_t firstDataOffset = 12 + 44 * 3 + 12;
    std::copy_n(std::vector<uint8_t>{0xF0, 0xFF, 0xFF, 0x7F}.begin(), 4, bytes.begin() + firstDataOffset);
    Samples::WriteBytes(folder / "units.gdg", bytes);
    CliResult pastEnd = RunCli({"extract", (folder / "units.gdg").string()});
    EXPECT_EQ(pastEnd.exitCode, 1);
    EXPECT_EQ(pastEnd.err.rfind("Brimwork Error: ", 0), 0u) << pastEnd.err;
    EXPECT_NE(pastEnd.err.find("units.gdg"), std::string::npos) << pastEnd.err;
}

TEST(CliUsage, WrongCommandLinesExitWithTwoAndHelpOrVersionWithZero)
{
    for (const Names& arguments : {Names{}, Names{"show", "units.gdg"}, Names{"list"},
                                   Names{"list", "a.gdg", "b.gdg"}, Names{"list", ""}}) {
        CliResult result = RunCli(arguments);
        EXPECT_EQ(result.exitCode, 2) << ::testing::PrintToString(arguments);
        EXPECT_NE(result.err.find("Usage: brimwork-cli"), std::string::npos);
        EXPECT_EQ(result.out, "");
    }

    TempFolder folder;
    fs::path container = WriteUnits(folder.path());
    for (const Names& arguments : {Names{"--help"}, Names{"-h"}, Names{"extract", "--help"}}) {
        CliResult result = RunCli(arguments, {folder.path()});
        ExpectSilentSuccess(result);
        EXPECT_EQ(result.out.rfind("Usage: brimwork-cli", 0), 0u);
    }
    // --version names the program and the build's version, wherever it stands.
    for (const Names& arguments : {Names{"--version"}, Names{"list", "--version"}, Names{"--version", "--help"}}) {
        CliResult result = RunCli(arguments, {folder.path()});
        ExpectSilentSuccess(result);
        EXPECT_EQ(result.out, "brimwork-cli " BRIMWORK_VERSION "\n") << ::testing::PrintToString(arguments);
    }
    EXPECT_EQ(folder.Names(), Names{"units.gdg"});
}

TEST(CliTerminal, ProgressBarIsDrawnWhenStandardErrorIsATerminal)
{
    TempFolder folder;
    fs::path container = WriteUnits(folder.path());

    CliResult extracted = RunCli({"extract", container.string()}, {.workingFolder = {}, .errorOnTerminal = true});
    EXPECT_EQ(extracted.exitCode, 0) << extracted.err;
    EXPECT_NE(extracted.err.find("[########################################] 100%"), std::string::npos)
        << extracted.err;
    EXPECT_TRUE(fs::exists(folder / "EXTRACT.DAT"));
}

}  // namespace
}  // namespace Brimwork::Testing
