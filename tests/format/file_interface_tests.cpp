// The wider calls of the file interface: a listing with types and a
// gathered write, in the real file system and in their default forms that
// other file systems inherit; the buffered front-to-back writer; and the
// check that nothing stands where an extraction will write.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <climits>
#include <filesystem>
#include <functional>
#include <random>

#include "core/error.h"
#include "io/files.h"
#include "io/sequential_writer.h"
#include "samples/sample_containers.h"
#include "testing/faulty_files.h"
#include "tests/support/test_support.h"

namespace Brimwork::Testing {
namespace {

namespace fs = std::filesystem;

// Passes the operations every file system must have to the real one, and
// nothing else: the wider calls run their default forms.
class PlainFileSystem final : public FileSystem {
public:
    using FileSystem::OpenForReading;
    std::unique_ptr<ReadableFile> OpenForReading(const fs::path& path, Links links) override
    {
        return RealFileSystem().OpenForReading(path, links);
    }
    std::unique_ptr<WritableFile> CreateForWriting(const fs::path& path) override
    {
        return std::make_unique<PlainWritableFile>(RealFileSystem().CreateForWriting(path));
    }
    EntryType TypeOf(const fs::path& path) override { return RealFileSystem().TypeOf(path); }
    std::vector<std::string> ListFolder(const fs::path& folder) override
    {
        return RealFileSystem().ListFolder(folder);
    }
    std::optional<FileAccess> AccessOf(const fs::path& path) override { return RealFileSystem().AccessOf(path); }
    void Rename(const fs::path& from, const fs::path& to) override { RealFileSystem().Rename(from, to); }
    void Remove(const fs::path& path) override { RealFileSystem().Remove(path); }
    void SyncFolder(const fs::path& folder) override { RealFileSystem().SyncFolder(folder); }

private:
    class PlainWritableFile final : public WritableFile {
    public:
        explicit PlainWritableFile(std::unique_ptr<WritableFile> real) : real_(std::move(real)) {}
        const fs::path& Path() const override { return real_->Path(); }
        void WriteAt(int64_t offset, std::span<const uint8_t> data) override { real_->WriteAt(offset, data); }
        void Write(std::span<const uint8_t> data) override { real_->Write(data); }
        void Sync() override { real_->Sync(); }
        void Close() override { real_->Close(); }

