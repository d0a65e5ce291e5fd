#include <gtest/gtest.h>

#include <filesystem>

#include "image/tga.h"
#include "screen/screen.h"
#include "tests/support/module_fixture.h"

using namespace Brimwork;
using namespace Brimwork::Samples;
using Brimwork::Testing::ReadText;
using Brimwork::Testing::TempFolder;
using Brimwork::Testing::WriteText;
namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

class ScreenTest : public Brimwork::Testing::ModuleFixture {
public:
    void Choose(const std::vector<uint8_t>& bytes) { ModuleFixture::Choose(bytes, "screens.pix"); }
    bool List() { auto c = Context(); return PIX::ListEntries(c, container.FileName); }
    void Load(int32_t entry) { auto c = Context(); PIX::LoadImage(c, entry); }
    void Extract() { auto c = Context(); PIX::ExtractAll(c); }
    void Rebuild() { auto c = Context(); PIX::Rebuild(c); }
};

std::vector<Samples::ScreenEntry> ThreeScreens()
{
    return {{"TITLE", Gradient(6, 4)}, {"MENU", Disc(5, 3, 0x7C00, 0)}, {"x,y", Stripes(9, 2)}};
}

}  // namespace

TEST_F(ScreenTest, AWrongSignatureKeepsTheListStanding)
{
    Choose(BuildScreenFile(0, {{"TITLE", Solid(1, 1, 1)}, {"TITLE", Solid(1, 1, 2)}, {"", Solid(1, 1, 3)}}));
    ASSERT_TRUE(List());
    EXPECT_EQ(window.list, (std::vector<std::string>{"TITLE", "TITLE", ""}));

    for (const char* signature : {"pics", "GADG"}) {
        auto bytes = BuildScreenFile(0, {{"OTHER", Solid(1, 1, 1)}});
        std::copy(signature, signature + 4, bytes.begin());
        Choose(bytes);
        EXPECT_FALSE(List());
        EXPECT_EQ(window.messages.back().text, "Error: PICS file signature not found!");
        EXPECT_EQ(window.messages.back().title, "Brimwork Error");
        EXPECT_EQ(window.list, (std::vector<std::string>{"TITLE", "TITLE", ""}));
    }

    auto negative = BuildScreenFile(0, {});
    negative[8] = 0xFF, negative[9] = 0xFF, negative[10] = 0xFF, negative[11] = 0xFF;
    Choose(negative);
    ASSERT_TRUE(List());
    EXPECT_TRUE(window.list.empty());
}

TEST_F(ScreenTest, AFileWithItsSignatureButShorterThanTheHeaderIsDamaged)
{
    Choose({'P', 'I', 'C', 'S', 0, 0, 0, 0, 1, 0});
    EXPECT_EQ(ErrorOf([&] { List(); }),
              container.FileName.string() + " is damaged: it has 10 bytes, too short for its 12-byte header");

    Choose({'G', 'A', 'D', 'G', 0, 0, 0, 0, 1, 0});  // another kind's signature
    EXPECT_FALSE(List());
    EXPECT_EQ(window.messages.back().text, "Error: PICS file signature not found!");
}

TEST_F(ScreenTest, ImagesLoadInDisplayLayout)
{
    Choose(BuildScreenFile(0, {{"ODD", Picture{3, 2, {1, 2, 3, 4, 5, 6}}}, {"EVEN", Gradient(4, 2)}}));
    Load(0);
    EXPECT_EQ(image.ImageWidth, 3);
    EXPECT_EQ(image.ImageBytes, (std::vector<uint8_t>{1, 0, 2, 0, 3, 0, 0, 0, 4, 0, 5, 0, 6, 0, 0, 0}));
    Load(1);
    EXPECT_EQ(image.ImageBytes, Gradient(4, 2).Bytes());
}

