#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// Containers made in code, from the formats as written: the samples that
// scripts/run shows and the fixtures of the tests.
namespace Brimwork::Samples {

// A picture of 5-5-5 words in packed rows, top row first.
struct Picture {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint16_t> pixels;

    // The packed little-endian bytes, as containers and TGA files hold them.
    std::vector<uint8_t> Bytes() const;
};

uint16_t Rgb555(int red, int green, int blue);  // each 0..31
Picture Gradient(int32_t width, int32_t height);  // red across, green down
Picture Disc(int32_t width, int32_t height, uint16_t colour, uint16_t background);
Picture Stripes(int32_t width, int32_t height);
Picture Solid(int32_t width, int32_t height, uint16_t colour);

struct GadgetEntry {
    std::string name;  // written into the 32-byte field as it stands
    int32_t value = 0;
    std::vector<Picture> images;
};

// A gadget file laid out as a rebuild lays it out: header, entry table,
// then each entry's image-header table followed by its pixel data.
std::vector<uint8_t> BuildGadgetFile(int32_t headerValue, const std::vector<GadgetEntry>& entries);

struct ScreenEntry {
    std::string name;
    Picture image;
};

// A screen file laid out as a rebuild lays it out: header, entry table,
// then the pixel data back to back in table order.
std::vector<uint8_t> BuildScreenFile(int32_t headerValue, const std::vector<ScreenEntry>& entries);

// The bundled sample screen file's entries.
std::vector<ScreenEntry> SampleScreenEntries();

// The bundled sample gadget file's entries.
std::vector<GadgetEntry> SampleGadgetEntries();

// Writes the bundled sample containers into `folder` (created if needed)
// and returns their paths.
std::vector<std::filesystem::path> WriteSampleContainers(const std::filesystem::path& folder);

void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadBytes(const std::filesystem::path& path);

}  // namespace Brimwork::Samples
