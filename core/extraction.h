#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "io/files.h"

namespace Brimwork {

class WindowInterface;
struct ImageBuffer;
struct ModuleContext;
struct OverwriteQuestion;

// One entry of a container as its extraction writes it: its name, and the
// TGA file names of its images in order.
struct ExtractionEntry {
    std::string name;
    std::vector<std::string> imageFiles;
};

// Pixels a container stores exactly as the TGA file holds them after its
// header (packed rows, top row first): width x height, in `range`.
struct StoredPixels {
    int32_t width = 0;
    int32_t height = 0;
    FileRange range;
};

// Everything an extraction writes, known before it writes anything: the
// manifest's place and text, the TGA files entry by entry, and how to load
// each image.
struct ExtractionJob {
    std::filesystem::path manifestPath;
    std::string manifestText;
    std::vector<ExtractionEntry> entries;
    // Loads image `image` of entry `entry` in packed layout into `out`; a
    // decoder's beep goes to `window`.
    std::function<void(size_t entry, size_t image, ImageBuffer& out, WindowInterface& window)> load;
    // Where the container stores the image's pixels as its TGA file holds
    // them, when it does and the image has pixels; the extraction then has
    // the system copy them from the container into the file, which costs
    // no reading into memory. Nothing, or no function, for an image that
    // must be decoded: it is loaded.
    std::function<std::optional<StoredPixels>(size_t entry, size_t image)> stored;
};

struct ExtractionResult {
    // False when the user would not have files overwritten: then nothing
    // was written.
    bool done = false;
    int64_t images = 0;
    // Of those, the images whose files were already there with exactly the
    // bytes the extraction would write, and so were left as they were.
    int64_t alreadyThere = 0;
    std::string manifestName;
};

// Runs an extraction so that it never costs the user a file:
// - two files whose names are equal ignoring letter case (as the rebuilds
//   find them) are refused before anything is written, naming both;
// - every file already in the folder under the name of a file to write
//   (letter case ignored) is compared with what would be written: one with
//   the same bytes is left alone; when any differs, the window is asked, and
//   without its consent nothing is written;
// - an extraction that fails part-way removes the files it created, and
//   says so.
// The manifest is written last, so that a failed run leaves none that
// would pass for complete. After the run the image buffer holds the last
// image, in packed layout.
ExtractionResult RunExtraction(ModuleContext& context, const ExtractionJob& job);

// "3 files in FOLDER hold other bytes than extraction would write ...:"
// and the files, up to 10 of them: what the window asks about and the
// command line refuses.
std::string DifferingFilesText(const OverwriteQuestion& question);

}  // namespace Brimwork