    private:
        std::unique_ptr<WritableFile> real_;
    };
};

std::vector<FolderEntry> SortedListing(FileSystem& files, const fs::path& folder)
{
    auto entries = files.ListFolderWithTypes(folder);
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    return entries;
}

std::vector<uint8_t> Counting(size_t size, uint8_t first)
{
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>(first + i);
    return bytes;
}

// Bytes without a short period, so that a misplaced block shows.
std::vector<uint8_t> Scrambled(size_t size, unsigned seed)
{
    std::minstd_rand random(seed);
    std::vector<uint8_t> bytes(size);
    for (auto& byte : bytes)
        byte = static_cast<uint8_t>(random() >> 8);
    return bytes;
}

ino_t InodeOf(const fs::path& path)
{
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0);
    return info.st_ino;
}

class FileInterfaceTest : public ::testing::Test {
public:
    TempFolder folder;
    PlainFileSystem plain;
    FaultyFileSystem faulty;
};

TEST_F(FileInterfaceTest, TheListingGivesEachEntryItsTypeWithoutFollowingLinks)
{
    Samples::WriteBytes(folder / "image.tga", {1});
    fs::create_directory(folder / "sub");
    fs::create_symlink("image.tga", folder / "link.tga");
    fs::create_symlink("missing", folder / "dangling");
    ASSERT_EQ(::mkfifo((folder / "pipe").c_str(), 0600), 0);
    const std::vector<FolderEntry> expected{{"dangling", EntryType::Symlink},
                                            {"image.tga", EntryType::Regular},
                                            {"link.tga", EntryType::Symlink},
                                            {"pipe", EntryType::Other},
                                            {"sub", EntryType::Directory}};

    EXPECT_EQ(SortedListing(RealFileSystem(), folder.path()), expected);
    EXPECT_EQ(SortedListing(plain, folder.path()), expected);
    EXPECT_EQ(SortedListing(faulty, folder.path()), expected);
    EXPECT_EQ(faulty.Count(FileOperation::List), 1);
    EXPECT_EQ(faulty.Count(FileOperation::Lookup), 0);

    faulty.FailAt(FileOperation::List, 2, EIO);
    EXPECT_THROW(faulty.ListFolderWithTypes(folder.path()), Error);
    EXPECT_THROW(RealFileSystem().ListFolderWithTypes(folder / "none"), Error);
}

// Empty pieces, more pieces than one system call takes, pieces and a
// plain write larger than one system call writes, and a gathered write
// after a plain one: the file holds the pieces in order.
TEST_F(FileInterfaceTest, AGatheredWriteAppendsThePiecesInOrder)
{
    std::vector<std::vector<uint8_t>> parts{Counting(3, 1), {}, Counting(70000, 9), Scrambled(600003, 2)};
    for (int i = 0; i < IOV_MAX + 10; ++i)
        parts.push_back(Counting(static_cast<size_t>(i % 5), static_cast<uint8_t>(i)));
    parts.push_back(Scrambled(262145, 3));
    std::vector<std::span<const uint8_t>> pieces(parts.begin(), parts.end());
    const auto plainWrite = Scrambled(700001, 1);
    std::vector<uint8_t> expected = plainWrite;
    for (const auto& part : parts)
        expected.insert(expected.end(), part.begin(), part.end());

    for (FileSystem* files : std::initializer_list<FileSystem*>{&RealFileSystem(), &plain, &faulty}) {
        auto file = files->CreateForWriting(folder / "out");
        file->Write(plainWrite);
        file->WriteGathered(pieces);
        file->Close();
        EXPECT_EQ(Samples::ReadBytes(folder / "out"), expected);
    }
    EXPECT_EQ(faulty.Count(FileOperation::Write), 2);
}

// A file made whole in one call (pieces, then a range of another file):
// new, over a longer or a shorter file
// (rewritten in place), never through a symbolic link, and a missing folder
// named in the failure; by path and through a folder held open, on the
// real file system and in the default form alike.
TEST_F(FileInterfaceTest, AFileMadeWholeHoldsExactlyItsPiecesWhateverWasThere)
{
    const auto a = Counting(5, 1);
    const auto b = Counting(3000, 50);
    const std::array<std::span<const uint8_t>, 2> pieces{std::span<const uint8_t>(a), std::span<const uint8_t>(b)};
    // Then a range of another file, which the real file system has the
    // system copy.
    const auto sourceBytes = Counting(90000, 7);
    Samples::WriteBytes(folder / "source", sourceBytes);
    const auto source = RealFileSystem().OpenForReading(folder / "source");
    const WholeFileContents contents{pieces, {source.get(), 3, 70000}};
    std::vector<uint8_t> expected(a);
    expected.insert(expected.end(), b.begin(), b.end());
    expected.insert(expected.end(), sourceBytes.begin() + 3, sourceBytes.begin() + 70003);

    using Make = std::function<void(const fs::path&)>;
    const auto byPath = [&](FileSystem& files) -> Make {
        return [&files, &contents](const fs::path& path) { files.CreateWithContents(path, contents); };
    };
    const auto inFolder = [&](FileSystem& files) -> Make {
        return [&files, &contents](const fs::path& path) {
            files.OpenForNewFiles(path.parent_path())->CreateWithContents(path.filename().string(), contents);
        };
    };
    for (const Make& make : {byPath(RealFileSystem()), inFolder(RealFileSystem()), byPath(plain), inFolder(plain)}) {
        fs::remove_all(folder / "new.tga");
        make(folder / "new.tga");
        EXPECT_EQ(Samples::ReadBytes(folder / "new.tga"), expected);

        for (const int oldSize : {9000, 100}) {
            Samples::WriteBytes(folder / "old.tga", Counting(oldSize, 3));
            const auto inode = InodeOf(folder / "old.tga");
            make(folder / "old.tga");
            EXPECT_EQ(Samples::ReadBytes(folder / "old.tga"), expected) << "over " << oldSize << " bytes";
            EXPECT_EQ(InodeOf(folder / "old.tga"), inode);
        }

        Samples::WriteBytes(folder / "target", {9});
        fs::remove_all(folder / "link.tga");
        fs::create_symlink("target", folder / "link.tga");
        EXPECT_THROW(make(folder / "link.tga"), Error);
        EXPECT_EQ(Samples::ReadBytes(folder / "target"), std::vector<uint8_t>{9});

        try {
            make(folder / "none" / "x.tga");
            ADD_FAILURE() << "a file was made in a missing folder";
        } catch (const Error& error) {
            EXPECT_NE(std::string(error.what()).find((folder / "none" / "x.tga").string()), std::string::npos)
                << error.what();
        }
    }
    EXPECT_EQ(SortedListing(RealFileSystem(), folder.path()).size(), 5u) << "no unnamed file is left with a name (source, new, old, target, link)";
}

// Once a folder held open met a taken name it tries the name in place
// first: new names must still be made, and links still refused.
TEST_F(FileInterfaceTest, AFolderHeldOpenMakesNewAndTakenNamesInAnyOrder)
{
    const auto bytes = Counting(700, 9);
    const std::array<std::span<const uint8_t>, 1> pieces{std::span<const uint8_t>(bytes)};
    Samples::WriteBytes(folder / "taken1.tga", Counting(5000, 1));
    Samples::WriteBytes(folder / "taken2.tga", Counting(5, 1));
    Samples::WriteBytes(folder / "target", {9});
    fs::create_symlink("target", folder / "link.tga");
    const auto newFiles = RealFileSystem().OpenForNewFiles(folder.path());
    for (const char* name : {"new1.tga", "taken1.tga", "new2.tga", "taken2.tga"}) {
        newFiles->CreateWithContents(name, {pieces});
        EXPECT_EQ(Samples::ReadBytes(folder / name), bytes) << name;
    }
    EXPECT_THROW(newFiles->CreateWithContents("link.tga", {pieces}), Error);
    EXPECT_EQ(Samples::ReadBytes(folder / "target"), std::vector<uint8_t>{9});
}

TEST_F(FileInterfaceTest, AFailingGatheredWritePutsDownHalfAndNamesTheFile)
{
    faulty.FailAt(FileOperation::Write, 1, ENOSPC);
    auto file = faulty.CreateForWriting(folder / "out");
    const auto a = Counting(6, 0);
    const auto b = Counting(4, 100);
    const std::array<std::span<const uint8_t>, 2> pieces{std::span<const uint8_t>(a), std::span<const uint8_t>(b)};
    try {
        file->WriteGathered(pieces);
        FAIL() << "no error";
    } catch (const Error& error) {
        EXPECT_NE(std::string(error.what()).find((folder / "out").string()), std::string::npos) << error.what();
    }
    file->Close();
    EXPECT_EQ(Samples::ReadBytes(folder / "out"), Counting(5, 0));
}

// The writer against a plain model of the file, with a buffer small enough
// that appends, reserved regions and patches fall on both sides of a flush.
TEST_F(FileInterfaceTest, TheSequentialWriterGivesTheBytesOfItsCallsWhateverItsBuffer)
{
    for (size_t capacity : {size_t{1}, size_t{7}, size_t{64}, SequentialWriter::DefaultCapacity}) {
        SCOPED_TRACE("capacity " + std::to_string(capacity));
        auto file = faulty.CreateForWriting(folder / "out");
        SequentialWriter out(*file, capacity);
        std::vector<uint8_t> model;
        std::vector<int64_t> reserved;
        for (int step = 0; step < 60; ++step) {
            const auto data = Counting(static_cast<size_t>((step * 7) % 23), static_cast<uint8_t>(step * 3));
            switch (step % 3) {
            case 0:
                out.Append(data);
                model.insert(model.end(), data.begin(), data.end());
                break;
            case 1:
                reserved.push_back(out.Reserve(static_cast<int64_t>(data.size())));
                model.resize(model.size() + data.size(), 0);
                break;
            case 2: {
                const int64_t at = reserved[reserved.size() / 2];
                const auto patch = std::span(data).first(std::min(data.size(), model.size() - size_t(at)));
                out.Patch(at, patch);
                std::copy(patch.begin(), patch.end(), model.begin() + at);
                break;
            }
            }
            ASSERT_EQ(out.Position(), static_cast<int64_t>(model.size()));
        }
        out.Flush();
        file->Close();
        EXPECT_EQ(Samples::ReadBytes(folder / "out"), model);
    }
    EXPECT_THROW(
        {
            auto file = faulty.CreateForWriting(folder / "out");
            SequentialWriter out(*file);
            out.Append(Counting(4, 0));
            out.Patch(2, Counting(3, 0));
        },
        std::logic_error);
}

// Many outputs in one folder are checked against one listing; a link or a
// folder in the way is refused by its name, whatever its letter case.
TEST_F(FileInterfaceTest, NothingMayStandWhereManyFilesAreToBeWritten)
{
    std::vector<fs::path> outputs;
    for (int i = 0; i < 20; ++i)
        outputs.push_back(folder / ("IMG_" + std::to_string(i) + ".tga"));
    Samples::WriteBytes(outputs[3], {1});
    faulty.FailAt(FileOperation::Lookup, 1000, EIO);
    EXPECT_NO_THROW(RequireNothingInTheWay(faulty, outputs));
    EXPECT_EQ(faulty.Count(FileOperation::List), 1);
    EXPECT_EQ(faulty.Count(FileOperation::Lookup), 0);

    struct InTheWay {
        std::string name;
        bool folder;
    };
    for (const InTheWay& blocker : {InTheWay{"IMG_7.tga", false}, InTheWay{"IMG_19.tga", true}}) {
        SCOPED_TRACE(blocker.name);
        const fs::path path = folder / blocker.name;
        if (blocker.folder)
            fs::create_directory(path);
        else
            fs::create_symlink("elsewhere", path);
        try {
            RequireNothingInTheWay(faulty, outputs);
            ADD_FAILURE() << "no error";
        } catch (const Error& error) {
            EXPECT_EQ(std::string(error.what()),
                      "Cannot write " + path.string() + ": a symbolic link or a folder stands in its place");
        }
        fs::remove(path);
    }
    // A link whose name differs only in letter case is looked up by the
    // name to be written, which is free here.
    fs::create_symlink("elsewhere", folder / "img_5.TGA");
    EXPECT_NO_THROW(RequireNothingInTheWay(RealFileSystem(), outputs));
}

}  // namespace
}  // namespace Brimwork::Testing
