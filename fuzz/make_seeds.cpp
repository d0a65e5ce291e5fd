// Writes small seed inputs for every fuzz target into FOLDER/<target>/,
// made in code from the formats: little containers like the bundled
// samples, TGA and PNG files of every type the readers take, and extracted
// folders for the rebuild.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "fuzz/support/fuzz_support.h"
#include "gadget/gadget.h"
#include "image/png.h"
#include "image/tga.h"
#include "samples/sample_containers.h"
#include "samples/sample_png.h"
#include "screen/screen.h"
#include "vehicle/vehicle.h"

using namespace Brimwork;
using namespace Brimwork::Fuzz;
namespace fs = std::filesystem;

namespace {

void Save(const fs::path& folder, const std::string& target, const std::string& name,
          const std::vector<uint8_t>& bytes)
{
    fs::create_directories(folder / target);
    std::ofstream out(folder / target / name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + (folder / target / name).string());
}

const uint16_t Black = Samples::Rgb555(0, 0, 0);

std::vector<Samples::GadgetEntry> Gadgets()
{
    return {
        {"RAINBOW", 1, {Samples::Gradient(4, 3), Samples::Stripes(5, 2)}},
        {"BALL", -2, {Samples::Disc(3, 3, Samples::Rgb555(31, 8, 0), Black)}},
        {"EMPTY", 0, {}},
        {"A NAME, WITH A COMMA", 7, {Samples::Solid(1, 1, 0x7FFF)}},
    };
}

std::vector<Samples::ScreenEntry> Screens()
{
    return {
        {"TITLE", Samples::Gradient(4, 3)},
        {"MENU", Samples::Disc(3, 3, Samples::Rgb555(31, 31, 0), Black)},
        {" BLANK FIRST", Samples::Stripes(5, 1)},
    };
}

std::vector<Samples::VehicleEntry> Vehicles()
{
    Samples::VehicleEntry truck{"TRUCK", 1, false, {}, {}};
    for (int32_t j = 0; j < 17; ++j)
        truck.slots.push_back({Samples::Gradient(j == 5 ? 0 : 1 + j % 3, 2), {j, -j, 0, 7}});
    Samples::VehicleEntry shadow{"TRUCK_SHADOW", 2, true, {}, {}};
    shadow.frames.push_back(Samples::EncodeShadow({{true, false, false, true, true}, {true, true, true, true, true}},
                                                  {1, -1}));
    shadow.frames.push_back(Samples::EncodeShadow({{false, true, false}, {false, false, false}, {true, false, true}}));
    shadow.frames.back().data.insert(shadow.frames.back().data.end(), {245, 1, 255});
    return {truck, shadow};
}

// A TGA file: the 18-byte header, an optional colour map, then `pixels`.
std::vector<uint8_t> Tga(uint8_t type, uint8_t depth, uint8_t descriptor, uint16_t width, uint16_t height,
                         const std::vector<uint8_t>& pixels, uint8_t mapBits = 0,
                         const std::vector<uint8_t>& map = {})
{
    std::vector<uint8_t> file(18, 0);
    file[1] = mapBits == 0 ? 0 : 1;
    file[2] = type;
    if (mapBits != 0) {
        Bytes::PutInt16(file, 5, static_cast<int16_t>(map.size() / ((mapBits + 7) / 8)));
        file[7] = mapBits;
    }
    Bytes::PutInt16(file, 12, static_cast<int16_t>(width));
    Bytes::PutInt16(file, 14, static_cast<int16_t>(height));
    file[16] = depth;
    file[17] = descriptor;
    file.insert(file.end(), map.begin(), map.end());
    file.insert(file.end(), pixels.begin(), pixels.end());
    return file;
}

void TgaSeeds(const fs::path& folder)
{
    Save(folder, "tga", "true16_top_left", Tga(2, 16, 0x20, 2, 2, {0xFF, 0x7F, 0, 0, 0x1F, 0, 0xE0, 0x03}));
    Save(folder, "tga", "true24_bottom_left", Tga(2, 24, 0x00, 2, 1, {255, 0, 0, 0, 255, 0}));
    Save(folder, "tga", "true32_right_to_left", Tga(2, 32, 0x38, 1, 2, {1, 2, 3, 255, 200, 100, 50, 0}));
    Save(folder, "tga", "mapped8_into24", Tga(1, 8, 0x20, 3, 1, {0, 1, 0}, 24, {0, 0, 255, 0, 255, 0}));
    Save(folder, "tga", "mapped16_into16", Tga(1, 16, 0x20, 2, 1, {0, 0, 1, 0}, 16, {0xFF, 0x7F, 0, 0}));
    Save(folder, "tga", "grey8", Tga(3, 8, 0x20, 2, 2, {0, 64, 128, 255}));
    Save(folder, "tga", "grey16_alpha", Tga(3, 16, 0x00, 2, 1, {10, 255, 250, 0}));
    Save(folder, "tga", "rle16_across_rows", Tga(10, 16, 0x20, 3, 2, {0x85, 0x34, 0x12}));
    Save(folder, "tga", "rle24_raw_and_run", Tga(10, 24, 0x00, 4, 1, {0x01, 1, 2, 3, 4, 5, 6, 0x81, 7, 8, 9}));
    Save(folder, "tga", "rle_mapped", Tga(9, 8, 0x20, 4, 1, {0x83, 1}, 15, {0, 0, 0xFF, 0x7F}));
    Save(folder, "tga", "rle_grey", Tga(11, 8, 0x20, 2, 2, {0x03, 1, 2, 3, 4}));

    MemoryFileSystem files;
    files.AddFolder(Folder);
    const auto picture = Samples::Gradient(5, 3);
    WriteTGA(files, Folder / "out.tga", ImageBuffer{picture.width, picture.height, picture.Bytes()});
    Save(folder, "tga", "written_by_the_tool", *files.Contents(Folder / "out.tga"));
}

// A small PNG by libpng's own writer, its samples counting up.
std::vector<uint8_t> PngOf(Samples::PngColour colour, int bitDepth, bool interlaced, bool paletteAlpha = false)
{
    Samples::PngSamples picture{colour, bitDepth, interlaced, 5, 3, {}, {}, {}};
    const int mask = (1 << bitDepth) - 1;
    for (int i = 0; i < 5 * 3 * Samples::ChannelsOf(colour); ++i)
        picture.samples.push_back(static_cast<uint16_t>(i * 4099 & mask));
    if (colour == Samples::PngColour::Palette) {
        for (int entry = 0; entry <= mask; ++entry) {
            picture.palette.push_back({static_cast<uint8_t>(entry * 40), static_cast<uint8_t>(255 - entry), 9});
            if (paletteAlpha)
                picture.paletteAlpha.push_back(static_cast<uint8_t>(entry * 60));
        }
    }
    return Samples::WritePngWithLibpng(picture);
}

void PngSeeds(const fs::path& folder)
{
    using Samples::PngColour;
    const auto picture = Samples::Gradient(5, 3);
    const ImageBuffer image{picture.width, picture.height, picture.Bytes()};
    Save(folder, "png", "written_by_the_tool", EncodePng(image, "seed"));
    Save(folder, "png", "grey1", PngOf(PngColour::Grey, 1, false));
    Save(folder, "png", "grey16_interlaced", PngOf(PngColour::Grey, 16, true));
    Save(folder, "png", "grey_alpha8", PngOf(PngColour::GreyAlpha, 8, false));
    Save(folder, "png", "palette4_transparent", PngOf(PngColour::Palette, 4, false, true));
    Save(folder, "png", "palette8_interlaced", PngOf(PngColour::Palette, 8, true));
    Save(folder, "png", "rgb16", PngOf(PngColour::Rgb, 16, false));
    Save(folder, "png", "rgba8_interlaced", PngOf(PngColour::Rgba, 8, true));
}

// The folder an extraction leaves, as the rebuild target's input.
std::vector<uint8_t> ExtractedFolder(uint8_t kind, const std::string& chosen, std::vector<uint8_t> container)
{
    Workspace work(chosen, container);
    ModuleContext context = work.Context();
    AZP::State state;
    if (kind == 0)
        GDG::ExtractAll(context);
    else if (kind == 1)
        PIX::ExtractAll(context);
    else
        AZP::ExtractAll(context, state);
    const std::string manifestName = kind == 0   ? std::string(GDG::ManifestName)
                                     : kind == 1 ? PIX::ManifestNameFor(context)
                                                 : chosen + ".txt";
    RebuildInput input;
    input.containerKind = kind;
    input.container = container;
    for (const auto& [path, entry] : work.files.Snapshot()) {
        if (path.parent_path() != Folder || path.filename() == chosen)
            continue;
        if (path.filename() == manifestName)
            input.manifest = entry.bytes;
        else
            input.files.push_back({FolderFile::Regular, path.filename().string(), entry.bytes});
    }
    return JoinRebuildInput(input);
}

// The shadow target's decode input: width, height, the row table, the data.
std::vector<uint8_t> ShadowDecodeInput(const Samples::ShadowFrame& frame)
{
    std::vector<uint8_t> input{0};
    Bytes::AppendInt16(input, frame.width);
    Bytes::AppendInt16(input, frame.height);
    Bytes::AppendInt16(input, static_cast<int16_t>(frame.rowOffsets.size()));
    for (int16_t offset : frame.rowOffsets)
        Bytes::AppendInt16(input, offset);
    input.insert(input.end(), frame.data.begin(), frame.data.end());
    return input;
}

// The round trip target's input for a few entries: kind, header value,
// count, then each entry's name, value, images and pixels.
std::vector<uint8_t> RoundTripInput(uint8_t kind)
{
    std::vector<uint8_t> input{kind};
    Bytes::AppendInt32(input, 77);
    input.push_back(3);
    const std::vector<std::string> names{"ONE", "TWO, QUOTED", "THREE_3"};
    for (size_t i = 0; i < names.size(); ++i) {
        input.push_back(static_cast<uint8_t>(names[i].size()));
        input.insert(input.end(), names[i].begin(), names[i].end());
        if (kind == 0) {
            Bytes::AppendInt32(input, static_cast<int32_t>(i) - 1);
            input.push_back(static_cast<uint8_t>(i + 1));
        }
        for (size_t k = 0; k < (kind == 0 ? i + 1 : 1); ++k) {
            input.push_back(static_cast<uint8_t>(k + 1));
            input.push_back(2);
            for (size_t p = 0; p < 2 * (k + 2); ++p)
                Bytes::AppendInt16(input, static_cast<int16_t>(0x1234 * (p + 1)));
        }
    }
    return input;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: brimwork-fuzz-seeds FOLDER\n");
        return 2;
    }
    try {
        const fs::path folder = argv[1];
        const auto gadget = Samples::BuildGadgetFile(3, Gadgets());
        const auto screen = Samples::BuildScreenFile(-4, Screens());
        const auto vehicle = Samples::BuildVehicleFile(Vehicles());
        Save(folder, "gadget", "small", gadget);
        Save(folder, "gadget", "no_entries", Samples::BuildGadgetFile(0, {}));
        Save(folder, "screen", "small", screen);
        Save(folder, "screen", "no_entries", Samples::BuildScreenFile(0, {}));
        Save(folder, "vehicle", "small", vehicle);
        TgaSeeds(folder);
        PngSeeds(folder);
        Save(folder, "rebuild", "gadget_extracted", ExtractedFolder(0, "in.gdg", gadget));
        Save(folder, "rebuild", "screen_extracted", ExtractedFolder(1, "in.pix", screen));
        Save(folder, "rebuild", "vehicle_extracted", ExtractedFolder(2, "in.azp", vehicle));
        Save(folder, "shadow", "encode", {1, 37, 0, 9, 0x85, 0x03, 0x8F, 0x01, 0x8F, 0x8F, 0x0F, 0x0F, 0x80});
        int n = 0;
        const auto vehicles = Vehicles();
        for (const auto& frame : vehicles[1].frames)
            Save(folder, "shadow", "decode_" + std::to_string(n++), ShadowDecodeInput(frame));
        Save(folder, "roundtrip", "gadget", RoundTripInput(0));
        Save(folder, "roundtrip", "screen", RoundTripInput(1));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "brimwork-fuzz-seeds: %s\n", error.what());
        return 1;
    }
    return 0;
}
