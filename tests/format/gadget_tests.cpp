#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "core/error.h"
#include "io/files.h"
#include "gadget/gadget.h"
#include "image/image_buffer.h"
#include "image/tga.h"
#include "samples/sample_containers.h"
#include "tests/support/module_fixture.h"

using namespace Brimwork;
using namespace Brimwork::Samples;
using Brimwork::Testing::ReadText;
using Brimwork::Testing::RecordingWindow;
using Brimwork::Testing::TempFolder;
using Brimwork::Testing::WriteText;
namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

class GadgetTest : public Brimwork::Testing::ModuleFixture {
public:
    void Choose(const std::vector<uint8_t>& bytes) { ModuleFixture::Choose(bytes, "GADGETS.GDG"); }
    bool List() { auto c = Context(); return GDG::ListEntries(c, container.FileName); }
    void Load(int32_t entry, int32_t& index) { auto c = Context(); GDG::LoadImage(c, entry, index); }
    void Extract() { auto c = Context(); GDG::ExtractAll(c); }
    void Rebuild() { auto c = Context(); GDG::Rebuild(c); }
    std::string ErrorOf(void (GadgetTest::*action)()) { return ModuleFixture::ErrorOf([&] { (this->*action)(); }); }
};

std::vector<uint8_t> Packed(const Picture& picture) { return picture.Bytes(); }

// The header of a gadget file whose entry table says what the test wants.
std::vector<uint8_t> RawGadget(int32_t count, std::vector<uint8_t> rest)
{
    std::vector<uint8_t> bytes{'G', 'A', 'D', 'G', 0, 0, 0, 0};
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<uint8_t>(static_cast<uint32_t>(count) >> (8 * i)));
    bytes.insert(bytes.end(), rest.begin(), rest.end());
    return bytes;
}

}  // namespace

TEST_F(GadgetTest, ListsNamesInFileOrderUpToTheirFirstNul)
{
    Choose(BuildGadgetFile(0, {{"CHAIR", 0, {}}, {std::string("AB\0CD", 5), 0, {}}, {"", 0, {}},
                              {std::string(32, 'N'), 0, {}}}));
    ASSERT_TRUE(List());
    EXPECT_EQ(window.list, (std::vector<std::string>{"CHAIR", "AB", "", std::string(32, 'N')}));
}

TEST_F(GadgetTest, AWrongSignatureKeepsTheListAndSaysSo)
{
    window.list = {"EARLIER"};
    auto bytes = BuildGadgetFile(0, {{"CHAIR", 0, {}}});
    bytes[0] = 'g', bytes[1] = 'a', bytes[2] = 'd', bytes[3] = 'g';
    Choose(bytes);
    EXPECT_FALSE(List());
    EXPECT_EQ(window.list, std::vector<std::string>{"EARLIER"});
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].text, "Error: Gadget file signature not found!");
    EXPECT_EQ(window.messages[0].title, "Brimwork Error");

    Choose({'G', 'A'});  // shorter than a header
    EXPECT_FALSE(List());
}

TEST_F(GadgetTest, AFileWithItsSignatureButShorterThanTheHeaderIsDamaged)
{
    const std::vector<std::pair<std::string, std::string>> cases{
        {"GADG\x01\0\0\0\x02\0\0"s, " is damaged: it has 11 bytes, too short for its 12-byte header"},
        {"GADG", " is damaged: it has 4 bytes, too short for its 12-byte header"},
        {"gadg\x01\0\0\0\x02\0\0"s, "signature"},
        {"GAD", "signature"},
        {"", "signature"},
    };
    for (const auto& [text, message] : cases) {
        SCOPED_TRACE(text.size());
        window.list = {"EARLIER"};
        window.messages.clear();
        Choose(std::vector<uint8_t>(text.begin(), text.end()));
        if (message == "signature") {
            EXPECT_FALSE(List());
            ASSERT_EQ(window.messages.size(), 1u);
            EXPECT_EQ(window.messages[0].text, "Error: Gadget file signature not found!");
            EXPECT_EQ(window.messages[0].title, "Brimwork Error");
        } else {
            EXPECT_EQ(ModuleFixture::ErrorOf([&] { List(); }), container.FileName.string() + message);
            EXPECT_TRUE(window.messages.empty());
        }
        EXPECT_EQ(window.list, std::vector<std::string>{"EARLIER"});
    }
}

