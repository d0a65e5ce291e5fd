#pragma once

#include <filesystem>
#include <string>

namespace Brimwork {

class FileSystem;
class WindowInterface;
struct ImageBuffer;

// The container of the last confirmed Open: its full path and its name
// without folder.
struct ChosenContainer {
    std::filesystem::path FileName;
    std::string FileTitle;
};

// The shared state a module procedure works on, passed in explicitly.
// Every relative file name of the modules (manifests, TGA files,
// "REBUILD.TMP", the rebuilt container) lives in `folder`.
struct ModuleContext {
    ImageBuffer& image;
    const ChosenContainer& container;
    const std::filesystem::path& folder;
    WindowInterface& window;
    FileSystem& files;
};

}  // namespace Brimwork
