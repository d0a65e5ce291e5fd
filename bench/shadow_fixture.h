#pragma once

#include <vector>

#include "samples/sample_containers.h"

namespace Brimwork::BenchFixtures {

// A shadow entry of `frames` frames of 32 x 24 pixels in moving diagonal
// bands, so that every frame has runs of both colours.
inline Samples::VehicleEntry BandedShadow(int frames)
{
    Samples::VehicleEntry entry{"SHADOW", 0, true, {}, {}};
    for (int f = 0; f < frames; ++f) {
        std::vector<std::vector<bool>> rows;
        for (int y = 0; y < 24; ++y) {
            std::vector<bool> row;
            for (int x = 0; x < 32; ++x)
                row.push_back(((x + f) / 4 + y / 3) % 3 != 0);
            rows.push_back(row);
        }
        entry.frames.push_back(Samples::EncodeShadow(rows));
    }
    return entry;
}

}  // namespace Brimwork::BenchFixtures
