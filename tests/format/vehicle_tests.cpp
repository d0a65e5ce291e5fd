#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/module_fixture.h"
#include "vehicle/vehicle.h"

using namespace Brimwork;
using namespace Brimwork::Samples;
using Brimwork::Testing::ReadText;
using Brimwork::Testing::RecordingWindow;
using Brimwork::Testing::TempFolder;
using Brimwork::Testing::WriteText;
namespace fs = std::filesystem;

namespace {

constexpr uint16_t White = 0x7FFF;

// The pixels of a decoded buffer as words.
std::vector<uint16_t> Words(const ImageBuffer& image)
{
    std::vector<uint16_t> words;
    for (size_t i = 0; i + 1 < image.ImageBytes.size(); i += 2)
        words.push_back(static_cast<uint16_t>(image.ImageBytes[i] | image.ImageBytes[i + 1] << 8));
    return words;
}

// Words of a row given as '#' for white and '.' for black.
std::vector<uint16_t> Row(const std::string& pattern)
{
    std::vector<uint16_t> words;
    for (char c : pattern)
        words.push_back(c == '#' ? White : 0);
    return words;
}

class ShadowDecoding : public ::testing::Test {
public:
    ImageBuffer Decode(int16_t width, std::vector<int16_t> rows, std::vector<uint8_t> data, bool pad = false)
    {
        state.frame.Width = width;
        state.frame.Height = static_cast<int16_t>(rows.size());
        state.RowOffsets = std::move(rows);
        state.ShadowData = std::move(data);
        ImageBuffer image;
        AZP::DecodeShadow(image, window, state, pad);
        return image;
    }

    AZP::State state;
    RecordingWindow window;
};

}  // namespace

TEST_F(ShadowDecoding, RunsAndClosingCodes)
{
    EXPECT_EQ(Words(Decode(8, {0}, {0, 3, 245, 2, 237})), Row("###..###"));
    EXPECT_EQ(Words(Decode(5, {0}, {0, 2, 255})), Row("##..."));
    EXPECT_EQ(window.beeps, 1);
    EXPECT_EQ(Words(Decode(5, {0}, {245, 0, 0, 5})), Row("#####"));
    EXPECT_EQ(Words(Decode(4, {-1, 2}, {9, 9, 0, 1, 245, 3})), Row("#####..."));
}

TEST_F(ShadowDecoding, EveryRowEndingInTheBeepCodeBeepsEachTime)
{
    Decode(3, {0, 0, 0}, {255});
    Decode(3, {0, 0, 0}, {255});
    EXPECT_EQ(window.beeps, 6);
}

TEST_F(ShadowDecoding, PaddingGivesTheDisplayLayoutForOddWidths)
{
    const ImageBuffer padded = Decode(3, {-1, 0}, {0, 1}, true);
    EXPECT_EQ(padded.ImageWidth, 3);
    EXPECT_EQ(padded.ImageHeight, 2);
    EXPECT_EQ(Words(padded), Row("###.#..."));
    const ImageBuffer packed = Decode(3, {-1, 0}, {0, 1}, false);
    EXPECT_EQ(packed.ImageWidth, 3);
    EXPECT_EQ(Words(packed), Row("####.."));
}

TEST_F(ShadowDecoding, RunsPassIntoTheNextRowAndStopAtTheBufferEnd)
{
    // Row 1 has an offset below -1, so it keeps what row 0's long run wrote.
    EXPECT_EQ(Words(Decode(8, {0, -5}, {0, 10})), Row("##########......"));
    EXPECT_EQ(Words(Decode(4, {0, 2}, {0, 6, 245, 1})), Row("####.#.."));
    EXPECT_EQ(Words(Decode(3, {0}, {0, 200})), Row("###"));
}

TEST_F(ShadowDecoding, StreamsThatDoNotHoldTogetherEndTheirRow)
{
    EXPECT_EQ(Words(Decode(4, {0}, {0, 1, 17, 0, 3})), Row("#..."));  // a code with no meaning
    EXPECT_EQ(Words(Decode(4, {0}, {0, 2, 0})), Row("##.."));        // a run without its length
    EXPECT_EQ(Words(Decode(4, {9}, {0, 2})), Row("...."));          // an offset past the data
    const ImageBuffer empty = Decode(0, {0}, {237});
    EXPECT_EQ(empty.ImageWidth, 0);
    EXPECT_EQ(empty.ImageBytes, (std::vector<uint8_t>{0, 0}));
}

