#include "cli/entry_choice.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <vector>

#include "container/document.h"
#include "core/error.h"
#include "io/files.h"

namespace Brimwork {
namespace {

bool AllDigits(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Digits too many for a size_t stand for a position beyond every list.
size_t PositionOf(std::string_view digits)
{
    size_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size())
        return std::numeric_limits<size_t>::max();
    return value;
}

std::string PositionForms(const std::vector<size_t>& positions)
{
    std::string forms;
    for (size_t position : positions)
        forms += (forms.empty() ? "#" : ", #") + std::to_string(position);
    return forms;
}

std::string HeldEntries(size_t count)
{
    if (count == 0)
        return "no entries";
    if (count == 1)
        return "1 entry, #0";
    return std::to_string(count) + " entries, #0 to #" + std::to_string(count - 1);
}

}  // namespace

void RequireContainerFile(FileSystem& files, const std::filesystem::path& container, const std::string& asGiven)
{
    switch (files.TypeOf(container)) {
    case EntryType::Missing:
        throw Error("Cannot open " + asGiven + ": there is no such file");
    case EntryType::Directory:
        throw Error("Cannot open " + asGiven + ": it is a folder, not a container file");
    default:
        break;
    }
}

size_t ChosenEntry(const Document& document, std::string_view entry, const std::string& fileAsGiven)
{
    const auto& entries = document.Entries();
    if (entry.starts_with('#') && AllDigits(entry.substr(1))) {
        const size_t position = PositionOf(entry.substr(1));
        if (position >= entries.size())
            throw Error(fileAsGiven + " has no entry " + std::string(entry) + ": it holds " + HeldEntries(entries.size()));
        return position;
    }
    std::vector<size_t> named;
    for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i].name == entry)
            named.push_back(i);
    if (named.empty())
        throw Error(fileAsGiven + " has no entry named \"" + std::string(entry) +
                    "\" (names match byte for byte, as list prints them; #K chooses the entry at position K)");
    if (named.size() > 1)
        throw Error(std::to_string(named.size()) + " entries of " + fileAsGiven + " are named \"" +
                    std::string(entry) + "\": " + PositionForms(named) + "; choose one by that form");
    return named.front();
}

std::optional<size_t> ImageNumber(std::string_view text)
{
    if (!AllDigits(text))
        return std::nullopt;
    return PositionOf(text);
}

}  // namespace Brimwork