TEST_F(GadgetTest, ADamagedEntryTableIsAnErrorBeforeTheListIsTouched)
{
    window.list = {"EARLIER"};
    Choose(RawGadget(1000000, std::vector<uint8_t>(44, 0)));
    try {
        List();
        FAIL() << "a table past the end of the file must be refused";
    } catch (const Error& error) {
        EXPECT_NE(std::string(error.what()).find("is damaged"), std::string::npos) << error.what();
    }
    EXPECT_EQ(window.listFills, 0);

    Choose(RawGadget(-5, {}));
    ASSERT_TRUE(List());
    EXPECT_TRUE(window.list.empty());
}

TEST_F(GadgetTest, LoadsImagesInDisplayLayoutAndWrapsTheIndex)
{
    const Picture odd{3, 2, {1, 2, 3, 4, 5, 6}};
    const Picture even{4, 1, {0x7C00, 0x03E0, 0x001F, 0x7FFF}};
    Choose(BuildGadgetFile(0, {{"A", 0, {odd, even, Solid(1, 3, 9)}}, {"NONE", 0, {}}}));

    int32_t index = 0;
    Load(0, index);
    EXPECT_EQ(image.ImageWidth, 3);
    EXPECT_EQ(image.ImageHeight, 2);
    EXPECT_EQ(image.ImageBytes, (std::vector<uint8_t>{1, 0, 2, 0, 3, 0, 0, 0, 4, 0, 5, 0, 6, 0, 0, 0}));

    index = 1;
    Load(0, index);
    EXPECT_EQ(image.ImageBytes, Packed(even));

    index = 2;
    Load(0, index);
    EXPECT_EQ(image.ImageBytes, (std::vector<uint8_t>{9, 0, 0, 0, 9, 0, 0, 0, 9, 0, 0, 0}));

    index = 3;
    Load(0, index);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(image.ImageWidth, 3);

    index = 0;
    Load(1, index);  // an entry without images shows the empty image
    EXPECT_EQ(image.ImageWidth, 0);
    EXPECT_EQ(image.ImageBytes, (std::vector<uint8_t>{0, 0}));
}

TEST_F(GadgetTest, ImagesThatDoNotFitTheFileAreRefusedBeforeAllocating)
{
    // One entry whose only image claims 30000 x 30000 pixels in a file of 100 bytes.
    std::vector<uint8_t> rest(44, 0);
    rest[36] = 1;   // ImageCount
    rest[40] = 56;  // TableOffset
    std::vector<uint8_t> header{0x30, 0x75, 0, 0, 0x30, 0x75, 0, 0, 0, 0, 0, 0, 72, 0, 0, 0};
    rest.insert(rest.end(), header.begin(), header.end());
    rest.resize(100 - 12, 0);
    Choose(RawGadget(1, rest));
    image = ImageBuffer{5, 5, std::vector<uint8_t>(50, 7)};

    int32_t index = 0;
    try {
        Load(0, index);
        FAIL() << "the image cannot lie within a file of 100 bytes";
    } catch (const Error& error) {
        EXPECT_NE(std::string(error.what()).find("is damaged"), std::string::npos) << error.what();
    }
    EXPECT_EQ(image.ImageWidth, 5) << "a failed load leaves the buffer as it was";
    EXPECT_NE(ErrorOf(&GadgetTest::Extract).find("is damaged"), std::string::npos);
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"GADGETS.GDG"});

    index = 0;
    EXPECT_THROW(Load(5, index), Error) << "entry 5 lies past the end of the file";
}

