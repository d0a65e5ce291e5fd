#pragma once

#include <cstdint>
#include <string>
#include <vector>

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

// 1234567 as "1,234,567".
std::string GroupedNumber(int64_t number);

// "1 image", "2 images": the count, grouped, and the noun in its number.
std::string CountOf(int64_t count, const std::string& singular, const std::string& plural);

// The names one a line, at most `most` of them, then a line that says how
// many more there are: the list a question or a refusal shows.
std::string ListedFiles(const std::vector<std::string>& names, size_t most = 10);

// "_000" style numbers: at least three digits, zero-filled.
std::string AtLeastThreeDigits(int32_t number);

}  // namespace Brimwork
