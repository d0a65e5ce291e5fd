#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "app/container_kinds.h"
#include "core/context.h"
#include "core/extraction.h"
#include "core/rebuild_report.h"
#include "image/image_buffer.h"

namespace Brimwork {

class FileSystem;
class WindowInterface;

// The kind code for a file name (see KindForFileName).
int32_t FileKindOf(const std::string& fileName);

// Label1's text for an image: "Image: 07 Size:640x480".
std::string ImageLabelText(int32_t imageIndex, const ImageBuffer& image);

// What the commands act on: the kind and name of the container whose
// entries the list shows, the working folder beside it, and the image
// buffer. The window and the command-line program each own one and route
// every command through it to the module for the container's kind.
class Session {
public:
    Session(WindowInterface& window, FileSystem& files, std::filesystem::path startFolder);

    // Lists the chosen file with the module for its kind. When the file is
    // listed, the session takes its kind, its name and its folder; when it
    // is refused (a message was shown, or an Error is thrown) nothing of
    // the session changes. Returns whether the file was listed.
    bool OpenArchive(const std::filesystem::path& fileName);

    // Fills the image buffer in display layout; imageIndex comes back as 0
    // when it was out of range for the entry.
    void LoadImage(int32_t entryIndex, int32_t& imageIndex);

    // Extracts the container; once done, the window's status says what was
    // written.
    ExtractionResult ExtractAll();
    // Rebuilds the container; once done, the window's status says from
    // how many files.
    void Rebuild(const RebuildOptions& options = {});
    // Fills `report` with what a rebuild would do, writing nothing. A
    // refusal the rebuild would meet is kept in the report and thrown as
    // the rebuild throws it.
    void PreviewRebuild(RebuildReport& report);

    int32_t FileKind() const { return fileKind_; }
    const ChosenContainer& Container() const { return container_; }
    const std::filesystem::path& Folder() const { return folder_; }
    const ImageBuffer& Image() const { return image_; }

private:
    ModuleContext Context();

    WindowInterface& window_;
    FileSystem& files_;
    int32_t fileKind_ = GadgetFileKind;
    ChosenContainer container_;
    std::filesystem::path folder_;
    ImageBuffer image_;
    ModuleStates states_;
};

// Texts and titles the commands show.
namespace Messages {
inline constexpr const char* ErrorTitle = "Brimwork Error";
inline constexpr const char* ExtractEmptyText = "Error: You must open a file before you can extract its contents.";
inline constexpr const char* ExtractEmptyTitle = "Extraction Error";
}  // namespace Messages

}  // namespace Brimwork
