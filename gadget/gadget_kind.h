#pragma once

#include <memory>

namespace Brimwork {
class ContainerKind;
}

namespace GDG {

// The gadget kind for the table of kinds.
std::unique_ptr<Brimwork::ContainerKind> MakeKind();

}  // namespace GDG
