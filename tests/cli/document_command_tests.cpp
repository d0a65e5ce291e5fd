// brimwork-cli's commands on single images: info, export, replace, verify.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "io/files.h"
#include "image/image_buffer.h"
#include "image/png.h"
#include "image/tga.h"
#include "samples/sample_containers.h"
#include "tests/cli/cli_process.h"
#include "tests/support/test_support.h"

namespace Brimwork::Testing {
namespace {

namespace fs = std::filesystem;
using Samples::Picture;
using Names = std::vector<std::string>;

const uint16_t Red = Samples::Rgb555(31, 0, 0);
const uint16_t White = 0x7FFF;

// A gadget file whose names test the choice of an entry: one that looks
// like a position, one that begins with '#' otherwise.
std::vector<Samples::GadgetEntry> GadgetEntries()
{
    using namespace Samples;
    return {
        {"CHAIR", 7, {Gradient(5, 3), Disc(8, 6, Red, White)}},
        {"LAMP", 0, {Stripes(4, 4)}},
        {"TWIN", 1, {Solid(2, 2, 0x1234)}},
        {"#1", 2, {Solid(3, 3, Red)}},
        {"PAIR", 3, {Gradient(3, 1)}},
        {"#tag", 4, {Solid(1, 2, 0x8001)}},  // bit 15 set in every pixel
    };
}

std::vector<Samples::ScreenEntry> ScreenEntries()
{
    return {{"TITLE", Samples::Gradient(6, 4)}, {"MENU", Samples::Stripes(3, 5)}};
}

std::vector<std::vector<bool>> Checker(int width, int height)
{
    std::vector<std::vector<bool>> rows(static_cast<size_t>(height), std::vector<bool>(static_cast<size_t>(width)));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            rows[static_cast<size_t>(y)][static_cast<size_t>(x)] = (x + y) % 2 == 0;
    return rows;
}

Picture CheckerPicture(int width, int height)
{
    Picture picture{width, height, {}};
    for (const auto& row : Checker(width, height))
        for (bool white : row)
            picture.pixels.push_back(white ? White : 0);
    return picture;
}

std::vector<Samples::VehicleEntry> VehicleEntries()
{
    Samples::VehicleEntry truck{"TRUCK", 5, false, {}, {}};
    for (int j = 0; j < 17; ++j)
        truck.slots.push_back({Samples::Solid(2 + j, 3, static_cast<uint16_t>(j * 100)), {j, -j, 2 * j, 3}});
    Samples::VehicleEntry shadow{"TRUCK_S", 6, true, {}, {}};
    shadow.frames = {Samples::EncodeShadow(Checker(4, 3), {1, 2}), Samples::EncodeShadow(Checker(5, 2), {-3, 4})};
    return {truck, shadow};
}

// The three kinds of container side by side in a fresh folder.
class DocumentCommands : public ::testing::Test {
protected:
    void SetUp() override
    {
        Samples::WriteBytes(gadgets, Samples::BuildGadgetFile(-3, GadgetEntries()));
        // Two entries of one name, which extraction refuses but the
        // commands on one image reach by position.
        Samples::WriteBytes(twins, Samples::BuildGadgetFile(0, {{"TWIN", 0, {Samples::Solid(1, 1, Red)}},
                                                                {"ONE", 0, {}},
                                                                {"TWIN", 0, {Samples::Solid(2, 1, Red)}}}));
        Samples::WriteBytes(screens, Samples::BuildScreenFile(11, ScreenEntries()));
        Samples::WriteBytes(vehicles, Samples::BuildVehicleFile(VehicleEntries()));
    }

    CliResult Run(const Names& arguments) { return RunCli(arguments, {folder.path()}); }

    ImageBuffer ReadImage(const std::string& name)
    {
        ImageBuffer image;
        if (name.ends_with(".png"))
            ReadPNG(RealFileSystem(), folder / name, image);
        else
            ReadTGA(RealFileSystem(), folder / name, image);
        return image;
    }

    void WriteTga(const std::string& name, const Picture& picture)
    {
        WriteTGA(RealFileSystem(), folder / name, ImageBuffer{picture.width, picture.height, picture.Bytes()});
    }

