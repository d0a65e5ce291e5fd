// brimwork-cli end to end: the real program on containers made here.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "io/files.h"
#include "core/names.h"
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

fs::path WriteUnits(const fs::path& folder, const std::string& name = "units.gdg")
{
    fs::path container = folder / name;
    Samples::WriteBytes(container, Samples::BuildGadgetFile(UnitsHeaderValue, UnitEntries()));
    return container;
}

// A second gadget file: its LAMP shares a name with a units entry, not its
// image; its VASE is its own.
constexpr int32_t ItemsHeaderValue = 9;

std::vector<GadgetEntry> ItemEntries()
{
    using namespace Samples;
    return {{"LAMP", 1, {Solid(4, 4, Rgb555(31, 31, 0))}}, {"VASE", 2, {Disc(5, 7, Rgb555(0, 0, 31), 0)}}};
}

// An image to put in place of an extracted one.
void WriteSolidTga(const fs::path& path, int32_t width, int32_t height)
{
    WriteTGA(RealFileSystem(), path, ImageBuffer{width, height, Samples::Solid(width, height, 0x1234).Bytes()});
}

Names NamesIn(const fs::path& folder)
{
    Names names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Every file of a folder with its bytes: equal snapshots mean nothing in
// the folder was written, created, renamed or removed.
using Snapshot = std::map<std::string, std::vector<uint8_t>>;

Snapshot SnapshotOf(const fs::path& folder)
{
    Snapshot files;
    for (const auto& name : NamesIn(folder))
        files[name] = Samples::ReadBytes(folder / name);
    return files;
}

Snapshot WithUpperCaseNames(const Snapshot& files)
{
    Snapshot upper;
    for (const auto& [name, bytes] : files)
        upper[ToUpper(name)] = bytes;
    return upper;
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

// A name with none of the three extensions: the screen signature decides,
// and every command treats the file as the screen file it is, the manifest
// taking the container's own name.
TEST(CliRoundTrip, AScreenFileUnderAnotherNameIsReadAsAScreenFile)
{
    TempFolder folder;
    const fs::path container = folder / "title.bin";
    std::vector<Samples::ScreenEntry> screens{{"INTRO", Samples::Gradient(6, 4)},
                                              {"MENU", Samples::Solid(3, 2, Samples::Rgb555(0, 31, 0))}};
    Samples::WriteBytes(container, Samples::BuildScreenFile(5, screens));

    CliResult listed = RunCli({"list", container.string()});
    ExpectSilentSuccess(listed);
    EXPECT_EQ(listed.out, "INTRO\nMENU\n");
    CliResult info = RunCli({"info", container.string()});
    ExpectSilentSuccess(info);
    EXPECT_EQ(info.out.substr(0, info.out.find('\n')).find(": screen file"), container.string().size()) << info.out;
    ExpectSilentSuccess(RunCli({"verify", container.string()}));

    ExpectSilentSuccess(RunCli({"extract", container.string()}));
    EXPECT_EQ(folder.Names(), (Names{"INTRO.tga", "MENU.tga", "title.bin", "title.bin.DAT"}));
    Picture biggerMenu = Samples::Solid(7, 5, Samples::Rgb555(0, 0, 31));
    WriteTGA(RealFileSystem(), folder / "MENU.tga", ImageBuffer{7, 5, biggerMenu.Bytes()});
    ExpectSilentSuccess(RunCli({"rebuild", container.string()}));
    EXPECT_EQ(folder.Names(), Names{"title.bin"});
    screens[1].image = biggerMenu;
    EXPECT_EQ(Samples::ReadBytes(container), Samples::BuildScreenFile(5, screens));

    // A one-image edit saves the file in place under the same name.
    WriteSolidTga(folder / "intro.tga", 2, 2);
    ExpectSilentSuccess(RunCli({"replace", container.string(), "INTRO", (folder / "intro.tga").string()}));
    screens[0].image = Samples::Solid(2, 2, 0x1234);
    EXPECT_EQ(Samples::ReadBytes(container), Samples::BuildScreenFile(5, screens));
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
                  "Rebuild Error: Error: No EXTRACT.DAT file found in current directory.  Can't rebuild. (Looked in " +
                      folder.path().string() + ".)\n");
    EXPECT_EQ(folder.Names(), (Names{"LAMP_000.tga", "units.gdg"}));
    EXPECT_EQ(Samples::ReadBytes(container), before);
}

// The folder named is the container's, not the one the command ran in.
TEST(CliMessages, MissingManifestNamesTheContainersFolder)
{
    TempFolder root;
    fs::create_directory(root / "data");
    WriteUnits(root / "data");

    ExpectFailure(RunCli({"rebuild", "data/units.gdg"}, {root.path()}),
                  "Rebuild Error: Error: No EXTRACT.DAT file found in current directory.  Can't rebuild. (Looked in " +
                      (root / "data").string() + ".)\n");
    EXPECT_EQ(NamesIn(root / "data"), Names{"units.gdg"});
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
                  "Rebuild Error: Error: No HANGAR.Azp.txt file found in current directory.  Can't rebuild. "
                  "(Looked in " + folder.path().string() + ".)\n");
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

TEST(CliExtract, SecondContainerOfAFolderNeedsOverwriteAndItsManifestThenGuardsTheFirst)
{
    TempFolder folder;
    const fs::path units = WriteUnits(folder.path(), "UNITS.GDG");
    const fs::path items = folder / "ITEMS.GDG";
    Samples::WriteBytes(items, Samples::BuildGadgetFile(ItemsHeaderValue, ItemEntries()));
    ExpectSilentSuccess(RunCli({"extract", units.string()}));
    const Snapshot unitsExtracted = SnapshotOf(folder.path());

    ExpectFailure(RunCli({"extract", items.string()}),
                  "Brimwork Error: Cannot extract: 2 files in " + folder.path().string() +
                      " hold other bytes than extraction would write (edited images, or another container's "
                      "files):\nLAMP_000.tga\nEXTRACT.DAT\nNothing was written. Run again with --overwrite to replace "
                      "them.\n");
    EXPECT_EQ(SnapshotOf(folder.path()), unitsExtracted);

    ExpectSilentSuccess(RunCli({"extract", "--overwrite", items.string()}));
    const Snapshot bothExtracted = SnapshotOf(folder.path());
    EXPECT_EQ(ReadText(folder / "EXTRACT.DAT").rfind("ITEMS.GDG\r\n", 0), 0u);
    EXPECT_NE(bothExtracted.at("LAMP_000.tga"), unitsExtracted.at("LAMP_000.tga"));
    EXPECT_EQ(bothExtracted.at("CHAIR_001.tga"), unitsExtracted.at("CHAIR_001.tga"));
    EXPECT_TRUE(bothExtracted.contains("VASE_000.tga"));

    const CliResult refused = RunCli({"rebuild", units.string()});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err.rfind("Brimwork Error: EXTRACT.DAT in " + folder.path().string() +
                                    " was written for ITEMS.GDG, not UNITS.GDG: ",
                                0),
              0u)
        << refused.err;
    EXPECT_NE(refused.err.find("Nothing was changed."), std::string::npos) << refused.err;
    EXPECT_EQ(SnapshotOf(folder.path()), bothExtracted);

    // The container the manifest names rebuilds from it, taking its own files only.
    ExpectSilentSuccess(RunCli({"rebuild", items.string()}));
    EXPECT_EQ(Samples::ReadBytes(items), Samples::BuildGadgetFile(ItemsHeaderValue, ItemEntries()));
    EXPECT_EQ(folder.Names(), (Names{"CHAIR_000.tga", "CHAIR_001.tga", "ITEMS.GDG", "TABLE_000.tga", "TABLE_001.tga",
                                     "TABLE_002.tga", "UNITS.GDG"}));
}

