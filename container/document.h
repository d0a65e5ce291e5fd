#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/container_kind.h"
#include "core/document_model.h"
#include "image/image_buffer.h"

namespace Brimwork {

class FileSystem;

// What a replaced or inserted image became: for a shadow frame, how many
// of its pixels were rounded to black or white.
struct ImageChange {
    int64_t roundedPixels = 0;
};

// What an export wrote: how many pixels had bit 15 set, which a PNG cannot
// carry (a TGA file keeps it).
struct ExportResult {
    int64_t bit15Lost = 0;
};

// A container of any kind opened for editing. Opening reads its records
// and no pixels; an edit changes the model only, checked against the
// format's limits first, so that a refused edit changes nothing. Save
// writes the file as a rebuild lays it out, through the kind's own writer,
// copying every unedited image's bytes from the file it was read from.
class Document {
public:
    // The kind follows the file's name, as for the window.
    static Document Open(FileSystem& files, const std::filesystem::path& path);

    const std::filesystem::path& Path() const { return path_; }
    const ContainerKind& Kind() const { return *kind_; }
    const DocumentModel& Model() const { return model_; }
    const std::vector<DocumentEntry>& Entries() const { return model_.entries; }
    // The entry, or an Error naming the file and how many entries it holds.
    const DocumentEntry& Entry(size_t entry) const;
    const DocumentImage& Image(size_t entry, size_t image) const;
    // Whether the document holds changes that are not saved.
    bool Modified() const { return modified_; }

    // The image's pixels in packed layout; a shadow frame decoded to black
    // and white.
    ImageBuffer LoadImage(size_t entry, size_t image) const;
    // Writes the image as a TGA file, as extraction writes it, or as a PNG
    // file, by the extension of `out`; an existing file is replaced.
    ExportResult ExportImage(size_t entry, size_t image, const std::filesystem::path& out) const;

    // Puts the pixels, in packed layout, in place of the image. `source`
    // names where they came from, for messages. A vehicle slot or shadow
    // frame that comes back unchanged keeps its stored bytes; a shadow frame
    // is rounded to black and white and coded as the rebuild codes it.
    ImageChange ReplaceImage(size_t entry, size_t image, ImageBuffer packed, const std::string& source);
    // The same from a TGA or PNG file, by its extension.
    ImageChange ReplaceImageFromFile(size_t entry, size_t image, const std::filesystem::path& in);
    // A new image at `position` (up to the count) of a gadget entry, or a
    // new frame of a shadow.
    ImageChange InsertImage(size_t entry, size_t position, ImageBuffer packed, const std::string& source);
    void DeleteImage(size_t entry, size_t image);
    void SetHotspots(size_t entry, size_t image, const std::vector<int32_t>& values);

    // A new entry at `position` (up to the count): a gadget entry without
    // images, a vehicle entry of 17 empty slots or a shadow without frames.
    void AddEntry(size_t position, const std::string& name, EntryKind kind);
    // A new screen entry holding the image.
    void AddScreenEntry(size_t position, const std::string& name, ImageBuffer packed, const std::string& source);
    void DeleteEntry(size_t entry);
    void RenameEntry(size_t entry, const std::string& name);
    // Moves the entry so that it stands at `position` afterwards.
    void MoveEntry(size_t entry, size_t position);

    // The steps an undo takes: they put back an entry as an edit found or
    // left it, without the edits' checks, since the state they restore was
    // the document's own. An index out of range is an Error.
    DocumentEntry TakeEntry(size_t entry);
    void PutEntry(size_t position, DocumentEntry entry);
    // Puts `replacement` in place of the entry and returns what it was.
    DocumentEntry ExchangeEntry(size_t entry, DocumentEntry replacement);

    // Writes the document over its file, or to `path`, in one step: the new
    // file is written beside it under a temporary name, flushed, and
    // renamed into place, keeping the old file's permissions; a failure
    // leaves the file on disk as it was and the document unsaved.
    void Save();
    void SaveAs(const std::filesystem::path& path);

private:
    Document(FileSystem& files, std::filesystem::path path, std::unique_ptr<ContainerKind> kind,
             DocumentModel model);

    DocumentEntry& EditableEntry(size_t entry);
    void RequireImages(const DocumentEntry& entry, EntryKind a, EntryKind b, const std::string& what) const;
    void RequireNewName(const std::string& name, const DocumentEntry* renamed) const;
    std::string Which(size_t entry) const;

    FileSystem* files_;
    std::filesystem::path path_;
    std::unique_ptr<ContainerKind> kind_;
    DocumentModel model_;
    bool modified_ = false;
};

// Reads a TGA or PNG file, by its extension, into packed layout.
ImageBuffer ReadImageFile(FileSystem& files, const std::filesystem::path& path);

}  // namespace Brimwork