TEST_F(GadgetTest, ExtractionWritesTheManifestAndOneUnpaddedTgaPerImage)
{
    Choose(BuildGadgetFile(-3, {{"CHAIR", 7, {Gradient(3, 2), Gradient(4, 4)}},
                               {"EMPTY", -1, {}},
                               {"a,b", 0, {Solid(1, 1, 5)}},
                               {"LAMP", 2147483647, {Disc(5, 5, 1, 2)}}}));
    Extract();

    EXPECT_EQ(ReadText(folder / "EXTRACT.DAT"), "GADGETS.GDG\r\n-3 \r\n 4 \r\n 7 CHAIR\r\n-1 EMPTY\r\n"
                                                " 0 \"a,b\"\r\n 2147483647 LAMP\r\n");
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"CHAIR_000.tga", "CHAIR_001.tga", "EXTRACT.DAT",
                                                        "GADGETS.GDG", "LAMP_000.tga", "a,b_000.tga"}));
    const auto tga = ReadBytes(folder / "CHAIR_000.tga");
    ASSERT_EQ(tga.size(), 18u + 3 * 2 * 2);
    EXPECT_EQ(std::vector<uint8_t>(tga.begin() + 18, tga.end()), Packed(Gradient(3, 2)));
    EXPECT_EQ(window.progress, (std::vector<float>{25, 50, 75, 100}));
    EXPECT_EQ(window.yields, 4);
    EXPECT_EQ(image.ImageBytes, Packed(Disc(5, 5, 1, 2))) << "the buffer holds the last image, packed";
}

TEST_F(GadgetTest, ExtractionReplacesAnOldManifestAndNumbersPast999)
{
    std::vector<Picture> many(1001, Solid(1, 1, 3));
    Choose(BuildGadgetFile(0, {{"M", 0, many}}));
    WriteText(folder / "EXTRACT.DAT", std::string(5000, 'x'));
    window.overwrite = true;
    Extract();
    ASSERT_EQ(window.overwriteQuestions.size(), 1u);
    EXPECT_EQ(window.overwriteQuestions[0].files, std::vector<std::string>{"EXTRACT.DAT"});
    EXPECT_EQ(ReadText(folder / "EXTRACT.DAT"), "GADGETS.GDG\r\n 0 \r\n 1 \r\n 0 M\r\n");
    EXPECT_TRUE(fs::exists(folder / "M_007.tga"));
    EXPECT_TRUE(fs::exists(folder / "M_999.tga"));
    EXPECT_TRUE(fs::exists(folder / "M_1000.tga"));
}

TEST_F(GadgetTest, ExtractionRefusesNamesThatAreNotPlainFileNamesBeforeWritingAnything)
{
    for (const std::string name : {"../ESCAPE", "sub/dir", ".", "..", " \"quoted\""}) {
        Choose(BuildGadgetFile(0, {{"FINE", 0, {Solid(1, 1, 1)}}, {name, 0, {Solid(1, 1, 1)}}}));
        EXPECT_NE(ErrorOf(&GadgetTest::Extract), "no error") << name;
        EXPECT_EQ(folder.Names(), std::vector<std::string>{"GADGETS.GDG"}) << name;
    }
}

TEST_F(GadgetTest, ExtractionNeverWritesThroughASymbolicLink)
{
    TempFolder elsewhere;
    WriteText(elsewhere / "target", "precious");
    fs::create_symlink(elsewhere / "target", folder / "CHAIR_001.tga");
    Choose(BuildGadgetFile(0, {{"CHAIR", 0, {Solid(1, 1, 1), Solid(1, 1, 2)}}}));
    EXPECT_NE(ErrorOf(&GadgetTest::Extract).find("symbolic link"), std::string::npos);
    EXPECT_EQ(ReadText(elsewhere / "target"), "precious");
    EXPECT_FALSE(fs::exists(folder / "CHAIR_000.tga"));
}

namespace {

std::vector<GadgetEntry> RoundTripEntries()
{
    return {{"CHAIR", 7, {Gradient(3, 2), Disc(9, 9, 0x7C00, 0), Stripes(12, 5)}},
            {"CHAIR_BIG", -2, {Gradient(20, 10)}},
            {"EMPTY", 0, {}},
            {"x,y", 1, {Solid(2, 2, 0x1234)}},
            {" lead", 2, {Solid(1, 2, 0x4321)}}};
}

}  // namespace

