#pragma once

#include <array>
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

// One image slot of a vehicle entry.
struct VehicleSlot {
    Picture image;  // width or height 0: a slot without pixels
    std::array<int32_t, 4> hotspot{};
};

// One run-length coded shadow frame, as stored.
struct ShadowFrame {
    int16_t width = 0;
    int16_t height = 0;
    std::array<int16_t, 2> hotspot{};
    std::vector<int16_t> rowOffsets;
    std::vector<uint8_t> data;
};

struct VehicleEntry {
    std::string name;
    int32_t value = 0;
    bool shadow = false;
    std::vector<VehicleSlot> slots;    // vehicle entries: exactly 17
    std::vector<ShadowFrame> frames;   // shadow entries
};

// A vehicle file: the count, the entry table, then each entry's record
// (a vehicle record followed by its slots' pixels, or a shadow record
// followed by its frames).
std::vector<uint8_t> BuildVehicleFile(const std::vector<VehicleEntry>& entries);

// A shadow frame from a picture of white (true) and black pixels, coded
// with white and black runs, white to the end of a row and all-white rows.
ShadowFrame EncodeShadow(const std::vector<std::vector<bool>>& whiteRows, std::array<int16_t, 2> hotspot = {});

// The bundled sample vehicle file's entries.
std::vector<VehicleEntry> SampleVehicleEntries();

// The bundled sample gadget file's entries.
std::vector<GadgetEntry> SampleGadgetEntries();

// Writes the bundled sample containers into `folder` (created if needed)
// and returns their paths.
std::vector<std::filesystem::path> WriteSampleContainers(const std::filesystem::path& folder);

void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadBytes(const std::filesystem::path& path);

}  // namespace Brimwork::Samples
