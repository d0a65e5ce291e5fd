// The container writers, checked through the readers: every field a layout
// was given reads back, every offset leads to the bytes it should; pixels
// copied from a stored file give the same file as the same pixels from
// memory, below and above the size at which the file copies them itself;
// and the copy between files on every file system, failures included.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <functional>
#include <random>
#include <tuple>

#include "core/archive_header.h"
#include "core/bytes.h"
#include "core/error.h"
#include "io/files.h"
#include "testing/memory_files.h"
#include "io/read_ahead_file.h"
#include "io/sequential_writer.h"
#include "gadget/gadget_format.h"
#include "gadget/gadget_writer.h"
#include "image/image_buffer.h"
#include "samples/sample_containers.h"
#include "screen/screen_format.h"
#include "screen/screen_writer.h"
#include "testing/faulty_files.h"
#include "tests/support/module_fixture.h"
#include "tests/support/test_support.h"
#include "vehicle/vehicle_format.h"
#include "vehicle/vehicle_writer.h"

namespace Brimwork::Testing {
namespace {

namespace fs = std::filesystem;
using Samples::Picture;

std::string ErrorOf(const std::function<void()>& action) { return ModuleFixture::ErrorOf(action); }

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

ImageBuffer Packed(const Picture& picture) { return {picture.width, picture.height, picture.Bytes()}; }

std::vector<uint8_t> Scrambled(size_t size, unsigned seed)
{
    std::minstd_rand random(seed);
    std::vector<uint8_t> bytes(size);
    for (auto& byte : bytes)
        byte = static_cast<uint8_t>(random() >> 8);
    return bytes;
}

std::vector<uint8_t> ReadAll(ReadableFile& file)
{
    std::vector<uint8_t> bytes(static_cast<size_t>(file.Size()));
    file.ReadAt(0, bytes);
    return bytes;
}

std::vector<uint8_t> PixelsAt(ReadableFile& file, int32_t width, int32_t height, int64_t offset)
{
    ImageBuffer image{width, height, {}};
    ReadPacked(image, file, offset);
    return image.ImageBytes;
}

// A container written into memory and opened again for the readers.
class Written {
public:
    explicit Written(const std::function<void(WritableFile&)>& write)
    {
        files_.AddFolder("/w");
        auto out = files_.CreateForWriting("/w/container");
        write(*out);
        out->Close();
        file = files_.OpenForReading("/w/container");
    }
    std::unique_ptr<ReadableFile> file;

private:
    MemoryFileSystem files_;
};

// ---- Gadget files ----

struct GadgetLayout {
    std::string name;
    int32_t headerValue;
    std::vector<Samples::GadgetEntry> entries;
    int32_t countField;  // the header's count: the entries', or one below 1 without entries
};

std::vector<GadgetLayout> GadgetLayouts()
{
    using Samples::Gradient;
    using Samples::Solid;
    return {
        {"no entries", 7, {}, 0},
        {"a negative count", -3, {}, -2},
        {"one entry, one image", 1, {{"ONE", 5, {Gradient(3, 2)}}}, 1},
        {"entries of none, several and sizeless images",
         -1,
         {{"EMPTY", 0, {}},
          {"MANY", -9, {Gradient(5, 3), Solid(0, 4, 1), Solid(1, 1, 2)}},
          {"LAST", 2, {Solid(2, 7, 3)}}},
         3},
    };
}

TEST(GadgetWriter, EachLayoutReadsBackFieldByField)
{
    for (const GadgetLayout& layout : GadgetLayouts()) {
        SCOPED_TRACE(layout.name);
        int64_t size = 0;
        const Written written([&](WritableFile& out) {
            GDG::ContainerWriter writer(out, layout.headerValue, layout.countField);
            for (const auto& entry : layout.entries) {
                writer.BeginEntry(entry.name, entry.value, static_cast<int32_t>(entry.images.size()));
                for (const auto& image : entry.images)
                    writer.AddImage(Packed(image), "image");
            }
            writer.Finish();
            size = writer.Size();
        });
        ReadableFile& file = *written.file;
        EXPECT_EQ(size, file.Size());
        const ArchiveHeader header = ReadArchiveHeader(file);
        EXPECT_EQ(header.Signature, GDG::Format::Signature);
        EXPECT_EQ(header.HeaderValue, layout.headerValue);
        EXPECT_EQ(header.EntryCount, layout.countField);
        const auto entries = GDG::Format::ReadEntries(file, header.EntryCount);
        ASSERT_EQ(entries.size(), layout.entries.size());
        // Each image table follows what came before; its pixels follow it.
        int64_t expectedOffset = ArchiveHeader::Size + int64_t{GDG::Format::EntrySize} * std::max(header.EntryCount, 0);
        for (size_t e = 0; e < entries.size(); ++e) {
            const auto& given = layout.entries[e];
            EXPECT_EQ(entries[e].Name, given.name);
            EXPECT_EQ(entries[e].EntryValue, given.value);
            EXPECT_EQ(entries[e].ImageCount, static_cast<int32_t>(given.images.size()));
            EXPECT_EQ(entries[e].TableOffset, expectedOffset);
            expectedOffset += int64_t{GDG::Format::ImageHeaderSize} * entries[e].ImageCount;
            const auto headers = GDG::Format::ReadImageHeaders(file, entries[e]);
            for (size_t k = 0; k < headers.size(); ++k) {
                const Picture& image = given.images[k];
                EXPECT_EQ(headers[k].Width, image.width);
                EXPECT_EQ(headers[k].Height, image.height);
                EXPECT_EQ(headers[k].DataSize, image.width * image.height * 2);
                EXPECT_EQ(headers[k].DataOffset, expectedOffset);
                EXPECT_EQ(PixelsAt(file, image.width, image.height, headers[k].DataOffset), image.Bytes());
                expectedOffset += headers[k].DataSize;
            }
        }
        EXPECT_EQ(expectedOffset, file.Size());
    }
}

// ---- Screen files ----

TEST(ScreenWriter, EachLayoutReadsBackFieldByField)
{
    const std::vector<std::vector<Samples::ScreenEntry>> layouts{
        {},
        {{"TITLE", Samples::Gradient(6, 4)}},
        {{"A", Samples::Stripes(9, 2)}, {"EMPTY", Samples::Solid(0, 3, 1)}, {"B", Samples::Solid(1, 5, 2)}},
    };
    for (const auto& layout : layouts) {
        SCOPED_TRACE(layout.size());
        const auto count = static_cast<int32_t>(layout.size());
        const Written written([&](WritableFile& out) {
            PIX::ContainerWriter writer(out, 11, count);
            for (const auto& entry : layout)
                writer.AddEntry(entry.name, Packed(entry.image), entry.name);
            writer.Finish();
        });
        ReadableFile& file = *written.file;
        const ArchiveHeader header = ReadArchiveHeader(file);
        EXPECT_EQ(header.Signature, PIX::Format::Signature);
        EXPECT_EQ(header.HeaderValue, 11);
        EXPECT_EQ(header.EntryCount, count);
        const auto entries = PIX::Format::ReadEntries(file, count);
        ASSERT_EQ(entries.size(), layout.size());
        int64_t expectedOffset = ArchiveHeader::Size + int64_t{PIX::Format::EntrySize} * count;
        for (size_t e = 0; e < entries.size(); ++e) {
            const Picture& image = layout[e].image;
            EXPECT_EQ(entries[e].Name, layout[e].name);
            EXPECT_EQ(entries[e].Width, image.width);
            EXPECT_EQ(entries[e].Height, image.height);
            EXPECT_EQ(entries[e].DataSize, image.width * image.height * 2);
            EXPECT_EQ(entries[e].DataOffset, expectedOffset);
            EXPECT_EQ(PixelsAt(file, image.width, image.height, entries[e].DataOffset), image.Bytes());
            expectedOffset += entries[e].DataSize;
        }
        EXPECT_EQ(expectedOffset, file.Size());
    }
}

// ---- Vehicle files ----

// The 264 bytes of a table entry as a container may hold them: text after
// the name's NUL and a stale record offset, both of which a reader ignores.
std::vector<uint8_t> TableRecord(const std::string& name, int32_t value)
{
    std::vector<uint8_t> record(AZP::Format::EntrySize, 0xA5);
    Bytes::PutText(record, 0, 40, name + '\0' + "old junk");
    Bytes::PutInt32(record, 260, value);
    return record;
}

// A vehicle record whose every byte differs, so that a field put in the
// wrong place shows; a shadow header tagged as one.
std::vector<uint8_t> SpriteRecord()
{
    std::vector<uint8_t> record(AZP::Format::RecordSize);
    for (size_t i = 0; i < record.size(); ++i)
        record[i] = static_cast<uint8_t>(i * 7 + 1);
    return record;
}

std::vector<uint8_t> ShadowHeader()
{
    std::vector<uint8_t> header{'I', 'R', 'P', 'S'};
    for (uint8_t i = 4; i < AZP::Format::ShadowHeaderSize; ++i)
        header.push_back(i);
    return header;
}

std::vector<uint8_t> FrameBytes(const Samples::ShadowFrame& frame)
{
    std::vector<uint8_t> bytes;
    for (int16_t field : {frame.width, frame.height, frame.hotspot[0], frame.hotspot[1]})
        Bytes::AppendInt16(bytes, field);
    Bytes::AppendInt32(bytes, static_cast<int32_t>(2 * frame.rowOffsets.size() + frame.data.size()));
    for (int16_t offset : frame.rowOffsets)
        Bytes::AppendInt16(bytes, offset);
    bytes.insert(bytes.end(), frame.data.begin(), frame.data.end());
    return bytes;
}

void WriteVehicleEntries(AZP::ContainerWriter& writer, const std::vector<Samples::VehicleEntry>& entries)
{
    for (const auto& entry : entries) {
        if (entry.shadow) {
            writer.BeginShadow(TableRecord(entry.name, entry.value), ShadowHeader(),
                               static_cast<int32_t>(entry.frames.size()));
            for (const auto& frame : entry.frames)
                writer.AddFrame(FrameBytes(frame));
            continue;
        }
        writer.BeginVehicle(TableRecord(entry.name, entry.value), SpriteRecord());
        for (const auto& slot : entry.slots)
            writer.AddSlot(slot.hotspot, Packed(slot.image), entry.name);
    }
}

Samples::VehicleEntry Car(const std::string& name)
{
    Samples::VehicleEntry car{name, 3, false, {}, {}};
    for (int32_t j = 0; j < 17; ++j)
        car.slots.push_back({j == 4 ? Samples::Solid(0, 20, 1) : Samples::Gradient(1 + j % 4, 2 + j % 3),
                             {j, -j, 100 + j, 7}});
    return car;
}

Samples::VehicleEntry Shadow(int frames)
{
    Samples::VehicleEntry shadow{"car_s", -4, true, {}, {}};
    for (int f = 0; f < frames; ++f)
        shadow.frames.push_back(
            Samples::EncodeShadow({{f % 2 == 0, true, false}, {false, true, true}}, {int16_t(f), -2}));
    return shadow;
}

void CheckVehicle(ReadableFile& file, const AZP::Format::VehicleEntry& read, const Samples::VehicleEntry& given)
{
    const auto record = AZP::Format::ReadSpriteRecord(file, read);
    auto expectedRecord = SpriteRecord();
    int32_t pixelOffset = 0;
    for (int32_t j = 0; j < 17; ++j) {
        const auto& slot = given.slots[static_cast<size_t>(j)];
        AZP::Format::PutSlot(expectedRecord, j, {slot.hotspot, slot.image.width, slot.image.height, pixelOffset});
        const AZP::Format::Slot stored = AZP::Format::DecodeSprite(record).slots[static_cast<size_t>(j)];
        ImageBuffer pixels;
        AZP::Format::LoadSlot(pixels, file, read, stored, j, false);
        const auto read = PackedPixels(pixels);
        EXPECT_EQ(std::vector<uint8_t>(read.begin(), read.end()), slot.image.Bytes());
        pixelOffset += slot.image.width * slot.image.height * 2;
    }
    EXPECT_EQ(record, expectedRecord) << "only the slots' fields change";
}

void CheckShadow(ReadableFile& file, const AZP::Format::VehicleEntry& read, const Samples::VehicleEntry& given)
{
    auto expectedHeader = ShadowHeader();
    Bytes::PutInt16(expectedHeader, AZP::Format::FrameCountOffset, static_cast<int16_t>(given.frames.size()));
    EXPECT_EQ(AZP::Format::ReadShadowHeader(file, read), expectedHeader);
    AZP::State state;
    for (size_t f = 0; f < given.frames.size(); ++f) {
        AZP::Format::ReadFrame(file, read, static_cast<int32_t>(f), state);
        EXPECT_EQ(AZP::Format::FrameBytes(state), FrameBytes(given.frames[f]));
    }
}

TEST(VehicleWriter, EachLayoutReadsBackFieldByField)
{
    struct Layout {
        std::string name;
        int32_t countField;
        std::vector<Samples::VehicleEntry> entries;
    };
    const std::vector<Layout> layouts{
        {"a negative count and no entries", -5, {}},
        {"one vehicle", 1, {Car("car")}},
        {"a vehicle, a shadow and an empty shadow", 3, {Car("car"), Shadow(3), Shadow(0)}},
        {"a shadow first", 2, {Shadow(2), Car("van")}},
    };
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(layout.name);
        const auto count = static_cast<int32_t>(layout.entries.size());
        const Written written([&](WritableFile& out) {
            AZP::ContainerWriter writer(out, layout.countField, count);
            WriteVehicleEntries(writer, layout.entries);
            writer.Finish();
        });
        ReadableFile& file = *written.file;
        EXPECT_EQ(AZP::Format::ReadEntryCount(file), layout.countField);
        const auto table = AZP::Format::ReadEntryTable(file, count);
        // Each record follows the last one's pixels or frames.
        int64_t expectedOffset = AZP::Format::CountSize + int64_t{AZP::Format::EntrySize} * count;
        for (int32_t i = 0; i < count; ++i) {
            const auto& given = layout.entries[static_cast<size_t>(i)];
            auto expectedRecord = TableRecord(given.name, given.value);
            Bytes::PutInt32(expectedRecord, 256, static_cast<int32_t>(expectedOffset));
            const auto stored = std::span(table).subspan(size_t(i) * AZP::Format::EntrySize, AZP::Format::EntrySize);
            EXPECT_TRUE(std::equal(stored.begin(), stored.end(), expectedRecord.begin()));
            const auto read = AZP::Format::DecodeEntry(stored);
            EXPECT_EQ(AZP::Format::IsShadowRecord(file, read), given.shadow);
            if (given.shadow) {
                CheckShadow(file, read, given);
                expectedOffset += AZP::Format::ShadowHeaderSize;
                for (const auto& frame : given.frames)
                    expectedOffset += static_cast<int64_t>(FrameBytes(frame).size());
            } else {
                CheckVehicle(file, read, given);
                expectedOffset += AZP::Format::RecordSize;
                for (const auto& slot : given.slots)
                    expectedOffset += int64_t{slot.image.width} * slot.image.height * 2;
            }
        }
        EXPECT_EQ(expectedOffset, file.Size());
    }
}

// ---- Stored pixels ----

// Each kind writes a small image, then the one under test, then another
// small one, so that the tables before a large copy are filled in after it.
struct Kind {
    std::string name;
    // Writes `image` from memory, or copied from `from` at `offset`.
    std::function<void(WritableFile&, const Picture& image, ReadableFile* from, int64_t offset)> write;
};

std::vector<Kind> Kinds()
{
    const Picture before = Samples::Gradient(3, 3);
    const Picture after = Samples::Stripes(5, 1);
    return {
        {"gadget",
         [=](WritableFile& out, const Picture& image, ReadableFile* from, int64_t offset) {
             GDG::ContainerWriter writer(out, 1, 2);
             writer.BeginEntry("FIRST", 0, 3);
             writer.AddImage(Packed(before), "before");
             if (from != nullptr)
                 writer.AddStoredImage(image.width, image.height, *from, offset);
             else
                 writer.AddImage(Packed(image), "image");
             writer.AddImage(Packed(after), "after");
             writer.BeginEntry("SECOND", 1, 1);
             writer.AddImage(Packed(before), "before");
             writer.Finish();
         }},
        {"screen",
         [=](WritableFile& out, const Picture& image, ReadableFile* from, int64_t offset) {
             PIX::ContainerWriter writer(out, 1, 3);
             writer.AddEntry("BEFORE", Packed(before), "before");
             if (from != nullptr)
                 writer.AddStoredEntry("IMAGE", image.width, image.height, *from, offset);
             else
                 writer.AddEntry("IMAGE", Packed(image), "image");
             writer.AddEntry("AFTER", Packed(after), "after");
             writer.Finish();
         }},
        {"vehicle",
         [=](WritableFile& out, const Picture& image, ReadableFile* from, int64_t offset) {
             AZP::ContainerWriter writer(out, 2, 2);
             writer.BeginVehicle(TableRecord("car", 1), SpriteRecord());
             for (int32_t j = 0; j < 17; ++j) {
                 if (j != 8)
                     writer.AddSlot({j, 1, 2, 3}, Packed(j < 8 ? before : after), "slot");
                 else if (from != nullptr)
                     writer.AddStoredSlot({j, 1, 2, 3}, image.width, image.height, *from, offset);
                 else
                     writer.AddSlot({j, 1, 2, 3}, Packed(image), "slot");
             }
             WriteVehicleEntries(writer, {Shadow(2)});
             writer.Finish();
         }},
    };
}

class StoredPixels : public ::testing::Test {
protected:
    StoredPixels() { memory.AddFolder("/w"); }