TEST_F(GadgetTest, ExtractThenRebuildGivesBackTheSameFile)
{
    const auto original = BuildGadgetFile(11, RoundTripEntries());
    Choose(original);
    Extract();
    WriteText(folder / "notes.txt", "mine");
    Rebuild();

    EXPECT_EQ(ReadBytes(container.FileName), original);
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"GADGETS.GDG", "notes.txt"}));
    EXPECT_EQ(window.list, (std::vector<std::string>{"CHAIR", "CHAIR_BIG", "EMPTY", "x,y", " lead"}));
    EXPECT_TRUE(window.messages.empty());
    EXPECT_EQ(window.progress.back(), 100.0f);
}

TEST_F(GadgetTest, AManifestSavedWithAByteOrderMarkAndLineFeedsRebuildsTheSameFile)
{
    Choose(BuildGadgetFile(11, RoundTripEntries()));
    const auto [fromWritten, fromSaved] =
        RebuildFromWrittenAndEditorSavedManifest("EXTRACT.DAT", [&] { Extract(); }, [&] { Rebuild(); });
    EXPECT_TRUE(fromSaved == fromWritten);
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"GADGETS.GDG"});
}

TEST_F(GadgetTest, RebuildTakesImagesInNumberOrderPast999)
{
    std::vector<Picture> many;
    for (int32_t k = 0; k < 1002; ++k)
        many.push_back(Solid(1, 1, static_cast<uint16_t>(k)));
    const auto original = BuildGadgetFile(0, {{"M", 0, many}});
    Choose(original);
    Extract();
    Rebuild();
    EXPECT_EQ(ReadBytes(container.FileName), original);
}

TEST_F(GadgetTest, AnEditedImageOfAnotherSizeMovesEveryLaterOffset)
{
    Choose(BuildGadgetFile(0, RoundTripEntries()));
    Extract();
    const ImageBuffer edited{5, 4, Packed(Gradient(5, 4))};
    WriteTGA(RealFileSystem(), folder / "CHAIR_001.tga", edited);
    Rebuild();

    auto expected = RoundTripEntries();
    expected[0].images[1] = Gradient(5, 4);
    EXPECT_EQ(ReadBytes(container.FileName), BuildGadgetFile(0, expected));
}

// Each file named "<entry>_<digits>.tga" goes to the entry whose name is
// the longest that fits (letter case ignored). A file named like an entry's images in any other way is
// refused, and nothing changes.
TEST_F(GadgetTest, OnlyNumberedFilesBecomeImagesOfTheLongestNameThatFits)
{
    const auto one = [](uint16_t colour) { return Solid(1, 1, colour); };
    const std::vector<GadgetEntry> entries{{"A", 0, {one(1)}}, {"A_B", 1, {one(2)}}, {"", 3, {one(4)}}};
    Choose(BuildGadgetFile(0, entries));
    Extract();
    struct Added {
        const char* name;
        uint16_t colour;
    };
    for (const Added& file : {Added{"a_b_7.TGA", 10}, Added{"A_2.tga", 11}, Added{"B_1.tga", 14}, Added{"_2.tga", 15}})
        WriteTGA(RealFileSystem(), folder / file.name, ImageBuffer{1, 1, {static_cast<uint8_t>(file.colour), 0}});
    Rebuild();
    EXPECT_EQ(ReadBytes(container.FileName), BuildGadgetFile(0, {{"A", 0, {one(1), one(11)}},
                                                               {"A_B", 1, {one(2), one(10)}},
                                                               {"", 3, {one(4), one(15)}}}));
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"B_1.tga", "GADGETS.GDG"}));

    // What the rebuild refuses, and the words that name each file.
    const std::pair<std::string, std::string> strays[] = {
        {"A_X.tga", "A_X.tga: not numbered"},
        {"A__.tga", "A__.tga: not numbered"},
        {"A_.tga", "A_.tga: not numbered"},
        {"A_000 (copy).tga", "A_000 (copy).tga: not numbered"},
        {"a_b_backup.TGA", "a_b_backup.TGA: not numbered"},
        {"A_B.tga", "A_B.tga: not numbered"},
        {"A_00.tga", "A_00.tga and A_000.tga: both image 0"},
        {"a_000.TGA", "A_000.tga and a_000.TGA: both image 0"},
    };
    for (const auto& [name, expected] : strays) {
        SCOPED_TRACE(name);
        EmptyFolder();
        Choose(BuildGadgetFile(0, entries));
        Extract();
        WriteTGA(RealFileSystem(), folder / name, ImageBuffer{1, 1, {9, 0}});
        const auto before = Snapshot();
        const std::string error = ModuleFixture::ErrorOf([&] { Rebuild(); });
        EXPECT_NE(error.find(expected), std::string::npos) << error;
        EXPECT_TRUE(Snapshot() == before);
    }
}

