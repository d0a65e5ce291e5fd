#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>

#include "container/document.h"
#include "container/kinds.h"
#include "core/context.h"
#include "core/error.h"
#include "io/files.h"
#include "testing/memory_files.h"
#include "image/png.h"
#include "image/tga.h"
#include "samples/sample_containers.h"
#include "testing/faulty_files.h"
#include "tests/support/test_support.h"
#include "vehicle/vehicle.h"

using namespace Brimwork;
namespace fs = std::filesystem;

namespace {

const fs::path Folder = "/work";

ImageBuffer ToImage(const Samples::Picture& picture)
{
    return ImageBuffer{picture.width, picture.height, picture.Bytes()};
}

// Pictures and containers drawn from one seed, so that a failing case can
// be run again.
class Random {
public:
    explicit Random(uint32_t seed) : engine_(seed) {}

    int Between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(engine_); }

    Samples::Picture Picture(int most = 9)
    {
        Samples::Picture picture{Between(1, most), Between(1, most), {}};
        for (int32_t i = 0; i < picture.width * picture.height; ++i)
            picture.pixels.push_back(static_cast<uint16_t>(Between(0, 0xFFFF)));
        return picture;
    }

    // Black and white, with now and then a colour the rounding must settle.
    Samples::Picture ShadowPicture()
    {
        Samples::Picture picture{Between(1, 12), Between(1, 9), {}};
        for (int32_t i = 0; i < picture.width * picture.height; ++i) {
            const int pick = Between(0, 9);
            picture.pixels.push_back(pick < 4 ? 0x7FFF : pick < 8 ? 0 : static_cast<uint16_t>(Between(0, 0x7FFF)));
        }
        return picture;
    }

    Samples::ShadowFrame Frame()
    {
        const auto picture = ShadowPicture();
        std::vector<std::vector<bool>> rows(static_cast<size_t>(picture.height));
        for (int32_t y = 0; y < picture.height; ++y)
            for (int32_t x = 0; x < picture.width; ++x)
                rows[static_cast<size_t>(y)].push_back(Between(0, 1) == 1);
        return Samples::EncodeShadow(rows, {static_cast<int16_t>(Between(-50, 50)), static_cast<int16_t>(Between(-50, 50))});
    }

    std::vector<uint8_t> Gadget()
    {
        std::vector<Samples::GadgetEntry> entries;
        for (int i = Between(1, 5); i > 0; --i) {
            Samples::GadgetEntry entry{"G" + std::to_string(entries.size()), Between(-9, 9), {}};
            for (int k = Between(0, 4); k > 0; --k)
                entry.images.push_back(Picture());
            entries.push_back(entry);
        }
        return Samples::BuildGadgetFile(Between(0, 1000), entries);
    }

    std::vector<uint8_t> Screen()
    {
        std::vector<Samples::ScreenEntry> entries;
        for (int i = Between(1, 5); i > 0; --i)
            entries.push_back({"S" + std::to_string(entries.size()), Picture()});
        return Samples::BuildScreenFile(Between(0, 1000), entries);
    }

    std::vector<uint8_t> Vehicle()
    {
        std::vector<Samples::VehicleEntry> entries;
        for (int i = Between(1, 4); i > 0; --i) {
            Samples::VehicleEntry entry{"V" + std::to_string(entries.size()), Between(0, 99), Between(0, 2) == 0, {}, {}};
            if (entry.shadow)
                for (int f = Between(0, 4); f > 0; --f)
                    entry.frames.push_back(Frame());
            else
                for (int j = 0; j < AZP::SlotCount; ++j)
                    entry.slots.push_back({Between(0, 3) == 0 ? Samples::Picture{} : Picture(6),
                                           {Between(-9, 9), Between(-9, 9), Between(-9, 9), Between(-9, 9)}});
            entries.push_back(entry);
        }
        return Samples::BuildVehicleFile(entries);
    }

private:
    std::mt19937 engine_;
};

