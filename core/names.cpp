#include "core/names.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>

#include "core/error.h"

namespace Brimwork {

void RequirePlainFileName(const std::string& name, const std::string& what)
{
    if (name == "." || name == ".." || name.find('/') != std::string::npos)
        throw Error(what + " \"" + name + "\" is not a plain file name: files would land outside the folder");
    if (name.find('\0') != std::string::npos)
        throw Error(what + " holds a NUL character and is not a usable file name");
}

void RequireNonEmptyPlainFileName(const std::string& name, const std::string& what)
{
    if (name.empty())
        throw Error(what + " is empty: it does not name a file");
    RequirePlainFileName(name, what);
}

std::string ToUpper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

bool EqualIgnoringCase(const std::string& a, const std::string& b) { return ToUpper(a) == ToUpper(b); }

std::string GroupedNumber(int64_t number)
{
    std::string digits = std::to_string(number);
    const size_t first = number < 0 ? 1 : 0;
    for (size_t at = digits.size(); at > first + 3; at -= 3)
        digits.insert(at - 3, 1, ',');
    return digits;
}

std::string CountOf(int64_t count, const std::string& singular, const std::string& plural)
{
    return GroupedNumber(count) + " " + (count == 1 ? singular : plural);
}

std::string ListedFiles(const std::vector<std::string>& names, size_t most)
{
    std::string text;
    for (size_t i = 0; i < names.size() && i < most; ++i)
        text += (i == 0 ? "" : "\n") + names[i];
    if (names.size() > most)
        text += "\nand " + CountOf(static_cast<int64_t>(names.size() - most), "more file", "more files");
    return text;
}

std::string AtLeastThreeDigits(int32_t number)
{
    std::string digits = std::to_string(number);
    if (number >= 0 && digits.size() < 3)
        digits.insert(0, 3 - digits.size(), '0');
    return digits;
}

}  // namespace Brimwork
