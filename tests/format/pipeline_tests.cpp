// The two file pipelines must behave as doing their files one by one does,
// with threads or without: the in-order reader hands back each file in
// turn, fails at the broken file's turn and reads nothing after it, within
// its byte budget; the whole-file writer keeps the later of two files of
// one name and reports the earliest failure, within its memory bound.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/error.h"
#include "io/files.h"
#include "io/in_order_reader.h"
#include "io/whole_file_writer.h"
#include "samples/sample_containers.h"
#include "tests/support/test_support.h"

namespace Brimwork::Testing {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> BytesOf(const std::string& text) { return {text.begin(), text.end()}; }

// "f0", "f1", ... with the names given at their places instead: enough
// files that the writer hands them to its threads in several tasks.
std::vector<std::string> ManyNames(int count, const std::map<int, std::string>& instead)
{
    std::vector<std::string> names;
    for (int n = 0; n < count; ++n)
        names.push_back(instead.contains(n) ? instead.at(n) : "f" + std::to_string(n));
    return names;
}

// The real file system with the threads it allows set by the test, and
// hooks on the names of the files created: one named with "slow" takes a
// while, one named with "fail" then cannot be created, and with `foldCase` names differing only in
// letter case are one file, as on a file system that ignores case.
class ProbeFileSystem final : public FileSystem {
public:
    explicit ProbeFileSystem(int threads, bool foldCase = false) : threads_(threads), foldCase_(foldCase) {}

    using FileSystem::OpenForReading;
    std::unique_ptr<ReadableFile> OpenForReading(const fs::path& path, Links links) override
    {
        {
            const std::lock_guard lock(mutex_);
            opened_.insert(path.filename().string());
        }
        return real_.OpenForReading(path, links);
    }
    std::unique_ptr<WritableFile> CreateForWriting(const fs::path& path) override
    {
        const std::string name = path.filename().string();
        if (name.find("slow") != std::string::npos)
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        if (name.find("fail") != std::string::npos)
            throw Error("Cannot create " + path.string());
        return real_.CreateForWriting(foldCase_ ? path.parent_path() / Lower(name) : path);
    }
    void CreateWithContents(const fs::path& path, const WholeFileContents& contents) override
    {
        FileSystem::CreateWithContents(path, contents);
        ++created_;
    }
    EntryType TypeOf(const fs::path& path) override { return real_.TypeOf(path); }
    std::vector<std::string> ListFolder(const fs::path& folder) override { return real_.ListFolder(folder); }
    std::optional<FileAccess> AccessOf(const fs::path& path) override { return real_.AccessOf(path); }
    void Rename(const fs::path& from, const fs::path& to) override { real_.Rename(from, to); }
    void Remove(const fs::path& path) override { real_.Remove(path); }
    void SyncFolder(const fs::path& folder) override { real_.SyncFolder(folder); }
    int WorkerThreads(Work) const override { return threads_; }

    std::set<std::string> Opened()
    {
        const std::lock_guard lock(mutex_);
        return opened_;
    }
    int Created() const { return created_; }

private:
    static std::string Lower(std::string text)
    {
        std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
        return text;
    }

    FileSystem& real_ = RealFileSystem();
    const int threads_;
    const bool foldCase_;
    std::mutex mutex_;
    std::set<std::string> opened_;
    std::atomic<int> created_ = 0;
};

// A file read whole; a file whose text begins "bad" cannot be decoded.
struct Text {
    std::string text;
    int64_t HeldBytes() const { return static_cast<int64_t>(text.size()); }
};

Text DecodeText(ReadableFile& file)
{
    Text read{std::string(static_cast<size_t>(file.Size()), '\0')};
    file.ReadAt(0, std::span(reinterpret_cast<uint8_t*>(read.text.data()), read.text.size()));
    if (read.text.starts_with("bad"))
        throw Error(file.Path().string() + " is broken");
    return read;
}

// Each case runs without threads and with the reader's own thread.
class Pipelines : public ::testing::TestWithParam<int> {
protected:
    // Writes the files "f0", "f1", ... holding `texts`; returns their names.
    std::vector<std::string> WriteFiles(const std::vector<std::string>& texts)
    {
        std::vector<std::string> names;
        for (const auto& text : texts) {
            names.push_back("f" + std::to_string(names.size()));
            const auto bytes = BytesOf(text);
            const std::span<const uint8_t> piece(bytes);
            RealFileSystem().CreateWithContents(folder_ / names.back(), std::span(&piece, 1));
        }
        return names;
    }