// The TGA file extraction writes for image k of an entry.
std::string TgaFileFor(const std::string& extension, const std::string& entry, size_t k)
{
    if (extension == ".PIX")
        return entry + ".tga";
    return AZP::TgaBaseName(entry, static_cast<int32_t>(k)) + ".tga";
}

struct Replacement {
    size_t entry;
    size_t image;
    Samples::Picture picture;
};

// The modder's round trip in memory: extract, put each picture in place of
// its TGA file, rebuild.
std::vector<uint8_t> RoundTrip(const std::string& name, const std::vector<uint8_t>& bytes,
                               const std::vector<Replacement>& replacements)
{
    MemoryFileSystem files;
    files.AddFolder(Folder);
    files.AddFile(Folder / name, bytes);
    Testing::RecordingWindow window;
    ImageBuffer image;
    const ChosenContainer container{Folder / name, name};
    ModuleContext context{image, container, Folder, window, files};
    auto kind = KindForFileName(name);
    const auto names = kind->ListEntries(files, container.FileName);
    kind->ExtractAll(context);
    for (const auto& change : replacements)
        WriteTGA(files, Folder / TgaFileFor(kind->Extension(), names[change.entry], change.image),
                 ToImage(change.picture));
    kind->Rebuild(context);
    return *files.Contents(Folder / name);
}

std::vector<uint8_t> Edited(const std::string& name, const std::vector<uint8_t>& bytes,
                            const std::vector<Replacement>& replacements)
{
    MemoryFileSystem files;
    files.AddFolder(Folder);
    files.AddFile(Folder / name, bytes);
    Document document = Document::Open(files, Folder / name);
    for (const auto& change : replacements)
        document.ReplaceImage(change.entry, change.image, ToImage(change.picture), "a test picture");
    document.Save();
    EXPECT_FALSE(document.Modified());
    return *files.Contents(Folder / name);
}

}  // namespace

// Replacing images in the document and saving gives, byte for byte, the
// file the round trip through TGA files gives: random containers of each
// kind, random images replaced (sometimes by what they already hold).
TEST(DocumentRoundTrip, SaveEqualsExtractEditRebuild)
{
    const std::pair<std::string, std::function<std::vector<uint8_t>(Random&)>> kinds[] = {
        {"UNITS.GDG", [](Random& r) { return r.Gadget(); }},
        {"TITLES.PIX", [](Random& r) { return r.Screen(); }},
        {"CARS.AZP", [](Random& r) { return r.Vehicle(); }},
    };
    for (const auto& [name, make] : kinds) {
        for (uint32_t seed = 1; seed <= 40; ++seed) {
            Random random(seed);
            const auto bytes = make(random);
            MemoryFileSystem files;
            files.AddFile("/" + name, bytes);
            const Document original = Document::Open(files, "/" + name);
            std::vector<Replacement> replacements;
            for (int n = random.Between(1, 3); n > 0; --n) {
                const auto entry = static_cast<size_t>(random.Between(0, static_cast<int>(original.Entries().size()) - 1));
                const auto& images = original.Entries()[entry].images;
                if (images.empty())
                    continue;
                const auto image = static_cast<size_t>(random.Between(0, static_cast<int>(images.size()) - 1));
                const bool shadow = original.Entries()[entry].kind == EntryKind::Shadow;
                Samples::Picture picture = shadow ? random.ShadowPicture() : random.Picture();
                if (random.Between(0, 3) == 0) {  // the image as it stands: stored bytes must stay
                    const ImageBuffer same = original.LoadImage(entry, image);
                    picture = {same.ImageWidth, same.ImageHeight, {}};
                    for (size_t i = 0; i + 1 < same.ImageBytes.size() && same.ImageWidth > 0; i += 2)
                        picture.pixels.push_back(static_cast<uint16_t>(same.ImageBytes[i] | same.ImageBytes[i + 1] << 8));
                }
                replacements.push_back({entry, image, picture});
            }
            EXPECT_EQ(Edited(name, bytes, replacements), RoundTrip(name, bytes, replacements))
                << name << ", seed " << seed;
        }
    }
}

