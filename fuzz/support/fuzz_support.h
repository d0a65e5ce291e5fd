#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/context.h"
#include "testing/memory_files.h"
#include "core/window.h"
#include "image/image_buffer.h"

// What the fuzz targets share: a working folder in memory with a chosen
// container, a window that records what it is told, a reader that takes
// values from the input, and the check that stops the run when a promise
// of the code is broken.
namespace Brimwork::Fuzz {

// The folder every target works in.
inline const std::filesystem::path Folder = "/work";

// Reports a broken promise and aborts, which the fuzzer and the replay
// driver both count as a finding.
void Require(bool holds, std::string_view promise);

// Runs `action`; an Error (the clear message every failure should be) comes
// back as its text, anything else goes on as a crash.
std::optional<std::string> ErrorOf(const std::function<void()>& action);

class QuietWindow final : public WindowInterface {
public:
    void ReplaceList(const std::vector<std::string>& names) override;
    void SetProgress(float percent) override;
    void Yield() override {}
    void ShowMessage(const std::string& text, const std::string& title) override;
    void Beep() override { ++beeps; }

    std::vector<std::string> list;
    std::vector<std::string> messages;
    int beeps = 0;
};

// An in-memory folder holding the chosen container, and what a module
// procedure works on.
struct Workspace {
    Workspace(const std::string& containerName, std::vector<uint8_t> bytes);
    ModuleContext Context();

    MemoryFileSystem files;
    QuietWindow window;
    ImageBuffer image;
    ChosenContainer container;
    std::filesystem::path folder = Folder;
};

// Takes values from the front of the input; past its end every value is 0.
class InputReader {
public:
    explicit InputReader(std::span<const uint8_t> data) : data_(data) {}
    bool Empty() const { return position_ >= data_.size(); }
    uint8_t Byte();
    uint16_t UInt16();
    int32_t Int32();
    // Up to `count` bytes, fewer when the input ends.
    std::vector<uint8_t> Bytes(size_t count);
    std::vector<uint8_t> Rest();

private:
    std::span<const uint8_t> data_;
    size_t position_ = 0;
};

// A file of the folder in the rebuild target's input.
struct FolderFile {
    enum Kind : uint8_t { Regular = 0, Folder = 1, Symlink = 2 };
    Kind kind = Regular;
    std::string name;
    std::vector<uint8_t> bytes;  // a link's target for a symbolic link
};

// The rebuild target's input: the kind of container (0 gadget, 1 screen,
// 2 vehicle), the manifest, the old container (named by the manifest's line
// 1) and further files. Each file is stored as a kind byte, a name length
// byte, the name, a 16-bit length and the bytes; the manifest and the
// container leave out kind and name.
struct RebuildInput {
    uint8_t containerKind = 0;
    std::vector<uint8_t> manifest;
    std::vector<uint8_t> container;
    std::vector<FolderFile> files;
};
RebuildInput SplitRebuildInput(std::span<const uint8_t> data);
std::vector<uint8_t> JoinRebuildInput(const RebuildInput& input);

// Line 1 of a manifest, as the rebuilds read it.
std::string FirstLine(const std::vector<uint8_t>& manifest);

}  // namespace Brimwork::Fuzz
