#include "vehicle/vehicle_kind.h"

#include <algorithm>

#include "core/bytes.h"
#include "core/container_kind.h"
#include "core/error.h"
#include "io/files.h"
#include "io/read_ahead_file.h"
#include "core/rebuild_report.h"
#include "core/window.h"
#include "image/tga.h"
#include "vehicle/vehicle.h"
#include "vehicle/vehicle_format.h"
#include "vehicle/vehicle_writer.h"

namespace AZP {

using namespace Brimwork;

namespace {

constexpr size_t FrameHotspotOffset = 4;
constexpr size_t RecordBlockBytes = size_t{16} << 10;

std::array<int32_t, 4> SlotHotspots(const DocumentImage& image)
{
    std::array<int32_t, 4> hotspots{};
    std::copy_n(image.hotspots.begin(), std::min<size_t>(4, image.hotspots.size()), hotspots.begin());
    return hotspots;
}

// A frame as stored, taken apart into its header, row table and
// run-length data; bytes that do not hold together are damage.
State FrameState(std::span<const uint8_t> bytes, const std::string& what)
{
    State state;
    if (bytes.size() < Format::FrameHeaderSize)
        throw Error(what + " is shorter than a frame header");
    state.frame.Width = Bytes::Int16At(bytes, 0);
    state.frame.Height = Bytes::Int16At(bytes, 2);
    state.frame.Hotspot[0] = Bytes::Int16At(bytes, 4);
    state.frame.Hotspot[1] = Bytes::Int16At(bytes, 6);
    state.frame.DataSize = Bytes::Int32At(bytes, 8);
    const int64_t rows = int64_t{2} * std::max<int16_t>(state.frame.Height, 0);
    if (state.frame.DataSize < rows || int64_t{state.frame.DataSize} + Format::FrameHeaderSize !=
                                           static_cast<int64_t>(bytes.size()))
        throw Error(what + " does not hold together: its data size does not match its rows and bytes");
    state.RowOffsets.resize(static_cast<size_t>(rows / 2));
    for (size_t r = 0; r < state.RowOffsets.size(); ++r)
        state.RowOffsets[r] = Bytes::Int16At(bytes, Format::FrameHeaderSize + 2 * r);
    state.ShadowData.assign(bytes.begin() + Format::FrameHeaderSize + rows, bytes.end());
    return state;
}

ImageBuffer DecodedFrame(const DocumentImage& image)
{
    const State state = FrameState(ImageBytes(image), "A shadow frame");
    ImageBuffer decoded;
    // A frame decoded for editing sounds no beep its codes may ask for.
    SilentWindow silent;
    DecodeShadow(decoded, silent, state, false);
    return decoded;
}

class VehicleKind final : public ContainerKind {
public:
    const char* Extension() const override { return ".AZP"; }
    std::string ImageFileName(const std::string& entryName, int32_t imageIndex) const override
    {
        return AZP::TgaBaseName(entryName, imageIndex) + ".tga";
    }

    std::vector<std::string> ListEntries(FileSystem& files, const std::filesystem::path& fileName) override
    {
        return EntryNames(files, fileName);
    }
    int32_t CountImages(FileSystem& files, const std::filesystem::path& container, int32_t entryIndex) override
    {
        return AZP::CountImages(files, container, entryIndex);
    }
    int32_t LoadImage(ModuleContext& context, int32_t entryIndex, int32_t imageIndex) override
    {
        AZP::LoadImage(context, state_, entryIndex, imageIndex);
        return imageIndex;
    }
    ExtractionResult ExtractAll(ModuleContext& context) override { return AZP::ExtractAll(context, state_); }
    void Rebuild(ModuleContext& context) override { AZP::Rebuild(context); }

    void RequireEntryName(const std::string& name) const override { RequireEntryNameFits(name, Format::NameSize); }
    bool Holds(EntryKind kind) const override { return kind == EntryKind::Vehicle || kind == EntryKind::Shadow; }

