#include "core/container_kind.h"
#include "screen/screen.h"
#include "screen/screen_kind.h"

namespace PIX {

using namespace Brimwork;

namespace {

class ScreenKind final : public ContainerKind {
public:
    const char* Extension() const override { return ".PIX"; }
    bool OneImagePerEntry() const override { return true; }

    std::vector<std::string> ListEntries(FileSystem& files, const std::filesystem::path& fileName) override
    {
        return EntryNames(files, fileName);
    }
    int32_t CountImages(FileSystem& files, const std::filesystem::path& container, int32_t entryIndex) override
    {
        return PIX::CountImages(files, container, entryIndex);
    }
    // An entry holds one image, which every index shows.
    int32_t LoadImage(ModuleContext& context, int32_t entryIndex, int32_t imageIndex) override
    {
        PIX::LoadImage(context, entryIndex);
        return imageIndex;
    }
    ExtractionResult ExtractAll(ModuleContext& context) override { return PIX::ExtractAll(context); }
    void Rebuild(ModuleContext& context) override { PIX::Rebuild(context); }
};

}  // namespace

std::unique_ptr<ContainerKind> MakeKind() { return std::make_unique<ScreenKind>(); }

}  // namespace PIX
