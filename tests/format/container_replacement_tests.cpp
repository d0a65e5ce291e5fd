// What a rebuild does to the container it replaces: the new one keeps the
// old one's permissions and group, and on request the old one is kept as
// "<container>.bak", by a second name or else by a copy. A backup that
// cannot be made stops the rebuild with every file as it was (each
// operation of it failing in turn is in fault_injection_tests.cpp).

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "io/files.h"
#include "gadget/gadget.h"
#include "image/image_buffer.h"
#include "image/tga.h"
#include "samples/sample_containers.h"
#include "testing/faulty_files.h"
#include "tests/support/module_fixture.h"

namespace Brimwork::Testing {
namespace {

namespace fs = std::filesystem;
using namespace Samples;

struct stat StatOf(const fs::path& path)
{
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info;
}

// A group other than the one new files get, which this process may give a
// file; none when there is no such group.
std::optional<gid_t> AnotherGroup()
{
    const gid_t own = ::getegid();
    if (::geteuid() == 0)
        return own + 4242;
    std::vector<gid_t> groups(static_cast<size_t>(::getgroups(0, nullptr)));
    groups.resize(static_cast<size_t>(::getgroups(static_cast<int>(groups.size()), groups.data())));
    for (gid_t group : groups)
        if (group != own)
            return group;
    return std::nullopt;
}

class ReplacementTest : public ModuleFixture {
public:
    void SetUp() override { Prepare(); }

    // The container extracted, with one image edited since: a rebuild
    // gives `rebuilt`, which differs from `old`.
    void Prepare()
    {
        EmptyFolder();
        Choose(old, "GADGETS.GDG");
        auto context = Context();
        GDG::ExtractAll(context);
        WriteTGA(RealFileSystem(), folder / "CHAIR_001.tga", ImageBuffer{4, 4, Gradient(4, 4).Bytes()});
    }

    void Rebuild(bool keepBackup, FileSystem& files = RealFileSystem())
    {
        ModuleContext context{image, container, folder.path(), window, files};
        context.rebuild.keepBackup = keepBackup;
        GDG::Rebuild(context);
    }

    // Every entry of the folder: a file's bytes, a link's target, or that
    // it is a folder.
    std::map<std::string, std::string> Entries() const
    {
        std::map<std::string, std::string> entries;
        for (const auto& entry : fs::directory_iterator(folder.path())) {
            const auto name = entry.path().filename().string();
            if (entry.is_symlink()) {
                entries[name] = "link to " + fs::read_symlink(entry.path()).string();
            } else if (entry.is_directory()) {
                entries[name] = "folder";
            } else {
                const auto bytes = ReadBytes(entry.path());
                entries[name] = std::string(bytes.begin(), bytes.end());
            }
        }
        return entries;
    }

    fs::path Backup() const { return container.FileName.string() + ".bak"; }
    fs::path Partial() const { return container.FileName.string() + ".bak.partial"; }

    const std::vector<uint8_t> old = BuildGadgetFile(0, {{"CHAIR", 3, {Solid(2, 2, 1), Gradient(3, 2)}}});
    const std::vector<uint8_t> rebuilt = BuildGadgetFile(0, {{"CHAIR", 3, {Solid(2, 2, 1), Gradient(4, 4)}}});
};

TEST_F(ReplacementTest, TheRebuiltContainerKeepsThePermissionBitsAndGroup)
{
    const std::optional<gid_t> group = AnotherGroup();
    FaultyFileSystem counted;
    for (const mode_t mode : {0600, 0640, 02750})
        for (const bool regroup : {false, true})
            for (FileSystem* files : {&RealFileSystem(), static_cast<FileSystem*>(&counted)}) {
                SCOPED_TRACE(testing::Message() << std::oct << mode << (regroup ? " in another group" : "")
                                                << (files == &counted ? " through the counting file system" : ""));
                if (regroup && !group)
                    continue;
                Prepare();
                if (regroup) {
                    ASSERT_EQ(::chown(container.FileName.c_str(), static_cast<uid_t>(-1), *group), 0);
                }
                ASSERT_EQ(::chmod(container.FileName.c_str(), mode), 0);
                const struct stat before = StatOf(container.FileName);
                Rebuild(false, *files);
                const struct stat after = StatOf(container.FileName);
                EXPECT_EQ(ReadBytes(container.FileName), rebuilt);
                EXPECT_NE(after.st_ino, before.st_ino);
                EXPECT_EQ(after.st_mode & 07777, mode);
                EXPECT_EQ(after.st_gid, before.st_gid);
            }
}

TEST_F(ReplacementTest, WithoutAnOldContainerTheNewOneHasTheDefaultsAndNothingIsKept)
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    fs::remove(container.FileName);
    Rebuild(true);
    EXPECT_EQ(ReadBytes(container.FileName), rebuilt);
    EXPECT_EQ(StatOf(container.FileName).st_mode & 07777, 0666 & ~mask);
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"GADGETS.GDG"});
}

