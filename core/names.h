#pragma once

#include <string>

namespace Brimwork {

// Refuses a name that would not stay a plain file name in the working
// folder: one holding "/" or a NUL, or equal to "." or "..". `what` says
// whose name it is, for the message.
void RequirePlainFileName(const std::string& name, const std::string& what);

// The same, and the name may not be empty.
void RequireNonEmptyPlainFileName(const std::string& name, const std::string& what);

// Letter case ignored, as the folder lookups do.
bool EqualIgnoringCase(const std::string& a, const std::string& b);
std::string ToUpper(std::string text);

// "_000" style numbers: at least three digits, zero-filled.
std::string AtLeastThreeDigits(int32_t number);

}  // namespace Brimwork
