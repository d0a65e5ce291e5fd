#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "core/context.h"
#include "core/extraction.h"

// Gadget files (*.gdg): a "GADG" header, a table of named entries, and for
// each entry a table of image headers pointing at packed 5-5-5 pixels.
namespace Brimwork {
class FileSystem;
}

namespace GDG {

using Brimwork::ModuleContext;

// The names of the file's entries in file order. A wrong signature is an
// Error titled "Brimwork Error"; a damaged file is an Error too.
std::vector<std::string> EntryNames(Brimwork::FileSystem& files, const std::filesystem::path& fileName);

// Checks the signature and replaces the window's list with the entry names.
// A wrong signature shows its message and returns false with the list as it
// was; a damaged file is an Error, also before the list is touched.
bool ListEntries(ModuleContext& context, const std::filesystem::path& fileName);

// Loads image imageIndex of an entry of the chosen container in display
// layout; imageIndex comes back as 0 when it is out of range.
void LoadImage(ModuleContext& context, int32_t entryIndex, int32_t& imageIndex);

// How many images entry entryIndex holds, none when its count is below 1.
// A count whose image table would reach past the end of the file is an
// Error naming the file.
int32_t CountImages(Brimwork::FileSystem& files, const std::filesystem::path& container, int32_t entryIndex);

// Writes every image as "<name>_<nnn>.tga" and the manifest "EXTRACT.DAT"
// into the working folder, never over a file that holds other bytes unless
// the window agrees (see RunExtraction).
Brimwork::ExtractionResult ExtractAll(ModuleContext& context);

// Rebuilds the container named on line 1 of "EXTRACT.DAT" from the manifest
// and the TGA files, replaces it in one step and lists it.
void Rebuild(ModuleContext& context);

inline constexpr const char* ManifestName = "EXTRACT.DAT";

// "<entry name>_<nnn>.tga": the TGA file of an entry's image, the number
// with at least three digits.
std::string TgaFileName(const std::string& entryName, int32_t imageIndex);

}  // namespace GDG
