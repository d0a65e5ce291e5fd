#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/context.h"
#include "core/extraction.h"

namespace Brimwork {

class FileSystem;

// One kind of container and what each command does with it. Each kind's
// module implements it; an object of it keeps what the kind needs between
// commands on one container (for vehicle files, where the frames of the
// last shadow read begin). Failures are Errors; a refusal whose message
// has a title of its own carries it.
class ContainerKind {
public:
    virtual ~ContainerKind() = default;

    // The extension of the kind's file names, upper-cased, with its dot.
    virtual const char* Extension() const = 0;
    // Whether every entry holds exactly one image, so that stepping
    // through an entry's images has nowhere to go.
    virtual bool OneImagePerEntry() const { return false; }

    // The names of the file's entries, in file order.
    virtual std::vector<std::string> ListEntries(FileSystem& files, const std::filesystem::path& fileName) = 0;
    // How many images entry entryIndex holds, read from its records without
    // loading a picture.
    virtual int32_t CountImages(FileSystem& files, const std::filesystem::path& container, int32_t entryIndex) = 0;
    // Loads image imageIndex of an entry of the chosen container into the
    // context's buffer in display layout; returns the image loaded, which
    // is 0 when imageIndex was out of range.
    virtual int32_t LoadImage(ModuleContext& context, int32_t entryIndex, int32_t imageIndex) = 0;
    // Extracts every image and the manifest into the working folder.
    virtual ExtractionResult ExtractAll(ModuleContext& context) = 0;
    // Rebuilds the chosen container from the working folder.
    virtual void Rebuild(ModuleContext& context) = 0;
};

}  // namespace Brimwork