    DocumentModel ReadModel(const std::shared_ptr<ReadableFile>& file) override
    {
        DocumentModel model;
        model.statedCount = Format::ReadEntryCount(*file);
        const auto table = Format::ReadEntryTable(*file, model.statedCount);
        // Records and frames lie one after another: read a block ahead,
        // not one system call each.
        ReadAheadFile records(*file, RecordBlockBytes);
        for (size_t offset = 0; offset < table.size(); offset += Format::EntrySize) {
            const std::span<const uint8_t> record(table.data() + offset, Format::EntrySize);
            model.entries.push_back(ReadEntry(file, records, record));
        }
        return model;
    }

    DocumentModel WriteModel(const DocumentModel& model, WritableFile& out) override
    {
        const auto count = static_cast<int32_t>(model.entries.size());
        const int32_t stated = count == 0 && model.statedCount < 0 ? model.statedCount : count;
        ContainerWriter writer(out, stated, count);
        DocumentModel written{model.headerValue, stated, {}};
        written.entries.reserve(model.entries.size());
        for (const DocumentEntry& entry : model.entries) {
            DocumentEntry& placed = written.entries.emplace_back(
                DocumentEntry{entry.name, entry.kind, entry.entryValue, entry.tableRecord, entry.recordHead, {}, {}});
            if (entry.kind == EntryKind::Shadow)
                WriteShadow(writer, entry, placed);
            else
                WriteVehicle(writer, entry, placed);
        }
        writer.Finish();
        return written;
    }

    ImageBuffer LoadModelImage(EntryKind kind, const DocumentImage& image) override
    {
        return kind == EntryKind::Shadow ? DecodedFrame(image) : PackedImage(image);
    }

    // As the rebuild does with a TGA file: what comes back unchanged keeps
    // its stored bytes; a shadow frame is rounded first and coded anew
    // only when it changed. Hotspots stay those of the image replaced.
    DocumentImage MakeModelImage(EntryKind kind, const DocumentImage* old, ImageBuffer packed,
                                 const std::string& source, int64_t& rounded) override
    {
        if (kind == EntryKind::Shadow)
            return MakeFrame(old, std::move(packed), source, rounded);
        if (old != nullptr && SameImage(packed, PackedImage(*old)))
            return *old;
        RequireFitsTga(packed.ImageWidth, packed.ImageHeight, "The image of " + source);
        return EditedImage(std::move(packed), old != nullptr ? old->hotspots : std::vector<int32_t>(4, 0));
    }

    DocumentEntry NewEntry(const std::string& name, EntryKind kind) override
    {
        DocumentEntry entry{name, kind, 0, std::vector<uint8_t>(Format::EntrySize, 0), {}, {}, {}};
        Bytes::PutText(entry.tableRecord, 0, Format::NameSize, name);
        if (kind == EntryKind::Shadow) {
            entry.recordHead.assign(Format::ShadowHeaderSize, 0);
            Bytes::PutText(entry.recordHead, 0, 4, "IRPS");
            return entry;
        }
        entry.recordHead.assign(Format::RecordSize, 0);
        for (int32_t j = 0; j < SlotCount; ++j)
            entry.images.push_back(EditedImage(0, 0, {}, std::vector<int32_t>(4, 0)));
        return entry;
    }

