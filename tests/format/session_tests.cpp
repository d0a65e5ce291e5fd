#include <gtest/gtest.h>

#include "container/kinds.h"
#include "container/session.h"
#include "core/error.h"
#include "core/files.h"
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