    TempFolder folder_;
};

TEST_P(Pipelines, ReaderGivesFilesInTurnAndStopsAtTheFirstBrokenOne)
{
    struct Case {
        const char* what;
        std::vector<std::string> texts;
        int broken;  // -1 when none is
    };
    const Case cases[] = {
        {"one file", {"only"}, -1},
        {"several, all sound", {"a", "", "ccc", "dddd", "e"}, -1},
        {"the first broken", {"bad", "b", "c"}, 0},
        {"one in the middle broken, another after it", {"a", "b", "bad1", "d", "bad2", "f"}, 2},
        {"the last broken", {"a", "b", "bad"}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ProbeFileSystem files(GetParam());
        const auto names = WriteFiles(c.texts);
        InOrderReader<Text> reader(files, folder_.path(), names, DecodeText);
        const size_t sound = c.broken < 0 ? names.size() : static_cast<size_t>(c.broken);
        for (size_t i = 0; i < sound; ++i)
            EXPECT_EQ(reader.Next().text, c.texts[i]);
        if (c.broken < 0) {
            EXPECT_THROW(reader.Next(), std::logic_error);
            continue;
        }
        const std::string brokenPath = (folder_ / names[sound]).string();
        for (int turn = 0; turn < 2; ++turn) {
            try {
                reader.Next();
                ADD_FAILURE() << "a broken file was read";
            } catch (const Error& error) {
                EXPECT_EQ(std::string(error.what()), brokenPath + " is broken") << "turn " << turn;
            }
        }
        for (size_t i = sound + 1; i < names.size(); ++i)
            EXPECT_FALSE(files.Opened().contains(names[i])) << names[i] << " was read after the broken file";
    }
}

TEST_P(Pipelines, ReaderHoldsNoMoreThanItsBudgetAhead)
{
    constexpr size_t FileBytes = 100 << 10;
    constexpr int64_t Budget = 250 << 10;
    // A file is begun while what is held is within the budget: three files
    // of 100 KiB, then no more until one is taken.
    constexpr size_t MostAhead = 3;
    ProbeFileSystem files(GetParam());
    const auto names = WriteFiles(std::vector<std::string>(12, std::string(FileBytes, 'x')));
    InOrderReader<Text> reader(files, folder_.path(), names, DecodeText, Budget);
    for (size_t taken = 0; taken < names.size(); ++taken) {
        std::this_thread::sleep_for(std::chrono::milliseconds(taken < 2 ? 50 : 2));
        EXPECT_LE(files.Opened().size(), taken + MostAhead) << "after " << taken << " taken";
        EXPECT_EQ(reader.Next().text.size(), FileBytes);
    }
    EXPECT_EQ(files.Opened().size(), names.size());
}

// Files given in pieces; for one name twice (with letter case folded, as
// on a file system that ignores case), the later stays even when the
// earlier is slow to write.
TEST_P(Pipelines, WriterWritesEachFileWholeAndTheLaterOfOneNameStays)
{
    struct Write {
        std::string name;
        FilePieces pieces;
    };
    struct Case {
        const char* what;
        std::vector<Write> writes;
        std::vector<std::pair<std::string, std::string>> stays;  // name, contents
    };
    const Case cases[] = {
        {"pieces joined, empty ones too",
         {{"a", {BytesOf("head"), {}, BytesOf("body")}}, {"b", {}}, {"c", {BytesOf("one")}}},
         {{"a", "headbody"}, {"b", ""}, {"c", "one"}}},
        {"the later of one name stays",
         {{"slow", {BytesOf("first, and longer")}}, {"x", {BytesOf("x")}}, {"slow", {BytesOf("second")}}},
         {{"slow", "second"}, {"x", "x"}}},
        {"names differing in letter case are one name",
         {{"slowPic", {BytesOf("upper")}}, {"SLOWPIC", {BytesOf("lower")}}},
         {{"slowpic", "lower"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder folder;
        ProbeFileSystem files(GetParam(), true);
        WholeFileWriter writer(files, folder.path());
        writer.Run([&] {
            for (const Write& write : c.writes)
                writer.Write(write.name, write.pieces);
        });
        std::vector<std::string> names;
        for (const auto& [name, contents] : c.stays) {
            names.push_back(name);
            EXPECT_EQ(ReadWholeFile(RealFileSystem(), folder / name, 1 << 20), contents) << name;
        }
        std::sort(names.begin(), names.end());
        EXPECT_EQ(folder.Names(), names);
    }
}

TEST_P(Pipelines, WriterReportsTheEarliestFailure)
{
    struct Case {
        const char* what;
        std::vector<std::string> names;
        std::string reported;  // "" when none
    };
    const Case cases[] = {
        {"none fails", {"a", "b", "c"}, ""},
        {"a later failure done sooner", {"ok", "slowfail", "failfast", "after"}, "slowfail"},
        {"the first fails", {"fail0", "b", "fail2"}, "fail0"},
        {"a failure in a later task done sooner", ManyNames(40, {{3, "slowfail"}, {35, "failfast"}}), "slowfail"},
        {"a failure in a later task only", ManyNames(40, {{33, "slowfail"}}), "slowfail"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder folder;
        ProbeFileSystem files(GetParam());
        WholeFileWriter writer(files, folder.path());
        std::string reported;
        try {
            writer.Run([&] {
                for (const auto& name : c.names)
                    writer.Write(name, {BytesOf(name)});
            });
        } catch (const Error& error) {
            reported = error.what();
        }
        if (c.reported.empty()) {
            EXPECT_EQ(reported, "");
            continue;
        }
        EXPECT_EQ(reported, "Cannot create " + (folder / c.reported).string());
        // Every file before the failed one was written.
        for (const auto& name : c.names) {
            if (name == c.reported)
                break;
            EXPECT_EQ(ReadWholeFile(RealFileSystem(), folder / name, 1 << 20), name);
        }
    }
}

// A file may end with a range of another file: a small one, which the
// writing thread reads, or one large enough for the system to copy; on
// the real file system and through the default creation alike, for many
// files at once.
TEST_P(Pipelines, WriterAppendsRangesOfAnotherFile)
{
    TempFolder folder;
    std::vector<uint8_t> sourceBytes(300000);
    for (size_t i = 0; i < sourceBytes.size(); ++i)
        sourceBytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
    Samples::WriteBytes(folder / "source.bin", sourceBytes);
    const auto source = RealFileSystem().OpenForReading(folder / "source.bin");
    struct Range {
        int64_t offset;
        int64_t size;
    };
    // Scattered ranges, then ranges that lie one after another, as a
    // container's images do, which a task reads in one call.
    std::vector<Range> ranges{{0, 1}, {5, 1000}, {3, WholeFileWriter::SmallestCopy - 1},
                              {11, WholeFileWriter::SmallestCopy}, {299000, 1000}, {1, 250000}, {77, 0}};
    for (int64_t n = 0; n < 40; ++n)
        ranges.push_back({1000 + 3000 * n + (n % 3), 2990});
    ProbeFileSystem probe(GetParam());
    for (FileSystem* files : {static_cast<FileSystem*>(&probe), &RealFileSystem()}) {
        const fs::path out = folder / (files == &probe ? "probe" : "real");
        fs::create_directory(out);
        WholeFileWriter writer(*files, out);
        writer.Run([&] {
            for (int round = 0; round < 5; ++round)
                for (size_t r = 0; r < ranges.size(); ++r)
                    writer.Write(std::to_string(round) + "-" + std::to_string(r), {BytesOf("head")},
                                 {source.get(), ranges[r].offset, ranges[r].size});
        });
        for (int round = 0; round < 5; ++round) {
            for (size_t r = 0; r < ranges.size(); ++r) {
                std::vector<uint8_t> expected = BytesOf("head");
                const auto from = sourceBytes.begin() + ranges[r].offset;
                expected.insert(expected.end(), from, from + ranges[r].size);
                EXPECT_EQ(Samples::ReadBytes(out / (std::to_string(round) + "-" + std::to_string(r))), expected)
                    << out << " range " << r;
            }
        }
    }
    WholeFileWriter writer(probe, folder.path());
    const auto pastTheEnd = [&] {
        writer.Run([&] { writer.Write("past", {}, {source.get(), 299999, 2}); });
    };
    EXPECT_THROW(pastTheEnd(), Error);
}

// The pieces waiting to be written count towards the memory bound: the
// caller waits rather than queueing every file.
TEST_P(Pipelines, WriterHoldsItsFilesWithinTheMemoryBound)
{
    constexpr size_t FileBytes = size_t{1} << 20;
    constexpr int Files = 30;
    const int boundFiles = static_cast<int>(FileWork::DefaultHeldBytes / static_cast<int64_t>(FileBytes));
    TempFolder folder;
    ProbeFileSystem files(GetParam());
    WholeFileWriter writer(files, folder.path());
    int mostWaiting = 0;
    writer.Run([&] {
        for (int n = 0; n < Files; ++n) {
            writer.Write("slow" + std::to_string(n), {std::vector<uint8_t>(FileBytes, 1)});
            mostWaiting = std::max(mostWaiting, n + 1 - files.Created());
        }
    });
    EXPECT_EQ(files.Created(), Files);
    // Those queued within the bound, and those the threads are writing.
    EXPECT_LE(mostWaiting, boundFiles + GetParam() + 1);
}

INSTANTIATE_TEST_SUITE_P(NoneAndThree, Pipelines, ::testing::Values(0, 3),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::to_string(info.param) + "Threads";
                         });

}  // namespace
}  // namespace Brimwork::Testing
