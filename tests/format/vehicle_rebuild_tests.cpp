// The vehicle rebuild: the shadow frame encoder, extract-then-rebuild round
// trips, edits coming back, and every refusal leaving the folder as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "core/bytes.h"
#include "image/tga.h"
#include "tests/support/module_fixture.h"
#include "vehicle/vehicle.h"

using namespace Brimwork;
using namespace Brimwork::Samples;
using Brimwork::Testing::ReadText;
using Brimwork::Testing::RecordingWindow;
using Brimwork::Testing::WriteText;
namespace fs = std::filesystem;

namespace {

constexpr uint16_t White = 0x7FFF;

ImageBuffer Packed(const Picture& picture) { return ImageBuffer{picture.width, picture.height, picture.Bytes()}; }

// Encodes, checks the codes the encoding may use, and decodes again.
ImageBuffer EncodeAndDecode(const ImageBuffer& image, AZP::State& state)
{
    AZP::EncodeShadow(image, state, "frame.tga");
    EXPECT_EQ(state.frame.DataSize, static_cast<int32_t>(2 * state.RowOffsets.size() + state.ShadowData.size()));
    for (int16_t offset : state.RowOffsets) {
        if (offset == -1)
            continue;
        for (size_t k = static_cast<size_t>(offset); k < state.ShadowData.size();) {
            const uint8_t code = state.ShadowData[k];
            if (code == 237)
                break;
            EXPECT_TRUE(code == 0 || code == 245) << int(code);
            EXPECT_GT(state.ShadowData[k + 1], 0) << "a zero-length run";
            k += 2;
        }
    }
    RecordingWindow window;
    ImageBuffer decoded;
    AZP::DecodeShadow(decoded, window, state, false);
    EXPECT_EQ(window.beeps, 0);
    return decoded;
}

}  // namespace

TEST(ShadowEncoding, RowsAreCodedWithTheFixedEncoding)
{
    struct Case {
        const char* row;
        std::vector<uint8_t> data;  // the row's stream; empty: a white row (-1)
    };
    const std::vector<Case> cases{
        {"#####", {}},
        {"..###", {245, 2, 237}},
        {"##...", {0, 2, 245, 3}},
        {"#.#.#", {0, 1, 245, 1, 0, 1, 245, 1, 237}},
        {".....", {245, 5}},
    };
    for (const Case& c : cases) {
        Picture row{5, 1, {}};
        for (const char* p = c.row; *p; ++p)
            row.pixels.push_back(*p == '#' ? White : 0);
        AZP::State state;
        AZP::EncodeShadow(Packed(row), state, "f.tga");
        EXPECT_EQ(state.RowOffsets, std::vector<int16_t>{static_cast<int16_t>(c.data.empty() ? -1 : 0)}) << c.row;
        EXPECT_EQ(state.ShadowData, c.data) << c.row;
    }
    // Runs past 255 are split into pieces of 255 and the rest.
    Picture longRow{600, 1, std::vector<uint16_t>(600, 0)};
    std::fill(longRow.pixels.begin() + 256, longRow.pixels.end(), White);
    AZP::State state;
    AZP::EncodeShadow(Packed(longRow), state, "f.tga");
    EXPECT_EQ(state.ShadowData, (std::vector<uint8_t>{245, 255, 245, 1, 237}));
    longRow.pixels.back() = 0;
    AZP::EncodeShadow(Packed(longRow), state, "f.tga");
    EXPECT_EQ(state.ShadowData, (std::vector<uint8_t>{245, 255, 245, 1, 0, 255, 0, 88, 245, 1}));
}

TEST(ShadowEncoding, DecodingGivesBackEveryRandomFrame)
{
    std::mt19937 random(20261207);
    for (int trial = 0; trial < 300; ++trial) {
        const int width = std::uniform_int_distribution<int>(1, 600)(random);
        const int height = std::uniform_int_distribution<int>(1, trial < 20 ? 40 : 4)(random);
        // Runs of every length, many across 255 and 256, and white rows.
        std::uniform_int_distribution<int> runLength(1, trial % 3 == 0 ? 300 : 8);
        Picture frame{width, height, {}};
        for (int row = 0; row < height; ++row) {
            const bool whiteRow = random() % 5 == 0;
            bool white = random() % 2 == 0;
            for (int column = 0; column < width; white = !white) {
                const int run = std::min(runLength(random), width - column);
                frame.pixels.insert(frame.pixels.end(), static_cast<size_t>(run), white || whiteRow ? White : 0);
                column += run;
            }
        }
        AZP::State state;
        const ImageBuffer decoded = EncodeAndDecode(Packed(frame), state);
        ASSERT_EQ(decoded.ImageBytes, frame.Bytes()) << width << " x " << height << ", trial " << trial;
        ASSERT_EQ(decoded.ImageWidth, width);
    }
}

