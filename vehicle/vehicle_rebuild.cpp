#include <algorithm>
#include <array>
#include <limits>
#include <optional>
#include <vector>

#include "core/error.h"
#include "io/files.h"
#include "core/folder_index.h"
#include "core/manifest.h"
#include "core/names.h"
#include "core/rebuild_report.h"
#include "core/rebuild_steps.h"
#include "core/window.h"
#include "image/image_buffer.h"
#include "image/tga.h"
#include "io/in_order_reader.h"
#include "vehicle/vehicle.h"
#include "vehicle/vehicle_format.h"
#include "vehicle/vehicle_manifest.h"
#include "vehicle/vehicle_writer.h"

namespace AZP {

using namespace Brimwork;
using RebuildSteps::Where;
namespace fs = std::filesystem;

namespace {

constexpr int32_t MostFrames = std::numeric_limits<int16_t>::max();
constexpr size_t ListedRoundedFiles = 20;

// What the container supplies for one entry: everything the manifest does
// not carry.
struct SourceEntry {
    Format::VehicleEntry entry;
    std::vector<uint8_t> tableRecord;  // the 264 bytes as stored, junk after the name included
    bool shadow = false;
    int32_t frameCount = 0;  // of a shadow record; 0 when it is below 0
};

struct Source {
    int32_t count = 0;
    std::vector<SourceEntry> entries;
};

struct ImagePlan {
    std::array<int32_t, 4> hotspot{};
    fs::path tga;
};

// One block of the manifest: a hotspot line per slot or frame.
struct EntryPlan {
    std::vector<ImagePlan> images;
};

Source ReadSource(ReadableFile& file)
{
    Source source;
    source.count = Format::ReadEntryCount(file);
    const auto table = Format::ReadEntryTable(file, source.count);
    for (size_t offset = 0; offset < table.size(); offset += Format::EntrySize) {
        SourceEntry entry;
        entry.tableRecord.assign(table.begin() + static_cast<std::ptrdiff_t>(offset),
                                 table.begin() + static_cast<std::ptrdiff_t>(offset + Format::EntrySize));
        entry.entry = Format::DecodeEntry(entry.tableRecord);
        RequirePlainFileName(entry.entry.Name, "The entry name");
        entry.shadow = Format::IsShadowRecord(file, entry.entry);
        if (entry.shadow)
            entry.frameCount = std::max<int32_t>(Format::ReadFrameCount(file, entry.entry), 0);
        source.entries.push_back(std::move(entry));
    }
    return source;
}

std::string Trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t");
    return first == std::string::npos ? std::string() : text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Separator lines between blocks are comments. A vehicle block ends with
// one; an entry whose own name is the separator text is told apart by
// its place.
void SkipSeparators(Manifest::Reader& reader, bool afterVehicle, const std::string& nextName)
{
    if (nextName == ManifestText::Separator) {
        if (afterVehicle && reader.PeekLine() == ManifestText::Separator)
            reader.ReadLine("a separator line");
        return;
    }
    while (!reader.AtEnd() && reader.PeekLine() == ManifestText::Separator)
        reader.ReadLine("a separator line");
}

void ReadBlockHead(Manifest::Reader& reader, const std::string& manifestName, const SourceEntry& source,
                   const std::string& which)
{
    int line = reader.LineNumber();
    const std::string name = reader.ReadLine("the name of " + which);
    if (name != source.entry.Name)
        throw Error(Where(manifestName, line) + ": the name of " + which + " is \"" + name +
                    "\", but that entry of the container is named \"" + source.entry.Name + "\"");
    line = reader.LineNumber();
    const std::string kind = Trimmed(reader.ReadLine("the kind of " + which));
    if (kind != ManifestText::VehicleKind && kind != ManifestText::ShadowKind)
        throw Error(Where(manifestName, line) + ": the kind of " + which + " is \"" + kind +
                    "\", neither VEHICLE nor SHADOW");
    if (kind != (source.shadow ? ManifestText::ShadowKind : ManifestText::VehicleKind))
        throw Error(Where(manifestName, line) + ": " + which + " is marked " + kind + ", but its record in the " +
                    "container is a " + (source.shadow ? "shadow" : "vehicle") + " record");
}

int32_t ReadImageCount(Manifest::Reader& reader, const std::string& manifestName, const SourceEntry& source,
                       const std::string& which)
{
    const int line = reader.LineNumber();
    const int32_t count = reader.ReadNumbersOnLine("the image count of " + which, 1).front();
    if (!source.shadow && count != SlotCount)
        throw Error(Where(manifestName, line) + ": the image count of " + which + " is " + std::to_string(count) +
                    ", but a vehicle entry holds 17 images");
    if (source.shadow && (count < 0 || count > MostFrames))
        throw Error(Where(manifestName, line) + ": the frame count of " + which + " is " + std::to_string(count) +
                    ", but a shadow holds 0 to 32767 frames");
    return count;
}

// A block with fewer hotspot lines than it needs runs into the separator,
// the next block's name or the end of the manifest. That is told from a
// hotspot line by its first character: a hotspot line opens with a number.
// A blank line is left to the number reader, which says what it lacks.
void RequireHotspotLine(Manifest::Reader& reader, const std::string& manifestName, const SourceEntry& source,
                        const std::string& which, int32_t have, int32_t need)
{
    std::string found;
    if (!reader.AtEnd()) {
        const std::string line(reader.PeekLine());
        const std::string text = Trimmed(line);
        if (text.empty() || (text[0] >= '0' && text[0] <= '9') || text[0] == '-' || text[0] == '+')
            return;
        found = " (this line, \"" + line + "\", is not one)";
    } else {
        found = " (the manifest ends before this line)";
    }
    throw Error(Where(manifestName, reader.LineNumber()) + ": the block of " + which +
                " has too few hotspot lines: " + std::to_string(have) + " of the " + std::to_string(need) +
                (source.shadow ? " its frame count asks for" : " a vehicle needs") + found);
}

EntryPlan ReadBlock(Manifest::Reader& reader, const std::string& manifestName, const SourceEntry& source,
                    const std::string& which)
{
    ReadBlockHead(reader, manifestName, source, which);
    const int32_t count = ReadImageCount(reader, manifestName, source, which);
    EntryPlan plan;
    plan.images.resize(static_cast<size_t>(count));
    for (int32_t j = 0; j < count; ++j) {
        const std::string image = (source.shadow ? "frame " : "slot ") + std::to_string(j) + " of " + which;
        RequireHotspotLine(reader, manifestName, source, which, j, count);
        const int line = reader.LineNumber();
        const auto values = reader.ReadNumbersOnLine("the hotspots of " + image, source.shadow ? 2 : 4);
        for (int32_t value : values)
            if (source.shadow && value != static_cast<int16_t>(value))
                throw Error(Where(manifestName, line) + ": a hotspot of " + image + " does not fit in 16 bits: " +
                            std::to_string(value));
        std::copy(values.begin(), values.end(), plan.images[static_cast<size_t>(j)].hotspot.begin());
    }
    return plan;
}

// The manifest must describe the container it sits beside: the same
// entries, names and kinds in the same order.
std::vector<EntryPlan> ReadManifest(const std::string& text, const std::string& manifestName, const Source& source)
{
    Manifest::Reader reader(text, manifestName);
    reader.ReadLine("line 1");
    reader.ReadLine("line 2");
    const int countLine = reader.LineNumber();
    const int32_t count = reader.ReadNumbersOnLine("the entry count", 1).front();
    if (count != source.count)
        throw Error(Where(manifestName, countLine) + ": the entry count is " + std::to_string(count) +
                    ", but the container holds " + std::to_string(source.count));
    reader.ReadLine("line 4");
    std::vector<EntryPlan> plans;
    bool afterVehicle = false;
    for (const SourceEntry& entry : source.entries) {
        SkipSeparators(reader, afterVehicle, entry.entry.Name);
        const std::string which = "entry " + std::to_string(plans.size() + 1) + " of " + std::to_string(count);
        plans.push_back(ReadBlock(reader, manifestName, entry, which));
        afterVehicle = !entry.shadow;
    }
    SkipSeparators(reader, afterVehicle, {});
    if (!reader.AtEnd())
        throw Error(Where(manifestName, reader.LineNumber()) + ": the manifest goes on after its " +
                    std::to_string(count) + " entries");
    return plans;
}

// Every slot and frame needs its TGA file; none is read yet.
void FindTgaFiles(const FolderIndex& folder, const Source& source, std::vector<EntryPlan>& plans)
{
    for (size_t i = 0; i < plans.size(); ++i) {
        const SourceEntry& entry = source.entries[i];
        auto& images = plans[i].images;
        for (size_t j = 0; j < images.size(); ++j) {
            const auto number = static_cast<int32_t>(j);
            images[j].tga = folder.RequireTgaFile(TgaBaseName(entry.entry.Name, number) + ".tga",
                                                  (entry.shadow ? "frame " : "slot ") + std::to_string(number) +
                                                      " of entry \"" + entry.entry.Name + "\"");
        }
    }
}

std::vector<std::string> TgaFileNames(const std::vector<EntryPlan>& plans)
{
    std::vector<std::string> names;
    for (const auto& plan : plans)
        for (const auto& image : plan.images)
            names.push_back(image.tga.filename().string());
    return names;
}

std::string PixelCount(int64_t pixels) { return std::to_string(pixels) + (pixels == 1 ? " pixel" : " pixels"); }

// Shadow frames whose TGA files held pixels other than black and white.
class RoundingReport {
public:
    void Add(const fs::path& file, int64_t pixels)
    {
        if (pixels == 0)
            return;
        total_ += pixels;
        files_.emplace_back(file.filename().string(), pixels);
    }

