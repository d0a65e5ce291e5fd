#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace Brimwork {

struct ImageBuffer;

// What became, or would become, of one image in a rebuild.
struct ImageReport {
    enum class Change { Unchanged, Changed, Added, Dropped };
    Change change = Change::Added;
    int32_t index = 0;
    std::string file;  // the TGA file read; none for a dropped frame
    int32_t oldWidth = 0;
    int32_t oldHeight = 0;
    int32_t width = 0;
    int32_t height = 0;
    int64_t rounded = 0;         // shadow pixels rounded to black or white
    bool bit15Lost = false;      // a 24- or 32-bit or grey file: bit 15 of every pixel is 0
};

struct EntryReport {
    std::string name;
    std::string imageWord;  // "image", "slot" or "frame"
    bool isNew = false;      // the container has no entry at its place
    std::optional<std::string> oldName;  // the name of the container's entry at its place, when it differs
    std::vector<ImageReport> images;
};

// What a rebuild read and what it changed, entry by entry, image by image:
// filled as the rebuild goes. A dry run fills every image's change; a real
// rebuild only what it read.
class RebuildReport {
public:
    std::string container;  // the file rebuilt
    std::string manifest;
    bool dryRun = false;
    // Where the container as it stands could not be read to be compared.
    std::string unreadableContainer;
    std::vector<EntryReport> entries;
    std::vector<std::string> droppedEntries;  // the container's entries beyond the manifest's
    std::vector<std::string> filesRead;       // the manifest, then the TGA files, by name; deleted after a rebuild
    int64_t newSize = -1;                     // bytes of the rebuilt container
    std::optional<std::string> backup;        // the name the replaced container is kept under
    bool done = false;                        // the rebuild ran (or would run) through
    std::optional<std::string> refusal;       // the message it met instead

    EntryReport& BeginEntry(std::string name, std::string imageWord);
    // An image of the last entry begun; its change follows from the image
    // before and after: none before is Added, the same size and pixels
    // Unchanged, anything else Changed.
    void AddImage(ImageReport image, const std::optional<ImageBuffer>& before, const ImageBuffer& after);

    int64_t TgaFilesRead() const;
    // The report as plain text, one line per image.
    std::string Text() const;
};

// Whether two images in packed layout hold the same size and pixels.
bool SameImage(const ImageBuffer& a, const ImageBuffer& b);

}  // namespace Brimwork