// Something other than a regular file under an image's name is refused:
// skipping it would lose that image.
TEST_F(GadgetTest, AFolderOrLinkUnderAnImagesNameIsRefused)
{
    Choose(BuildGadgetFile(0, {{"CHAIR", 0, {Solid(1, 1, 1), Solid(1, 1, 2)}}}));
    Extract();
    fs::remove(folder / "CHAIR_001.tga");
    fs::create_directory(folder / "CHAIR_001.tga");
    fs::create_symlink(folder / "CHAIR_000.tga", folder / "CHAIR_002.tga");
    const auto before = Snapshot();
    const std::string error = ModuleFixture::ErrorOf([&] { Rebuild(); });
    EXPECT_NE(error.find("CHAIR_001.tga: not a regular file"), std::string::npos) << error;
    EXPECT_NE(error.find("CHAIR_002.tga: a symbolic link"), std::string::npos) << error;
    EXPECT_TRUE(Snapshot() == before);
    EXPECT_TRUE(fs::is_directory(folder / "CHAIR_001.tga"));
}

TEST_F(GadgetTest, RebuildDeletesOnlyWhatItRead)
{
    Choose(BuildGadgetFile(0, {{"CHAIR", 0, {Solid(1, 1, 1)}}}));
    Extract();
    WriteTGA(RealFileSystem(), folder / "TABLE_000.tga", ImageBuffer{1, 1, {3, 0}});
    WriteText(folder / "REBUILD.TMP", "left over from a run that was killed");
    Rebuild();
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"GADGETS.GDG", "TABLE_000.tga"}));
}

TEST_F(GadgetTest, WithoutAManifestRebuildSaysSoAndTouchesNothing)
{
    Choose(BuildGadgetFile(0, {{"CHAIR", 0, {Solid(1, 1, 1)}}}));
    Rebuild();
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].text, "Error: No EXTRACT.DAT file found in current directory.  Can't rebuild.");
    EXPECT_EQ(window.messages[0].title, "Rebuild Error");
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"GADGETS.GDG"});
}

TEST_F(GadgetTest, AFailedRebuildLeavesEveryFileAsItWas)
{
    const auto original = BuildGadgetFile(0, RoundTripEntries());
    const std::vector<std::pair<std::string, std::string>> broken{
        {"damaged TGA", ""},
        {"fewer entries", "GADGETS.GDG\r\n 0 \r\n 6 \r\n"},
        {"not a number", "GADGETS.GDG\r\n zero \r\n 0 \r\n"},
        {"long name", "GADGETS.GDG\r\n 0 \r\n 1 \r\n 0 " + std::string(33, 'L') + "\r\n"},
        {"path in line 1", "../GADGETS.GDG\r\n 0 \r\n 0 \r\n"},
        {"empty line 1", "\r\n 0 \r\n 0 \r\n"},
        {"path in a name", "GADGETS.GDG\r\n 0 \r\n 1 \r\n 0 ../CHAIR\r\n"},
        {"line 1 names an input", "chair_000.TGA\r\n 0 \r\n 1 \r\n 0 CHAIR\r\n"},
        {"line 1 names the manifest", "EXTRACT.DAT\r\n 0 \r\n 0 \r\n"},
        {"line 1 names the work file", "rebuild.tmp\r\n 0 \r\n 0 \r\n"},
        {"NUL in line 1", "GADGETS.GDG\0.bak\r\n 0 \r\n 0 \r\n"s},
        {"NUL in a name", "GADGETS.GDG\r\n 0 \r\n 1 \r\n 0 CHAIR\0X\r\n"s},
        {"count past 32 bits", "GADGETS.GDG\r\n 0 \r\n 4294967297 \r\n"},
    };
    for (const auto& [what, manifest] : broken) {
        EmptyFolder();
        Choose(original);
        Extract();
        if (manifest.empty())
            WriteText(folder / "CHAIR_002.tga", "short");
        else
            WriteText(folder / "EXTRACT.DAT", manifest);
        const auto before = Snapshot();
        EXPECT_NE(ErrorOf(&GadgetTest::Rebuild), "no error") << what;
        EXPECT_TRUE(Snapshot() == before) << what;
    }
}