    void Show(WindowInterface& window) const
    {
        if (files_.empty())
            return;
        std::string text = "The rebuild rounded " + PixelCount(total_) +
                           " of shadow frames to black or white (white where red, green and blue add up "
                           "to at least 47):";
        for (size_t i = 0; i < files_.size() && i < ListedRoundedFiles; ++i)
            text += "\n" + files_[i].first + ": " + PixelCount(files_[i].second);
        if (files_.size() > ListedRoundedFiles)
            text += "\nand " + std::to_string(files_.size() - ListedRoundedFiles) + " more files";
        window.ShowNotice(text, "Rebuild");
    }

private:
    int64_t total_ = 0;
    std::vector<std::pair<std::string, int64_t>> files_;
};

// Writes the new container through its writer, entry by entry in the
// container's order. What a TGA file gives unchanged keeps its stored
// bytes: an unedited slot is copied from the container with its stored
// size, an unedited frame keeps its run-length data.
class ContainerRebuild {
public:
    ContainerRebuild(ModuleContext& context, ReadableFile& container)
        : context_(context), container_(container),
          report_(context.rebuild.dryRun ? context.rebuild.report : nullptr)
    {
    }

    std::vector<fs::path> Write(const Source& source, const std::vector<EntryPlan>& plans, WritableFile& out)
    {
        images_.emplace(context_.files, context_.folder, TgaFileNames(plans), DecodeTga);
        const auto entries = static_cast<int32_t>(source.entries.size());
        ContainerWriter writer(out, source.count, entries);
        for (int32_t i = 0; i < entries; ++i) {
            const SourceEntry& entry = source.entries[static_cast<size_t>(i)];
            if (report_ != nullptr)
                report_->BeginEntry(entry.entry.Name, entry.shadow ? "frame" : "slot");
            const EntryPlan& plan = plans[static_cast<size_t>(i)];
            if (entry.shadow)
                WriteShadow(writer, entry, plan);
            else
                WriteVehicle(writer, entry, plan);
            context_.window.SetProgress(ProgressPercent(i + 1, entries));
        }
        writer.Finish();
        return std::move(read_);
    }

