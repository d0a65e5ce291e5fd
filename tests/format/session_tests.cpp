#include <gtest/gtest.h>

#include "container/kinds.h"
#include "container/session.h"
#include "core/error.h"
#include "io/files.h"
#include "testing/memory_files.h"
#include "testing/faulty_files.h"
#include "samples/sample_containers.h"
#include "tests/support/test_support.h"

using namespace Brimwork;
using namespace Brimwork::Samples;
using Brimwork::Testing::RecordingWindow;
using Brimwork::Testing::TempFolder;

TEST(FileKind, FollowsTheLastFourCharactersInAnyCase)
{
    const std::pair<const char*, std::string> cases[] = {
        {"HANGAR.Azp", ".AZP"}, {"intro.pix", ".PIX"}, {"units.GDG", ".GDG"},
        {"notes.txt", ".GDG"},  {"pix", ".GDG"},       {".PIX", ".PIX"},
    };
    for (const auto& [name, extension] : cases)
        EXPECT_EQ(KindForFileName(name)->Extension(), extension) << name;
}

// An existing file is told by its extension first; a name with none of the
// three by its first bytes, where only a screen file's signature makes it
// anything but a gadget file.
TEST(FileKind, AnExistingFileWithAnotherNameFollowsItsSignature)
{
    struct Case {
        const char* name;
        std::string firstBytes;
        const char* kind;
    };
    const Case cases[] = {
        {"title.bin", "PICS\0\0\0\0\1\0\0\0", ".PIX"},
        {"TITLE", "PICS", ".PIX"},
        {"title.bin", "GADG\0\0\0\0\0\0\0\0", ".GDG"},
        {"title.bin", "pics\0\0\0\0\0\0\0\0", ".GDG"},
        {"title.bin", "PIC", ".GDG"},
        {"title.bin", "", ".GDG"},
        {"title.bin", "XPICS", ".GDG"},
        {"title.GDG", "PICS", ".GDG"},
        {"title.Pix", "GADG", ".PIX"},
        {"title.azp", "PICS", ".AZP"},
        {"title.pix.bak", "PICS", ".PIX"},
        {"title.gdg.bak", "PICS", ".PIX"},
    };
    for (const Case& c : cases) {
        MemoryFileSystem files;
        files.AddFolder("/f");
        files.AddFile(std::filesystem::path("/f") / c.name, std::vector<uint8_t>(c.firstBytes.begin(), c.firstBytes.end()));
        EXPECT_STREQ(KindForFile(files, std::filesystem::path("/f") / c.name)->Extension(), c.kind)
            << c.name << " starting with " << c.firstBytes;
    }
}

TEST(FileKind, AFileThatCannotBeReadIsLeftToTheGadgetKind)
{
    MemoryFileSystem files;
    files.AddFolder("/f");
    files.AddFolder("/f/folder.bin");
    EXPECT_STREQ(KindForFile(files, "/f/missing.bin")->Extension(), ".GDG");
    EXPECT_STREQ(KindForFile(files, "/f/folder.bin")->Extension(), ".GDG");

    TempFolder folder;
    WriteBytes(folder / "title.bin", BuildScreenFile(0, {{"INTRO", Solid(2, 2, 1)}}));
    Testing::FaultyFileSystem failing;
    failing.FailAt(Testing::FileOperation::Read, 1, EIO);
    EXPECT_STREQ(KindForFile(failing, folder / "title.bin")->Extension(), ".GDG");
    EXPECT_TRUE(failing.Failed());
}

TEST(FileKind, OnlyANameWithoutAKnownExtensionIsRead)
{
    TempFolder folder;
    WriteBytes(folder / "title.bin", BuildScreenFile(0, {{"INTRO", Solid(64, 64, 1)}}));
    WriteBytes(folder / "title.pix", BuildScreenFile(0, {{"INTRO", Solid(64, 64, 1)}}));
    Testing::FaultyFileSystem counted;
    EXPECT_STREQ(KindForFile(counted, folder / "title.pix")->Extension(), ".PIX");
    EXPECT_EQ(counted.TotalCount(), 0);
    EXPECT_STREQ(KindForFile(counted, folder / "title.bin")->Extension(), ".PIX");
    EXPECT_EQ(counted.Count(Testing::FileOperation::OpenForReading), 1);
    EXPECT_EQ(counted.Count(Testing::FileOperation::Read), 1);
}