TEST_F(ScreenTest, DamagedEntriesAreRefusedBeforeAnythingIsRead)
{
    auto bytes = BuildScreenFile(0, {{"BIG", Gradient(2, 2)}});
    bytes[12 + 32] = 0x30, bytes[12 + 33] = 0x75;  // width 30000
    bytes[12 + 36] = 0x30, bytes[12 + 37] = 0x75;  // height 30000
    Choose(bytes);
    ASSERT_TRUE(List());
    EXPECT_NE(ErrorOf([&] { Load(0); }).find("is damaged"), std::string::npos);
    EXPECT_NE(ErrorOf([&] { Extract(); }).find("is damaged"), std::string::npos);
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"screens.pix"});

    auto table = BuildScreenFile(0, {{"A", Gradient(2, 2)}});
    table[8] = 9;  // nine entries in a table of one
    Choose(table);
    EXPECT_NE(ErrorOf([&] { List(); }).find("is damaged"), std::string::npos);
}

TEST_F(ScreenTest, ExtractionWritesTheDatManifestAndOneTgaPerEntry)
{
    Choose(BuildScreenFile(-3, ThreeScreens()));
    WriteText(folder / "screens.pix.DAT", std::string(1000, 'x'));
    window.overwrite = true;
    Extract();
    EXPECT_EQ(ReadText(folder / "screens.pix.DAT"), "screens.pix\r\n-3 \r\n 3 \r\nTITLE\r\nMENU\r\n\"x,y\"\r\n");
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"MENU.tga", "TITLE.tga", "screens.pix", "screens.pix.DAT",
                                                        "x,y.tga"}));
    const auto tga = ReadBytes(folder / "MENU.tga");
    EXPECT_EQ(std::vector<uint8_t>(tga.begin() + 18, tga.end()), Disc(5, 3, 0x7C00, 0).Bytes());
    EXPECT_NEAR(window.progress[0], 100.0f / 3, 1e-4);
    EXPECT_EQ(window.progress.back(), 100.0f);

    Choose(BuildScreenFile(0, {}));
    Extract();
    EXPECT_EQ(ReadText(folder / "screens.pix.DAT"), "screens.pix\r\n 0 \r\n 0 \r\n");
}

TEST_F(ScreenTest, ExtractThenRebuildGivesBackTheSameFile)
{
    const auto original = BuildScreenFile(42, ThreeScreens());
    Choose(original);
    Extract();
    WriteTGA(RealFileSystem(), folder / "UNNAMED.tga", ImageBuffer{1, 1, {1, 0}});
    Rebuild();
    EXPECT_EQ(ReadBytes(container.FileName), original);
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"UNNAMED.tga", "screens.pix"}));
    EXPECT_EQ(window.list, (std::vector<std::string>{"TITLE", "MENU", "x,y"}));
}

TEST_F(ScreenTest, AManifestSavedWithAByteOrderMarkAndLineFeedsRebuildsTheSameFile)
{
    Choose(BuildScreenFile(42, ThreeScreens()));
    const auto [fromWritten, fromSaved] =
        RebuildFromWrittenAndEditorSavedManifest("screens.pix.DAT", [&] { Extract(); }, [&] { Rebuild(); });
    EXPECT_TRUE(fromSaved == fromWritten);
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"screens.pix"});
}

TEST_F(ScreenTest, AnEditedImageOfAnotherSizeMovesTheLaterOffsets)
{
    Choose(BuildScreenFile(0, ThreeScreens()));
    Extract();
    WriteTGA(RealFileSystem(), folder / "TITLE.tga", ImageBuffer{7, 5, Stripes(7, 5).Bytes()});
    Rebuild();
    auto expected = ThreeScreens();
    expected[0].image = Stripes(7, 5);
    EXPECT_EQ(ReadBytes(container.FileName), BuildScreenFile(0, expected));
}