    const RoundingReport& Rounding() const { return rounding_; }

private:
    // Reads the next TGA file; for a dry run, starts its line of the report.
    ImageReport ReadImage(const fs::path& tga, ImageBuffer& image, int32_t index)
    {
        TgaImage next = images_->Next();
        image = std::move(next.image);
        read_.push_back(tga);
        return {.index = index, .file = tga.filename().string(), .bit15Lost = !next.origin.wordsKept};
    }

    void WriteVehicle(ContainerWriter& writer, const SourceEntry& source, const EntryPlan& plan)
    {
        std::vector<uint8_t> record = Format::ReadSpriteRecord(container_, source.entry);
        const Format::VehicleSprite sprite = Format::DecodeSprite(record);
        writer.BeginVehicle(source.tableRecord, std::move(record));
        ImageBuffer edited;
        ImageBuffer stored;
        for (int32_t j = 0; j < SlotCount; ++j) {
            const ImagePlan& image = plan.images[static_cast<size_t>(j)];
            const ImageReport read = ReadImage(image.tga, edited, j);
            const Format::Slot& slot = sprite.slots[static_cast<size_t>(j)];
            Format::LoadSlot(stored, container_, source.entry, slot, j, false);
            const bool unedited = SameImage(edited, stored);
            if (report_ != nullptr)
                report_->AddImage(read, stored, edited);
            if (unedited) {
                writer.AddStoredSlot(image.hotspot, slot.Width, slot.Height, container_,
                                     Format::SlotPixelOffset(source.entry, slot));
            } else {
                RequireFitsTga(edited.ImageWidth, edited.ImageHeight, "The image in " + image.tga.string());
                writer.AddSlot(image.hotspot, edited, image.tga.string());
            }
            context_.window.Yield();
        }
    }

