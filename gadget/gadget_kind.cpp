#include "core/container_kind.h"
#include "gadget/gadget.h"
#include "gadget/gadget_kind.h"

namespace GDG {

using namespace Brimwork;

namespace {

class GadgetKind final : public ContainerKind {
public:
    const char* Extension() const override { return ".GDG"; }

    std::vector<std::string> ListEntries(FileSystem& files, const std::filesystem::path& fileName) override
    {
        return EntryNames(files, fileName);
    }
    int32_t CountImages(FileSystem& files, const std::filesystem::path& container, int32_t entryIndex) override
    {
        return GDG::CountImages(files, container, entryIndex);
    }
    int32_t LoadImage(ModuleContext& context, int32_t entryIndex, int32_t imageIndex) override
    {
        GDG::LoadImage(context, entryIndex, imageIndex);
        return imageIndex;
    }
    ExtractionResult ExtractAll(ModuleContext& context) override { return GDG::ExtractAll(context); }
    void Rebuild(ModuleContext& context) override { GDG::Rebuild(context); }
};

}  // namespace

std::unique_ptr<ContainerKind> MakeKind() { return std::make_unique<GadgetKind>(); }

}  // namespace GDG