    // Every file below the folder with its bytes; a folder with none.
    std::map<std::string, std::vector<uint8_t>> Snapshot()
    {
        std::map<std::string, std::vector<uint8_t>> files;
        for (const auto& entry : fs::recursive_directory_iterator(folder.path()))
            files[entry.path().string()] = entry.is_directory() ? std::vector<uint8_t>{} : Samples::ReadBytes(entry);
        return files;
    }

    TempFolder folder;
    fs::path gadgets = folder / "units.gdg";
    fs::path twins = folder / "twins.gdg";
    fs::path screens = folder / "title.pix";
    fs::path vehicles = folder / "cars.azp";
};

void ExpectPicture(const ImageBuffer& image, const Picture& picture)
{
    EXPECT_EQ(image.ImageWidth, picture.width);
    EXPECT_EQ(image.ImageHeight, picture.height);
    EXPECT_EQ(image.ImageBytes, picture.Bytes());
}

// Each form of ENTRY and IMAGE, through an export that either writes the
// image chosen or is refused with the message given.
TEST_F(DocumentCommands, EntryAndImageFormsChooseOrRefuse)
{
    struct Case {
        std::string file;
        Names choice;  // ENTRY [IMAGE]
        std::optional<Picture> chosen;
        std::string refusal;
    };
    const auto gadget = GadgetEntries();
    const auto vehicle = VehicleEntries();
    const std::vector<Case> cases{
        {"units.gdg", {"CHAIR"}, gadget[0].images[0], ""},
        {"units.gdg", {"CHAIR", "1"}, gadget[0].images[1], ""},
        {"units.gdg", {"#1"}, gadget[1].images[0], ""},
        {"units.gdg", {"#3"}, gadget[3].images[0], ""},
        {"units.gdg", {"#tag"}, gadget[5].images[0], ""},
        {"units.gdg", {"#4", "0"}, gadget[4].images[0], ""},
        {"twins.gdg", {"TWIN"}, std::nullopt,
         "Brimwork Error: 2 entries of twins.gdg are named \"TWIN\": #0, #2; choose one by that form\n"},
        {"twins.gdg", {"#2"}, Samples::Solid(2, 1, Red), ""},
        {"units.gdg", {"chair"}, std::nullopt,
         "Brimwork Error: units.gdg has no entry named \"chair\" (names match byte for byte, as list prints them; "
         "#K chooses the entry at position K)\n"},
        {"units.gdg", {"#6"}, std::nullopt, "Brimwork Error: units.gdg has no entry #6: it holds 6 entries, #0 to #5\n"},
        {"units.gdg", {"#99999999999999999999999"}, std::nullopt,
         "Brimwork Error: units.gdg has no entry #99999999999999999999999: it holds 6 entries, #0 to #5\n"},
        {"units.gdg", {"CHAIR", "2"}, std::nullopt,
         "Brimwork Error: entry 0 (\"CHAIR\") of units.gdg has no image 2: it holds 2 images\n"},
        {"title.pix", {"MENU"}, ScreenEntries()[1].image, ""},
        {"title.pix", {"#0", "1"}, std::nullopt,
         "Brimwork Error: entry 0 (\"TITLE\") of title.pix has no image 1: it holds 1 image\n"},
        {"cars.azp", {"TRUCK", "16"}, vehicle[0].slots[16].image, ""},
        {"cars.azp", {"TRUCK", "17"}, std::nullopt,
         "Brimwork Error: entry 0 (\"TRUCK\") of cars.azp has no slot 17: it holds 17 slots\n"},
        {"cars.azp", {"#1", "1"}, CheckerPicture(5, 2), ""},
        {"cars.azp", {"TRUCK_S", "2"}, std::nullopt,
         "Brimwork Error: entry 1 (\"TRUCK_S\") of cars.azp has no frame 2: it holds 2 frames\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file + " " + ::testing::PrintToString(c.choice));
        Names arguments{"export", c.file};
        arguments.insert(arguments.end(), c.choice.begin(), c.choice.end());
        arguments.push_back("out.tga");
        const CliResult result = Run(arguments);
        if (c.chosen) {
            EXPECT_EQ(result.exitCode, 0) << result.err;
            EXPECT_EQ(result.err, "");
            ExpectPicture(ReadImage("out.tga"), *c.chosen);
            fs::remove(folder / "out.tga");
        } else {
            EXPECT_EQ(result.exitCode, 1);
            EXPECT_EQ(result.err, c.refusal);
            EXPECT_FALSE(fs::exists(folder / "out.tga"));
        }
    }
}

// An exported TGA file is the one extraction writes; a PNG file reads back
// to the same pixels, bit 15 aside, which is noted.
TEST_F(DocumentCommands, ExportWritesWhatExtractionWritesOrAPngOfTheSamePixels)
{
    struct Case {
        std::string file;
        Names choice;
        std::string extracted;
        std::string bit15Notice;
    };
    const std::vector<Case> cases{
        {"units.gdg", {"CHAIR", "1"}, "CHAIR_001.tga", ""},
        {"units.gdg", {"#5"}, "#tag_000.tga",
         "Export: 2 pixels of image 0 of entry #5 (\"#tag\") had bit 15 set, which a PNG cannot carry; out.png "
         "holds them without it. A TGA export keeps bit 15.\n"},
        {"title.pix", {"TITLE"}, "TITLE.tga", ""},
        {"cars.azp", {"TRUCK", "3"}, "TRUCK_003.tga", ""},
        {"cars.azp", {"TRUCK_S", "1"}, "TRUCK_S_001.tga", ""},
    };
    TempFolder extraction;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.extracted);
        fs::copy_file(folder / c.file, extraction / c.file, fs::copy_options::overwrite_existing);
        ASSERT_EQ(RunCli({"extract", "--overwrite", (extraction / c.file).string()}).exitCode, 0);

        Names arguments{"export", c.file};
        arguments.insert(arguments.end(), c.choice.begin(), c.choice.end());
        const CliResult tga = Run([&] { auto a = arguments; a.push_back("out.tga"); return a; }());
        EXPECT_EQ(tga.exitCode, 0);
        EXPECT_EQ(tga.err, "");
        EXPECT_EQ(Samples::ReadBytes(folder / "out.tga"), Samples::ReadBytes(extraction / c.extracted));

        const CliResult png = Run([&] { auto a = arguments; a.push_back("out.png"); return a; }());
        EXPECT_EQ(png.exitCode, 0);
        EXPECT_EQ(png.err, c.bit15Notice);
        ImageBuffer expected = ReadImage("out.tga");
        for (size_t i = 1; i < expected.ImageBytes.size(); i += 2)
            expected.ImageBytes[i] &= 0x7F;
        const ImageBuffer read = ReadImage("out.png");
        EXPECT_EQ(read.ImageWidth, expected.ImageWidth);
        EXPECT_EQ(read.ImageHeight, expected.ImageHeight);
        EXPECT_EQ(read.ImageBytes, expected.ImageBytes);
        fs::remove(folder / "out.tga");
        fs::remove(folder / "out.png");
    }
}

TEST_F(DocumentCommands, ExportReplacesAnExistingFileOnlyWithOverwrite)
{
    fs::create_directory(folder / "sub");
    WriteText(folder / "sub" / "Out.TGA", "keep me");
    const auto before = Snapshot();

    const CliResult refused = Run({"export", "units.gdg", "LAMP", "sub/Out.TGA"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err, "Brimwork Error: Cannot export to sub/Out.TGA: a file of that name is there already. "
                           "Nothing was written. Run again with --overwrite to replace it.\n");
    EXPECT_EQ(Snapshot(), before);
    EXPECT_EQ(ReadText(folder / "sub" / "Out.TGA"), "keep me");

    const CliResult replaced = Run({"export", "--overwrite", "units.gdg", "LAMP", "sub/Out.TGA"});
    EXPECT_EQ(replaced.exitCode, 0) << replaced.err;
    ExpectPicture(ReadImage("sub/Out.TGA"), GadgetEntries()[1].images[0]);
    auto after = Snapshot();
    after.erase((folder / "sub" / "Out.TGA").string());
    auto others = before;
    others.erase((folder / "sub" / "Out.TGA").string());
    EXPECT_TRUE(after == others);  // nothing else appeared or changed
}

// Replace saves FILE in place: extraction then shows the new image and
// every other one as it was, and nothing is left beside FILE.
TEST_F(DocumentCommands, ReplaceChangesTheOneImageAndLeavesTheRestAsTheyWere)
{
    struct Case {
        std::string file;
        Names choice;
        std::string in;
        std::string changedTga;
        Picture expected;
        std::string notice;
    };
    const Picture blue = Samples::Solid(7, 5, Samples::Rgb555(0, 0, 31));
    const Picture grey = Samples::Solid(3, 2, Samples::Rgb555(16, 16, 16));
    const Picture greyRounded = Samples::Solid(3, 2, White);
    const std::vector<Case> cases{
        {"units.gdg", {"CHAIR", "1"}, "in.tga", "CHAIR_001.tga", blue, ""},
        {"units.gdg", {"#3"}, "in.png", "#1_000.tga", blue, ""},
        {"title.pix", {"MENU"}, "in.tga", "MENU.tga", blue, ""},
        {"cars.azp", {"TRUCK", "16"}, "in.png", "TRUCK_016.tga", blue, ""},
        {"cars.azp", {"TRUCK_S", "1"}, "in.tga", "TRUCK_S_001.tga", greyRounded,
         "Replace: The replace rounded 6 pixels of frame 1 of entry #1 (\"TRUCK_S\") to black or white (white "
         "where red, green and blue add up to at least 47)\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.changedTga);
        const Picture& source = c.notice.empty() ? c.expected : grey;
        TempFolder before;
        TempFolder after;
        fs::copy_file(folder / c.file, before / c.file);
        ASSERT_EQ(RunCli({"extract", (before / c.file).string()}).exitCode, 0);
        if (c.in.ends_with(".png"))
            WritePNG(RealFileSystem(), folder / c.in, ImageBuffer{source.width, source.height, source.Bytes()});
        else
            WriteTga(c.in, source);
        const Names filesBefore = folder.Names();

        Names arguments{"replace", c.file};
        arguments.insert(arguments.end(), c.choice.begin(), c.choice.end());
        arguments.push_back(c.in);
        const CliResult result = Run(arguments);
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.err, c.notice);
        EXPECT_EQ(folder.Names(), filesBefore);

        fs::copy_file(folder / c.file, after / c.file);
        ASSERT_EQ(RunCli({"extract", (after / c.file).string()}).exitCode, 0);
        EXPECT_EQ(before.Names(), after.Names());
        for (const auto& name : before.Names()) {
            if (name == c.changedTga) {
                ImageBuffer image;
                ReadTGA(RealFileSystem(), after / name, image);
                ExpectPicture(image, c.expected);
            } else if (name.ends_with(".tga")) {
                EXPECT_EQ(Samples::ReadBytes(after / name), Samples::ReadBytes(before / name)) << name;
            }
        }
        fs::remove(folder / c.in);
    }
}

// A refused replace leaves FILE byte for byte as it was and nothing else
// in its folder.
TEST_F(DocumentCommands, FailedReplaceLeavesTheFolderAsItWas)
{
    WriteText(folder / "short.tga", std::string("\0\0\2\0\0\0\0\0\0\0\0\0\4\0\4\0\x10", 17));
    const Picture wide = Samples::Solid(40000, 1, White);
    WritePNG(RealFileSystem(), folder / "wide.png", ImageBuffer{wide.width, wide.height, wide.Bytes()});
    WriteTga("in.tga", Samples::Solid(2, 2, Red));
    WriteText(folder / "text.png", "not a PNG");
    struct Case {
        Names arguments;
        std::string errorPart;
    };
    const std::vector<Case> cases{
        {{"replace", "units.gdg", "LAMP", "absent.tga"}, "absent.tga"},
        {{"replace", "units.gdg", "LAMP", "short.tga"}, "short.tga"},
        {{"replace", "units.gdg", "LAMP", "text.png"}, "text.png"},
        {{"replace", "cars.azp", "TRUCK_S", "1", "wide.png"}, "wide.png"},
        {{"replace", "units.gdg", "LAMP", "wide.png"}, "wide.png"},
        {{"replace", "units.gdg", "LAMP", "1", "in.tga"}, "has no image 1"},
        {{"replace", "twins.gdg", "TWIN", "wide.png"}, "#0, #2"},
    };
    const auto before = Snapshot();
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.arguments));
        const CliResult result = Run(c.arguments);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err.rfind("Brimwork Error: ", 0), 0u) << result.err;
        EXPECT_NE(result.err.find(c.errorPart), std::string::npos) << result.err;
        EXPECT_TRUE(Snapshot() == before);
    }
}