TEST_F(GadgetTest, RebuildNeverReadsThroughASymbolicLink)
{
    Choose(BuildGadgetFile(0, {{"CHAIR", 0, {Solid(1, 1, 1)}}}));
    Extract();
    TempFolder elsewhere;
    WriteTGA(RealFileSystem(), elsewhere / "secret.tga", ImageBuffer{1, 1, {9, 0}});
    fs::create_symlink(elsewhere / "secret.tga", folder / "CHAIR_001.tga");
    EXPECT_NE(ErrorOf(&GadgetTest::Rebuild).find("symbolic link"), std::string::npos);
    EXPECT_TRUE(fs::exists(folder / "EXTRACT.DAT"));
    EXPECT_FALSE(fs::exists(folder / "REBUILD.TMP"));
}

TEST_F(GadgetTest, AManifestOrWorkFileThatIsASymbolicLinkIsRefused)
{
    TempFolder elsewhere;
    WriteText(elsewhere / "target", "precious");
    Choose(BuildGadgetFile(0, {{"CHAIR", 0, {Solid(1, 1, 1)}}}));

    fs::create_symlink(elsewhere / "target", folder / "EXTRACT.DAT");
    EXPECT_NE(ErrorOf(&GadgetTest::Extract).find("symbolic link"), std::string::npos);
    EXPECT_NE(ErrorOf(&GadgetTest::Rebuild).find("symbolic link"), std::string::npos);
    fs::remove(folder / "EXTRACT.DAT");

    Extract();
    fs::create_symlink(elsewhere / "target", folder / "REBUILD.TMP");
    EXPECT_NE(ErrorOf(&GadgetTest::Rebuild).find("symbolic link"), std::string::npos);
    EXPECT_EQ(ReadText(elsewhere / "target"), "precious");
    EXPECT_TRUE(fs::exists(folder / "CHAIR_000.tga"));
}

TEST_F(GadgetTest, ManifestRefusalsNameTheLine)
{
    Choose(BuildGadgetFile(0, {{"CHAIR", 0, {Solid(1, 1, 1)}}}));
    Extract();
    const std::pair<std::string, std::string> cases[] = {
        {"GADGETS.GDG\r\n 0 \r\n 1 \r\n 0 CH\0IR\r\n"s, "EXTRACT.DAT, line 4: the name of entry 1 of 1 holds a NUL"},
        {"GADGETS\0.GDG\r\n 0 \r\n 0 \r\n"s, "EXTRACT.DAT, line 1: the container name holds a NUL"},
        {"REBUILD.TMP\r\n 0 \r\n 0 \r\n", "was written for REBUILD.TMP, not GADGETS.GDG"},
        {"GADGETS.GDG\r\n 0 \r\n 2 \r\n 0 CHAIR\r\n", "EXTRACT.DAT, line 5: the value of entry 2 of 2 is missing"},
    };
    for (const auto& [manifest, expected] : cases) {
        WriteText(folder / "EXTRACT.DAT", manifest);
        const std::string error = ErrorOf(&GadgetTest::Rebuild);
        EXPECT_NE(error.find(expected), std::string::npos) << error;
    }
}

TEST_F(GadgetTest, TheChosenContainerMayBeASymbolicLink)
{
    Choose(BuildGadgetFile(0, {{"CHAIR", 0, {Solid(1, 1, 1)}}}));
    fs::create_symlink(container.FileName, folder / "LINK.GDG");
    container = {folder / "LINK.GDG", "LINK.GDG"};
    ASSERT_TRUE(List());
    Extract();
    EXPECT_EQ(ReadText(folder / "EXTRACT.DAT"), "LINK.GDG\r\n 0 \r\n 1 \r\n 0 CHAIR\r\n");
}
