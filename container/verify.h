#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace Brimwork {

class FileSystem;

// One thing verify found: a defect (the container does not hold together
// where the viewer, extraction or a rebuild would read it) or a note (a
// layout that reads well but that a rebuild or a save would change).
struct VerifyFinding {
    enum class Severity { Defect, Note };
    Severity severity = Severity::Defect;
    // Where: "entry 3 (\"NAME\")", "image 2 of entry 3 (\"NAME\")", or
    // empty for the file as a whole.
    std::string where;
    std::string text;
};

struct VerifyReport {
    std::filesystem::path container;
    int64_t entries = 0;
    int64_t images = 0;
    std::vector<VerifyFinding> findings;

    bool HasDefects() const;
    // One line per finding ("defect: WHERE: TEXT", "note: ..."), then a
    // summary line.
    std::string Text() const;
};

// Reads every record and every image of the container as the viewer would,
// the kind following the file's name, and reports every defect it finds
// rather than stopping at the first. Only a file that cannot be opened
// or read at all is an Error.
VerifyReport Verify(FileSystem& files, const std::filesystem::path& container);

}  // namespace Brimwork