TEST(ShadowEncoding, OtherColoursRoundByTheirBrightness)
{
    struct Case {
        uint16_t word;
        uint16_t rounded;
        bool counted;
    };
    const std::vector<Case> cases{
        {0x7FFF, White, false}, {0xFFFF, White, false}, {0x0000, 0, false}, {0x8000, 0, false},
        {Rgb555(16, 16, 15), White, true},  // 47
        {Rgb555(16, 15, 15), 0, true},      // 46
        {Rgb555(31, 31, 30), White, true}, {0x8001, 0, true},
    };
    for (const Case& c : cases) {
        ImageBuffer image = Packed(Picture{1, 1, {c.word}});
        EXPECT_EQ(AZP::RoundToShadow(image), c.counted ? 1 : 0) << std::hex << c.word;
        EXPECT_EQ(Bytes::UInt16At(image.ImageBytes, 0), c.rounded) << std::hex << c.word;
    }
}

TEST(ShadowEncoding, FramesTheFormatCannotHoldAreRefusedNamingTheFile)
{
    AZP::State state;
    const auto error = [&](const Picture& picture) {
        try {
            AZP::EncodeShadow(Packed(picture), state, "/x/big_000.tga");
        } catch (const Error& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_NE(error(Picture{1, 16384, std::vector<uint16_t>(16384, 0)}).find("/x/big_000.tga"), std::string::npos);
    EXPECT_NE(error(Picture{32768, 1, std::vector<uint16_t>(32768, 0)}).find("larger than"), std::string::npos);
    Picture striped{200, 100, {}};
    for (int p = 0; p < 200 * 100; ++p)
        striped.pixels.push_back(p % 2 ? White : 0);
    EXPECT_NE(error(striped).find("past byte 32767"), std::string::npos);
    EXPECT_EQ(error(Picture{1, 16383, std::vector<uint16_t>(16383, 0)}), "no error");
}

namespace {

Samples::ShadowFrame Frame(const std::vector<std::string>& rows, int16_t hotspot)
{
    std::vector<std::vector<bool>> white;
    for (const auto& row : rows) {
        white.emplace_back();
        for (char c : row)
            white.back().push_back(c == '#');
    }
    return EncodeShadow(white, {hotspot, static_cast<int16_t>(-hotspot)});
}

// Frames stored with every code: the beep code 255, and a run that passes
// its row's end into the next row.
Samples::ShadowFrame OddlyCodedFrame()
{
    return Samples::ShadowFrame{4, 2, {7, 8}, {0, 2}, {0, 6, 245, 1, 255}};
}

VehicleEntry Vehicle(const std::string& name, int32_t firstWidth)
{
    VehicleEntry entry{name, 11, false, {}, {}};
    for (int32_t j = 0; j < 17; ++j)
        entry.slots.push_back({Gradient(firstWidth + j, 1 + j % 3), {j, -j, 100000 + j, -7}});
    entry.slots[3].image = Picture{0, 20, {}};
    entry.slots[9].image = Picture{};
    return entry;
}

VehicleEntry Shadow(const std::string& name, int frames)
{
    VehicleEntry entry{name, -5, true, {}, {}};
    for (int f = 0; f < frames; ++f)
        entry.frames.push_back(Frame({std::string(static_cast<size_t>(f % 7), '#') + "..#.", "#####", "..."},
                                     static_cast<int16_t>(f)));
    return entry;
}

// Bytes the tool never interprets, so that a rebuild must carry them over:
// junk after the NUL of every name, and the shadow header's spare fields.
std::vector<uint8_t> WithUninterpretedBytes(std::vector<uint8_t> file, const std::vector<VehicleEntry>& entries)
{
    for (size_t i = 0; i < entries.size(); ++i) {
        const size_t entry = 4 + 264 * i;
        file[entry + 200] = static_cast<uint8_t>('J' + i);
        file[entry + 255] = 0xEE;
        const auto record = static_cast<size_t>(Bytes::Int32At(file, entry + 256));
        if (entries[i].shadow)
            for (size_t field : {8u, 12u, 14u, 16u, 18u})
                file[record + field] = static_cast<uint8_t>(field * 3 + i);
    }
    return file;
}

class VehicleRebuild : public Brimwork::Testing::ModuleFixture {
public:
    void Choose(const std::vector<uint8_t>& bytes) { ModuleFixture::Choose(bytes, "cars.azp"); }
    void Extract()
    {
        auto c = Context();
        AZP::ExtractAll(c, state);
    }
    void Rebuild()
    {
        auto c = Context();
        AZP::Rebuild(c);
    }
    std::vector<uint8_t> Container() const { return ReadBytes(container.FileName); }
    fs::path ManifestPath() const { return container.FileName.string() + ".txt"; }
    void PutImage(const std::string& name, const Picture& picture)
    {
        WriteTGA(RealFileSystem(), folder / name, Packed(picture));
    }
    ImageBuffer Load(int32_t entry, int32_t index)
    {
        auto c = Context();
        AZP::ExtractImage(c, state, entry, index, "check");
        fs::remove(folder / "check.tga");
        return image;
    }
    // Replaces the first occurrence of `from` in the manifest.
    void EditManifest(const std::string& from, const std::string& to)
    {
        std::string text = ReadText(ManifestPath());
        const size_t at = text.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        WriteText(ManifestPath(), text.replace(at, from.size(), to));
    }

    AZP::State state;
};

}  // namespace

TEST_F(VehicleRebuild, UneditedRoundTripsGiveTheSameFileByteForByte)
{
    std::vector<VehicleEntry> many{Shadow("crowd", 2000)};
    std::vector<VehicleEntry> odd{Vehicle("car", 3), Shadow("none", 0), Shadow("one", 1), Vehicle("van", 6)};
    odd[2].frames.push_back(OddlyCodedFrame());
    const std::vector<std::vector<VehicleEntry>> files{SampleVehicleEntries(), odd, many, {}};
    for (const auto& entries : files) {
        EmptyFolder();
        const auto original = WithUninterpretedBytes(BuildVehicleFile(entries), entries);
        Choose(original);
        Extract();
        window.messages.clear();
        Rebuild();
        EXPECT_TRUE(window.messages.empty()) << window.messages.front().text;
        EXPECT_TRUE(Container() == original) << entries.size() << " entries";
        EXPECT_EQ(folder.Names(), std::vector<std::string>{"cars.azp"});
        EXPECT_EQ(window.list.size(), entries.size());
    }
}

TEST_F(VehicleRebuild, AManifestSavedWithAByteOrderMarkAndLineFeedsRebuildsTheSameFile)
{
    Choose(BuildVehicleFile({Vehicle("car", 2), Shadow("s", 3), Shadow("none", 0), Vehicle("van", 4)}));
    const auto [fromWritten, fromSaved] =
        RebuildFromWrittenAndEditorSavedManifest("cars.azp.txt", [&] { Extract(); }, [&] { Rebuild(); });
    EXPECT_TRUE(fromSaved == fromWritten);
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"cars.azp"});
}