namespace {

std::vector<VehicleSlot> Slots(int32_t firstWidth)
{
    std::vector<VehicleSlot> slots;
    for (int32_t j = 0; j < 17; ++j)
        slots.push_back({Gradient(firstWidth + j, 2), {12, 30, -4, j}});
    return slots;
}

std::vector<bool> Pattern(const std::string& row)
{
    std::vector<bool> white;
    for (char c : row)
        white.push_back(c == '#');
    return white;
}

Samples::ShadowFrame Frame(int16_t f)
{
    return EncodeShadow({Pattern(std::string(static_cast<size_t>(f % 5), '#') + "..##."), Pattern("#######")},
                        {static_cast<int16_t>(5 + f), static_cast<int16_t>(-9 - f)});
}

VehicleEntry Shadow(const std::string& name, int16_t frames)
{
    VehicleEntry entry{name, 0, true, {}, {}};
    for (int16_t f = 0; f < frames; ++f)
        entry.frames.push_back(Frame(f));
    return entry;
}

class VehicleTest : public Brimwork::Testing::ModuleFixture {
public:
    void Choose(const std::vector<uint8_t>& bytes) { ModuleFixture::Choose(bytes, "cars.azp"); }
    bool List() { auto c = Context(); return AZP::ListEntries(c, container.FileName); }
    void Load(int32_t entry, int32_t& index) { auto c = Context(); AZP::LoadImage(c, state, entry, index); }
    void Extract() { auto c = Context(); AZP::ExtractAll(c, state); }
    std::string Manifest() { return ReadText(container.FileName.string() + ".txt"); }

    AZP::State state;
};

}  // namespace

TEST_F(VehicleTest, ListsEveryEntryAndRefusesADamagedTableFirst)
{
    Choose(BuildVehicleFile({{"truck", 0, false, Slots(2), {}}, Shadow("truck_s", 2), {"", 0, true, {}, {}}}));
    window.list = {"EARLIER"};
    ASSERT_TRUE(List());
    EXPECT_EQ(window.list, (std::vector<std::string>{"truck", "truck_s", ""}));

    auto damaged = BuildVehicleFile({{"truck", 0, false, Slots(2), {}}});
    damaged[0] = 200;  // 200 entries in a table of one
    Choose(damaged);
    EXPECT_NE(ErrorOf([&] { List(); }).find("is damaged"), std::string::npos);
    EXPECT_EQ(window.list, (std::vector<std::string>{"truck", "truck_s", ""}));

    Choose({0xFE, 0xFF, 0xFF, 0xFF});
    ASSERT_TRUE(List());
    EXPECT_TRUE(window.list.empty());
}

TEST_F(VehicleTest, AFileTooShortForItsEntryCountSaysSo)
{
    const std::vector<std::pair<std::vector<uint8_t>, std::string>> cases{
        {{}, " is empty: a vehicle file starts with its entry count"},
        {{1}, " is damaged: it has 1 byte, too short to hold its entry count"},
        {{1, 0, 0}, " is damaged: it has 3 bytes, too short to hold its entry count"},
    };
    for (const auto& [bytes, message] : cases) {
        Choose(bytes);
        EXPECT_EQ(ErrorOf([&] { List(); }), container.FileName.string() + message);
        EXPECT_EQ(ErrorOf([&] { Extract(); }), container.FileName.string() + message);
    }
}

TEST_F(VehicleTest, SlotsShowInDisplayLayoutAndWrapAfterSixteen)
{
    auto slots = Slots(3);
    slots[4].image = Picture{0, 20, {}};
    slots[16].image = Picture{3, 1, {1, 2, 3}};
    Choose(BuildVehicleFile({{"truck", 0, false, slots, {}}}));
    int32_t index = 16;
    Load(0, index);
    EXPECT_EQ(image.ImageBytes, (std::vector<uint8_t>{1, 0, 2, 0, 3, 0, 0, 0}));
    index = 17;
    Load(0, index);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(image.ImageWidth, 3);
    EXPECT_EQ(image.ImageBytes.size(), 16u);
    index = 4;
    Load(0, index);
    EXPECT_EQ(image.ImageWidth, 0);
    EXPECT_EQ(image.ImageHeight, 0);
    EXPECT_EQ(image.ImageBytes, (std::vector<uint8_t>{0, 0}));
}

