#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/container_kind.h"
#include "core/context.h"
#include "core/extraction.h"
#include "core/rebuild_report.h"
#include "image/image_buffer.h"

namespace Brimwork {

class FileSystem;
class WindowInterface;

// Label1's text for an image: "Image: 07 Size:640x480".
std::string ImageLabelText(int32_t imageIndex, const ImageBuffer& image);

// What the commands act on: the kind and name of the container whose
// entries the list shows, the working folder beside it, and the image
// buffer. The window and the command-line program each own one and route
// every command through it to the kind of the container.
class Session {
public:
    Session(WindowInterface& window, FileSystem& files, std::filesystem::path startFolder);

    // Lists the chosen file with the kind its name says, fills the window's
    // list and returns the names. When the file is listed, the session
    // takes its kind, its name and its folder; when it is refused (an Error
    // is thrown, titled where its message has a title) nothing of the
    // session or the list changes.
    std::vector<std::string> OpenArchive(const std::filesystem::path& fileName);

    // Fills the image buffer in display layout; returns the image loaded,
    // which is 0 when imageIndex was out of range for the entry.
    int32_t LoadImage(int32_t entryIndex, int32_t imageIndex);
    // How many images the entry holds, without loading one.
    int32_t CountImages(int32_t entryIndex);

    // Extracts the container; once done, the window's status says what was
    // written.
    ExtractionResult ExtractAll();
    // Rebuilds the container and returns what it read; once done, the
    // window's status says from how many files.
    RebuildReport Rebuild(const RebuildOptions& options = {});
    // Fills `report` with what a rebuild would do, writing nothing. A
    // refusal the rebuild would meet is kept in the report and thrown as
    // the rebuild throws it.
    void PreviewRebuild(RebuildReport& report);

    const ContainerKind& Kind() const { return *kind_; }
    const ChosenContainer& Container() const { return container_; }
    const std::filesystem::path& Folder() const { return folder_; }
    const ImageBuffer& Image() const { return image_; }

private:
    ModuleContext Context();

    WindowInterface& window_;
    FileSystem& files_;
    std::unique_ptr<ContainerKind> kind_;
    ChosenContainer container_;
    std::filesystem::path folder_;
    ImageBuffer image_;
};

// Texts and titles the commands show.
namespace Messages {
inline constexpr const char* ErrorTitle = "Brimwork Error";
inline constexpr const char* ExtractEmptyText = "Error: You must open a file before you can extract its contents.";
inline constexpr const char* ExtractEmptyTitle = "Extraction Error";
}  // namespace Messages

}  // namespace Brimwork