namespace {

// A document over a small gadget, screen or vehicle file in memory.
class DocumentTest : public ::testing::Test {
protected:
    Document Open(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        files.AddFolder(Folder);
        files.AddFile(Folder / name, bytes);
        return Document::Open(files, Folder / name);
    }

    Document Gadget()
    {
        return Open("UNITS.GDG", Samples::BuildGadgetFile(7, {{"TANK", 3, {Samples::Gradient(4, 3), Samples::Solid(2, 2, 0x1234)}},
                                                               {"JEEP", 4, {Samples::Stripes(5, 2)}}}));
    }

    Document Vehicle()
    {
        Samples::VehicleEntry car{"CAR", 11, false, {}, {}};
        for (int j = 0; j < AZP::SlotCount; ++j)
            car.slots.push_back({Samples::Gradient(3, 2), {j, 1, 2, 3}});
        Samples::VehicleEntry shade{"SHADE", 12, true, {}, {}};
        shade.frames.push_back(Samples::EncodeShadow({{true, false, true}, {false, false, true}}, {5, -6}));
        return Open("CARS.AZP", Samples::BuildVehicleFile({car, shade}));
    }

    // What a saved file holds, read back as a new document.
    Document Reopened(Document& document)
    {
        document.Save();
        return Document::Open(files, document.Path());
    }

    static std::vector<std::string> Names(const Document& document)
    {
        std::vector<std::string> names;
        for (const auto& entry : document.Entries())
            names.push_back(entry.name);
        return names;
    }

    MemoryFileSystem files;
};

}  // namespace

TEST_F(DocumentTest, OpeningReadsRecordsAndWhereEveryImageLies)
{
    const Document gadget = Gadget();
    ASSERT_EQ(Names(gadget), (std::vector<std::string>{"TANK", "JEEP"}));
    EXPECT_EQ(gadget.Model().headerValue, 7);
    EXPECT_EQ(gadget.Entries()[0].entryValue, 3);
    EXPECT_EQ(gadget.Image(0, 1).width, 2);
    EXPECT_EQ(gadget.Image(0, 0).Offset(), 12 + 2 * 44 + 2 * 16);
    EXPECT_EQ(gadget.LoadImage(1, 0).ImageBytes, Samples::Stripes(5, 2).Bytes());

    const Document vehicle = Vehicle();
    EXPECT_EQ(vehicle.Entries()[1].kind, EntryKind::Shadow);
    EXPECT_EQ(vehicle.Image(0, 4).hotspots, (std::vector<int32_t>{4, 1, 2, 3}));
    EXPECT_EQ(vehicle.Image(1, 0).hotspots, (std::vector<int32_t>{5, -6}));
    const ImageBuffer frame = vehicle.LoadImage(1, 0);
    EXPECT_EQ(frame.ImageWidth, 3);
    EXPECT_EQ(frame.ImageBytes[2], 0);  // pixel (1, 0) black
}