TEST_F(VehicleRebuild, ANonCanonicalFileComesBackCanonicalWithTheSameContents)
{
    const std::vector<VehicleEntry> entries{Vehicle("car", 2), Shadow("s", 3)};
    const auto canonical = BuildVehicleFile(entries);
    auto loose = canonical;
    loose.insert(loose.end(), {1, 2, 3, 4, 5});  // bytes after the last record
    Choose(loose);
    Extract();
    Rebuild();
    EXPECT_TRUE(Container() == canonical);
}

TEST_F(VehicleRebuild, EditsHotspotsAndFrameCountsComeBack)
{
    Choose(BuildVehicleFile({Vehicle("car", 2), Shadow("s", 3), Shadow("t", 4)}));
    Extract();
    PutImage("car_003.tga", Gradient(5, 4));                                 // an empty slot gets pixels
    PutImage("car_016.tga", Picture{2, 1, {0x1234, 0x8000}});                // a slot changes size
    PutImage("s_001.tga", Picture{3, 1, {0x7FFF, Rgb555(20, 20, 20), 0x0421}});  // two pixels rounded
    PutImage("s_003.tga", Picture{2, 2, {0, White, White, White}});            // a frame added
    EditManifest("3, -3, 100003, -7", "-1, 2, -3, 4");
    EditManifest("s\r\nSHADOW\r\n 3 \r\n0, 0\r\n1, -1\r\n2, -2\r\n", "s\r\nSHADOW\r\n 4 \r\n0, 0\r\n9, 8\r\n2, -2\r\n-4, 6\r\n");
    EditManifest("t\r\nSHADOW\r\n 4 \r\n0, 0\r\n1, -1\r\n2, -2\r\n3, -3\r\n", "t\r\nSHADOW\r\n 1 \r\n0, 0\r\n");
    Rebuild();

    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].title, "Rebuild");
    EXPECT_NE(window.messages[0].text.find("rounded 2 pixels"), std::string::npos) << window.messages[0].text;
    EXPECT_NE(window.messages[0].text.find("s_001.tga: 2 pixels"), std::string::npos);
    // Only the files read are deleted: those of the frames dropped stay.
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"cars.azp", "t_001.tga", "t_002.tga", "t_003.tga"}));

    EXPECT_EQ(Load(0, 3).ImageBytes, Gradient(5, 4).Bytes());
    EXPECT_EQ(Load(0, 16).ImageBytes, (Picture{2, 1, {0x1234, 0x8000}}.Bytes()));
    EXPECT_EQ(Load(0, 4).ImageBytes, Gradient(6, 2).Bytes()) << "slots after an edit keep their pixels";
    EXPECT_EQ(Load(1, 1).ImageBytes, (Picture{3, 1, {White, White, 0}}.Bytes()));
    EXPECT_EQ(state.frame.Hotspot[0], 9);
    EXPECT_EQ(Load(1, 3).ImageBytes, (Picture{2, 2, {0, White, White, White}}.Bytes()));
    EXPECT_EQ(state.frame.Hotspot[1], 6);
    Extract();
    const std::string manifest = ReadText(ManifestPath());
    EXPECT_NE(manifest.find("car\r\nVEHICLE\r\n 17 \r\n0, 0, 100000, -7\r\n1, -1, 100001, -7\r\n2, -2, 100002, -7\r\n"
                            "-1, 2, -3, 4\r\n"),
              std::string::npos);
    EXPECT_NE(manifest.find("t\r\nSHADOW\r\n 1 \r\n0, 0\r\n"), std::string::npos);
}

