#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/context.h"
#include "core/error.h"
#include "core/files.h"
#include "image/image_buffer.h"
#include "samples/sample_containers.h"
#include "tests/support/test_support.h"

namespace Brimwork::Testing {

// A working folder with a chosen container in it, a recording window and
// an image buffer: what a module procedure works on.
class ModuleFixture : public ::testing::Test {
public:
    // Writes the container into the folder and makes it the chosen one.
    void Choose(const std::vector<uint8_t>& bytes, const std::string& title)
    {
        container.FileName = folder / title;
        container.FileTitle = title;
        Samples::WriteBytes(container.FileName, bytes);
    }

    ModuleContext Context() { return ModuleContext{image, container, folder.path(), window, RealFileSystem()}; }

    // The message of the Error that `action` throws, or "no error".
    static std::string ErrorOf(const std::function<void()>& action)
    {
        try {
            action();
        } catch (const Error& error) {
            return error.what();
        }
        return "no error";
    }

    // Every file of the folder with its bytes.
    std::vector<std::pair<std::string, std::vector<uint8_t>>> Snapshot() const
    {
        std::vector<std::pair<std::string, std::vector<uint8_t>>> files;
        for (const auto& name : folder.Names())
            files.emplace_back(name, Samples::ReadBytes(folder / name));
        return files;
    }

    void EmptyFolder() const
    {
        for (const auto& name : folder.Names())
            std::filesystem::remove(folder / name);
    }

    TempFolder folder;
    RecordingWindow window;
    ImageBuffer image;
    ChosenContainer container;
};

}  // namespace Brimwork::Testing