// Each edit, saved and read back, against what it should have made.
TEST_F(DocumentTest, EditsComeBackAfterSaving)
{
    Document document = Gadget();
    document.InsertImage(1, 0, ToImage(Samples::Solid(3, 1, 0x7C00)), "red");
    document.DeleteImage(0, 0);
    document.AddEntry(1, "RADAR", EntryKind::Gadget);
    document.RenameEntry(0, "HEAVY_TANK");
    document.MoveEntry(2, 0);
    EXPECT_TRUE(document.Modified());

    const Document saved = Reopened(document);
    EXPECT_FALSE(document.Modified());
    EXPECT_EQ(Names(saved), (std::vector<std::string>{"JEEP", "HEAVY_TANK", "RADAR"}));
    EXPECT_EQ(saved.Entries()[0].images.size(), 2u);
    EXPECT_EQ(saved.LoadImage(0, 0).ImageBytes, Samples::Solid(3, 1, 0x7C00).Bytes());
    EXPECT_EQ(saved.LoadImage(0, 1).ImageBytes, Samples::Stripes(5, 2).Bytes());
    EXPECT_EQ(saved.LoadImage(1, 0).ImageBytes, Samples::Solid(2, 2, 0x1234).Bytes());
    EXPECT_TRUE(saved.Entries()[2].images.empty());

    // The saved document goes on from the saved file.
    document.ReplaceImage(1, 0, ToImage(Samples::Solid(1, 1, 0x0001)), "dot");
    const Document again = Reopened(document);
    EXPECT_EQ(again.LoadImage(1, 0).ImageBytes, Samples::Solid(1, 1, 0x0001).Bytes());
    EXPECT_EQ(again.LoadImage(0, 1).ImageBytes, Samples::Stripes(5, 2).Bytes());
    for (size_t i = 0; i < again.Entries().size(); ++i)
        for (size_t k = 0; k < again.Entries()[i].images.size(); ++k) {
            EXPECT_EQ(document.Image(i, k).Offset(), again.Image(i, k).Offset());
            EXPECT_EQ(document.LoadImage(i, k).ImageBytes, again.LoadImage(i, k).ImageBytes);
        }
}

TEST_F(DocumentTest, VehicleEditsKeepHotspotsTagsAndFrames)
{
    Document document = Vehicle();
    document.SetHotspots(0, 16, {-1, -2, -3, -4});
    document.SetHotspots(1, 0, {100, -100});
    document.AddEntry(2, "NEWCAR", EntryKind::Vehicle);
    document.AddEntry(3, "NEWSHADE", EntryKind::Shadow);
    const auto change = document.InsertImage(3, 0, ToImage(Samples::Solid(2, 2, 0x7FE0)), "yellow");
    EXPECT_EQ(change.roundedPixels, 4);
    document.RenameEntry(1, "DARK");

    const Document saved = Reopened(document);
    EXPECT_EQ(Names(saved), (std::vector<std::string>{"CAR", "DARK", "NEWCAR", "NEWSHADE"}));
    EXPECT_EQ(saved.Image(0, 16).hotspots, (std::vector<int32_t>{-1, -2, -3, -4}));
    EXPECT_EQ(saved.Image(1, 0).hotspots, (std::vector<int32_t>{100, -100}));
    EXPECT_EQ(saved.Entries()[2].images.size(), 17u);
    EXPECT_EQ(saved.Entries()[2].kind, EntryKind::Vehicle);
    ASSERT_EQ(saved.Entries()[3].images.size(), 1u);
    EXPECT_EQ(saved.LoadImage(3, 0).ImageBytes, Samples::Solid(2, 2, 0x7FFF).Bytes());  // 31+31+0 rounds to white
    EXPECT_EQ(saved.Entries()[1].entryValue, 12);
}

