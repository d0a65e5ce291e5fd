// Round trip: a container made from the input's values, extracted and
// rebuilt unedited, gives the same header value, names, values and pixels;
// a vehicle file, laid out as the rebuild lays it out, the same bytes.
#include <cstddef>
#include <cstdint>

#include "core/archive_header.h"
#include "core/names.h"
#include "fuzz/support/fuzz_support.h"
#include "gadget/gadget.h"
#include "gadget/gadget_format.h"
#include "image/image_buffer.h"
#include "samples/sample_containers.h"
#include "screen/screen.h"
#include "screen/screen_format.h"
#include "vehicle/vehicle.h"

using namespace Brimwork;
using namespace Brimwork::Fuzz;

namespace {

enum class Kind { Gadget, Screen, Vehicle };

constexpr size_t MostEntries = 8;
constexpr uint8_t MostImagesPerEntry = 4;
constexpr uint8_t LongestSide = 8;

// A picture of 1 to 8 pixels a side: an image without pixels reads back
// from its TGA file as the empty image, whatever size it was given.
Samples::Picture ReadPicture(InputReader& in)
{
    Samples::Picture picture;
    picture.width = in.Byte() % LongestSide + 1;
    picture.height = in.Byte() % LongestSide + 1;
    for (int32_t i = 0; i < picture.width * picture.height; ++i)
        picture.pixels.push_back(in.UInt16());
    return picture;
}

// A name as the 32-byte field holds it: up to its first NUL.
std::string ReadName(InputReader& in)
{
    const auto bytes = in.Bytes(in.Byte() % 33);
    return TrimAtNul(std::string(bytes.begin(), bytes.end()));
}

std::vector<uint8_t> PixelsAt(ReadableFile& file, int32_t width, int32_t height, int64_t offset)
{
    ImageBuffer image{width, height, {}};
    ReadPacked(image, file, offset);
    return image.ImageBytes;
}

void GadgetRoundTrip(InputReader& in)
{
    const int32_t headerValue = in.Int32();
    std::vector<Samples::GadgetEntry> entries;
    const size_t count = in.Byte() % (MostEntries + 1);
    for (size_t i = 0; i < count; ++i) {
        Samples::GadgetEntry entry{ReadName(in), in.Int32(), {}};
        const uint8_t images = in.Byte() % (MostImagesPerEntry + 1);
        for (uint8_t k = 0; k < images; ++k)
            entry.images.push_back(ReadPicture(in));
        // Entries whose names differ only in letter case share their TGA
        // files, as the rebuild looks them up without regard to case.
        const bool shared = std::any_of(entries.begin(), entries.end(),
                                        [&](const auto& other) { return EqualIgnoringCase(other.name, entry.name); });
        if (!shared)
            entries.push_back(std::move(entry));
    }

    Workspace work("in.gdg", Samples::BuildGadgetFile(headerValue, entries));
    ModuleContext context = work.Context();
    if (ErrorOf([&] { GDG::ExtractAll(context); }))
        return;
    const auto rebuilt = ErrorOf([&] { GDG::Rebuild(context); });
    Require(!rebuilt && work.window.messages.empty(), "an unedited extraction rebuilds: " + rebuilt.value_or(""));

    auto file = work.files.OpenContainer(work.container.FileName);
    const ArchiveHeader header = ReadArchiveHeader(*file);
    Require(header.HeaderValue == headerValue && header.EntryCount == static_cast<int32_t>(entries.size()),
            "the header value and the entry count come back");
    const auto read = GDG::Format::ReadEntries(*file, header.EntryCount);
    for (size_t i = 0; i < entries.size(); ++i) {
        const auto& entry = entries[i];
        Require(read[i].Name == entry.name && read[i].EntryValue == entry.value &&
                    read[i].ImageCount == static_cast<int32_t>(entry.images.size()),
                "entry " + std::to_string(i) + " comes back with its name, value and image count");
        for (size_t k = 0; k < entry.images.size(); ++k) {
            const auto image = GDG::Format::ReadImageHeader(*file, read[i], static_cast<int32_t>(k));
            const auto& picture = entry.images[k];
            Require(image.Width == picture.width && image.Height == picture.height &&
                        PixelsAt(*file, image.Width, image.Height, image.DataOffset) == picture.Bytes(),
                    "image " + std::to_string(k) + " of entry " + std::to_string(i) + " comes back unchanged");
        }
    }
}

void ScreenRoundTrip(InputReader& in)
{
    const int32_t headerValue = in.Int32();
    std::vector<Samples::ScreenEntry> entries;
    const size_t count = in.Byte() % (MostEntries + 1);
    for (size_t i = 0; i < count; ++i) {
        Samples::ScreenEntry entry{ReadName(in), ReadPicture(in)};
        // Two entries of one name write one TGA file: the later one's image.
        const bool shared = std::any_of(entries.begin(), entries.end(),
                                        [&](const auto& other) { return other.name == entry.name; });
        if (!shared)
            entries.push_back(std::move(entry));
    }

    Workspace work("in.pix", Samples::BuildScreenFile(headerValue, entries));
    ModuleContext context = work.Context();
    if (ErrorOf([&] { PIX::ExtractAll(context); }))
        return;
    const auto rebuilt = ErrorOf([&] { PIX::Rebuild(context); });
    Require(!rebuilt && work.window.messages.empty(), "an unedited extraction rebuilds: " + rebuilt.value_or(""));

    auto file = work.files.OpenContainer(work.container.FileName);
    const ArchiveHeader header = ReadArchiveHeader(*file);
    Require(header.HeaderValue == headerValue && header.EntryCount == static_cast<int32_t>(entries.size()),
            "the header value and the entry count come back");
    const auto read = PIX::Format::ReadEntries(*file, header.EntryCount);
    for (size_t i = 0; i < entries.size(); ++i) {
        const auto& picture = entries[i].image;
        Require(read[i].Name == entries[i].name && read[i].Width == picture.width &&
                    read[i].Height == picture.height &&
                    PixelsAt(*file, read[i].Width, read[i].Height, read[i].DataOffset) == picture.Bytes(),
                "entry " + std::to_string(i) + " comes back with its name and pixels");
    }
}

// A slot may be without pixels, with either side 0.
Samples::Picture ReadSlotPicture(InputReader& in)
{
    if (in.Byte() % 4 != 0)
        return ReadPicture(in);
    const int32_t side = in.Byte() % 3;
    return in.Byte() % 2 == 0 ? Samples::Picture{side, 0, {}} : Samples::Picture{0, side, {}};
}

Samples::ShadowFrame ReadFrame(InputReader& in)
{
    const int32_t width = in.Byte() % LongestSide + 1;
    const int32_t height = in.Byte() % LongestSide + 1;
    std::vector<std::vector<bool>> rows(static_cast<size_t>(height));
    for (auto& row : rows)
        for (int32_t x = 0; x < width; ++x)
            row.push_back(in.Byte() % 2 == 0);
    const auto hotspot = [&] { return static_cast<int16_t>(in.UInt16()); };
    return Samples::EncodeShadow(rows, {hotspot(), hotspot()});
}

void VehicleRoundTrip(InputReader& in)
{
    std::vector<Samples::VehicleEntry> entries;
    const size_t count = in.Byte() % (MostEntries + 1);
    for (size_t i = 0; i < count; ++i) {
        const auto bytes = in.Bytes(in.Byte() % 40);
        Samples::VehicleEntry entry{TrimAtNul(std::string(bytes.begin(), bytes.end())), in.Int32(),
                                    in.Byte() % 2 == 0, {}, {}};
        if (entry.shadow)
            for (uint8_t f = in.Byte() % (MostImagesPerEntry + 1); f > 0; --f)
                entry.frames.push_back(ReadFrame(in));
        else
            for (int j = 0; j < AZP::SlotCount; ++j)
                entry.slots.push_back({ReadSlotPicture(in), {in.Int32(), in.Int32(), in.Int32(), in.Int32()}});
        // Two entries of one name write the same TGA files.
        const bool shared = std::any_of(entries.begin(), entries.end(),
                                        [&](const auto& other) { return other.name == entry.name; });
        if (!shared)
            entries.push_back(std::move(entry));
    }

    const auto original = Samples::BuildVehicleFile(entries);
    Workspace work("in.azp", original);
    ModuleContext context = work.Context();
    AZP::State state;
    if (ErrorOf([&] { AZP::ExtractAll(context, state); }))
        return;
    const auto rebuilt = ErrorOf([&] { AZP::Rebuild(context); });
    Require(!rebuilt && work.window.messages.empty(), "an unedited extraction rebuilds: " + rebuilt.value_or(""));
    auto file = work.files.OpenContainer(work.container.FileName);
    std::vector<uint8_t> bytes(static_cast<size_t>(file->Size()));
    file->ReadAt(0, bytes);
    Require(bytes == original, "an unedited vehicle file comes back byte for byte");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    InputReader in(std::span(data, size));
    switch (static_cast<Kind>(in.Byte() % 3)) {
    case Kind::Gadget:
        GadgetRoundTrip(in);
        break;
    case Kind::Screen:
        ScreenRoundTrip(in);
        break;
    case Kind::Vehicle:
        VehicleRoundTrip(in);
        break;
    }
    return 0;
}