TEST_F(DocumentCommands, InfoPrintsEveryEntryAndImageWithItsStoredPlace)
{
    const Names names{"say \"hi\"", "caf\xE9", "\xC3\xA9t\xC3\xA9\t"};
    Samples::WriteBytes(folder / "odd.gdg",
                        Samples::BuildGadgetFile(9, {{names[0], -1, {Samples::Solid(2, 1, Red)}},
                                                     {names[1], 2, {}},
                                                     {names[2], 3, {Samples::Solid(1, 1, 0), Samples::Solid(1, 2, 0)}}}));
    const CliResult text = Run({"info", "odd.gdg"});
    EXPECT_EQ(text.exitCode, 0) << text.err;
    EXPECT_EQ(text.out, "odd.gdg: gadget file, header value 9, 3 entries\n"
                        "#0 say \"hi\" gadget 1 image, value -1\n"
                        "  0 2x1 offset 160 bytes 4\n"
                        "#1 caf\xE9 gadget 0 images, value 2\n"
                        "#2 \xC3\xA9t\xC3\xA9\t gadget 2 images, value 3\n"
                        "  0 1x1 offset 196 bytes 2\n"
                        "  1 1x2 offset 198 bytes 4\n");

    const CliResult json = Run({"info", "--json", "odd.gdg"});
    EXPECT_EQ(json.exitCode, 0) << json.err;
    EXPECT_EQ(json.out,
              R"({"file":"odd.gdg","kind":"gadget","headerValue":9,"entries":[)"
              R"({"index":0,"name":"say \"hi\"","kind":"gadget","entryValue":-1,"images":[)"
              R"({"index":0,"width":2,"height":1,"offset":160,"bytes":4,"hotspots":[]}]},)"
              R"({"index":1,"name":"caf\udce9","kind":"gadget","entryValue":2,"images":[]},)"
              "{\"index\":2,\"name\":\"\xC3\xA9t\xC3\xA9\\t\",\"kind\":\"gadget\",\"entryValue\":3,\"images\":["
              R"({"index":0,"width":1,"height":1,"offset":196,"bytes":2,"hotspots":[]},)"
              R"({"index":1,"width":1,"height":2,"offset":198,"bytes":4,"hotspots":[]}]}]})"
              "\n");
}

