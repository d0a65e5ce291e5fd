#include "app/container_kinds.h"

#include <array>

#include "core/names.h"
#include "gadget/gadget.h"
#include "screen/screen.h"

namespace Brimwork {

namespace {

// The gadget kind comes first: it takes every name no other kind claims.
const std::array<ContainerKind, 3> Kinds{{
    {GadgetFileKind, ".GDG", GDG::ListEntries,
     [](ModuleContext& context, ModuleStates&, int32_t entry, int32_t& image) { GDG::LoadImage(context, entry, image); },
     [](ModuleContext& context, ModuleStates&) { return GDG::ExtractAll(context); },
     [](ModuleContext& context, ModuleStates&) { GDG::Rebuild(context); }, GDG::CountImages},
    {VehicleFileKind, ".AZP", AZP::ListEntries,
     [](ModuleContext& context, ModuleStates& states, int32_t entry, int32_t& image) {
         AZP::LoadImage(context, states.vehicle, entry, image);
     },
     [](ModuleContext& context, ModuleStates& states) { return AZP::ExtractAll(context, states.vehicle); },
     [](ModuleContext& context, ModuleStates&) { AZP::Rebuild(context); }, AZP::CountImages},
    {ScreenFileKind, ".PIX", PIX::ListEntries,
     [](ModuleContext& context, ModuleStates&, int32_t entry, int32_t&) { PIX::LoadImage(context, entry); },
     [](ModuleContext& context, ModuleStates&) { return PIX::ExtractAll(context); },
     [](ModuleContext& context, ModuleStates&) { PIX::Rebuild(context); }, PIX::CountImages},
}};

}  // namespace

const ContainerKind& KindForFileName(const std::string& fileName)
{
    const std::string lastFour = ToUpper(fileName.size() > 4 ? fileName.substr(fileName.size() - 4) : fileName);
    for (const ContainerKind& kind : Kinds)
        if (lastFour == kind.extension)
            return kind;
    return Kinds.front();
}

const ContainerKind& KindOf(int32_t code)
{
    for (const ContainerKind& kind : Kinds)
        if (kind.code == code)
            return kind;
    return Kinds.front();
}

}  // namespace Brimwork
