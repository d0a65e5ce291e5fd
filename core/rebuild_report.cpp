#include "core/rebuild_report.h"

#include <algorithm>
#include <array>

#include "core/names.h"
#include "image/image_buffer.h"

namespace Brimwork {

namespace {

std::string Size(int32_t width, int32_t height) { return std::to_string(width) + " x " + std::to_string(height); }

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

std::string ChangeWord(ImageReport::Change change)
{
    switch (change) {
    case ImageReport::Change::Unchanged:
        return "unchanged";
    case ImageReport::Change::Changed:
        return "changed";
    case ImageReport::Change::Added:
        return "added";
    case ImageReport::Change::Dropped:
        return "dropped";
    }
    return {};
}

std::string ImageLine(const EntryReport& entry, const ImageReport& image)
{
    std::string line = "  " + entry.imageWord + " " + std::to_string(image.index) + "  ";
    if (image.change == ImageReport::Change::Dropped)
        return line + "dropped (was " + Size(image.oldWidth, image.oldHeight) + ")";
    line += image.file + "  " + ChangeWord(image.change) + "  ";
    if (image.change == ImageReport::Change::Changed)
        line += Size(image.oldWidth, image.oldHeight) + " -> ";
    line += Size(image.width, image.height);
    if (image.rounded > 0)
        line += "; " + CountOf(image.rounded, "pixel", "pixels") + " rounded to black or white";
    if (image.bit15Lost)
        line += "; not a 16-bit file, so bit 15 of every pixel is 0";
    return line;
}

std::string EntryLine(size_t number, const EntryReport& entry)
{
    std::string line = "Entry " + std::to_string(number) + " " + Quoted(entry.name);
    if (entry.isNew)
        line += " (new)";
    else if (entry.oldName)
        line += " (was " + Quoted(*entry.oldName) + ")";
    const auto kept = std::count_if(entry.images.begin(), entry.images.end(), [](const ImageReport& image) {
        return image.change != ImageReport::Change::Dropped;
    });
    return line + ": " + CountOf(kept, entry.imageWord, entry.imageWord + "s");
}

}  // namespace

bool SameImage(const ImageBuffer& a, const ImageBuffer& b)
{
    const auto pixelsA = PackedPixels(a);
    const auto pixelsB = PackedPixels(b);
    return a.ImageWidth == b.ImageWidth && a.ImageHeight == b.ImageHeight &&
           std::equal(pixelsA.begin(), pixelsA.end(), pixelsB.begin(), pixelsB.end());
}

EntryReport& RebuildReport::BeginEntry(std::string name, std::string imageWord)
{
    EntryReport& entry = entries.emplace_back();
    entry.name = std::move(name);
    entry.imageWord = std::move(imageWord);
    return entry;
}

void RebuildReport::AddImage(ImageReport image, const std::optional<ImageBuffer>& before, const ImageBuffer& after)
{
    image.width = after.ImageWidth;
    image.height = after.ImageHeight;
    if (!before) {
        image.change = ImageReport::Change::Added;
    } else {
        image.oldWidth = before->ImageWidth;
        image.oldHeight = before->ImageHeight;
        image.change = SameImage(*before, after) ? ImageReport::Change::Unchanged : ImageReport::Change::Changed;
    }
    entries.back().images.push_back(std::move(image));
}

int64_t RebuildReport::TgaFilesRead() const
{
    return std::max<int64_t>(static_cast<int64_t>(filesRead.size()) - 1, 0);
}

std::string RebuildReport::Text() const
{
    std::string text = (dryRun ? "Dry run of the rebuild of " : "Rebuild of ") + container + " from " + manifest +
                       (dryRun ? ": nothing is written.\n" : "\n");
    if (!unreadableContainer.empty())
        text += container + " as it stands cannot be read, so every image counts as added:\n" +
                unreadableContainer + "\n";
    std::array<int64_t, 4> changes{};
    for (size_t i = 0; i < entries.size(); ++i) {
        text += EntryLine(i + 1, entries[i]) + "\n";
        for (const auto& image : entries[i].images) {
            text += ImageLine(entries[i], image) + "\n";
            ++changes[static_cast<size_t>(image.change)];
        }
    }
    for (const auto& name : droppedEntries)
        text += "Entry " + Quoted(name) + " of " + container + " is not in the manifest: dropped\n";
    if (!entries.empty() || !droppedEntries.empty())
        text += "In all: " + GroupedNumber(changes[0]) + " unchanged, " + GroupedNumber(changes[1]) + " changed, " +
                GroupedNumber(changes[2]) + " added, " + GroupedNumber(changes[3]) + " dropped.\n";
    if (!filesRead.empty())
        text += std::string(dryRun ? "Would read and then delete " : "Read and deleted ") + filesRead.front() +
                (filesRead.size() > 1 ? " and the " + CountOf(TgaFilesRead(), "TGA file", "TGA files") + " above" : "") +
                ".\n";
    if (newSize >= 0)
        text += std::string(dryRun ? "Would write " : "Wrote ") + container + " (" +
                CountOf(newSize, "byte", "bytes") + ")" +
                (backup ? ", keeping the file it replaces as " + *backup : "") + ".\n";
    if (refusal)
        text += std::string(dryRun ? "The rebuild would be refused:\n" : "The rebuild was refused:\n") + *refusal +
                "\n";
    else if (done)
        text += dryRun ? "The rebuild would succeed.\n" : "The rebuild succeeded.\n";
    return text;
}

}  // namespace Brimwork
