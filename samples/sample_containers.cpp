#include "samples/sample_containers.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "core/bytes.h"

namespace Brimwork::Samples {

namespace fs = std::filesystem;

std::vector<uint8_t> Picture::Bytes() const
{
    std::vector<uint8_t> bytes;
    bytes.reserve(pixels.size() * 2);
    for (uint16_t pixel : pixels) {
        bytes.push_back(static_cast<uint8_t>(pixel));
        bytes.push_back(static_cast<uint8_t>(pixel >> 8));
    }
    return bytes;
}

uint16_t Rgb555(int red, int green, int blue)
{
    return static_cast<uint16_t>((red & 31) << 10 | (green & 31) << 5 | (blue & 31));
}

namespace {

template <typename PixelAt>
Picture Paint(int32_t width, int32_t height, PixelAt pixelAt)
{
    Picture picture{width, height, {}};
    picture.pixels.reserve(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            picture.pixels.push_back(pixelAt(x, y));
    return picture;
}

int Scale(int32_t value, int32_t range) { return range <= 1 ? 0 : value * 31 / (range - 1); }

}  // namespace

Picture Gradient(int32_t width, int32_t height)
{
    return Paint(width, height, [&](int32_t x, int32_t y) { return Rgb555(Scale(x, width), Scale(y, height), 8); });
}

Picture Disc(int32_t width, int32_t height, uint16_t colour, uint16_t background)
{
    const double cx = (width - 1) / 2.0;
    const double cy = (height - 1) / 2.0;
    const double radius = std::min(width, height) / 2.0 - 0.5;
    return Paint(width, height, [&](int32_t x, int32_t y) {
        return std::hypot(x - cx, y - cy) <= radius ? colour : background;
    });
}

Picture Stripes(int32_t width, int32_t height)
{
    return Paint(width, height, [](int32_t x, int32_t) {
        static const uint16_t colours[] = {Rgb555(31, 0, 0), Rgb555(0, 31, 0), Rgb555(0, 0, 31), Rgb555(31, 31, 31)};
        return colours[(x / 4) % 4];
    });
}

Picture Solid(int32_t width, int32_t height, uint16_t colour)
{
    return Paint(width, height, [=](int32_t, int32_t) { return colour; });
}

std::vector<uint8_t> BuildGadgetFile(int32_t headerValue, const std::vector<GadgetEntry>& entries)
{
    std::vector<uint8_t> file;
    Bytes::AppendText(file, 4, "GADG");
    Bytes::AppendInt32(file, headerValue);
    Bytes::AppendInt32(file, static_cast<int32_t>(entries.size()));
    const size_t tableStart = file.size();
    file.resize(tableStart + 44 * entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        const GadgetEntry& entry = entries[i];
        const auto tableOffset = static_cast<int32_t>(file.size());
        const size_t record = tableStart + 44 * i;
        Bytes::PutText(file, record, 32, entry.name);
        Bytes::PutInt32(file, record + 32, entry.value);
        Bytes::PutInt32(file, record + 36, static_cast<int32_t>(entry.images.size()));
        Bytes::PutInt32(file, record + 40, tableOffset);
        auto dataOffset = static_cast<int32_t>(tableOffset + 16 * entry.images.size());
        for (const Picture& image : entry.images) {
            const int32_t dataSize = image.width * image.height * 2;
            Bytes::AppendInt32(file, image.width);
            Bytes::AppendInt32(file, image.height);
            Bytes::AppendInt32(file, dataSize);
            Bytes::AppendInt32(file, dataOffset);
            dataOffset += dataSize;
        }
        for (const Picture& image : entry.images) {
            const auto bytes = image.Bytes();
            file.insert(file.end(), bytes.begin(), bytes.end());
        }
    }
    return file;
}

std::vector<uint8_t> BuildScreenFile(int32_t headerValue, const std::vector<ScreenEntry>& entries)
{
    std::vector<uint8_t> file;
    Bytes::AppendText(file, 4, "PICS");
    Bytes::AppendInt32(file, headerValue);
    Bytes::AppendInt32(file, static_cast<int32_t>(entries.size()));
    auto dataOffset = static_cast<int32_t>(12 + 48 * entries.size());
    for (const ScreenEntry& entry : entries) {
        const int32_t dataSize = entry.image.width * entry.image.height * 2;
        Bytes::AppendText(file, 32, entry.name);
        Bytes::AppendInt32(file, entry.image.width);
        Bytes::AppendInt32(file, entry.image.height);
        Bytes::AppendInt32(file, dataSize);
        Bytes::AppendInt32(file, dataOffset);
        dataOffset += dataSize;
    }
    for (const ScreenEntry& entry : entries) {
        const auto bytes = entry.image.Bytes();
        file.insert(file.end(), bytes.begin(), bytes.end());
    }
    return file;
}

std::vector<ScreenEntry> SampleScreenEntries()
{
    return {
        {"TITLE", Gradient(320, 200)},
        {"MENU", Disc(160, 120, Rgb555(31, 31, 0), Rgb555(0, 0, 12))},
        {"BANNER", Stripes(201, 33)},
    };
}

namespace {

constexpr size_t VehicleRecordSize = 484;

void AppendVehicleRecord(std::vector<uint8_t>& file, const VehicleEntry& entry)
{
    const size_t record = file.size();
    file.resize(record + VehicleRecordSize, 0);
    Bytes::PutText(file, record, 4, "VHCL");
    Bytes::PutInt32(file, record + 4, entry.value);
    int32_t pixelOffset = 0;
    for (size_t j = 0; j < entry.slots.size(); ++j) {
        const VehicleSlot& slot = entry.slots[j];
        for (size_t k = 0; k < 4; ++k)
            Bytes::PutInt32(file, record + 8 + 16 * j + 4 * k, slot.hotspot[k]);
        Bytes::PutInt32(file, record + 280 + 8 * j, slot.image.width);
        Bytes::PutInt32(file, record + 284 + 8 * j, slot.image.height);
        Bytes::PutInt32(file, record + 416 + 4 * j, pixelOffset);
        const auto bytes = slot.image.Bytes();
        file.insert(file.end(), bytes.begin(), bytes.end());
        pixelOffset += static_cast<int32_t>(bytes.size());
    }
}

void AppendShadowRecord(std::vector<uint8_t>& file, const VehicleEntry& entry)
{
    Bytes::AppendText(file, 4, "IRPS");
    Bytes::AppendInt32(file, entry.value);
    const int16_t header[6] = {0, static_cast<int16_t>(entry.frames.size()), 0, 0, 0, 0};
    for (int16_t value : header)
        Bytes::AppendInt16(file, value);
    for (const ShadowFrame& frame : entry.frames) {
        Bytes::AppendInt16(file, frame.width);
        Bytes::AppendInt16(file, frame.height);
        Bytes::AppendInt16(file, frame.hotspot[0]);
        Bytes::AppendInt16(file, frame.hotspot[1]);
        Bytes::AppendInt32(file, static_cast<int32_t>(2 * frame.rowOffsets.size() + frame.data.size()));
        for (int16_t offset : frame.rowOffsets)
            Bytes::AppendInt16(file, offset);
        file.insert(file.end(), frame.data.begin(), frame.data.end());
    }
}

}  // namespace

std::vector<uint8_t> BuildVehicleFile(const std::vector<VehicleEntry>& entries)
{
    std::vector<uint8_t> file(4 + 264 * entries.size(), 0);
    Bytes::PutInt32(file, 0, static_cast<int32_t>(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) {
        const size_t record = 4 + 264 * i;
        Bytes::PutText(file, record, 256, entries[i].name);
        Bytes::PutInt32(file, record + 256, static_cast<int32_t>(file.size()));
        Bytes::PutInt32(file, record + 260, entries[i].value);
        if (entries[i].shadow)
            AppendShadowRecord(file, entries[i]);
        else
            AppendVehicleRecord(file, entries[i]);
    }
    return file;
}

ShadowFrame EncodeShadow(const std::vector<std::vector<bool>>& whiteRows, std::array<int16_t, 2> hotspot)
{
    ShadowFrame frame;
    frame.height = static_cast<int16_t>(whiteRows.size());
    frame.width = static_cast<int16_t>(whiteRows.empty() ? 0 : whiteRows.front().size());
    frame.hotspot = hotspot;
    for (const auto& row : whiteRows) {
        if (std::all_of(row.begin(), row.end(), [](bool white) { return white; })) {
            frame.rowOffsets.push_back(-1);
            continue;
        }
        frame.rowOffsets.push_back(static_cast<int16_t>(frame.data.size()));
        size_t column = 0;
        while (column < row.size()) {
            const bool white = row[column];
            size_t end = column;
            while (end < row.size() && row[end] == white)
                ++end;
            if (white && end == row.size()) {
                frame.data.push_back(237);
                break;
            }
            for (size_t left = end - column; left > 0;) {
                const size_t run = std::min<size_t>(left, 255);
                frame.data.push_back(white ? 0 : 245);
                frame.data.push_back(static_cast<uint8_t>(run));
                left -= run;
            }
            column = end;
        }
    }
    return frame;
}

std::vector<VehicleEntry> SampleVehicleEntries()
{
    VehicleEntry truck{"TRUCK", 1, false, {}, {}};
    for (int32_t j = 0; j < 17; ++j) {
        const int32_t width = j == 5 ? 0 : 24 + j;  // odd and even widths, and one slot without pixels
        truck.slots.push_back({Gradient(width, 16 + j % 3), {j, 2 * j, -j, 7}});
    }
    VehicleEntry shadow{"TRUCK_SHADOW", 2, true, {}, {}};
    for (int16_t f = 0; f < 8; ++f) {
        std::vector<std::vector<bool>> rows;
        const int32_t width = 21 + f, height = 15;
        for (int32_t y = 0; y < height; ++y) {
            std::vector<bool> row;
            for (int32_t x = 0; x < width; ++x) {
                const double dx = x - (width - 1) / 2.0 - (f - 4), dy = (y - 7) * 1.6;
                row.push_back(dx * dx + dy * dy > 36);
            }
            rows.push_back(row);
        }
        shadow.frames.push_back(EncodeShadow(rows, {static_cast<int16_t>(f), static_cast<int16_t>(-f)}));
    }
    // The last frame ends one row with the code that beeps.
    ShadowFrame& beeping = shadow.frames.back();
    beeping.data.push_back(245);
    beeping.data.push_back(3);
    beeping.data.push_back(255);
    beeping.rowOffsets[14] = static_cast<int16_t>(beeping.data.size() - 3);
    VehicleEntry jeep{"JEEP", 3, false, {}, {}};
    for (int32_t j = 0; j < 17; ++j)
        jeep.slots.push_back({Disc(19 + 2 * j, 19, Rgb555(j, 31 - j, 16), Rgb555(2, 2, 2)), {0, 0, j, j}});
    return {truck, shadow, jeep};
}

std::vector<GadgetEntry> SampleGadgetEntries()
{
    const uint16_t black = Rgb555(0, 0, 0);
    return {
        {"RAINBOW", 1, {Gradient(64, 48), Gradient(33, 21), Stripes(40, 12)}},
        {"BALLS", 2, {Disc(32, 32, Rgb555(31, 8, 0), black), Disc(31, 31, Rgb555(0, 20, 31), black),
                      Disc(17, 9, Rgb555(31, 31, 0), Rgb555(4, 4, 4))}},
        {"EMPTY", 3, {}},
        {"TILES", 4, {Solid(16, 16, Rgb555(0, 24, 0)), Solid(5, 3, Rgb555(31, 0, 31)), Gradient(128, 96),
                      Stripes(7, 7)}},
        {"RGBW", 5, {Picture{4, 1, {0x7C00, 0x03E0, 0x001F, 0x7FFF}}}},
    };
}

void WriteBytes(const fs::path& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

std::vector<uint8_t> ReadBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path.string());
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<fs::path> WriteSampleContainers(const fs::path& folder)
{
    fs::create_directories(folder);
    const fs::path gadgets = folder / "GADGETS.GDG";
    WriteBytes(gadgets, BuildGadgetFile(1, SampleGadgetEntries()));
    const fs::path screens = folder / "SCREENS.PIX";
    WriteBytes(screens, BuildScreenFile(1, SampleScreenEntries()));
    const fs::path vehicles = folder / "VEHICLES.AZP";
    WriteBytes(vehicles, BuildVehicleFile(SampleVehicleEntries()));
    return {gadgets, screens, vehicles};
}

}  // namespace Brimwork::Samples
