#include "container/kinds.h"

#include <array>

#include "core/names.h"
#include "gadget/gadget_kind.h"
#include "screen/screen_kind.h"
#include "vehicle/vehicle_kind.h"

namespace Brimwork {

namespace {

struct RegisteredKind {
    const char* extension;  // upper-cased, with its dot
    std::unique_ptr<ContainerKind> (*make)();
};

// The gadget kind comes first: it takes every name no other kind claims.
const std::array<RegisteredKind, 3> Kinds{{
    {".GDG", GDG::MakeKind},
    {".AZP", AZP::MakeKind},
    {".PIX", PIX::MakeKind},
}};

}  // namespace

std::unique_ptr<ContainerKind> KindForFileName(const std::string& fileName)
{
    const std::string lastFour = ToUpper(fileName.size() > 4 ? fileName.substr(fileName.size() - 4) : fileName);
    for (const RegisteredKind& kind : Kinds)
        if (lastFour == kind.extension)
            return kind.make();
    return Kinds.front().make();
}

}  // namespace Brimwork
