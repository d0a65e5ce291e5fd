#pragma once

#include <string_view>

// The words of the vehicle manifest that extraction writes and the rebuild
// reads back.
namespace AZP::ManifestText {

inline constexpr std::string_view Separator = ";------------------------------";
inline constexpr std::string_view VehicleKind = "VEHICLE";
inline constexpr std::string_view ShadowKind = "SHADOW";

}  // namespace AZP::ManifestText