    // The container written by `kind` on the file system, read back whole.
    std::vector<uint8_t> Write(FileSystem& files, const fs::path& folder, const Kind& kind, const Picture& image,
                               ReadableFile* from, int64_t offset)
    {
        auto out = files.CreateForWriting(folder / "out");
        kind.write(*out, image, from, offset);
        out->Close();
        return ReadAll(*files.OpenForReading(folder / "out"));
    }

    TempFolder folder;
    MemoryFileSystem memory;
};

// 8 x 4 is read into the writer's buffer; 384 x 384 (288 KiB) is copied by
// the file, between two files on disk by the system.
TEST_F(StoredPixels, CopiedPixelsGiveTheSameFileAsPixelsFromMemory)
{
    for (const Picture& image : {Samples::Gradient(8, 4), Samples::Gradient(384, 384)}) {
        // The pixels lie at an odd offset, between other bytes.
        std::vector<uint8_t> source = Scrambled(3, 1);
        const auto pixels = image.Bytes();
        source.insert(source.end(), pixels.begin(), pixels.end());
        source.push_back(0xEE);
        Samples::WriteBytes(folder / "source", source);
        memory.AddFile("/w/source", source);
        for (const Kind& kind : Kinds()) {
            for (FileSystem* files : std::initializer_list<FileSystem*>{&RealFileSystem(), &memory}) {
                SCOPED_TRACE(kind.name + ", " + std::to_string(image.width) +
                             (files == &memory ? " in memory" : " on disk"));
                const fs::path where = files == &memory ? fs::path("/w") : folder.path();
                const auto fromMemory = Write(*files, where, kind, image, nullptr, 0);
                auto from = files->OpenForReading(where / "source");
                EXPECT_EQ(Write(*files, where, kind, image, from.get(), 3), fromMemory);
            }
        }
    }
}

// ---- Copying between files ----

class AppendFrom : public ::testing::Test {
protected:
    AppendFrom() { memory.AddFolder("/w"); }

