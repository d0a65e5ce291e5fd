#pragma once

#include <cstdint>
#include <filesystem>

namespace Brimwork {

class FileSystem;

// How many images an entry of a container holds, read from its records
// without loading a picture: a gadget entry's image count, 1 for a screen
// entry, 17 slots for a vehicle entry and the frame count (none below 0)
// for a shadow entry. A gadget entry whose image table would reach past
// the end of the file is an Error naming the file.
int32_t EntryImageCount(FileSystem& files, int32_t fileKind, const std::filesystem::path& container,
                        int32_t entryIndex);

}  // namespace Brimwork