    void WriteShadow(ContainerWriter& writer, const SourceEntry& source, const EntryPlan& plan)
    {
        const auto frames = static_cast<int32_t>(plan.images.size());
        writer.BeginShadow(source.tableRecord, Format::ReadShadowHeader(container_, source.entry), frames);
        ImageBuffer edited;
        ImageBuffer decoded;
        State stored;
        State coded;
        for (int32_t f = 0; f < frames; ++f) {
            const ImagePlan& image = plan.images[static_cast<size_t>(f)];
            ImageReport read = ReadImage(image.tga, edited, f);
            read.rounded = RoundToShadow(edited);
            rounding_.Add(image.tga, read.rounded);
            bool unedited = false;
            std::optional<ImageBuffer> before;
            if (f < source.frameCount) {
                Format::ReadFrame(container_, source.entry, f, stored);
                // Comparing a stored frame sounds no beep its codes may ask for.
                DecodeShadow(decoded, silent_, stored, false);
                unedited = SameImage(edited, decoded);
                before = decoded;
            }
            if (report_ != nullptr)
                report_->AddImage(read, before, edited);
            if (!unedited)
                EncodeShadow(edited, coded, image.tga.string());
            State& frame = unedited ? stored : coded;
            frame.frame.Hotspot[0] = static_cast<int16_t>(image.hotspot[0]);
            frame.frame.Hotspot[1] = static_cast<int16_t>(image.hotspot[1]);
            writer.AddFrame(Format::FrameBytes(frame));
            context_.window.Yield();
        }
        for (int32_t f = frames; report_ != nullptr && f < source.frameCount; ++f) {
            Format::ReadFrame(container_, source.entry, f, stored);
            report_->entries.back().images.push_back(
                {ImageReport::Change::Dropped, f, {}, stored.frame.Width, stored.frame.Height});
        }
    }

    ModuleContext& context_;
    ReadableFile& container_;
    SilentWindow silent_;
    std::optional<InOrderReader<TgaImage>> images_;  // the TGA files, in the order they are written
    std::vector<fs::path> read_;
    RoundingReport rounding_;
    RebuildReport* report_;  // what a dry run would change, image by image
};

}  // namespace

void Rebuild(ModuleContext& context)
{
    const std::string manifestName = context.container.FileTitle + ".txt";
    const FolderIndex folder(context.files, context.folder);
    const auto foundManifest = folder.Find(manifestName);
    RebuildSteps::BeginReport(context, context.folder / foundManifest.value_or(manifestName));
    if (!foundManifest) {
        RebuildSteps::RefuseWithoutManifest(
            context, "Error: No " + manifestName + " file found in current directory.  Can't rebuild.");
        return;
    }
    const fs::path manifestPath = context.folder / *foundManifest;
    const std::string text = RebuildSteps::ReadManifestText(context.files, manifestPath);
    auto container = context.files.OpenContainer(context.container.FileName);
    const Source source = ReadSource(*container);
    std::vector<EntryPlan> plans = ReadManifest(text, manifestPath.string(), source);
    FindTgaFiles(folder, source, plans);
    RebuildSteps::RefuseContainerNamingAnInput(context.container.FileTitle, TgaFileNames(plans),
                                               manifestPath.string());

    RoundingReport rounding;
    RebuildSteps::ReplaceContainer(
        context, context.container.FileTitle, manifestPath,
        [&](WritableFile& out) {
            ContainerRebuild rebuild(context, *container);
            auto read = rebuild.Write(source, plans, out);
            rounding = rebuild.Rounding();
            return read;
        },
        [&](const fs::path& rebuilt) {
            rounding.Show(context.window);
            ListEntries(context, rebuilt);
        });
}

}  // namespace AZP