TEST_F(ScreenTest, TgaFilesAreFoundWithoutRegardToLetterCase)
{
    Choose(BuildScreenFile(0, ThreeScreens()));
    Extract();
    fs::rename(folder / "MENU.tga", folder / "menu.TGA");
    Rebuild();
    EXPECT_EQ(ReadBytes(container.FileName), BuildScreenFile(0, ThreeScreens()));

    Extract();
    WriteTGA(RealFileSystem(), folder / "title.TGA", ImageBuffer{1, 1, {1, 0}});
    Rebuild();  // the exact name wins over one that differs in case
    EXPECT_EQ(ReadBytes(container.FileName), BuildScreenFile(0, ThreeScreens()));
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"screens.pix", "title.TGA"}));

    fs::remove(folder / "title.TGA");
    Extract();
    fs::copy_file(folder / "TITLE.tga", folder / "title.TGA");
    fs::rename(folder / "TITLE.tga", folder / "Title.tga");
    const auto before = Snapshot();
    const std::string error = ErrorOf([&] { Rebuild(); });
    EXPECT_NE(error.find("Title.tga"), std::string::npos) << error;
    EXPECT_NE(error.find("title.TGA"), std::string::npos) << error;
    EXPECT_TRUE(Snapshot() == before);
}

TEST_F(ScreenTest, WithoutTheManifestRebuildNamesIt)
{
    Choose(BuildScreenFile(0, ThreeScreens()));
    Rebuild();
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].text, "Error: No screens.pix.DAT found in current directory.  Can't rebuild.");
    EXPECT_EQ(window.messages[0].title, "Rebuild Error");
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"screens.pix"});
}

TEST_F(ScreenTest, AFailedRebuildTouchesNothing)
{
    const std::vector<std::pair<std::string, std::string>> broken{
        {"missing TGA", "screens.pix\r\n 0 \r\n 1 \r\nGONE\r\n"},
        {"long name", "screens.pix\r\n 0 \r\n 1 \r\n" + std::string(33, 'L') + "\r\n"},
        {"fewer names", "screens.pix\r\n 0 \r\n 4 \r\nTITLE\r\nMENU\r\n\"x,y\"\r\n"},
        {"count not a number", "screens.pix\r\n 0 \r\n three \r\n"},
        {"header not a number", "screens.pix\r\n 0x1 \r\n 0 \r\n"},
        {"line 1 names a TGA", "menu.tga\r\n 0 \r\n 1 \r\nMENU\r\n"},
        {"line 1 is a path", "sub/screens.pix\r\n 0 \r\n 0 \r\n"},
        {"a name is a path", "screens.pix\r\n 0 \r\n 1 \r\n../TITLE\r\n"},
        {"NUL in a name", "screens.pix\r\n 0 \r\n 1 \r\nMENU\0\r\n"s},
        {"header value past 32 bits", "screens.pix\r\n-2147483649 \r\n 0 \r\n"},
        {"line 1 names the manifest", "screens.pix.dat\r\n 0 \r\n 0 \r\n"},
        {"unreadable TGA", ""},
    };
    for (const auto& [what, manifest] : broken) {
        EmptyFolder();
        Choose(BuildScreenFile(0, ThreeScreens()));
        Extract();
        if (manifest.empty())
            WriteText(folder / "MENU.tga", "not a TGA file");
        else
            WriteText(folder / "screens.pix.DAT", manifest);
        const auto before = Snapshot();
        EXPECT_NE(ErrorOf([&] { Rebuild(); }), "no error") << what;
        EXPECT_TRUE(Snapshot() == before) << what;
    }
}

TEST_F(ScreenTest, ExtractionRefusesUnsafeNamesAndLinksBeforeWriting)
{
    for (const std::string name : {"../UP", "a/b", "..", " \"q"}) {
        EmptyFolder();
        Choose(BuildScreenFile(0, {{"OK", Solid(1, 1, 1)}, {name, Solid(1, 1, 1)}}));
        EXPECT_NE(ErrorOf([&] { Extract(); }), "no error") << name;
        EXPECT_EQ(folder.Names(), std::vector<std::string>{"screens.pix"}) << name;
    }
    Choose(BuildScreenFile(0, {{"OK", Solid(1, 1, 1)}}));
    TempFolder elsewhere;
    WriteText(elsewhere / "target", "precious");
    fs::create_symlink(elsewhere / "target", folder / "OK.tga");
    EXPECT_NE(ErrorOf([&] { Extract(); }).find("symbolic link"), std::string::npos);
    EXPECT_EQ(ReadText(elsewhere / "target"), "precious");
}
