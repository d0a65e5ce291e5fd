#pragma once

#include <memory>

namespace Brimwork {
class ContainerKind;
}

namespace AZP {

// The vehicle kind for the table of kinds.
std::unique_ptr<Brimwork::ContainerKind> MakeKind();

}  // namespace AZP
