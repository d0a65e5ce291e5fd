// How many file operations extraction and rebuild cost, counted through
// the fault-injecting file system: a small and a ten times larger
// container of each kind are run, and what the larger one adds must be
// exactly one open (and for gadget and screen files one read) per extra TGA
// file, one create and one write per extra extracted image, and no extra
// folder listing or lookup. A return to a lookup or a reopening per file,
// or to a pass over the folder per entry, shows here without a clock.

#include <gtest/gtest.h>

#include <functional>

#include "core/context.h"
#include "io/files.h"
#include "gadget/gadget.h"
#include "image/image_buffer.h"
#include "samples/sample_containers.h"
#include "screen/screen.h"
#include "testing/faulty_files.h"
#include "tests/support/test_support.h"
#include "vehicle/vehicle.h"

namespace Brimwork::Testing {
namespace {

using namespace Samples;

struct Kind {
    std::string name;
    std::string fileName;
    // The container with `scale` units of entries, and how many TGA files
    // its extraction writes.
    std::function<std::pair<std::vector<uint8_t>, int>(int scale)> build;
    std::function<void(ModuleContext&, AZP::State&)> extract;
    std::function<void(ModuleContext&)> rebuild;
    bool oneReadPerTga;
};

std::vector<Kind> Kinds()
{
    return {
        {"gadget", "UNITS.GDG",
         [](int scale) {
             std::vector<GadgetEntry> entries;
             for (int e = 0; e < 2 * scale; ++e)
                 entries.push_back({"UNIT" + std::to_string(e), e, {Gradient(3, 2), Solid(1, 4, 7), Stripes(5, 1)}});
             entries.push_back({"UNIT1_X", 0, {Solid(2, 2, 1)}});  // shares a prefix with UNIT1
             return std::pair{BuildGadgetFile(1, entries), 6 * scale + 1};
         },
         [](ModuleContext& c, AZP::State&) { GDG::ExtractAll(c); }, [](ModuleContext& c) { GDG::Rebuild(c); },
         true},
        {"screen", "SCREENS.PIX",
         [](int scale) {
             std::vector<ScreenEntry> entries;
             for (int s = 0; s < 3 * scale; ++s)
                 entries.push_back({"SCREEN" + std::to_string(s), Gradient(4 + s % 3, 3)});
             return std::pair{BuildScreenFile(2, entries), 3 * scale};
         },
         [](ModuleContext& c, AZP::State&) { PIX::ExtractAll(c); }, [](ModuleContext& c) { PIX::Rebuild(c); },
         true},
        {"vehicle", "CARS.AZP",
         [](int scale) {
             std::vector<VehicleEntry> entries;
             VehicleEntry car{"car", 1, false, {}, {}};
             for (int32_t j = 0; j < 17; ++j)
                 car.slots.push_back({Gradient(2 + j % 3, 2), {j, 0, 1, 2}});
             entries.push_back(car);
             VehicleEntry shadow{"car_s", 0, true, {}, {}};
             for (int f = 0; f < 5 * scale; ++f)
                 shadow.frames.push_back(EncodeShadow({{f % 2 == 0, true}, {false, true}}, {int16_t(f), 1}));
             entries.push_back(shadow);
             return std::pair{BuildVehicleFile(entries), 17 + 5 * scale};
         },
         [](ModuleContext& c, AZP::State& state) { AZP::ExtractAll(c, state); },
         [](ModuleContext& c) { AZP::Rebuild(c); }, false},
    };
}

struct Counts {
    FaultyFileSystem extraction;
    FaultyFileSystem rebuild;
    int tgaFiles = 0;
};

Counts RunBoth(const Kind& kind, int scale)
{
    TempFolder folder;
    const auto [bytes, tgaFiles] = kind.build(scale);
    WriteBytes(folder / kind.fileName, bytes);
    RecordingWindow window;
    ImageBuffer image;
    AZP::State state;
    const ChosenContainer container{folder / kind.fileName, kind.fileName};
    Counts counts;
    counts.tgaFiles = tgaFiles;
    ModuleContext extraction{image, container, folder.path(), window, counts.extraction};
    kind.extract(extraction, state);
    EXPECT_EQ(static_cast<int>(folder.Names().size()), tgaFiles + 2);
    ModuleContext rebuild{image, container, folder.path(), window, counts.rebuild};
    kind.rebuild(rebuild);
    EXPECT_EQ(folder.Names(), std::vector<std::string>{kind.fileName});
    EXPECT_EQ(ReadBytes(folder / kind.fileName), bytes);
    EXPECT_TRUE(window.messages.empty()) << window.messages.front().text;
    return counts;
}

TEST(OperationCounts, EachFileCostsOneOpenAndNoLookupOrListingOfItsOwn)
{
    for (const Kind& kind : Kinds()) {
        SCOPED_TRACE(kind.name);
        const Counts small = RunBoth(kind, 3);
        const Counts large = RunBoth(kind, 30);
        const int moreFiles = large.tgaFiles - small.tgaFiles;
        const auto added = [](const FaultyFileSystem& a, const FaultyFileSystem& b, FileOperation operation) {
            return b.Count(operation) - a.Count(operation);
        };

        // Extraction: the container is opened once and each image is one
        // create, one write and one close.
        EXPECT_EQ(large.extraction.Count(FileOperation::OpenForReading), 1);
        EXPECT_EQ(added(small.extraction, large.extraction, FileOperation::Create), moreFiles);
        EXPECT_EQ(added(small.extraction, large.extraction, FileOperation::Write), moreFiles);
        EXPECT_EQ(added(small.extraction, large.extraction, FileOperation::Lookup), 0);
        EXPECT_LE(large.extraction.Count(FileOperation::List), 1);

        // Rebuild: one listing, one open per TGA file, no lookup per file;
        // the container goes out in a few large writes.
        EXPECT_EQ(large.rebuild.Count(FileOperation::List), 1);
        EXPECT_EQ(added(small.rebuild, large.rebuild, FileOperation::OpenForReading), moreFiles);
        EXPECT_EQ(added(small.rebuild, large.rebuild, FileOperation::Lookup), 0);
        EXPECT_EQ(added(small.rebuild, large.rebuild, FileOperation::Write), 0);
        if (kind.oneReadPerTga) {
            EXPECT_EQ(added(small.rebuild, large.rebuild, FileOperation::Read), moreFiles);
        }
    }
}

}  // namespace
}  // namespace Brimwork::Testing
