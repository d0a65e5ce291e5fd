#pragma once

#include <filesystem>
#include <string>

namespace Brimwork {

class FileSystem;
class RebuildReport;
class WindowInterface;
struct ImageBuffer;

// The container of the last confirmed Open: its full path and its name
// without folder.
struct ChosenContainer {
    std::filesystem::path FileName;
    std::string FileTitle;
};

// What the user asked of a rebuild beyond the rebuild itself.
struct RebuildOptions {
    // Read and check everything a rebuild reads, write nothing, and report
    // what the rebuild would do.
    bool dryRun = false;
    // Keep the replaced container as "<its name>.bak", replacing an older one.
    bool keepBackup = false;
    // Filled as the rebuild goes, when given: what it read, and for a dry
    // run what it would change.
    RebuildReport* report = nullptr;
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
    RebuildOptions rebuild{};
};

}  // namespace Brimwork