    void Rename(DocumentEntry& entry, const std::string& name) override
    {
        entry.name = name;
        Bytes::PutText(entry.tableRecord, 0, Format::NameSize, name);
    }

private:
    static DocumentEntry ReadEntry(const std::shared_ptr<ReadableFile>& file, ReadableFile& records,
                                   std::span<const uint8_t> record)
    {
        const Format::VehicleEntry stored = Format::DecodeEntry(record);
        DocumentEntry entry{stored.Name, EntryKind::Vehicle, stored.EntryValue, {record.begin(), record.end()}, {}, {}, {}};
        if (Format::IsShadowRecord(records, stored)) {
            entry.kind = EntryKind::Shadow;
            entry.recordHead = Format::ReadShadowHeader(records, stored);
            const int32_t frames = std::max<int32_t>(Bytes::Int16At(entry.recordHead, Format::FrameCountOffset), 0);
            State state;
            for (int32_t f = 0; f < frames; ++f) {
                Format::ReadFrame(records, stored, f, state);
                entry.images.push_back(StoredImage(file, state.frame.Width, state.frame.Height,
                                                   state.frames.frameStarts[static_cast<size_t>(f)],
                                                   int64_t{Format::FrameHeaderSize} + state.frame.DataSize,
                                                   {state.frame.Hotspot[0], state.frame.Hotspot[1]}));
            }
            return entry;
        }
        entry.recordHead = Format::ReadSpriteRecord(records, stored);
        const Format::VehicleSprite sprite = Format::DecodeSprite(entry.recordHead);
        for (int32_t j = 0; j < SlotCount; ++j) {
            const Format::Slot& slot = sprite.slots[static_cast<size_t>(j)];
            Format::CheckSlot(records, stored, slot, j);
            const bool pixels = slot.Width > 0 && slot.Height > 0;
            entry.images.push_back(StoredImage(
                file, slot.Width, slot.Height,
                int64_t{stored.RecordOffset} + Format::RecordSize + slot.PixelOffset,
                pixels ? int64_t{slot.Width} * slot.Height * 2 : 0,
                {slot.Hotspot.begin(), slot.Hotspot.end()}));
        }
        return entry;
    }

    static void WriteVehicle(ContainerWriter& writer, const DocumentEntry& entry, DocumentEntry& placed)
    {
        writer.BeginVehicle(entry.tableRecord, entry.recordHead);
        for (size_t j = 0; j < entry.images.size(); ++j) {
            const DocumentImage& image = entry.images[j];
            placed.images.push_back(Placed(image, writer.Size()));
            if (image.Edited())
                writer.AddSlot(SlotHotspots(image), image.width, image.height, *image.edited,
                               "Slot " + std::to_string(j) + " of entry \"" + entry.name + "\"");
            else
                writer.AddStoredSlot(SlotHotspots(image), image.width, image.height, *image.stored.file,
                                     image.stored.offset);
        }
    }

    static void WriteShadow(ContainerWriter& writer, const DocumentEntry& entry, DocumentEntry& placed)
    {
        writer.BeginShadow(entry.tableRecord, entry.recordHead, static_cast<int32_t>(entry.images.size()));
        for (const DocumentImage& image : entry.images) {
            placed.images.push_back(Placed(image, writer.Size()));
            std::vector<uint8_t> bytes = ImageBytes(image);
            for (size_t k = 0; k < 2 && k < image.hotspots.size(); ++k)
                Bytes::PutInt16(bytes, FrameHotspotOffset + 2 * k, static_cast<int16_t>(image.hotspots[k]));
            writer.AddFrame(bytes);
        }
    }

    static DocumentImage MakeFrame(const DocumentImage* old, ImageBuffer packed, const std::string& source,
                                   int64_t& rounded)
    {
        rounded += RoundToShadow(packed);
        if (old != nullptr && SameImage(packed, DecodedFrame(*old)))
            return *old;
        State coded;
        EncodeShadow(packed, coded, source);
        const std::vector<int32_t> hotspots = old != nullptr ? old->hotspots : std::vector<int32_t>{0, 0};
        coded.frame.Hotspot[0] = static_cast<int16_t>(hotspots[0]);
        coded.frame.Hotspot[1] = static_cast<int16_t>(hotspots[1]);
        return EditedImage(coded.frame.Width, coded.frame.Height, Format::FrameBytes(coded), hotspots);
    }

    State state_;
};

}  // namespace

std::unique_ptr<ContainerKind> MakeKind() { return std::make_unique<VehicleKind>(); }

}  // namespace AZP