// Every refused edit names what is wrong and changes nothing.
TEST_F(DocumentTest, RefusedEditsChangeNothing)
{
    Document gadget = Gadget();
    Document vehicle = Vehicle();
    files.AddFile(Folder / "TITLES.PIX", Samples::BuildScreenFile(0, {{"INTRO", Samples::Solid(2, 2, 1)}}));
    Document screen = Document::Open(files, Folder / "TITLES.PIX");
    const std::pair<const char*, std::function<void()>> refusals[] = {
        {"more than the 32 its field holds", [&] { gadget.RenameEntry(0, std::string(33, 'A')); }},
        {"not a plain file name", [&] { gadget.RenameEntry(0, "A/B"); }},
        {"is empty", [&] { gadget.AddEntry(0, "", EntryKind::Gadget); }},
        {"Another entry is named \"JEEP\"", [&] { gadget.RenameEntry(0, "jeep"); }},
        {"has no entry 2", [&] { gadget.DeleteEntry(2); }},
        {"has no image 2", [&] { gadget.DeleteImage(0, 2); }},
        {"Cannot insert an image at position 3", [&] { gadget.InsertImage(0, 3, ToImage(Samples::Solid(1, 1, 0)), "x"); }},
        {"too large for a TGA file", [&] { gadget.ReplaceImage(0, 0, ImageBuffer{40000, 1, std::vector<uint8_t>(80000)}, "wide"); }},
        {"Cannot move entry 0 to position 2", [&] { gadget.MoveEntry(0, 2); }},
        {"whose images have none", [&] { gadget.SetHotspots(0, 0, {1, 2}); }},
        {"does not hold one", [&] { gadget.AddEntry(0, "CAR", EntryKind::Vehicle); }},
        {"whose images are fixed in number", [&] { vehicle.DeleteImage(0, 3); }},
        {"has 4 hotspot values, not 2", [&] { vehicle.SetHotspots(0, 0, {1, 2}); }},
        {"16-bit value", [&] { vehicle.SetHotspots(1, 0, {40000, 0}); }},
        {"more than the 256 its field holds", [&] { vehicle.AddEntry(0, std::string(257, 'V'), EntryKind::Shadow); }},
        {"whose images are fixed in number", [&] { screen.InsertImage(0, 0, ToImage(Samples::Solid(1, 1, 0)), "x"); }},
        {"made from its image", [&] { screen.AddEntry(0, "OUTRO", EntryKind::Screen); }},
        {"another kind of container", [&] { gadget.SaveAs(Folder / "UNITS.PIX"); }},
        {"another kind of container", [&] { vehicle.SaveAs(Folder / "CARS.bin"); }},
    };
    for (const auto& [expected, refused] : refusals) {
        try {
            refused();
            ADD_FAILURE() << "not refused: " << expected;
        } catch (const Error& error) {
            EXPECT_NE(std::string(error.what()).find(expected), std::string::npos) << error.what();
        }
    }
    for (const Document* document : {&gadget, &vehicle, &screen})
        EXPECT_FALSE(document->Modified());
    EXPECT_EQ(Names(gadget), (std::vector<std::string>{"TANK", "JEEP"}));
    EXPECT_FALSE(files.Contents(Folder / "UNITS.PIX"));
    EXPECT_FALSE(files.Contents(Folder / "CARS.bin"));
}

TEST_F(DocumentTest, ExportWritesTgaAsExtractionAndPngThatReadsBack)
{
    Document document = Gadget();
    document.ExportImage(0, 0, Folder / "tank.tga");
    ImageBuffer tga;
    ReadTGA(files, Folder / "tank.tga", tga);
    EXPECT_EQ(tga.ImageBytes, Samples::Gradient(4, 3).Bytes());

    document.ReplaceImage(0, 1, ToImage(Samples::Solid(2, 1, 0x8000 | 0x0421)), "bit 15");
    EXPECT_EQ(document.ExportImage(0, 1, Folder / "dot.png").bit15Lost, 2);
    document.ReplaceImageFromFile(1, 0, Folder / "dot.png");
    EXPECT_EQ(document.LoadImage(1, 0).ImageBytes, Samples::Solid(2, 1, 0x0421).Bytes());
    EXPECT_THROW(document.ExportImage(0, 0, Folder / "tank.bmp"), Error);
    const auto container = files.Contents(Folder / "UNITS.GDG");
    EXPECT_THROW(document.ExportImage(0, 0, Folder / "sub/../UNITS.GDG"), Error);
    EXPECT_EQ(files.Contents(Folder / "UNITS.GDG"), container);
    EXPECT_THROW(document.ReplaceImageFromFile(0, 0, Folder / "missing.tga"), Error);
}