    TempFolder folder;
    MemoryFileSystem memory{int64_t{32} << 20};
    FaultyFileSystem faulty;
};

// A range crossing several of the blocks a copy goes in, appended after a
// write and followed by one, on each file system and from memory to disk.
TEST_F(AppendFrom, AppendsTheRangeAfterWhatWasWritten)
{
    const auto source = Scrambled((size_t{5} << 19) + 7, 2);
    Samples::WriteBytes(folder / "source", source);
    memory.AddFile("/w/source", source);
    const std::vector<uint8_t> head{1, 2, 3};
    const std::vector<uint8_t> tail{9};
    std::vector<uint8_t> expected(head);
    expected.insert(expected.end(), source.begin() + 5, source.end() - 1);
    expected.insert(expected.end(), tail.begin(), tail.end());

    struct Case {
        std::string name;
        FileSystem& sourceFiles;
        fs::path source;
        FileSystem& targetFiles;
        fs::path target;
    };
    const std::vector<Case> cases{
        {"on disk", RealFileSystem(), folder / "source", RealFileSystem(), folder / "out"},
        {"in memory", memory, "/w/source", memory, "/w/out"},
        {"watched", faulty, folder / "source", faulty, folder / "out"},
        {"from memory to disk", memory, "/w/source", RealFileSystem(), folder / "out"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto from = c.sourceFiles.OpenForReading(c.source);
        auto out = c.targetFiles.CreateForWriting(c.target);
        out->Write(head);
        out->AppendFrom(*from, 5, static_cast<int64_t>(source.size()) - 6);
        out->AppendFrom(*from, 0, 0);
        out->Write(tail);
        out->Close();
        EXPECT_EQ(ReadAll(*c.targetFiles.OpenForReading(c.target)), expected);
    }
    EXPECT_EQ(faulty.Count(FileOperation::Write), 4);
}

// Asked for more than the source holds, or for a range the source lost
// after it was opened: an Error naming the source.
TEST_F(AppendFrom, ASourceShorterThanAskedIsAnErrorNamingIt)
{
    Samples::WriteBytes(folder / "source", Scrambled(1000, 3));
    memory.AddFile("/w/source", Scrambled(1000, 3));
    for (FileSystem* files : std::initializer_list<FileSystem*>{&RealFileSystem(), &memory, &faulty}) {
        const fs::path where = files == &memory ? fs::path("/w") : folder.path();
        auto from = files->OpenForReading(where / "source");
        auto out = files->CreateForWriting(where / "out");
        const std::string source = (where / "source").string();
        EXPECT_TRUE(Contains(ErrorOf([&] { out->AppendFrom(*from, 990, 11); }), source));
        EXPECT_TRUE(Contains(ErrorOf([&] { out->AppendFrom(*from, -1, 4); }), source));
    }
    auto from = RealFileSystem().OpenForReading(folder / "source");
    ASSERT_EQ(::truncate((folder / "source").c_str(), 100), 0);
    auto out = RealFileSystem().CreateForWriting(folder / "out");
    EXPECT_EQ(ErrorOf([&] { out->AppendFrom(*from, 0, 1000); }),
              "Cannot read " + (folder / "source").string() + ": the file ends before the data it should hold");
}

// A copy is a read of its source and a write of its target; either fails
// as the file system's other reads and writes fail.
TEST_F(AppendFrom, TheWatchedFileSystemFailsACopyAsAReadOrAWrite)
{
    Samples::WriteBytes(folder / "source", Scrambled(4000, 4));
    const std::string source = (folder / "source").string();
    const std::string target = (folder / "out").string();
    const std::vector<std::tuple<FileOperation, int, std::string>> cases{
        {FileOperation::Read, EIO, "Cannot read " + source + ": " + std::strerror(EIO)},
        {FileOperation::Write, ENOSPC, "Cannot write " + target + ": " + std::strerror(ENOSPC)},
    };
    for (const auto& [operation, error, message] : cases) {
        FaultyFileSystem files;
        files.FailAt(operation, 1, error);
        auto from = files.OpenForReading(folder / "source");
        auto out = files.CreateForWriting(folder / "out");
        EXPECT_EQ(ErrorOf([&] { out->AppendFrom(*from, 0, 4000); }), message);
        EXPECT_EQ(files.FailedPath(), operation == FileOperation::Read ? folder / "source" : folder / "out");
    }
}

// Tables reserved before a copy that the file made itself are filled in
// at their place; a copy larger than the buffer goes past it.
TEST(SequentialWriterCopy, PatchesBeforeACopyLandAtTheirPlace)
{
    MemoryFileSystem files;
    files.AddFolder("/w");
    const auto source = Scrambled(300000, 5);
    files.AddFile("/w/source", source);
    auto from = files.OpenForReading("/w/source");
    auto out = files.CreateForWriting("/w/out");
    SequentialWriter writer(*out, 64);
    const int64_t table = writer.Reserve(4);
    writer.AppendCopy(*from, 10, 40);       // into the buffer
    writer.AppendCopy(*from, 0, 100);       // larger than the buffer
    writer.AppendCopy(*from, 1, 299999);    // made by the file
    writer.Patch(table, std::vector<uint8_t>{7, 7, 7, 7});
    writer.Flush();
    out->Close();

    std::vector<uint8_t> expected{7, 7, 7, 7};
    expected.insert(expected.end(), source.begin() + 10, source.begin() + 50);
    expected.insert(expected.end(), source.begin(), source.begin() + 100);
    expected.insert(expected.end(), source.begin() + 1, source.end());
    EXPECT_EQ(files.Contents("/w/out"), expected);
    EXPECT_EQ(writer.Position(), static_cast<int64_t>(expected.size()));
}

// Copies that continue one another are joined into one and made by the
// file, in one system call rather than one each; the bytes are those of the
// copies one by one, patches and appends in between included.
TEST(SequentialWriterCopy, NeighbouringCopiesAreJoined)
{
    Testing::TempFolder folder;
    const auto source = Scrambled(400000, 9);
    Samples::WriteBytes(folder / "source", source);
    Testing::FaultyFileSystem files;
    auto from = files.OpenForReading(folder / "source");
    auto out = files.CreateForWriting(folder / "out");
    SequentialWriter writer(*out);
    const int64_t table = writer.Reserve(4);
    for (int64_t at = 0; at < 200000; at += 4000)  // fifty copies, one range
        writer.AppendCopy(*from, at, 4000);
    EXPECT_EQ(writer.Position(), 4 + 200000);
    writer.Patch(table, std::vector<uint8_t>{1, 2, 3, 4});
    writer.AppendCopy(*from, 300000, 10);  // elsewhere: a copy of its own
    writer.Append(std::vector<uint8_t>{9});
    writer.Flush();
    out->Close();

    std::vector<uint8_t> expected{1, 2, 3, 4};
    expected.insert(expected.end(), source.begin(), source.begin() + 200000);
    expected.insert(expected.end(), source.begin() + 300000, source.begin() + 300010);
    expected.push_back(9);
    EXPECT_EQ(Samples::ReadBytes(folder / "out"), expected);
    EXPECT_EQ(files.Count(Testing::FileOperation::Read), 2);  // the joined copy and the small one
}

// Reads served from a block give what the file holds, across block ends,
// and a read past the end is the file's own Error.
TEST(ReadAheadFile, GivesWhatTheFileHoldsAndItsRefusals)
{
    MemoryFileSystem files;
    const auto bytes = Scrambled(10000, 3);
    files.AddFile("/f", bytes);
    auto file = files.OpenForReading("/f");
    ReadAheadFile ahead(*file, 1024);
    const std::pair<int64_t, size_t> reads[] = {{0, 10}, {1020, 10}, {5000, 2000}, {9990, 10}, {3, 1}, {0, 0}};
    for (const auto& [offset, size] : reads) {
        std::vector<uint8_t> got(size);
        ahead.ReadAt(offset, got);
        EXPECT_TRUE(std::equal(got.begin(), got.end(), bytes.begin() + offset)) << offset;
    }
    std::vector<uint8_t> past(20);
    EXPECT_THROW(ahead.ReadAt(9990, past), Error);
    EXPECT_THROW(ahead.ReadAt(-1, std::span(past).first(1)), Error);
}

// A gadget entry whose image sizes are given first writes the same file;
// images of other sizes than announced are refused.
TEST(GadgetWriter, SizesGivenFirstWriteTheSameFile)
{
    const auto a = Samples::Gradient(3, 2);
    const auto b = Samples::Solid(1, 4, 5);
    const auto write = [&](bool announce, const Samples::Picture& second) {
        return Written([&](WritableFile& out) {
            GDG::ContainerWriter writer(out, 1, 1);
            const std::vector<GDG::ContainerWriter::ImageSize> sizes{{3, 2}, {1, 4}};
            if (announce)
                writer.BeginEntry("E", 2, sizes);
            else
                writer.BeginEntry("E", 2, 2);
            writer.AddImage(ImageBuffer{3, 2, a.Bytes()}, "a");
            writer.AddImage(ImageBuffer{second.width, second.height, second.Bytes()}, "b");
            writer.Finish();
        });
    };
    EXPECT_EQ(ReadAll(*write(true, b).file), ReadAll(*write(false, b).file));
    EXPECT_THROW(write(true, Samples::Solid(4, 1, 5)), Error);
}

// ---- What a writer refuses ----

// A source that claims 4 GiB of zeros and a target that keeps nothing, so
// that offsets past the 32-bit range are reached without holding them.
class HugeSource final : public ReadableFile {
public:
    const fs::path& Path() const override { return path_; }
    int64_t Size() const override { return int64_t{4} << 30; }
    FileStamp Stamp() const override { return {}; }
    void ReadAt(int64_t, std::span<uint8_t> out) override { std::fill(out.begin(), out.end(), 0); }

private:
    fs::path path_ = "huge";
};

class Discarding final : public WritableFile {
public:
    const fs::path& Path() const override { return path_; }
    void WriteAt(int64_t, std::span<const uint8_t>) override {}
    void Write(std::span<const uint8_t>) override {}
    void AppendFrom(ReadableFile&, int64_t, int64_t) override {}
    void Sync() override {}
    void Close() override {}

private:
    fs::path path_ = "/w/out";
};

// Each case feeds a writer wrongly or past the 32-bit offsets; the message
// must hold the given text.
TEST(ContainerWriters, RefuseMiscountsMalformedInputAndOffsetsPastTheirFields)
{
    constexpr int32_t Side = 16384;  // an image of 512 MiB: the fourth or fifth passes 2 GiB
    HugeSource huge;
    const ImageBuffer small = Packed(Samples::Gradient(2, 2));
    const std::vector<std::pair<std::string, std::function<void(WritableFile&)>>> cases{
        {"the images of entry \"A\": 2 announced, 1 given",
         [&](WritableFile& out) {
             GDG::ContainerWriter writer(out, 0, 1);
             writer.BeginEntry("A", 0, 2);
             writer.AddImage(small, "x");
             writer.Finish();
         }},
        {"the entries: 2 announced, 1 given",
         [&](WritableFile& out) {
             PIX::ContainerWriter writer(out, 0, 2);
             writer.AddEntry("A", small, "x");
             writer.Finish();
         }},
        {"the slots of entry \"car\": 17 announced, 1 given",
         [&](WritableFile& out) {
             AZP::ContainerWriter writer(out, 1, 1);
             writer.BeginVehicle(TableRecord("car", 0), SpriteRecord());
             writer.AddSlot({}, small, "x");
             writer.Finish();
         }},
        {"the frames of entry \"car_s\": 0 announced, 1 given",
         [&](WritableFile& out) {
             AZP::ContainerWriter writer(out, 1, 1);
             writer.BeginShadow(TableRecord("car_s", 0), ShadowHeader(), 0);
             writer.AddFrame(FrameBytes(Shadow(1).frames[0]));
         }},
        {"is not a 12-byte header followed by the data size it gives",
         [&](WritableFile& out) {
             AZP::ContainerWriter writer(out, 1, 1);
             writer.BeginShadow(TableRecord("car_s", 0), ShadowHeader(), 1);
             auto frame = FrameBytes(Shadow(1).frames[0]);
             frame.pop_back();
             writer.AddFrame(frame);
         }},
        {"The image of sky.tga holds 7 bytes, not the 8 of its 2 x 2 pixels packed",
         [&](WritableFile& out) {
             PIX::ContainerWriter writer(out, 0, 1);
             writer.AddEntry("SKY", {2, 2, std::vector<uint8_t>(7)}, "sky.tga");
         }},
        {"The rebuilt gadget file",
         [&](WritableFile& out) {
             GDG::ContainerWriter writer(out, 0, 1);
             writer.BeginEntry("A", 0, 5);
             for (int k = 0; k < 5; ++k)
                 writer.AddStoredImage(Side, Side, huge, 0);
         }},
        {"The rebuilt screen file",
         [&](WritableFile& out) {
             PIX::ContainerWriter writer(out, 0, 5);
             for (int k = 0; k < 5; ++k)
                 writer.AddStoredEntry("A", Side, Side, huge, 0);
         }},
        {"The record of entry \"car\"",
         [&](WritableFile& out) {
             AZP::ContainerWriter writer(out, 1, 1);
             writer.BeginVehicle(TableRecord("car", 0), SpriteRecord());
             for (int32_t j = 0; j < 17; ++j)
                 writer.AddStoredSlot({}, Side, Side, huge, 0);
         }},
    };
    for (const auto& [message, feed] : cases) {
        SCOPED_TRACE(message);
        Discarding out;
        const std::string error = ErrorOf([&] { feed(out); });
        EXPECT_TRUE(Contains(error, message)) << error;
    }
}

}  // namespace
}  // namespace Brimwork::Testing