// A document may be saved under a name that reads it back as its own kind:
// gadget and screen files, which carry a signature, under any other name too.
TEST(FileKind, ANameKeepsAKindWhenItWouldBeReadBackAsThatKind)
{
    const auto gadget = KindForFileName("a.gdg");
    const auto screen = KindForFileName("a.pix");
    const auto vehicle = KindForFileName("a.azp");
    EXPECT_TRUE(NameKeepsKind("b.GDG", *gadget));
    EXPECT_TRUE(NameKeepsKind("b.bin", *gadget));
    EXPECT_TRUE(NameKeepsKind("b.bin", *screen));
    EXPECT_TRUE(NameKeepsKind("b.Pix", *screen));
    EXPECT_TRUE(NameKeepsKind("b.azp", *vehicle));
    EXPECT_FALSE(NameKeepsKind("b.bin", *vehicle));
    EXPECT_FALSE(NameKeepsKind("b.gdg", *screen));
    EXPECT_FALSE(NameKeepsKind("b.pix", *gadget));
    EXPECT_FALSE(NameKeepsKind("b.azp", *gadget));
}

TEST(ImageLabel, ShowsTheNumberWithAtLeastTwoDigits)
{
    EXPECT_EQ(ImageLabelText(0, ImageBuffer{64, 48, {}}), "Image: 00 Size:64x48");
    EXPECT_EQ(ImageLabelText(7, ImageBuffer{640, 480, {}}), "Image: 07 Size:640x480");
    EXPECT_EQ(ImageLabelText(123, ImageBuffer{1, 1, {}}), "Image: 123 Size:1x1");
    EXPECT_EQ(ImageLabelText(3, ImageBuffer{0, 0, {}}), "Image: 03 Size:0x0");
}

TEST(SessionOpen, AFileThatIsNotListedChangesNothing)
{
    TempFolder first;
    TempFolder second;
    RecordingWindow window;
    Session session(window, RealFileSystem(), first.path());
    WriteBytes(first / "GOOD.GDG", BuildGadgetFile(0, {{"CHAIR", 0, {Solid(2, 1, 5)}}}));
    EXPECT_EQ(session.OpenArchive(first / "GOOD.GDG"), std::vector<std::string>{"CHAIR"});

    WriteBytes(second / "BAD.GDG", {'N', 'O', 'P', 'E', 0, 0, 0, 0, 0, 0, 0, 0});
    try {
        session.OpenArchive(second / "BAD.GDG");
        ADD_FAILURE() << "a file of another kind was listed";
    } catch (const Error& error) {
        EXPECT_STREQ(error.what(), "Error: Gadget file signature not found!");
        EXPECT_EQ(error.Title(), "Brimwork Error");
    }
    auto damaged = BuildGadgetFile(0, {{"X", 0, {}}});
    damaged.resize(30);
    WriteBytes(second / "DAMAGED.GDG", damaged);
    EXPECT_THROW(session.OpenArchive(second / "DAMAGED.GDG"), Error);
    EXPECT_THROW(session.OpenArchive(second / "MISSING.AZP"), Error);

    EXPECT_EQ(window.list, std::vector<std::string>{"CHAIR"});
    EXPECT_STREQ(session.Kind().Extension(), ".GDG");
    EXPECT_EQ(session.Container().FileName, first / "GOOD.GDG");
    EXPECT_EQ(session.Container().FileTitle, "GOOD.GDG");
    EXPECT_EQ(session.Folder(), first.path());

    EXPECT_EQ(session.LoadImage(0, 5), 0);
    EXPECT_EQ(session.Image().ImageWidth, 2);
    session.ExtractAll();
    EXPECT_TRUE(std::filesystem::exists(first / "CHAIR_000.tga"));
    EXPECT_FALSE(std::filesystem::exists(second / "EXTRACT.DAT"));
}
