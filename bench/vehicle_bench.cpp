// Measures shadow-frame extraction and stepping against reading every frame
// from the start of its entry, the way a frame-by-frame reading without an
// index would. Prints medians over several runs and their ratios.
//
//   brimwork-bench [--quick]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <unistd.h>

#include "core/context.h"
#include "io/files.h"
#include "bench/shadow_fixture.h"
#include "core/window.h"
#include "image/image_buffer.h"
#include "samples/sample_containers.h"
#include "vehicle/vehicle.h"

namespace {

namespace fs = std::filesystem;
using namespace Brimwork;
using Clock = std::chrono::steady_clock;

struct Bench {
    fs::path folder;
    ChosenContainer container;
    ImageBuffer image;
    SilentWindow window;

    ModuleContext Context() { return ModuleContext{image, container, folder, window, RealFileSystem()}; }
};

double MedianMilliseconds(int runs, const std::function<void()>& work)
{
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        const auto start = Clock::now();
        work();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void Extraction(Bench& bench, const std::vector<int>& frameCounts, int runs)
{
    std::printf("Extraction of one shadow entry (median of %d runs)\n", runs);
    std::printf("%8s %14s %14s %12s %12s %8s\n", "frames", "indexed ms", "from-start ms", "indexed/f us",
                "start/f us", "ratio");
    for (int frames : frameCounts) {
        Samples::WriteBytes(bench.container.FileName,
                            Samples::BuildVehicleFile({Brimwork::BenchFixtures::BandedShadow(frames)}));
        const double indexed = MedianMilliseconds(runs, [&] {
            AZP::State state;
            auto context = bench.Context();
            AZP::ExtractAll(context, state);
        });
        const double fromStart = MedianMilliseconds(runs, [&] {
            for (int f = 0; f < frames; ++f) {
                AZP::State fresh;  // no index: frames 0 to f are read again
                auto context = bench.Context();
                int32_t index = f;
                AZP::ExtractImage(context, fresh, 0, index, "SHADOW_" + std::to_string(f));
            }
        });
        std::printf("%8d %14.1f %14.1f %12.2f %12.2f %8.1f\n", frames, indexed, fromStart, 1000 * indexed / frames,
                    1000 * fromStart / frames, fromStart / indexed);
    }
}

void Stepping(Bench& bench, int frames, int runs)
{
    Samples::WriteBytes(bench.container.FileName,
                            Samples::BuildVehicleFile({Brimwork::BenchFixtures::BandedShadow(frames)}));
    std::printf("\n\"Next Image\" through a %d-frame shadow entry (median of %d steps)\n", frames, runs);
    std::printf("%8s %14s %14s %8s\n", "frame", "indexed us", "from-start us", "ratio");
    for (int frame : {1, frames / 2, frames - 1}) {
        AZP::State state;
        auto context = bench.Context();
        int32_t previous = frame - 1;
        AZP::LoadImage(context, state, 0, previous);
        const double indexed = MedianMilliseconds(runs, [&] {
            int32_t index = frame;
            AZP::LoadImage(context, state, 0, index);
        });
        const double fromStart = MedianMilliseconds(runs, [&] {
            AZP::State fresh;
            int32_t index = frame;
            AZP::LoadImage(context, fresh, 0, index);
        });
        std::printf("%8d %14.1f %14.1f %8.1f\n", frame, 1000 * indexed, 1000 * fromStart, fromStart / indexed);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    Bench bench;
    // In memory where the machine has it, so that the disk's own delays do
    // not drown what is measured.
    const fs::path scratch = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    bench.folder = scratch / ("brimwork-bench-" + std::to_string(::getpid()));
    fs::create_directories(bench.folder);
    bench.container = {bench.folder / "BENCH.AZP", "BENCH.AZP"};
    try {
        Extraction(bench, quick ? std::vector<int>{100, 200} : std::vector<int>{250, 500, 1000, 2000}, quick ? 3 : 5);
        Stepping(bench, 2000, quick ? 5 : 21);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "brimwork-bench: %s\n", error.what());
        fs::remove_all(bench.folder);
        return 1;
    }
    fs::remove_all(bench.folder);
    return 0;
}