TEST_F(VehicleTest, ALowerCaseTagIsAVehicleRecord)
{
    auto bytes = BuildVehicleFile({{"v", 0, false, Slots(2), {}}});
    std::copy_n("irps", 4, bytes.begin() + 4 + 264);
    Choose(bytes);
    int32_t index = 0;
    Load(0, index);
    EXPECT_EQ(image.ImageBytes, Gradient(2, 2).Bytes());
}

TEST_F(VehicleTest, FramesShowInTurnAndWrap)
{
    Choose(BuildVehicleFile({Shadow("s", 3), {"none", 0, true, {}, {}}}));
    for (int32_t f : {0, 1, 2}) {
        int32_t index = f;
        Load(0, index);
        EXPECT_EQ(image.ImageWidth, 5 + f % 5);
        EXPECT_EQ(image.ImageBytes.size(), static_cast<size_t>(RowStride(5 + f) * 2));
    }
    int32_t index = 3;
    Load(0, index);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(image.ImageWidth, 5);
    index = 0;
    Load(1, index);  // a shadow entry without frames shows the empty image
    EXPECT_EQ(image.ImageBytes, (std::vector<uint8_t>{0, 0}));
}

TEST_F(VehicleTest, TheFrameIndexIsForgottenWhenTheFileChanges)
{
    Choose(BuildVehicleFile({Shadow("s", 4)}));
    int32_t index = 3;
    Load(0, index);
    EXPECT_EQ(image.ImageWidth, 8);
    auto changed = Shadow("s", 4);
    changed.frames[0] = Frame(4);  // a longer first frame moves every later one
    Choose(BuildVehicleFile({changed}));
    Load(0, index);
    EXPECT_EQ(image.ImageWidth, 8);
    EXPECT_EQ(state.frame.Hotspot[0], 8);
}

TEST_F(VehicleTest, DamagedRecordsGiveMessagesNamingTheEntryAndFrame)
{
    auto slots = Slots(2);
    slots[1].image = Picture{-2, 2, {}};
    Choose(BuildVehicleFile({{"neg", 0, false, slots, {}}}));
    int32_t index = 1;
    EXPECT_NE(ErrorOf([&] { Load(0, index); }).find("\"neg\""), std::string::npos);

    auto shadow = Shadow("s", 3);
    shadow.frames[1].height = 40;  // a row table longer than the frame's data says
    shadow.frames[1].rowOffsets.resize(40);
    auto bytes = BuildVehicleFile({shadow});
    const size_t frame1 = 4 + 264 + 20 + 12 + 2 * 2 + Frame(0).data.size();
    bytes[frame1 + 8] = 4;  // DataSize 4 for a frame of 40 rows
    bytes[frame1 + 9] = 0;
    Choose(bytes);
    index = 2;
    const std::string error = ErrorOf([&] { Load(0, index); });
    EXPECT_NE(error.find("frame 1 of entry \"s\""), std::string::npos) << error;

    auto cut = BuildVehicleFile({Shadow("s", 3)});
    cut.resize(cut.size() - 3);
    Choose(cut);
    index = 2;
    EXPECT_NE(ErrorOf([&] { Load(0, index); }).find("frame 2 of entry \"s\""), std::string::npos);
    index = 1;
    Load(0, index);  // the frames before the cut still show
    EXPECT_EQ(index, 1);
}