TEST_F(ReplacementTest, WithoutTheOptionNoBackupIsMadeAndAnOlderOneStays)
{
    WriteText(Backup(), "older");
    Rebuild(false);
    EXPECT_EQ(ReadBytes(container.FileName), rebuilt);
    EXPECT_EQ(ReadText(Backup()), "older");
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"GADGETS.GDG", "GADGETS.GDG.bak"}));
}

TEST_F(ReplacementTest, TheBackupIsASecondNameOfTheReplacedFileAndReplacesAnOlderOne)
{
    ASSERT_EQ(::chmod(container.FileName.c_str(), 0640), 0);
    WriteText(Backup(), "older");
    WriteText(Partial(), "left over from a rebuild that was stopped");
    const ino_t replaced = StatOf(container.FileName).st_ino;
    Rebuild(true);

    EXPECT_EQ(ReadBytes(container.FileName), rebuilt);
    EXPECT_EQ(ReadBytes(Backup()), old);
    const struct stat backup = StatOf(Backup());
    EXPECT_EQ(backup.st_ino, replaced);
    EXPECT_EQ(backup.st_nlink, 1u);
    EXPECT_EQ(backup.st_mode & 07777, 0640u);
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"GADGETS.GDG", "GADGETS.GDG.bak"}));
}

TEST_F(ReplacementTest, WhereTheFileSystemMakesNoSecondNameTheBackupIsACopy)
{
    for (const int error : {EXDEV, EPERM, EOPNOTSUPP, EMLINK}) {
        SCOPED_TRACE(std::strerror(error));
        Prepare();
        ASSERT_EQ(::chmod(container.FileName.c_str(), 0600), 0);
        WriteText(Backup(), "older");
        const ino_t replaced = StatOf(container.FileName).st_ino;
        FaultyFileSystem files;
        files.FailAt(FileOperation::Link, 1, error);
        Rebuild(true, files);

        EXPECT_TRUE(files.Failed());
        EXPECT_EQ(ReadBytes(container.FileName), rebuilt);
        EXPECT_EQ(ReadBytes(Backup()), old);
        const struct stat backup = StatOf(Backup());
        EXPECT_NE(backup.st_ino, replaced);
        EXPECT_EQ(backup.st_mode & 07777, 0600u);
        EXPECT_EQ(folder.Names(), (std::vector<std::string>{"GADGETS.GDG", "GADGETS.GDG.bak"}));
    }
}

TEST_F(ReplacementTest, ABackupThatCannotBeMadeLeavesEveryFileAsItWas)
{
    TempFolder elsewhere;
    WriteText(elsewhere / "target", "precious");
    const std::string refusal = "Cannot keep " + container.FileName.string() + " as " + Backup().string() +
                                ", so it is left as it was";
    struct Case {
        const char* what;
        std::function<void(FaultyFileSystem&)> arrange;
        std::string message;
    };
    const std::vector<Case> cases{
        {"the link fails", [](auto& files) { files.FailAt(FileOperation::Link, 1, EIO); },
         refusal + ":\nCannot link " + Partial().string() + " to " + container.FileName.string() +
             ": Input/output error"},
        {"a folder stands at the backup's name",
         [&](auto&) {
             fs::remove(Backup());
             fs::create_directory(Backup());
         },
         refusal + ": " + Backup().string() + " is a folder"},
        {"a symbolic link stands at the backup's name",
         [&](auto&) {
             fs::remove(Backup());
             fs::create_symlink(elsewhere / "target", Backup());
         },
         refusal + ": " + Backup().string() + " is a symbolic link, which is never followed"},
        {"a folder stands at the partial backup's name", [&](auto&) { fs::create_directory(Partial()); },
         refusal + ":\nCannot replace " + Partial().string() + ": it is not a regular file"},
    };
    for (const auto& [what, arrange, message] : cases) {
        SCOPED_TRACE(what);
        Prepare();
        WriteText(Backup(), "older");
        FaultyFileSystem files;
        arrange(files);
        const auto before = Entries();
        EXPECT_EQ(ErrorOf([&] { Rebuild(true, files); }), message);
        EXPECT_EQ(Entries(), before);
    }
    EXPECT_EQ(ReadText(elsewhere / "target"), "precious");
}

}  // namespace
}  // namespace Brimwork::Testing