// A save that fails at any file operation leaves the file as it was, no
// work file behind, and the document unsaved; the next save succeeds.
TEST(DocumentSave, AFailedSaveLeavesTheFileAndTheDocument)
{
    Testing::TempFolder folder;
    const auto original = Samples::BuildGadgetFile(1, {{"A", 0, {Samples::Gradient(64, 64)}}, {"B", 0, {}}});
    for (const auto operation : {Testing::FileOperation::Create, Testing::FileOperation::Write,
                                 Testing::FileOperation::Sync, Testing::FileOperation::Close,
                                 Testing::FileOperation::Rename, Testing::FileOperation::SetAccess}) {
        Samples::WriteBytes(folder / "UNITS.GDG", original);
        Testing::FaultyFileSystem files;
        Document document = Document::Open(files, folder / "UNITS.GDG");
        document.RenameEntry(1, "C");
        files.FailAt(operation, 1, ENOSPC);
        EXPECT_THROW(document.Save(), Error) << NameOf(operation);
        EXPECT_EQ(Samples::ReadBytes(folder / "UNITS.GDG"), original) << NameOf(operation);
        EXPECT_EQ(folder.Names(), std::vector<std::string>{"UNITS.GDG"}) << NameOf(operation);
        EXPECT_TRUE(document.Modified());
        document.Save();
        EXPECT_EQ(Document::Open(files, folder / "UNITS.GDG").Entries()[1].name, "C");
    }
}

TEST(DocumentSave, KeepsThePermissionsAndCopiesLargeImagesFromTheOldFile)
{
    Testing::TempFolder folder;
    const auto big = Samples::Gradient(512, 300);  // above the size copied through memory
    Samples::WriteBytes(folder / "TITLES.PIX", Samples::BuildScreenFile(3, {{"BIG", big}, {"SMALL", Samples::Solid(2, 2, 5)}}));
    fs::permissions(folder / "TITLES.PIX", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    Document document = Document::Open(RealFileSystem(), folder / "TITLES.PIX");
    document.ReplaceImage(1, 0, ToImage(Samples::Solid(3, 3, 9)), "new");
    document.Save();
    EXPECT_EQ(fs::status(folder / "TITLES.PIX").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const Document saved = Document::Open(RealFileSystem(), folder / "TITLES.PIX");
    EXPECT_EQ(saved.LoadImage(0, 0).ImageBytes, big.Bytes());
    EXPECT_EQ(saved.LoadImage(1, 0).ImageBytes, Samples::Solid(3, 3, 9).Bytes());
    // The image edited before the save stays readable from the document.
    EXPECT_EQ(document.LoadImage(0, 0).ImageBytes, big.Bytes());
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"TITLES.PIX"});
}

// A save after replacing one image of a container in the rebuild's layout
// copies everything else, tables included, as a few long ranges: the
// number of writes does not grow with the number of entries.
TEST(DocumentSave, CopiesWhatDidNotChangeAsLongRanges)
{
    Testing::TempFolder folder;
    std::vector<Samples::GadgetEntry> entries;
    for (int i = 0; i < 60; ++i)
        entries.push_back({"E" + std::to_string(i), i, {Samples::Gradient(40, 30), Samples::Stripes(33, 21)}});
    Samples::WriteBytes(folder / "UNITS.GDG", Samples::BuildGadgetFile(5, entries));
    Testing::FaultyFileSystem files;
    Document document = Document::Open(files, folder / "UNITS.GDG");
    document.ReplaceImage(30, 1, ToImage(Samples::Solid(33, 21, 0x1111)), "same size");
    const int writesBefore = files.Count(Testing::FileOperation::Write);
    document.Save();
    EXPECT_LE(files.Count(Testing::FileOperation::Write) - writesBefore, 6);

    entries[30].images[1] = Samples::Solid(33, 21, 0x1111);
    EXPECT_EQ(Samples::ReadBytes(folder / "UNITS.GDG"), Samples::BuildGadgetFile(5, entries));
}