// Extracting again compares with the files there, letter case of names
// ignored: equal ones are left alone, others are listed and kept until
// --overwrite, which puts extraction's bytes under the names found.
TEST(CliExtract, ExtractingAgainKeepsEqualFilesAndRefusesOverOthers)
{
    struct Case {
        const char* what;
        std::function<void(const TempFolder&)> edit;
        Names listed;
    };
    const std::vector<Case> cases{
        {"nothing edited", [](const TempFolder&) {}, {}},
        {"an image renamed in other letter case",
         [](const TempFolder& f) { fs::rename(f / "LAMP_000.tga", f / "lamp_000.TGA"); }, {}},
        {"an image edited", [](const TempFolder& f) { WriteSolidTga(f / "CHAIR_001.tga", 8, 6); }, {"CHAIR_001.tga"}},
        {"an image edited and renamed in other letter case",
         [](const TempFolder& f) {
             fs::remove(f / "CHAIR_001.tga");
             WriteSolidTga(f / "Chair_001.tga", 8, 6);
         },
         {"Chair_001.tga"}},
        {"an image cut short and the manifest edited",
         [](const TempFolder& f) {
             fs::resize_file(f / "TABLE_002.tga", 18);
             WriteText(f / "EXTRACT.DAT", "edited");
         },
         {"TABLE_002.tga", "EXTRACT.DAT"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder folder;
        const fs::path container = WriteUnits(folder.path());
        ExpectSilentSuccess(RunCli({"extract", container.string()}));
        const Snapshot extracted = SnapshotOf(folder.path());
        c.edit(folder);
        const Snapshot edited = SnapshotOf(folder.path());

        const CliResult again = RunCli({"extract", container.string()});
        if (c.listed.empty()) {
            ExpectSilentSuccess(again);
        } else {
            const auto count = static_cast<int64_t>(c.listed.size());
            std::string listed;
            for (const auto& name : c.listed)
                listed += name + "\n";
            ExpectFailure(again, "Brimwork Error: Cannot extract: " + CountOf(count, "file", "files") + " in " +
                                     folder.path().string() + (count == 1 ? " holds" : " hold") +
                                     " other bytes than extraction would write (edited images, or another "
                                     "container's files):\n" +
                                     listed + "Nothing was written. Run again with --overwrite to replace them.\n");
        }
        EXPECT_EQ(SnapshotOf(folder.path()), edited);

        ExpectSilentSuccess(RunCli({"extract", "--overwrite", container.string()}));
        EXPECT_EQ(folder.Names().size(), extracted.size());
        EXPECT_EQ(WithUpperCaseNames(SnapshotOf(folder.path())), WithUpperCaseNames(extracted));
    }
}

// Past ten files the list ends with how many more there are.
TEST(CliExtract, LongListOfDifferingFilesEndsWithACount)
{
    TempFolder folder;
    const fs::path container = folder / "GADGETS.GDG";
    Samples::WriteBytes(container, Samples::BuildGadgetFile(0, Samples::SampleGadgetEntries()));
    ExpectSilentSuccess(RunCli({"extract", container.string()}));
    Names edited;
    for (const auto& name : folder.Names()) {
        if (name == "GADGETS.GDG")
            continue;
        WriteText(folder / name, ReadText(folder / name) + "!");
        edited.push_back(name);
    }
    ASSERT_GT(edited.size(), 10u);
    const Snapshot before = SnapshotOf(folder.path());

    const CliResult refused = RunCli({"extract", container.string()});
    EXPECT_EQ(refused.exitCode, 1);
    Names lines;
    std::istringstream text(refused.err);
    for (std::string line; std::getline(text, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 13u) << refused.err;
    for (size_t i = 1; i <= 10; ++i)
        EXPECT_TRUE(std::find(edited.begin(), edited.end(), lines[i]) != edited.end()) << lines[i];
    EXPECT_EQ(lines[11], "and " + CountOf(static_cast<int64_t>(edited.size() - 10), "more file", "more files"));
    EXPECT_EQ(lines[12], "Nothing was written. Run again with --overwrite to replace them.");
    EXPECT_EQ(SnapshotOf(folder.path()), before);
}

// A dry run prints its report and exits as the rebuild would fare, and
// leaves the folder byte for byte as it was, without even REBUILD.TMP.
TEST(CliRebuild, DryRunReportsHowTheRebuildWouldFareAndWritesNothing)
{
    const auto firstLineNames = [](std::string name) {
        return [name](const TempFolder& f) {
            const std::string text = ReadText(f / "EXTRACT.DAT");
            WriteText(f / "EXTRACT.DAT", name + text.substr(text.find("\r\n")));
        };
    };
    struct Case {
        const char* what;
        std::function<void(const TempFolder&)> edit;
        std::string refusal;  // a part of the message both outputs carry; none: it would succeed
    };
    const std::vector<Case> cases{
        {"nothing edited", [](const TempFolder&) {}, ""},
        {"an image edited", [](const TempFolder& f) { WriteSolidTga(f / "LAMP_000.tga", 7, 5); }, ""},
        {"an image removed", [](const TempFolder& f) { fs::remove(f / "TABLE_002.tga"); }, ""},
        {"the manifest naming the container in other letter case", firstLineNames("UNITS.GDG"), ""},
        {"the manifest written for another container", firstLineNames("ITEMS.GDG"),
         "was written for ITEMS.GDG, not units.gdg"},
        {"a copy of an image beside it",
         [](const TempFolder& f) { fs::copy_file(f / "CHAIR_000.tga", f / "CHAIR_000 (copy).tga"); },
         "\nCHAIR_000 (copy).tga: not numbered as <entry>_<number>.tga\n"},
        {"an image cut short", [](const TempFolder& f) { fs::resize_file(f / "TABLE_001.tga", 20); }, "TABLE_001.tga"},
        {"no manifest", [](const TempFolder& f) { fs::remove(f / "EXTRACT.DAT"); },
         "No EXTRACT.DAT file found in current directory.  Can't rebuild."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder folder;
        const fs::path container = WriteUnits(folder.path());
        ExpectSilentSuccess(RunCli({"extract", container.string()}));
        c.edit(folder);
        const Snapshot before = SnapshotOf(folder.path());

        const CliResult dryRun = RunCli({"rebuild", "--dry-run", container.string()});
        EXPECT_EQ(dryRun.out.rfind("Dry run of the rebuild of units.gdg from EXTRACT.DAT: nothing is written.\n", 0),
                  0u)
            << dryRun.out;
        if (c.refusal.empty()) {
            ExpectSilentSuccess(dryRun);
            EXPECT_TRUE(dryRun.out.ends_with("\nThe rebuild would succeed.\n")) << dryRun.out;
        } else {
            EXPECT_EQ(dryRun.exitCode, 1);
            const size_t refused = dryRun.out.find("\nThe rebuild would be refused:\n");
            ASSERT_NE(refused, std::string::npos) << dryRun.out;
            EXPECT_NE(dryRun.out.find(c.refusal, refused), std::string::npos) << dryRun.out;
            EXPECT_NE(dryRun.err.find(c.refusal), std::string::npos) << dryRun.err;
        }
        EXPECT_EQ(SnapshotOf(folder.path()), before);
    }
}

// The images a dry run calls changed are those the rebuild then stores
// anew; the same pixels in other file bytes are unchanged.
TEST(CliRebuild, DryRunChangesAreTheRebuildsChanges)
{
    TempFolder folder;
    const fs::path container = WriteUnits(folder.path());
    ExpectSilentSuccess(RunCli({"extract", container.string()}));
    const Snapshot extracted = SnapshotOf(folder.path());
    WriteSolidTga(folder / "CHAIR_001.tga", 8, 6);
    WriteSolidTga(folder / "LAMP_000.tga", 7, 5);
    std::vector<uint8_t> withIdentification = extracted.at("TABLE_000.tga");
    withIdentification[0] = 3;
    withIdentification.insert(withIdentification.begin() + 18, {'i', 'd', '!'});
    Samples::WriteBytes(folder / "TABLE_000.tga", withIdentification);

    const CliResult dryRun = RunCli({"rebuild", "--dry-run", container.string()});
    ExpectSilentSuccess(dryRun);
    EXPECT_NE(dryRun.out.find("\n  image 0  LAMP_000.tga  changed  4 x 4 -> 7 x 5\n"), std::string::npos)
        << dryRun.out;
    std::map<std::string, std::string> changeOf;  // from lines "  image K  FILE  CHANGE  SIZE"
    std::istringstream lines(dryRun.out);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string image, index, file, change;
        if (words >> image >> index >> file >> change && image == "image")
            changeOf[file] = change;
    }
    EXPECT_EQ(changeOf, (std::map<std::string, std::string>{{"CHAIR_000.tga", "unchanged"},
                                                            {"CHAIR_001.tga", "changed"},
                                                            {"LAMP_000.tga", "changed"},
                                                            {"TABLE_000.tga", "unchanged"},
                                                            {"TABLE_001.tga", "unchanged"},
                                                            {"TABLE_002.tga", "unchanged"}}));

    ExpectSilentSuccess(RunCli({"rebuild", container.string()}));
    ExpectSilentSuccess(RunCli({"extract", container.string()}));
    const Snapshot reextracted = SnapshotOf(folder.path());
    for (const auto& [file, change] : changeOf)
        EXPECT_EQ(reextracted.at(file) != extracted.at(file), change == "changed") << file;
}

TEST(CliRebuild, BackupKeepsTheContainerEachRebuildReplaced)
{
    TempFolder folder;
    const fs::path container = WriteUnits(folder.path());
    const fs::path backup = folder / "units.gdg.bak";
    std::vector<uint8_t> replaced = Samples::ReadBytes(container);
    for (int32_t lampWidth : {7, 9}) {
        ExpectSilentSuccess(RunCli({"extract", container.string()}));
        WriteSolidTga(folder / "LAMP_000.tga", lampWidth, 5);
        ExpectSilentSuccess(RunCli({"rebuild", "--backup", container.string()}));
        EXPECT_EQ(folder.Names(), (Names{"units.gdg", "units.gdg.bak"}));
        EXPECT_EQ(Samples::ReadBytes(backup), replaced);
        EXPECT_NE(Samples::ReadBytes(container), replaced);
        replaced = Samples::ReadBytes(container);
    }
    // Without --backup the last one stays as it was.
    ExpectSilentSuccess(RunCli({"extract", container.string()}));
    const std::vector<uint8_t> kept = Samples::ReadBytes(backup);
    ExpectSilentSuccess(RunCli({"rebuild", container.string()}));
    EXPECT_EQ(Samples::ReadBytes(backup), kept);
}

// The status line goes to standard error with -v, wherever it stands; the
// tests' standard error is no terminal, so without -v nothing is said.
TEST(CliStatus, VerboseSaysWhatWasDoneAndOtherwiseNothingIsSaid)
{
    TempFolder folder;
    const std::string file = WriteUnits(folder.path()).string();
    const std::string extracted = "Extracted 6 images of units.gdg and EXTRACT.DAT";
    const std::vector<std::pair<Names, std::string>> steps{
        {{"-v", "list", file}, ""},
        {{"extract", file}, ""},
        {{"--verbose", "extract", file}, extracted + " (6 of them already there with the same bytes)\n"},
        {{"rebuild", "--dry-run", "-v", file}, ""},
        {{"rebuild", file}, ""},
        {{"extract", file, "-v"}, extracted + "\n"},
        {{"rebuild", "--verbose", file}, "Rebuilt units.gdg from 6 TGA files\n"},
        {{"extract", "--overwrite", "--verbose", file}, extracted + "\n"},
        {{"-v", "rebuild", "--backup", file},
         "Rebuilt units.gdg from 6 TGA files, keeping the file it replaced as units.gdg.bak\n"},
    };
    for (const auto& [arguments, status] : steps) {
        const CliResult result = RunCli(arguments);
        EXPECT_EQ(result.exitCode, 0) << ::testing::PrintToString(arguments);
        EXPECT_EQ(result.err, status) << ::testing::PrintToString(arguments);
    }
}

TEST(CliUsage, OptionsOfOtherCommandsAreUsageErrorsThatTouchNothing)
{
    TempFolder folder;
    const std::string file = WriteUnits(folder.path()).string();
    ExpectSilentSuccess(RunCli({"extract", file}));
    const Snapshot extracted = SnapshotOf(folder.path());
    const auto noOption = [](const std::string& command, const std::string& option) {
        return "the command '" + command + "' has no option '" + option + "'";
    };
    const std::vector<std::pair<Names, std::string>> cases{
        {{"list", "--overwrite", file}, noOption("list", "--overwrite")},
        {{"list", file, "--backup"}, noOption("list", "--backup")},
        {{"extract", "--dry-run", file}, noOption("extract", "--dry-run")},
        {{"extract", file, "--backup"}, noOption("extract", "--backup")},
        {{"rebuild", "--overwrite", file}, noOption("rebuild", "--overwrite")},
        {{"-v", "rebuild", "-v", "--force", file}, noOption("rebuild", "--force")},
        {{"rebuild", "--dry-run", "--backup", file},
         "--dry-run and --backup do not go together: a dry run replaces nothing"},
        {{"--overwrite", "extract", file}, "unknown command '--overwrite'"},
    };
    for (const auto& [arguments, problem] : cases) {
        const CliResult result = RunCli(arguments);
        EXPECT_EQ(result.exitCode, 2) << ::testing::PrintToString(arguments);
        EXPECT_EQ(result.err.rfind("brimwork-cli: " + problem + "\n\nUsage: brimwork-cli", 0), 0u) << result.err;
        EXPECT_EQ(result.out, "");
    }
    EXPECT_EQ(SnapshotOf(folder.path()), extracted);
}

}  // namespace
}  // namespace Brimwork::Testing
