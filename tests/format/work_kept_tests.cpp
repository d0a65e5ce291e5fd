// Extraction and rebuild never cost the user a file: in a folder where
// other containers were extracted, or where images were edited, they refuse
// what would destroy work, leave every file as it was, and say why. Every
// case runs for all three kinds of container.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>

#include "core/error.h"
#include "io/files.h"
#include "core/names.h"
#include "core/rebuild_report.h"
#include "gadget/gadget.h"
#include "image/tga.h"
#include "samples/sample_containers.h"
#include "screen/screen.h"
#include "testing/faulty_files.h"
#include "tests/support/module_fixture.h"
#include "vehicle/vehicle.h"

namespace Brimwork::Testing {
namespace {

namespace fs = std::filesystem;
using namespace Samples;

// One kind of container: a container of two entries whose images depend on
// `variant`, with the given names, and its extraction and rebuild.
struct Kind {
    std::string name;
    std::string extension;
    std::function<std::vector<uint8_t>(int variant, const std::string& first, const std::string& second)> build;
    std::string firstImageFile;  // what the entry "TRUCK" gives for its first image
    std::function<ExtractionResult(ModuleContext&, AZP::State&)> extract;
    std::function<void(ModuleContext&)> rebuild;
};

std::vector<Kind> Kinds()
{
    const auto picture = [](int variant, int32_t width) { return Solid(width, 2, Rgb555(variant * 9 % 32, 3, 7)); };
    return {
        {"gadget", ".GDG",
         [=](int variant, const std::string& first, const std::string& second) {
             return BuildGadgetFile(1, {{first, 0, {picture(variant, 3), picture(variant + 1, 2)}},
                                        {second, 5, {picture(variant + 2, 4)}}});
         },
         "TRUCK_000.tga", [](ModuleContext& c, AZP::State&) { return GDG::ExtractAll(c); },
         [](ModuleContext& c) { GDG::Rebuild(c); }},
        {"screen", ".PIX",
         [=](int variant, const std::string& first, const std::string& second) {
             return BuildScreenFile(2, {{first, picture(variant, 3)}, {second, picture(variant + 1, 5)}});
         },
         "TRUCK.tga", [](ModuleContext& c, AZP::State&) { return PIX::ExtractAll(c); },
         [](ModuleContext& c) { PIX::Rebuild(c); }},
        {"vehicle", ".AZP",
         [=](int variant, const std::string& first, const std::string& second) {
             VehicleEntry car{first, 1, false, {}, {}};
             for (int32_t j = 0; j < 17; ++j)
                 car.slots.push_back({picture(variant + j, 2 + j % 3), {j, 0, 1, 2}});
             VehicleEntry shadow{second, 0, true, {}, {}};
             shadow.frames.push_back(EncodeShadow({{variant % 2 == 0, true}, {false, true}}, {1, 2}));
             return BuildVehicleFile({car, shadow});
         },
         "TRUCK_000.tga", [](ModuleContext& c, AZP::State& state) { return AZP::ExtractAll(c, state); },
         [](ModuleContext& c) { AZP::Rebuild(c); }},
    };
}

// How many operations that change a file or a folder a run made.
int Changes(const FaultyFileSystem& files)
{
    int changes = 0;
    for (FileOperation operation : {FileOperation::Create, FileOperation::Write, FileOperation::Sync,
                                    FileOperation::Rename, FileOperation::Remove, FileOperation::SyncFolder,
                                    FileOperation::SetAccess, FileOperation::Link})
        changes += files.Count(operation);
    return changes;
}

class WorkKept : public ModuleFixture {
public:
    // Writes the container under `title` and makes it the chosen one.
    void Put(const Kind& kind, const std::string& title, int variant, const std::string& first = "TRUCK",
             const std::string& second = "TANK")
    {
        Choose(kind.build(variant, first, second), title + kind.extension);
    }

    ExtractionResult Extract(const Kind& kind, FileSystem& files = RealFileSystem())
    {
        ModuleContext c{image, container, folder.path(), window, files};
        AZP::State state;
        return kind.extract(c, state);
    }

    void Rebuild(const Kind& kind, FileSystem& files = RealFileSystem(), RebuildOptions options = {})
    {
        ModuleContext c{image, container, folder.path(), window, files};
        c.rebuild = options;
        kind.rebuild(c);
    }

