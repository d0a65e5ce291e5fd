#pragma once

#include <cstddef>
#include <string>

namespace Brimwork {

class ConsoleWindow;

// One image of a container and the file it goes to or comes from, each
// named as the command line gave it.
struct ImageRequest {
    std::string file;
    std::string entry;  // a name, or "#K"
    size_t image = 0;
    std::string path;   // OUT or IN
};

// Whether a path names a TGA or PNG file, by its extension in any letter
// case: what export writes and replace reads.
bool IsImageFileName(const std::string& path);

// Prints FILE's entries and images, as text or as one JSON document.
void PrintInfo(const std::string& file, bool json);

// Writes the image to OUT, refusing an existing OUT unless `overwrite`; a
// PNG that lost bit 15 of some pixels is noted on the console.
void ExportImage(const ImageRequest& request, bool overwrite, ConsoleWindow& window);

// Puts IN in place of the image and saves FILE in place; the rounding of a
// shadow frame is noted on the console. A failure leaves FILE as it was.
void ReplaceImage(const ImageRequest& request, ConsoleWindow& window);

// Prints the verify report of FILE on standard output; true when it found
// no defect.
bool VerifyContainer(const std::string& file);

}  // namespace Brimwork
