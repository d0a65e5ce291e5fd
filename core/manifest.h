#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The text manifests that extraction writes and rebuild reads: 8-bit
// characters, every line ended by CR LF. Numbers are written " 12 " and
// "-3 "; names as they are, or between double quotes when the reader would
// otherwise not give them back unchanged.
namespace Brimwork::Manifest {

inline constexpr std::string_view LineEnd = "\r\n";

// " 12 " for 12, "-3 " for -3.
std::string NumberForm(int32_t value);

// The first three lines of a gadget or screen manifest: the container's
// file title, its header value and its entry count.
std::string HeadLines(const std::string& fileTitle, int32_t headerValue, int32_t entryCount);

// The name as the manifest carries it: as it stands when the reader gives
// it back unchanged, else between double quotes. A name that needs quotes
// and holds a double quote itself cannot be carried: an Error.
std::string NameForm(const std::string& name);

// Reads a manifest item by item. Line 1 is read whole; a number item skips
// blanks and line ends before it and ends at a blank, a comma or the end
// of its line; a text item skips blanks before it and ends at a comma or
// the end of its line, or runs between double quotes when it starts with
// one. Every failure is an Error naming the manifest and the line.
// A manifest saved by an editor reads as the one written: a line may end
// with LF alone, and a UTF-8 byte-order mark at the very start of the text
// is skipped.
class Reader {
public:
    Reader(std::string text, std::string manifestName);

    std::string ReadLine(std::string_view what);
    int32_t ReadNumber(std::string_view what);
    std::string ReadText(std::string_view what);
    // Exactly `count` numbers on one line, joined by commas ("12, 30, -4, 7");
    // fewer or more is an Error naming the line.
    std::vector<int32_t> ReadNumbersOnLine(std::string_view what, size_t count);
    // The rest of the current line, without reading it.
    std::string_view PeekLine() const;
    // Whether only blanks and line ends are left.
    bool AtEnd();

    // The line the reading position is on, counting from 1.
    int LineNumber() const { return line_; }

private:
    [[noreturn]] void Fail(std::string_view what, std::string_view problem) const;
    bool AtLineEnd() const;
    void SkipBlanks();
    void SkipBlanksAndLineEnds();
    void ConsumeDelimiter();
    void ConsumeLineEnd();
    void Advance();
    int32_t ParseNumber(std::string_view what);

    std::string text_;
    std::string manifestName_;
    size_t position_ = 0;
    int line_ = 1;  // counted as the position passes line feeds
};

}  // namespace Brimwork::Manifest