TEST_F(VehicleTest, ExtractionWritesTheTxtManifestAndUnpaddedImages)
{
    Choose(BuildVehicleFile({{"truck", 0, false, Slots(3), {}}, Shadow("truck_s", 2), {"none", 0, true, {}, {}}}));
    Extract();
    std::string expected = "; Rebuild data for cars.azp\r\n"
                           "; Next line is count of entries in AZP file. Following that is each entry name, type, "
                           "count of images, and hotspot coordinates for each image.\r\n"
                           " 3 \r\n;------------------------------\r\n"
                           "truck\r\nVEHICLE\r\n 17 \r\n";
    for (int j = 0; j < 17; ++j)
        expected += "12, 30, -4, " + std::to_string(j) + "\r\n";
    expected += ";------------------------------\r\ntruck_s\r\nSHADOW\r\n 2 \r\n5, -9\r\n6, -10\r\nnone\r\nSHADOW\r\n 0 \r\n";
    EXPECT_EQ(Manifest(), expected);

    const auto names = folder.Names();
    EXPECT_EQ(names.size(), 2u + 17 + 2);
    EXPECT_EQ(names.front(), "cars.azp");
    EXPECT_TRUE(fs::exists(folder / "truck_016.tga"));
    EXPECT_TRUE(fs::exists(folder / "truck_s_001.tga"));
    EXPECT_EQ(ReadBytes(folder / "truck_s_001.tga").size(), 18u + 6 * 2 * 2) << "frames are written unpadded";
    EXPECT_EQ(window.progress, (std::vector<float>{100.0f / 3, 200.0f / 3, 100.0f}));

    Extract();
    EXPECT_EQ(Manifest(), expected) << "a second extraction writes the manifest anew";
}

TEST_F(VehicleTest, ExtractionReadsEachFrameOnceAndWritesWhatFrameByFrameReadingWrites)
{
    Choose(BuildVehicleFile({Shadow("many", 600)}));
    Extract();
    for (int32_t f : {0, 1, 7, 299, 599}) {
        AZP::State fresh;  // knows no frame: reads frames 0 to f from the start
        auto context = Context();
        int32_t index = f;
        const std::string base = "fresh_" + std::to_string(f);
        AZP::ExtractImage(context, fresh, 0, index, base);
        const std::string name = "many_" + std::string(f < 10 ? "00" : f < 100 ? "0" : "") + std::to_string(f) + ".tga";
        EXPECT_EQ(ReadBytes(folder / (base + ".tga")), ReadBytes(folder / name)) << f;
    }
    EXPECT_EQ(state.frames.frameStarts.size(), 601u);
}

TEST_F(VehicleTest, ExtractionRefusesUnsafeNamesAndLinksBeforeWriting)
{
    for (const std::string name : {"../up", "a/b", ".", "two\nlines", "cr\r"}) {
        EmptyFolder();
        Choose(BuildVehicleFile({{"ok", 0, false, Slots(2), {}}, Shadow(name, 1)}));
        EXPECT_NE(ErrorOf([&] { Extract(); }), "no error") << name;
        EXPECT_EQ(folder.Names(), std::vector<std::string>{"cars.azp"}) << name;
    }
    Choose(BuildVehicleFile({Shadow("s", 2)}));
    TempFolder elsewhere;
    WriteText(elsewhere / "target", "precious");
    fs::create_symlink(elsewhere / "target", folder / "s_001.tga");
    EXPECT_NE(ErrorOf([&] { Extract(); }).find("symbolic link"), std::string::npos);
    EXPECT_EQ(ReadText(elsewhere / "target"), "precious");
    EXPECT_FALSE(fs::exists(folder / "s_000.tga"));
}

TEST_F(VehicleTest, ADamagedFrameOrSlotStopsExtractionBeforeAnyFileIsWritten)
{
    auto cut = BuildVehicleFile({{"car", 0, false, Slots(2), {}}, Shadow("s", 5)});
    cut.resize(cut.size() - 2);
    Choose(cut);
    EXPECT_NE(ErrorOf([&] { Extract(); }).find("frame 4 of entry \"s\""), std::string::npos);
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"cars.azp"});

    auto slots = Slots(2);
    slots[16].image = Picture{40000, 1, std::vector<uint16_t>(40000, 1)};
    Choose(BuildVehicleFile({{"wide", 0, false, slots, {}}}));
    EXPECT_NE(ErrorOf([&] { Extract(); }).find("too large"), std::string::npos);
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"cars.azp"});
}