TEST_F(VehicleRebuild, AMissingManifestIsTheRebuildMessage)
{
    Choose(BuildVehicleFile({Shadow("s", 1)}));
    Rebuild();
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].text, "Error: No cars.azp.txt file found in current directory.  Can't rebuild.");
    EXPECT_EQ(window.messages[0].title, "Rebuild Error");
}

TEST_F(VehicleRebuild, AManifestFoundIgnoringCaseIsRead)
{
    Choose(BuildVehicleFile({Shadow("s", 1)}));
    Extract();
    fs::rename(ManifestPath(), folder / "CARS.AZP.TXT");
    fs::rename(folder / "s_000.tga", folder / "S_000.TGA");
    Rebuild();
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"cars.azp"});
}

TEST_F(VehicleRebuild, EveryRefusalNamesItsPlaceAndLeavesTheFolderAsItWas)
{
    struct Refusal {
        std::string label;
        std::function<void(VehicleRebuild&)> spoil;
        std::string message;
    };
    const auto edit = [](std::string from, std::string to) {
        return [=](VehicleRebuild& t) { t.EditManifest(from, to); };
    };
    const std::vector<Refusal> refusals{
        {"entry count", edit(" 2 \r\n;", " 3 \r\n;"), "line 3: the entry count is 3, but the container holds 2"},
        {"count not a number", edit(" 2 \r\n;", " two \r\n;"), "line 3: the entry count is not a number"},
        {"name", edit("car\r\n", "bus\r\n"), "line 5: the name of entry 1 of 2 is \"bus\""},
        {"kind", edit("VEHICLE", "SHADOW"), "line 6: entry 1 of 2 is marked SHADOW"},
        {"unknown kind", edit("VEHICLE", "TRUCK"), "line 6: the kind of entry 1 of 2 is \"TRUCK\""},
        {"slot count", edit(" 17 ", " 16 "), "line 7: the image count of entry 1 of 2 is 16"},
        {"frame count", edit(" 3 \r\n0, 0", " 32768 \r\n0, 0"), "line 28: the frame count of entry 2 of 2"},
        {"too few", edit("0, 0, 100000, -7", "0, 0, 100000"), "line 8: the hotspots of slot 0 of entry 1 of 2 has 3"},
        {"too many", edit("0, 0, 100000, -7", "0, 0, 100000, -7, 1"), "line 8: the hotspots of slot 0 of entry 1 of 2 holds more"},
        {"past 32 bits", edit("0, 0, 100000", "0, 0, 3000000000"), "does not fit in 32 bits"},
        {"past 16 bits", edit("1, -1\r\n", "1, -40000\r\n"), "line 30: a hotspot of frame 1 of entry 2 of 2 does not fit"},
        {"missing line", edit("2, -2\r\n", ""),
         "line 31: the block of entry 2 of 2 has too few hotspot lines: 2 of the 3 its frame count asks for "
         "(the manifest ends before this line)"},
        {"missing line, blank lines after", edit("2, -2\r\n", "\r\n  \r\n"),
         "line 31: the block of entry 2 of 2 has too few hotspot lines: 2 of the 3 its frame count asks for "
         "(the manifest ends before this line)"},
        {"blank line in a block", edit("1, -1\r\n", "\r\n"), "line 30: the hotspots of frame 1 of entry 2 of 2 has 0"},
        {"slot line missing before the separator", edit("16, -16, 100016, -7\r\n", ""),
         "line 24: the block of entry 1 of 2 has too few hotspot lines: 16 of the 17 a vehicle needs (this line, "
         "\";------------------------------\", is not one)"},
        {"slot line missing before the next name", edit("16, -16, 100016, -7\r\n;------------------------------\r\n", ""),
         "line 24: the block of entry 1 of 2 has too few hotspot lines: 16 of the 17 a vehicle needs (this line, "
         "\"s\", is not one)"},
        {"more after", edit("2, -2\r\n", "2, -2\r\nextra\r\n"), "line 32: the manifest goes on after its 2 entries"},
        {"missing TGA", [](VehicleRebuild& t) { fs::remove(t.folder / "s_002.tga"); },
         "no TGA file " + std::string("FOLDER/s_002.tga for frame 2 of entry \"s\"")},
        {"TGA link", [](VehicleRebuild& t) { fs::remove(t.folder / "car_005.tga"); fs::create_symlink("car_004.tga", t.folder / "car_005.tga"); },
         "car_005.tga: it is a symbolic link"},
        {"frame too tall", [](VehicleRebuild& t) { t.PutImage("s_001.tga", Picture{1, 16384, std::vector<uint16_t>(16384, 0)}); },
         "s_001.tga (1 x 16384) is larger than a shadow frame can be"},
        {"unreadable TGA", [](VehicleRebuild& t) { WriteText(t.folder / "car_000.tga", "not a picture"); }, "car_000.tga"},
        {"NUL in a name", edit("car\r\n", std::string("car\0x\r\n", 7)), "line 5: the name of entry 1 of 2"},
        {"name not plain", [](VehicleRebuild& t) {
             auto bytes = ReadBytes(t.container.FileName);
             bytes[5] = '/';
             WriteBytes(t.container.FileName, bytes);
         }, "\"c/r\" is not a plain file name"},
    };
    for (const Refusal& refusal : refusals) {
        SCOPED_TRACE(refusal.label);
        EmptyFolder();
        Choose(BuildVehicleFile({Vehicle("car", 2), Shadow("s", 3)}));
        Extract();
        refusal.spoil(*this);
        const auto before = Snapshot();
        std::string expected = refusal.message;
        if (const size_t at = expected.find("FOLDER"); at != std::string::npos)
            expected.replace(at, 6, folder.path().string());
        const std::string error = ErrorOf([&] { Rebuild(); });
        EXPECT_NE(error.find(expected), std::string::npos) << error;
        EXPECT_TRUE(Snapshot() == before);
    }
}

TEST_F(VehicleRebuild, AShadowWithTooFewHotspotLinesIsToldFromTheNextBlock)
{
    Choose(BuildVehicleFile({Shadow("s", 2), Vehicle("car", 2)}));
    Extract();
    EditManifest("1, -1\r\n", "");
    EXPECT_EQ(ErrorOf([&] { Rebuild(); }),
              ManifestPath().string() + ", line 9: the block of entry 1 of 2 has too few hotspot lines: 1 of the 2 its "
                                        "frame count asks for (this line, \"car\", is not one)");
}
