#pragma once

// The containers the benchmarks work on, made in code so that every run
// makes the same files, the folders they are copied into, and the
// statistics they print.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "samples/sample_containers.h"

namespace Brimwork::BenchWork {

// A small generator, so that every run makes the same files.
class Random {
public:
    explicit Random(uint32_t seed) : state_(seed) {}
    uint32_t Next()
    {
        state_ = state_ * 1664525u + 1013904223u;
        return state_ >> 8;
    }
    int32_t Between(int32_t low, int32_t high) { return low + static_cast<int32_t>(Next() % uint32_t(high - low + 1)); }

private:
    uint32_t state_;
};

inline Samples::Picture Noise(int32_t width, int32_t height, Random& random)
{
    Samples::Picture picture{width, height, {}};
    picture.pixels.resize(size_t(width) * size_t(height));
    const uint16_t base = static_cast<uint16_t>(random.Next() & 0x7FFF);
    for (size_t i = 0; i < picture.pixels.size(); ++i)
        picture.pixels[i] = static_cast<uint16_t>((base + i * 37 + (i / size_t(width)) * 11) & 0x7FFF);
    return picture;
}

inline std::string EntryName(const char* stem, int index)
{
    char name[32];
    std::snprintf(name, sizeof name, "%s%05d", stem, index);
    return name;
}

struct Workload {
    std::string key;          // "W1"
    std::string description;  // what the table shows
    std::string fileName;     // the container's name
    std::function<std::vector<uint8_t>()> build;
    int64_t largestImageBytes = 0;
};

inline Workload GadgetGrid(std::string key, std::string description, int entries, int images, int32_t width,
                           int32_t height)
{
    Workload w{std::move(key), std::move(description), "UNITS.GDG", {}, int64_t{width} * height * 2};
    w.build = [=] {
        Random random(7);
        std::vector<Samples::GadgetEntry> list;
        for (int e = 0; e < entries; ++e) {
            Samples::GadgetEntry entry{EntryName("UNIT", e), e, {}};
            for (int k = 0; k < images; ++k)
                entry.images.push_back(Noise(width, height, random));
            list.push_back(std::move(entry));
        }
        return Samples::BuildGadgetFile(1, list);
    };
    return w;
}

inline Workload GadgetUnits() { return GadgetGrid("W1", "gadget: 400 entries x 25 images of 48x40", 400, 25, 48, 40); }

inline Workload Screens()
{
    Workload screens{"W2", "screen: 40 screens of 1024x768", "SCREENS.PIX", {}, 1024 * 768 * 2};
    screens.build = [] {
        Random random(11);
        std::vector<Samples::ScreenEntry> list;
        for (int s = 0; s < 40; ++s)
            list.push_back({EntryName("SCREEN", s), Noise(1024, 768, random)});
        return Samples::BuildScreenFile(2, list);
    };
    return screens;
}

inline Workload MixedGadgets()
{
    Workload mixed{"W3", "gadget: 100 entries x 10 images of 16-320 x 16-240", "MIXED.GDG", {}, 320 * 240 * 2};
    mixed.build = [] {
        Random random(13);
        std::vector<Samples::GadgetEntry> list;
        for (int e = 0; e < 100; ++e) {
            Samples::GadgetEntry entry{EntryName("ITEM", e), -e, {}};
            for (int k = 0; k < 10; ++k)
                entry.images.push_back(Noise(random.Between(16, 320), random.Between(16, 240), random));
            list.push_back(std::move(entry));
        }
        return Samples::BuildGadgetFile(3, list);
    };
    return mixed;
}

inline Workload Vehicles()
{
    Workload vehicles{"W4", "vehicle: 20 vehicles + 4 shadows x 2,000 frames", "CARS.AZP", {}, 96 * 72 * 2};
    vehicles.build = [] {
        Random random(17);
        std::vector<Samples::VehicleEntry> list;
        for (int v = 0; v < 20; ++v) {
            Samples::VehicleEntry car{EntryName("car", v), v, false, {}, {}};
            for (int32_t j = 0; j < 17; ++j)
                car.slots.push_back({Noise(random.Between(32, 96), random.Between(24, 72), random), {j, -j, 2 * j, 3}});
            list.push_back(std::move(car));
        }
        for (int s = 0; s < 4; ++s) {
            Samples::VehicleEntry shadow{EntryName("shadow", s), 0, true, {}, {}};
            for (int f = 0; f < 2000; ++f) {
                std::vector<std::vector<bool>> rows(24, std::vector<bool>(32));
                for (int y = 0; y < 24; ++y)
                    for (int x = 0; x < 32; ++x)
                        rows[size_t(y)][size_t(x)] = ((x + f) / 4 + y / 3 + s) % 3 != 0;
                shadow.frames.push_back(Samples::EncodeShadow(rows, {int16_t(f % 50), int16_t(-s)}));
            }
            list.push_back(std::move(shadow));
        }
        return Samples::BuildVehicleFile(list);
    };
    return vehicles;
}

// W1 to W4, in order.
inline std::vector<Workload> Workloads() { return {GadgetUnits(), Screens(), MixedGadgets(), Vehicles()}; }

inline double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// A fresh folder of a new name under `runs` holding copies of `names` from `from`.
inline std::filesystem::path FreshCopy(const std::filesystem::path& from, const std::vector<std::string>& names,
                                       const std::filesystem::path& runs)
{
    static int made = 0;
    const std::filesystem::path to = runs / ("run" + std::to_string(++made));
    std::filesystem::remove_all(to);
    std::filesystem::create_directories(to);
    for (const auto& name : names)
        std::filesystem::copy_file(from / name, to / name);
    return to;
}

// The first line a shell command prints, without its line end.
inline std::string FirstLineOf(const std::string& command)
{
    std::string text;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[256];
        if (std::fgets(buffer, sizeof buffer, pipe))
            text = buffer;
        ::pclose(pipe);
    }
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text;
}

}  // namespace Brimwork::BenchWork