    RebuildReport DryRun(const Kind& kind, FileSystem& files = RealFileSystem())
    {
        RebuildReport report;
        Rebuild(kind, files, {.dryRun = true, .keepBackup = false, .report = &report});
        return report;
    }
};

TEST_F(WorkKept, ExtractingTwiceWritesNothingTheSecondTime)
{
    for (const Kind& kind : Kinds()) {
        SCOPED_TRACE(kind.name);
        EmptyFolder();
        Put(kind, "UNITS", 0);
        const ExtractionResult first = Extract(kind);
        const auto extracted = Snapshot();
        FaultyFileSystem counted;
        const ExtractionResult second = Extract(kind, counted);
        EXPECT_TRUE(second.done);
        EXPECT_EQ(second.images, first.images);
        EXPECT_EQ(second.alreadyThere, first.images);
        EXPECT_EQ(Changes(counted), 0);
        EXPECT_TRUE(Snapshot() == extracted);
        EXPECT_TRUE(window.overwriteQuestions.empty());
    }
}

// An edited image, or another container's files of the same names: the
// question lists them, and without consent nothing at all is written.
TEST_F(WorkKept, ExtractionAsksBeforeOverwritingAFileThatDiffers)
{
    for (const Kind& kind : Kinds()) {
        SCOPED_TRACE(kind.name);
        EmptyFolder();
        window.overwriteQuestions.clear();
        Put(kind, "UNITS", 0);
        Extract(kind);
        // The edit is saved under another letter case, as some editors do.
        fs::rename(folder / kind.firstImageFile, folder / ToUpper(kind.firstImageFile));
        WriteTGA(RealFileSystem(), folder / ToUpper(kind.firstImageFile), ImageBuffer{1, 1, {9, 0}});
        const auto edited = Snapshot();

        window.overwrite = false;
        EXPECT_FALSE(Extract(kind).done);
        ASSERT_EQ(window.overwriteQuestions.size(), 1u);
        EXPECT_EQ(window.overwriteQuestions[0].files, std::vector<std::string>{ToUpper(kind.firstImageFile)});
        EXPECT_EQ(window.overwriteQuestions[0].folder, folder.path());
        EXPECT_TRUE(Snapshot() == edited);

        window.overwrite = true;
        EXPECT_TRUE(Extract(kind).done);
        EXPECT_FALSE(fs::exists(folder / kind.firstImageFile)) << "the file there was rewritten, not joined";
        EXPECT_NE(ReadBytes(folder / ToUpper(kind.firstImageFile)), edited[0].second);
        window.overwrite = false;
    }
}

TEST_F(WorkKept, TwoContainersExtractedIntoOneFolderDoNotMix)
{
    for (const Kind& kind : Kinds()) {
        SCOPED_TRACE(kind.name);
        EmptyFolder();
        window.overwriteQuestions.clear();
        Put(kind, "UNITS", 0);
        Extract(kind);
        Put(kind, "ITEMS", 1);
        const auto before = Snapshot();
        EXPECT_FALSE(Extract(kind).done) << "ITEMS' images of TRUCK would replace UNITS' ones";
        ASSERT_EQ(window.overwriteQuestions.size(), 1u);
        EXPECT_NE(std::find(window.overwriteQuestions[0].files.begin(), window.overwriteQuestions[0].files.end(),
                            kind.firstImageFile),
                  window.overwriteQuestions[0].files.end());
        EXPECT_TRUE(Snapshot() == before);
    }
}

// The manifest beside a gadget or screen file may be another container's:
// its line 1 says whose it is.
TEST_F(WorkKept, AManifestOfAnotherContainerIsRefused)
{
    for (const Kind& kind : Kinds()) {
        if (kind.name == "vehicle")
            continue;  // its manifest is named for its own container
        SCOPED_TRACE(kind.name);
        EmptyFolder();
        Put(kind, "ITEMS", 1);
        window.overwrite = true;
        Extract(kind);
        window.overwrite = false;
        const std::string manifest = kind.name == "gadget" ? "EXTRACT.DAT" : "UNITS.PIX.DAT";
        if (kind.name == "screen")
            fs::rename(folder / "ITEMS.PIX.DAT", folder / manifest);
        Put(kind, "UNITS", 0);
        const auto before = Snapshot();
        const std::string error = ErrorOf([&] { Rebuild(kind); });
        EXPECT_NE(error.find(manifest + " in " + folder.path().string() + " was written for ITEMS" + kind.extension +
                             ", not UNITS" + kind.extension),
                  std::string::npos)
            << error;
        EXPECT_TRUE(Snapshot() == before);

        // Letter case aside, line 1 names this container: it is rebuilt
        // under its own name.
        std::string text = ReadText(folder / manifest);
        text.replace(0, 5, "units");
        WriteText(folder / manifest, text);
        Rebuild(kind);
        EXPECT_FALSE(fs::exists(folder / ("units" + kind.extension)));
        EXPECT_EQ(ReadBytes(container.FileName), kind.build(1, "TRUCK", "TANK"));
    }
}

TEST_F(WorkKept, NamesEqualIgnoringCaseAreRefusedBeforeAnythingIsWritten)
{
    for (const Kind& kind : Kinds()) {
        SCOPED_TRACE(kind.name);
        EmptyFolder();
        Put(kind, "UNITS", 0, "Tree", "TREE");
        const std::string error = ErrorOf([&] { Extract(kind); });
        EXPECT_NE(error.find("entry 1 (\"Tree\") and entry 2 (\"TREE\") have names that are equal ignoring letter "
                             "case"),
                  std::string::npos)
            << error;
        EXPECT_EQ(folder.Names(), std::vector<std::string>{"UNITS" + kind.extension});
    }
}

// A full disk part-way: the files the extraction created go, those that
// were there with the same bytes stay, and nothing else changes.
TEST_F(WorkKept, AFailedExtractionRemovesOnlyTheFilesItCreated)
{
    for (const Kind& kind : Kinds()) {
        for (const bool oneWasThere : {false, true}) {
            SCOPED_TRACE(kind.name + (oneWasThere ? ", one file already there" : ""));
            EmptyFolder();
            Put(kind, "UNITS", 0);
            if (oneWasThere) {
                Extract(kind);
                for (const auto& name : folder.Names())
                    if (name != kind.firstImageFile && name != container.FileTitle)
                        fs::remove(folder / name);
            }
            const auto before = Snapshot();
            FaultyFileSystem full;
            full.FailAt(FileOperation::Write, 2, ENOSPC);
            const std::string error = ErrorOf([&] { Extract(kind, full); });
            EXPECT_NE(error.find(std::strerror(ENOSPC)), std::string::npos) << error;
            EXPECT_NE(error.find("removed the"), std::string::npos) << error;
            EXPECT_TRUE(Snapshot() == before);
        }
    }
}

// A dry run reads what a rebuild reads and writes nothing; what it says
// each image becomes is what the rebuild then makes of it.
TEST_F(WorkKept, ADryRunWritesNothingAndForetellsTheRebuild)
{
    for (const Kind& kind : Kinds()) {
        SCOPED_TRACE(kind.name);
        EmptyFolder();
        Put(kind, "UNITS", 0);
        Extract(kind);
        WriteTGA(RealFileSystem(), folder / kind.firstImageFile, ImageBuffer{2, 1, {0xFF, 0x7F, 0, 0}});
        const auto before = Snapshot();
        FaultyFileSystem counted;
        const RebuildReport foretold = DryRun(kind, counted);
        EXPECT_EQ(Changes(counted), 0);
        EXPECT_TRUE(Snapshot() == before);
        ASSERT_TRUE(foretold.done) << foretold.Text();
        ASSERT_FALSE(foretold.entries.empty());
        const ImageReport& edited = foretold.entries[0].images[0];
        EXPECT_EQ(edited.change, ImageReport::Change::Changed);
        EXPECT_EQ(edited.file, kind.firstImageFile);
        EXPECT_EQ(foretold.Text().substr(foretold.Text().rfind("The rebuild")), "The rebuild would succeed.\n");

        Rebuild(kind);
        EXPECT_EQ(static_cast<int64_t>(ReadBytes(container.FileName).size()), foretold.newSize);
        Extract(kind);
        const RebuildReport after = DryRun(kind);
        ASSERT_EQ(after.entries.size(), foretold.entries.size());
        for (size_t i = 0; i < after.entries.size(); ++i) {
            ASSERT_EQ(after.entries[i].images.size(), foretold.entries[i].images.size());
            for (size_t k = 0; k < after.entries[i].images.size(); ++k) {
                const ImageReport& now = after.entries[i].images[k];
                EXPECT_EQ(now.change, ImageReport::Change::Unchanged);
                EXPECT_EQ(now.width, foretold.entries[i].images[k].width);
                EXPECT_EQ(now.height, foretold.entries[i].images[k].height);
            }
        }
    }
}

TEST_F(WorkKept, ADryRunReportsTheRefusalTheRebuildWouldMeet)
{
    for (const Kind& kind : Kinds()) {
        SCOPED_TRACE(kind.name);
        EmptyFolder();
        Put(kind, "UNITS", 0);
        Extract(kind);
        fs::remove(folder / kind.firstImageFile);
        fs::create_directory(folder / kind.firstImageFile);
        const auto before = Snapshot();
        RebuildReport report;
        const std::string error = ErrorOf([&] { report = DryRun(kind); });
        EXPECT_NE(error, "no error");
        EXPECT_NE(error.find(kind.firstImageFile), std::string::npos) << error;
        EXPECT_TRUE(Snapshot() == before);
    }
}

}  // namespace
}  // namespace Brimwork::Testing
