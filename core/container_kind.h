#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/context.h"
#include "core/document_model.h"
#include "core/extraction.h"
#include "image/image_buffer.h"

namespace Brimwork {

class FileSystem;
class ReadableFile;
class WritableFile;

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
    // The name extraction gives the TGA file of an entry's image.
    virtual std::string ImageFileName(const std::string& entryName, int32_t imageIndex) const = 0;

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

    // The container as a document (see Document).
    // Refuses a name an entry of this kind cannot take: one longer than its
    // name field, or one that extraction could not write as a file name or
    // carry in its manifest.
    virtual void RequireEntryName(const std::string& name) const = 0;
    // Whether an entry of `kind` may stand in this kind's files.
    virtual bool Holds(EntryKind kind) const = 0;
    // The container's records, no pixels read; every image's bytes are
    // checked to lie within the file, which the model's images keep open.
    virtual DocumentModel ReadModel(const std::shared_ptr<ReadableFile>& file) = 0;
    // Writes the model, laid out as the rebuild lays out the file, through
    // the writer the rebuild uses. Returns the model as the written file
    // holds it: every image stored where it now lies, in a file the caller
    // gives it once the file is in place.
    virtual DocumentModel WriteModel(const DocumentModel& model, WritableFile& out) = 0;
    // The defaults below serve kinds whose images are packed pixels and
    // whose entries keep nothing but their name and value.
    // An image of an entry of `kind` in packed layout.
    virtual ImageBuffer LoadModelImage(EntryKind kind, const DocumentImage& image);
    // The image that takes the place of `old` (none for a new image) in an
    // entry of `kind`, made from packed pixels as the rebuild makes it from
    // a TGA file; `source` names them in messages. Adds to `rounded` the
    // pixels of a shadow frame rounded to black or white.
    virtual DocumentImage MakeModelImage(EntryKind kind, const DocumentImage* old, ImageBuffer packed,
                                         const std::string& source, int64_t& rounded);
    // A new entry of `kind` without images (a vehicle entry: 17 empty slots).
    virtual DocumentEntry NewEntry(const std::string& name, EntryKind kind);
    // Gives the entry a new name, where the kind keeps it.
    virtual void Rename(DocumentEntry& entry, const std::string& name);
};

}  // namespace Brimwork
