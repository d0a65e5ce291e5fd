#include "core/container_kind.h"
#include "vehicle/vehicle.h"
#include "vehicle/vehicle_kind.h"

namespace AZP {

using namespace Brimwork;

namespace {

// Keeps the frame index of the shadow entry read last, so that stepping
// through a shadow's frames reads each frame once.
class VehicleKind final : public ContainerKind {
public:
    const char* Extension() const override { return ".AZP"; }

    std::vector<std::string> ListEntries(FileSystem& files, const std::filesystem::path& fileName) override
    {
        return EntryNames(files, fileName);
    }
    int32_t CountImages(FileSystem& files, const std::filesystem::path& container, int32_t entryIndex) override
    {
        return AZP::CountImages(files, container, entryIndex);
    }
    int32_t LoadImage(ModuleContext& context, int32_t entryIndex, int32_t imageIndex) override
    {
        AZP::LoadImage(context, state_, entryIndex, imageIndex);
        return imageIndex;
    }
    ExtractionResult ExtractAll(ModuleContext& context) override { return AZP::ExtractAll(context, state_); }
    void Rebuild(ModuleContext& context) override { AZP::Rebuild(context); }

private:
    State state_;
};

}  // namespace

std::unique_ptr<ContainerKind> MakeKind() { return std::make_unique<VehicleKind>(); }

}  // namespace AZP
