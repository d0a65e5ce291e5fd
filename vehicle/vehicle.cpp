#include "vehicle/vehicle.h"

#include <optional>

#include "core/error.h"
#include "core/files.h"
#include "core/manifest.h"
#include "core/names.h"
#include "core/window.h"
#include "image/image_buffer.h"
#include "image/tga.h"
#include "vehicle/vehicle_format.h"
#include "vehicle/vehicle_manifest.h"

namespace AZP {

using namespace Brimwork;
using Format::VehicleEntry;

namespace {

// How many images an entry gives: 17 slots, or its frames (none when the
// count is 0 or below).
int32_t ImageCount(ReadableFile& file, const VehicleEntry& entry)
{
    return Format::IsShadowRecord(file, entry) ? std::max<int32_t>(Format::ReadFrameCount(file, entry), 0)
                                               : SlotCount;
}

// Everything an extraction will write is checked before the first file is
// touched: the entry names, every slot and every frame (walking the frames
// also fills the frame index that the extraction then uses), and that no
// symbolic link or folder stands where a file is to be written.
void CheckExtraction(ModuleContext& context, State& state, ReadableFile& file,
                     const std::vector<VehicleEntry>& entries, const std::filesystem::path& manifestPath)
{
    std::vector<std::filesystem::path> outputs{manifestPath};
    for (const auto& entry : entries) {
        RequirePlainFileName(entry.Name, "The entry name");
        // The manifest carries each name as a line of its own.
        if (entry.Name.find_first_of("\r\n") != std::string::npos)
            throw Error("The entry name \"" + entry.Name +
                        "\" holds a line break, which the manifest's name line cannot carry");
        const int32_t count = ImageCount(file, entry);
        if (!Format::IsShadowRecord(file, entry)) {
            const auto sprite = Format::ReadSprite(file, entry);
            for (int32_t j = 0; j < SlotCount; ++j) {
                const Format::Slot& slot = sprite.slots[static_cast<size_t>(j)];
                Format::CheckSlot(file, entry, slot, j);
                RequireFitsTga(slot.Width, slot.Height,
                               "Slot " + std::to_string(j) + " of entry \"" + entry.Name + "\"");
            }
        } else if (count > 0) {
            Format::ReadFrame(file, entry, count - 1, state);
        }
        for (int32_t j = 0; j < count; ++j)
            outputs.push_back(context.folder / (TgaBaseName(entry.Name, j) + ".tga"));
    }
    RequireNothingInTheWay(context.files, outputs);
}

std::string Line(std::string_view text) { return std::string(text) + std::string(Manifest::LineEnd); }

std::string CountLine(int32_t count) { return Line(Manifest::NumberForm(count)); }

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

bool ListEntries(ModuleContext& context, const std::filesystem::path& fileName)
{
    auto file = context.files.OpenContainer(fileName);
    std::vector<std::string> names;
    for (const auto& entry : Format::ReadEntries(*file, Format::ReadEntryCount(*file)))
        names.push_back(entry.Name);
    context.window.ReplaceList(names);
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
// values; `sprite` holds the slots of a vehicle entry.
std::string LoadForExtraction(ModuleContext& context, State& state, ReadableFile& file, const VehicleEntry& entry,
                              const Format::VehicleSprite* sprite, int32_t imageIndex)
{
    if (sprite == nullptr) {
        Format::ReadFrame(file, entry, imageIndex, state);
        DecodeShadow(context.image, context.window, state, false);
        return Format::HotspotLine(state.frame);
    }
    const auto& slot = sprite->slots[static_cast<size_t>(imageIndex)];
    Format::LoadSlot(context.image, file, entry, slot, imageIndex, false);
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
        hotspots = LoadForExtraction(context, state, *file, entry, nullptr, imageIndex);
    } else {
        if (imageIndex >= SlotCount || imageIndex < 0)
            imageIndex = 0;
        const auto sprite = Format::ReadSprite(*file, entry);
        hotspots = LoadForExtraction(context, state, *file, entry, &sprite, imageIndex);
    }
    file.reset();
    WriteTGA(context.files, context.folder / tgaFileName, context.image);
    return hotspots;
}

void ExtractAll(ModuleContext& context, State& state)
{
    const std::filesystem::path manifestPath = context.container.FileName.string() + ".txt";
    auto file = context.files.OpenContainer(context.container.FileName);
    const int32_t count = Format::ReadEntryCount(*file);
    const auto entries = Format::ReadEntries(*file, count);
    CheckExtraction(context, state, *file, entries, manifestPath);
    RemoveIfPresent(context.files, manifestPath);

    std::string manifest = Line("; Rebuild data for " + context.container.FileTitle);
    manifest += Line("; Next line is count of entries in AZP file. Following that is each entry name, type, count "
                     "of images, and hotspot coordinates for each image.");
    manifest += CountLine(count) + Line(ManifestText::Separator);
    TgaFileWriter writer(context.files, context.folder);
    writer.Run([&] {
        for (int32_t i = 0; i < static_cast<int32_t>(entries.size()); ++i) {
            const VehicleEntry& entry = entries[static_cast<size_t>(i)];
            const bool shadow = Format::IsShadowRecord(*file, entry);
            const int32_t images = shadow ? Format::ReadFrameCount(*file, entry) : SlotCount;
            manifest += Line(entry.Name) + Line(shadow ? ManifestText::ShadowKind : ManifestText::VehicleKind) +
                        CountLine(images);
            // The container stays open; a vehicle record is read once, and
            // the frames of a shadow one by one through the frame index.
            std::optional<Format::VehicleSprite> sprite;
            if (!shadow && images > 0)
                sprite = Format::ReadSprite(*file, entry);
            for (int32_t j = 0; j < images; ++j) {
                manifest += Line(LoadForExtraction(context, state, *file, entry, sprite ? &*sprite : nullptr, j));
                writer.Write(TgaBaseName(entry.Name, j) + ".tga", context.image);
                context.window.Yield();
            }
            if (!shadow)
                manifest += Line(ManifestText::Separator);
            context.window.SetProgress(ProgressPercent(i + 1, count));
        }
    });
    // Written last, so that an extraction that fails part-way leaves no
    // manifest that looks complete.
    WriteWholeFile(context.files, manifestPath, manifest);
}

}  // namespace AZP