// Offsets and sizes name the bytes each image is stored as; vehicle slots
// and shadow frames carry their hotspots; vehicle files have no header
// value, screen entries no entry value.
TEST_F(DocumentCommands, InfoOffsetsPointAtTheStoredBytesOfEveryKind)
{
    const std::vector<uint8_t> bytes = Samples::ReadBytes(vehicles);
    const CliResult text = Run({"info", "cars.azp"});
    ASSERT_EQ(text.exitCode, 0) << text.err;
    EXPECT_EQ(text.out.rfind("cars.azp: vehicle file, 2 entries\n#0 TRUCK vehicle 17 slots, value 5\n", 0), 0u)
        << text.out;
    EXPECT_NE(text.out.find(" bytes 30 hotspots 3,-3,6,3\n"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("\n#1 TRUCK_S shadow 2 frames\n  0 4x3 offset "), std::string::npos) << text.out;

    const CliResult json = Run({"info", "--json", "cars.azp"});
    ASSERT_EQ(json.exitCode, 0) << json.err;
    EXPECT_EQ(json.out.find("headerValue"), std::string::npos);
    EXPECT_NE(json.out.find(R"("kind":"shadow","images":[)"), std::string::npos) << json.out;
    EXPECT_NE(json.out.find(R"("hotspots":[-3,4]})"), std::string::npos) << json.out;

    const auto truck = VehicleEntries()[0];
    for (size_t j = 0; j < truck.slots.size(); ++j) {
        const std::string line = "\n  " + std::to_string(j) + " " + std::to_string(truck.slots[j].image.width) + "x3 offset ";
        const size_t at = text.out.find(line);
        ASSERT_NE(at, std::string::npos) << line;
        const size_t offset = std::stoul(text.out.substr(at + line.size()));
        const std::vector<uint8_t> pixels = truck.slots[j].image.Bytes();
        ASSERT_LE(offset + pixels.size(), bytes.size());
        EXPECT_TRUE(std::equal(pixels.begin(), pixels.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset)))
            << "slot " << j;
    }

    const CliResult screen = Run({"info", "--json", "title.pix"});
    EXPECT_EQ(screen.out.rfind(R"({"file":"title.pix","kind":"screen","headerValue":11,"entries":[{"index":0,)"
                               R"("name":"TITLE","kind":"screen","images":)", 0), 0u) << screen.out;
}

