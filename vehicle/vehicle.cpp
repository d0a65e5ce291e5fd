#include "vehicle/vehicle.h"

#include <optional>

#include "core/error.h"
#include "core/extraction.h"
#include "io/files.h"
#include "core/manifest.h"
#include "core/names.h"
#include "core/window.h"
#include "image/image_buffer.h"
#include "image/tga.h"
#include "io/read_ahead_file.h"
#include "vehicle/vehicle_format.h"
#include "vehicle/vehicle_manifest.h"

namespace AZP {

using namespace Brimwork;
using Format::VehicleEntry;

namespace {

// What an extraction reads of the container at a time.
constexpr size_t ExtractionBlockBytes = size_t{256} << 10;

// How many images an entry gives: 17 slots, or its frames (none when the
// count is 0 or below).
int32_t ImageCount(ReadableFile& file, const VehicleEntry& entry)
{
    return Format::IsShadowRecord(file, entry) ? std::max<int32_t>(Format::ReadFrameCount(file, entry), 0)
                                               : SlotCount;
}

// What extraction takes from one entry: its kind, its images, and for a
// vehicle entry its slots.
struct EntryToExtract {
    bool shadow = false;
    int32_t images = 0;
    std::optional<Format::VehicleSprite> sprite;
};

std::string Line(std::string_view text) { return std::string(text) + std::string(Manifest::LineEnd); }

std::string CountLine(int32_t count) { return Line(Manifest::NumberForm(count)); }

// Everything an extraction will write is checked before the first file is
// touched: the entry names, every slot and every frame (walking the frames
// also fills the frame index that the extraction then uses). Gives what
// each entry holds and appends the entries' blocks to the manifest.
std::vector<EntryToExtract> CheckExtraction(State& state, ReadableFile& file, const std::vector<VehicleEntry>& entries,
                                            std::string& manifest)
{
    std::vector<EntryToExtract> checked;
    for (const auto& entry : entries) {
        RequirePlainFileName(entry.Name, "The entry name");
        // The manifest carries each name as a line of its own.
        if (entry.Name.find_first_of("\r\n") != std::string::npos)
            throw Error("The entry name \"" + entry.Name +
                        "\" holds a line break, which the manifest's name line cannot carry");
        EntryToExtract& extract = checked.emplace_back();
        extract.shadow = Format::IsShadowRecord(file, entry);
        extract.images = ImageCount(file, entry);
        manifest += Line(entry.Name) + Line(extract.shadow ? ManifestText::ShadowKind : ManifestText::VehicleKind) +
                    CountLine(extract.shadow ? Format::ReadFrameCount(file, entry) : SlotCount);
        if (extract.shadow) {
            for (int32_t f = 0; f < extract.images; ++f) {
                Format::ReadFrame(file, entry, f, state);
                manifest += Line(Format::HotspotLine(state.frame));
            }
            continue;
        }
        extract.sprite = Format::ReadSprite(file, entry);
        for (int32_t j = 0; j < SlotCount; ++j) {
            const Format::Slot& slot = extract.sprite->slots[static_cast<size_t>(j)];
            Format::CheckSlot(file, entry, slot, j);
            RequireFitsTga(slot.Width, slot.Height, "Slot " + std::to_string(j) + " of entry \"" + entry.Name + "\"");
            manifest += Line(Format::HotspotLine(slot));
        }
        manifest += Line(ManifestText::Separator);
    }
    return checked;
}

}  // namespace

std::string TgaBaseName(const std::string& entryName, int32_t imageIndex)
{
    return entryName + "_" + AtLeastThreeDigits(imageIndex);
}

int32_t CountImages(FileSystem& files, const std::filesystem::path& container, int32_t entryIndex)
{
    auto file = files.OpenContainer(container);
    return ImageCount(*file, Format::ReadEntry(*file, entryIndex));
}

std::vector<std::string> EntryNames(FileSystem& files, const std::filesystem::path& fileName)
{
    auto file = files.OpenContainer(fileName);
    std::vector<std::string> names;
    for (const auto& entry : Format::ReadEntries(*file, Format::ReadEntryCount(*file)))
        names.push_back(entry.Name);
    return names;
}

bool ListEntries(ModuleContext& context, const std::filesystem::path& fileName)
{
    context.window.ReplaceList(EntryNames(context.files, fileName));
    return true;
}

void LoadImage(ModuleContext& context, State& state, int32_t entryIndex, int32_t& imageIndex)
{
    auto file = context.files.OpenContainer(context.container.FileName);
    const VehicleEntry entry = Format::ReadEntry(*file, entryIndex);
    if (Format::IsShadowRecord(*file, entry)) {
        const int16_t frameCount = Format::ReadFrameCount(*file, entry);
        if (imageIndex >= frameCount || imageIndex < 0)
            imageIndex = 0;
        if (frameCount <= 0) {
            MakeEmptyImage(context.image);
            return;
        }
        Format::ReadFrame(*file, entry, imageIndex, state);
        DecodeShadow(context.image, context.window, state, true);
        return;
    }
    if (imageIndex >= SlotCount || imageIndex < 0)
        imageIndex = 0;
    const auto sprite = Format::ReadSprite(*file, entry);
    Format::LoadSlot(context.image, *file, entry, sprite.slots[static_cast<size_t>(imageIndex)], imageIndex, true);
}

namespace {

// Loads image imageIndex (already in range) of an entry of the open
// container in packed layout and returns its manifest line of hotspot
// values; `sprite` holds the slots of a vehicle entry. A frame's beep code
// beeps through `window`.
std::string LoadForExtraction(ImageBuffer& image, WindowInterface& window, State& state, ReadableFile& file,
                              const VehicleEntry& entry, const Format::VehicleSprite* sprite, int32_t imageIndex)
{
    if (sprite == nullptr) {
        Format::ReadFrame(file, entry, imageIndex, state);
        DecodeShadow(image, window, state, false);
        return Format::HotspotLine(state.frame);
    }
    const auto& slot = sprite->slots[static_cast<size_t>(imageIndex)];
    Format::LoadSlot(image, file, entry, slot, imageIndex, false);
    return Format::HotspotLine(slot);
}

}  // namespace

std::string ExtractImage(ModuleContext& context, State& state, int32_t entryIndex, int32_t& imageIndex,
                         const std::string& baseName)
{
    const std::string tgaFileName = baseName + ".tga";
    RequirePlainFileName(tgaFileName, "The TGA file name");
    auto file = context.files.OpenContainer(context.container.FileName);
    const VehicleEntry entry = Format::ReadEntry(*file, entryIndex);
    std::string hotspots;
    if (Format::IsShadowRecord(*file, entry)) {
        const int16_t frameCount = Format::ReadFrameCount(*file, entry);
        if (imageIndex >= frameCount || imageIndex < 0)
            imageIndex = 0;
        if (frameCount <= 0)
            throw Error("Entry \"" + entry.Name + "\" of " + file->Path().string() + " holds no frame");
        hotspots = LoadForExtraction(context.image, context.window, state, *file, entry, nullptr, imageIndex);
    } else {
        if (imageIndex >= SlotCount || imageIndex < 0)
            imageIndex = 0;
        const auto sprite = Format::ReadSprite(*file, entry);
        hotspots = LoadForExtraction(context.image, context.window, state, *file, entry, &sprite, imageIndex);
    }
    file.reset();
    WriteTGA(context.files, context.folder / tgaFileName, context.image);
    return hotspots;
}

ExtractionResult ExtractAll(ModuleContext& context, State& state)
{
    auto file = context.files.OpenContainer(context.container.FileName);
    const int32_t count = Format::ReadEntryCount(*file);
    const auto entries = Format::ReadEntries(*file, count);

    ExtractionJob job;
    job.manifestPath = context.container.FileName.string() + ".txt";
    job.manifestText = Line("; Rebuild data for " + context.container.FileTitle);
    job.manifestText += Line("; Next line is count of entries in AZP file. Following that is each entry name, type, "
                             "count of images, and hotspot coordinates for each image.");
    job.manifestText += CountLine(count) + Line(ManifestText::Separator);
    // The records and frames lie one after another, so they are read a
    // block at a time rather than a few system calls each.
    ReadAheadFile ahead(*file, ExtractionBlockBytes);
    const auto checked = CheckExtraction(state, ahead, entries, job.manifestText);
    for (size_t i = 0; i < entries.size(); ++i) {
        ExtractionEntry& extracted = job.entries.emplace_back(ExtractionEntry{entries[i].Name, {}});
        for (int32_t j = 0; j < checked[i].images; ++j)
            extracted.imageFiles.push_back(TgaBaseName(entries[i].Name, j) + ".tga");
    }
    // The container stays open; a vehicle record is read once, and the
    // frames of a shadow one by one through the frame index.
    job.load = [&](size_t entry, size_t image, ImageBuffer& out, WindowInterface& window) {
        const auto& sprite = checked[entry].sprite;
        LoadForExtraction(out, window, state, ahead, entries[entry], sprite ? &*sprite : nullptr,
                          static_cast<int32_t>(image));
    };
    return RunExtraction(context, job);
}

}  // namespace AZP
