#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "core/context.h"
#include "core/extraction.h"

// Screen files (*.pix): a "PICS" header and a table of named entries, each
// holding exactly one image of packed 5-5-5 pixels.
namespace Brimwork {
class FileSystem;
}

namespace PIX {

using Brimwork::ModuleContext;

// The names of the file's entries in file order. A wrong signature is an
// Error titled "Brimwork Error"; a damaged file is an Error too.
std::vector<std::string> EntryNames(Brimwork::FileSystem& files, const std::filesystem::path& fileName);

// Checks the signature and replaces the window's list with the entry names.
// A wrong signature shows its message and returns false with the list as it
// was; a damaged file is an Error, also before the list is touched.
bool ListEntries(ModuleContext& context, const std::filesystem::path& fileName);

// Loads the image of an entry of the chosen container in display layout.
void LoadImage(ModuleContext& context, int32_t entryIndex);

// How many images entry entryIndex holds: always 1, once the entry is
// found in the container.
int32_t CountImages(Brimwork::FileSystem& files, const std::filesystem::path& container, int32_t entryIndex);

// Writes every entry's image as "<name>.tga" and the manifest
// "<container file title>.DAT" into the working folder.
Brimwork::ExtractionResult ExtractAll(ModuleContext& context);

// Rebuilds the container named on line 1 of the manifest from the TGA
// files, replaces it in one step and lists it.
void Rebuild(ModuleContext& context);

// "<entry name>.tga": the TGA file of an entry's image.
std::string TgaFileName(const std::string& entryName);

// The manifest's name for the chosen container: its file title and ".DAT".
std::string ManifestNameFor(const ModuleContext& context);

}  // namespace PIX
