#include "core/manifest.h"

#include <algorithm>
#include <charconv>

#include "core/error.h"

namespace Brimwork::Manifest {
namespace {

// Editors such as Notepad put this before the text of a file they save as
// UTF-8. It is not part of line 1.
constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsLineEndChar(char c) { return c == '\r' || c == '\n'; }

bool NeedsQuotes(const std::string& name)
{
    // An empty name would leave the reader to take the next line as the name.
    return name.empty() || IsBlank(name.front()) || name.front() == '"' ||
           name.find_first_of(",\r\n") != std::string::npos;
}

}  // namespace

std::string NumberForm(int32_t value)
{
    const std::string digits = std::to_string(value);
    return value < 0 ? digits + " " : " " + digits + " ";
}

std::string HeadLines(const std::string& fileTitle, int32_t headerValue, int32_t entryCount)
{
    const std::string lineEnd(LineEnd);
    return fileTitle + lineEnd + NumberForm(headerValue) + lineEnd + NumberForm(entryCount) + lineEnd;
}

std::string NameForm(const std::string& name)
{
    if (!NeedsQuotes(name))
        return name;
    if (name.find('"') != std::string::npos)
        throw Error("The name \"" + name +
                    "\" cannot be written to a manifest: it needs double quotes and holds a double quote itself");
    return "\"" + name + "\"";
}

Reader::Reader(std::string text, std::string manifestName)
    : text_(std::move(text)), manifestName_(std::move(manifestName))
{
    if (text_.starts_with(ByteOrderMark))
        position_ = ByteOrderMark.size();
}

void Reader::Advance()
{
    if (text_[position_] == '\n')
        ++line_;
    ++position_;
}

void Reader::Fail(std::string_view what, std::string_view problem) const
{
    throw Error(manifestName_ + ", line " + std::to_string(LineNumber()) + ": " + std::string(what) + " " +
                std::string(problem));
}

bool Reader::AtLineEnd() const { return position_ >= text_.size() || IsLineEndChar(text_[position_]); }

void Reader::SkipBlanks()
{
    while (position_ < text_.size() && IsBlank(text_[position_]))
        ++position_;
}

void Reader::SkipBlanksAndLineEnds()
{
    while (position_ < text_.size() && (IsBlank(text_[position_]) || IsLineEndChar(text_[position_])))
        Advance();
}

void Reader::ConsumeLineEnd()
{
    if (position_ < text_.size() && text_[position_] == '\r')
        ++position_;
    if (position_ < text_.size() && text_[position_] == '\n')
        Advance();
}

// After an item: blanks, then one comma or one line end, belong to it.
void Reader::ConsumeDelimiter()
{
    SkipBlanks();
    if (position_ < text_.size() && text_[position_] == ',')
        ++position_;
    else
        ConsumeLineEnd();
}

std::string Reader::ReadLine(std::string_view what)
{
    if (position_ >= text_.size())
        Fail(what, "is missing: the manifest ends before it");
    const size_t start = position_;
    while (!AtLineEnd())
        ++position_;
    std::string line = text_.substr(start, position_ - start);
    ConsumeLineEnd();
    return line;
}

// One number item at the position: it ends at a blank, a comma or the end
// of its line.
int32_t Reader::ParseNumber(std::string_view what)
{
    const size_t start = position_;
    while (!AtLineEnd() && !IsBlank(text_[position_]) && text_[position_] != ',')
        ++position_;
    const std::string item = text_.substr(start, position_ - start);
    if (item.empty())
        Fail(what, "is missing");
    int32_t value = 0;
    const char* first = item.data() + (item.front() == '+' ? 1 : 0);
    const char* last = item.data() + item.size();
    const auto [end, error] = std::from_chars(first, last, value);
    if (error == std::errc::result_out_of_range)
        Fail(what, "does not fit in 32 bits: \"" + item + "\"");
    if (error != std::errc() || end != last)
        Fail(what, "is not a number: \"" + item + "\"");
    return value;
}

int32_t Reader::ReadNumber(std::string_view what)
{
    SkipBlanksAndLineEnds();
    if (position_ >= text_.size())
        Fail(what, "is missing: the manifest ends before it");
    const int32_t value = ParseNumber(what);
    ConsumeDelimiter();
    return value;
}

std::vector<int32_t> Reader::ReadNumbersOnLine(std::string_view what, size_t count)
{
    if (position_ >= text_.size())
        Fail(what, "is missing: the manifest ends before it");
    const std::string needed = std::to_string(count) + (count == 1 ? " number" : " numbers");
    std::vector<int32_t> values;
    while (values.size() < count) {
        SkipBlanks();
        if (AtLineEnd())
            Fail(what, "has " + std::to_string(values.size()) + " of the " + needed + " it needs");
        values.push_back(ParseNumber(what));
        SkipBlanks();
        const bool last = values.size() == count;
        if (!last && position_ < text_.size() && text_[position_] == ',')
            ++position_;
        else if (!AtLineEnd())
            Fail(what, last ? "holds more than " + needed : "has numbers that are not joined by commas");
    }
    ConsumeLineEnd();
    return values;
}

std::string_view Reader::PeekLine() const
{
    const size_t start = std::min(position_, text_.size());
    const size_t end = text_.find_first_of("\r\n", start);
    return std::string_view(text_).substr(start, end == std::string::npos ? std::string::npos : end - start);
}

bool Reader::AtEnd()
{
    const size_t start = position_;
    const int line = line_;
    SkipBlanksAndLineEnds();
    const bool atEnd = position_ >= text_.size();
    position_ = start;
    line_ = line;
    return atEnd;
}

std::string Reader::ReadText(std::string_view what)
{
    SkipBlanks();
    if (position_ >= text_.size())
        Fail(what, "is missing: the manifest ends before it");
    if (text_[position_] == '"') {
        const size_t close = text_.find('"', position_ + 1);
        if (close == std::string::npos)
            Fail(what, "has an opening double quote and no closing one");
        std::string item = text_.substr(position_ + 1, close - position_ - 1);
        line_ += static_cast<int>(std::count(item.begin(), item.end(), '\n'));
        position_ = close + 1;
        while (!AtLineEnd() && text_[position_] != ',')
            ++position_;
        ConsumeDelimiter();
        return item;
    }
    const size_t start = position_;
    while (!AtLineEnd() && text_[position_] != ',')
        ++position_;
    std::string item = text_.substr(start, position_ - start);
    ConsumeDelimiter();
    return item;
}

}  // namespace Brimwork::Manifest