TEST_F(DocumentCommands, VerifyExitsWithOneOnADefect)
{
    const CliResult clean = Run({"verify", "units.gdg"});
    EXPECT_EQ(clean.exitCode, 0) << clean.out << clean.err;
    EXPECT_NE(clean.out, "");
    EXPECT_EQ(clean.out.find("defect:"), std::string::npos) << clean.out;

    // The first image's data offset points far past the end of the file.
    std::vector<uint8_t> bytes = Samples::BuildGadgetFile(0, GadgetEntries());
    const size_t firstDataOffset = 12 + 44 * GadgetEntries().size() + 12;
    std::copy_n(std::vector<uint8_t>{0xF0, 0xFF, 0xFF, 0x7F}.begin(), 4, bytes.begin() + firstDataOffset);
    Samples::WriteBytes(folder / "damaged.gdg", bytes);
    const CliResult damaged = Run({"verify", "damaged.gdg"});
    EXPECT_EQ(damaged.exitCode, 1);
    EXPECT_NE(damaged.out.find("defect:"), std::string::npos) << damaged.out;
    EXPECT_EQ(damaged.err, "");

    const CliResult missing = Run({"verify", "absent.gdg"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err, "Brimwork Error: Cannot open absent.gdg: there is no such file\n");
}

TEST_F(DocumentCommands, WrongCommandLinesAreUsageErrorsThatTouchNothing)
{
    const auto before = Snapshot();
    const std::vector<std::pair<Names, std::string>> cases{
        {{"info", "--overwrite", "units.gdg"}, "the command 'info' has no option '--overwrite'"},
        {{"verify", "--json", "units.gdg"}, "the command 'verify' has no option '--json'"},
        {{"replace", "--overwrite", "units.gdg", "LAMP", "in.tga"}, "the command 'replace' has no option '--overwrite'"},
        {{"export", "--json", "units.gdg", "LAMP", "out.tga"}, "the command 'export' has no option '--json'"},
        {{"list", "--json", "units.gdg"}, "the command 'list' has no option '--json'"},
        {{"export", "units.gdg", "LAMP"}, "the command 'export' takes FILE ENTRY [IMAGE] OUT"},
        {{"replace", "units.gdg", "LAMP", "0", "1", "in.tga"}, "the command 'replace' takes FILE ENTRY [IMAGE] IN"},
        {{"info", "units.gdg", "LAMP"}, "the command 'info' takes exactly one FILE"},
        {{"export", "units.gdg", "LAMP", "x", "out.tga"}, "IMAGE must be a number from 0, not 'x'"},
        {{"export", "units.gdg", "LAMP", "-1", "out.tga"}, "the command 'export' has no option '-1'"},
        {{"export", "units.gdg", "LAMP", "out.bmp"}, "OUT must end in .tga or .png, which 'out.bmp' does not"},
        {{"replace", "units.gdg", "LAMP", "units.gdg"}, "IN must end in .tga or .png, which 'units.gdg' does not"},
        {{"export", "units.gdg", "", "out.tga"}, "ENTRY must not be empty"},
    };
    for (const auto& [arguments, problem] : cases) {
        const CliResult result = Run(arguments);
        EXPECT_EQ(result.exitCode, 2) << ::testing::PrintToString(arguments);
        EXPECT_EQ(result.err.rfind("brimwork-cli: " + problem + "\n\nUsage: brimwork-cli", 0), 0u) << result.err;
        EXPECT_EQ(result.out, "");
    }
    EXPECT_TRUE(Snapshot() == before);
}

}  // namespace
}  // namespace Brimwork::Testing
