#include <gtest/gtest.h>

#include "core/error.h"
#include "testing/memory_files.h"
#include "tests/support/module_fixture.h"

namespace Brimwork {
namespace {

namespace fs = std::filesystem;

class MemoryFilesTest : public ::testing::Test {
protected:
    MemoryFilesTest() { files.AddFolder("/w"); }

    std::vector<uint8_t> Read(const fs::path& path, FileSystem::Links links = FileSystem::Links::Refuse)
    {
        auto file = files.OpenForReading(path, links);
        std::vector<uint8_t> bytes(static_cast<size_t>(file->Size()));
        file->ReadAt(0, bytes);
        return bytes;
    }

    static std::string ErrorOf(const std::function<void()>& action) { return Testing::ModuleFixture::ErrorOf(action); }

    MemoryFileSystem files{64};
};

TEST_F(MemoryFilesTest, WritesReadBackAndCreatingEmptiesTheFile)
{
    auto out = files.CreateForWriting("/w/a");
    out->Write(std::string_view("hello"));
    out->WriteAt(7, std::vector<uint8_t>{'!'});
    out->Close();
    EXPECT_EQ(Read("/w/a"), (std::vector<uint8_t>{'h', 'e', 'l', 'l', 'o', 0, 0, '!'}));
    EXPECT_EQ(ErrorOf([&] { out->Write(std::string_view("x")); }), "Cannot write /w/a: the file is already closed");

    files.CreateForWriting("/w/a")->Close();
    EXPECT_EQ(files.Contents("/w/a"), std::vector<uint8_t>{});
}

TEST_F(MemoryFilesTest, AReaderKeepsTheContentsAFileRenamedOverItsNameReplaced)
{
    files.AddFile("/w/old", {1, 2, 3});
    files.AddFile("/w/new", {9});
    auto reader = files.OpenForReading("/w/old");
    const FileStamp stamp = reader->Stamp();
    files.Rename("/w/new", "/w/old");

    std::vector<uint8_t> bytes(3);
    reader->ReadAt(0, bytes);
    EXPECT_EQ(bytes, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_NE(files.OpenForReading("/w/old")->Stamp(), stamp);
    EXPECT_EQ(files.TypeOf("/w/new"), EntryType::Missing);
    EXPECT_EQ(ErrorOf([&] { reader->ReadAt(2, bytes); }),
              "Cannot read /w/old: the file ends before the data it should hold");
}

TEST_F(MemoryFilesTest, FolderListingHoldsOnlyTheFolderItself)
{
    files.AddFile("/w/a.tga", {});
    files.AddFolder("/w/sub");
    files.AddFile("/w/sub/inner", {});
    files.AddSymlink("/w/link", "a.tga");
    auto names = files.ListFolder("/w/");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a.tga", "link", "sub"}));
    EXPECT_EQ(files.TypeOf("/w/sub"), EntryType::Directory);
    EXPECT_EQ(files.TypeOf("/w/link"), EntryType::Symlink);
}

TEST_F(MemoryFilesTest, FailuresNameTheFileAsThePosixOnesDo)
{
    files.AddFile("/w/a", {5});
    files.AddFolder("/w/d");
    files.AddSymlink("/w/link", "a");
    files.AddSymlink("/w/loop", "loop");
    EXPECT_EQ(Read("/w/link", FileSystem::Links::Follow), std::vector<uint8_t>{5});

    const std::vector<std::pair<std::function<void()>, std::string>> cases{
        {[&] { files.OpenForReading("/w/link"); }, "Cannot open /w/link: it is a symbolic link, which is never followed"},
        {[&] { files.OpenContainer("/w/loop"); }, "Cannot open /w/loop: Too many levels of symbolic links"},
        {[&] { files.OpenForReading("/w/none"); }, "Cannot open /w/none: No such file or directory"},
        {[&] { files.OpenForReading("/w/d"); }, "Cannot open /w/d: it is not a regular file"},
        {[&] { files.CreateForWriting("/w/link"); },
         "Cannot create /w/link: it is a symbolic link, which is never followed"},
        {[&] { files.CreateForWriting("/x/a"); }, "Cannot create /x/a: No such file or directory"},
        {[&] { files.Remove("/w/d"); }, "Cannot delete /w/d: Is a directory"},
        {[&] { files.Remove("/w/none"); }, "Cannot delete /w/none: No such file or directory"},
        {[&] { files.Rename("/w/a", "/w/d"); }, "Cannot rename /w/a to /w/d: Is a directory"},
        {[&] { files.ListFolder("/w/a"); }, "Cannot list the folder /w/a: Not a directory"},
    };
    for (const auto& [action, message] : cases)
        EXPECT_EQ(ErrorOf(action), message);
}

TEST_F(MemoryFilesTest, WritesPastTheCapacityFailAndDeletingGivesTheSpaceBack)
{
    files.AddFile("/w/big", std::vector<uint8_t>(60));
    auto out = files.CreateForWriting("/w/b");
    EXPECT_EQ(ErrorOf([&] { out->Write(std::vector<uint8_t>(5)); }), "Cannot write /w/b: No space left on device");
    files.Remove("/w/big");
    EXPECT_EQ(ErrorOf([&] { out->Write(std::vector<uint8_t>(64)); }), "no error");
}

TEST_F(MemoryFilesTest, ASecondNameSharesTheContentsAndPermissionsAsOnADisk)
{
    files.AddFile("/w/a", {1, 2}, FileAccess{0600, 7});
    files.AddSymlink("/w/link", "a");
    ASSERT_TRUE(files.HardLink("/w/link", "/w/b"));
    EXPECT_EQ(files.TypeOf("/w/b"), EntryType::Regular);
    EXPECT_EQ(files.OpenForReading("/w/b")->Stamp(), files.OpenForReading("/w/a")->Stamp());
    EXPECT_EQ(files.AccessOf("/w/b"), (FileAccess{0600, 7}));

    auto out = files.CreateForWriting("/w/a");
    out->Write(std::string_view("x"));
    out->SetAccess(FileAccess{02640, 3});
    out->Close();
    EXPECT_EQ(files.Contents("/w/b"), std::vector<uint8_t>{'x'});
    EXPECT_EQ(files.AccessOf("/w/link"), (FileAccess{02640, 3}));
    files.Remove("/w/a");
    EXPECT_EQ(files.Contents("/w/b"), std::vector<uint8_t>{'x'});
    EXPECT_EQ(files.AccessOf("/w/link"), std::nullopt);
    EXPECT_EQ(files.AccessOf("/w/none"), std::nullopt);
    files.CreateForWriting("/w/new")->Close();
    EXPECT_EQ(files.AccessOf("/w/new"), MemoryFileSystem::NewFileAccess);
}

TEST_F(MemoryFilesTest, LinkFailuresAreThoseOfThePosixFileSystem)
{
    files.AddFile("/w/a", {5});
    files.AddFolder("/w/d");
    files.AddSymlink("/w/loop", "loop");
    EXPECT_FALSE(files.HardLink("/w/d", "/w/e"));  // a folder gets no second name
    EXPECT_EQ(files.TypeOf("/w/e"), EntryType::Missing);
    const std::vector<std::pair<std::function<void()>, std::string>> cases{
        {[&] { files.HardLink("/w/a", "/w/d"); }, "Cannot link /w/d to /w/a: File exists"},
        {[&] { files.HardLink("/w/none", "/w/b"); }, "Cannot link /w/b to /w/none: No such file or directory"},
        {[&] { files.HardLink("/w/a", "/x/b"); }, "Cannot link /x/b to /w/a: No such file or directory"},
        {[&] { files.HardLink("/w/loop", "/w/b"); }, "Cannot link /w/b to /w/loop: Too many levels of symbolic links"},
        {[&] { files.AccessOf("/w/loop"); }, "Cannot read the permissions of /w/loop: Too many levels of symbolic links"},
    };
    for (const auto& [action, message] : cases)
        EXPECT_EQ(ErrorOf(action), message);
}

}  // namespace
}  // namespace Brimwork
