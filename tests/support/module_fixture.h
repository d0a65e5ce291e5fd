#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/context.h"
#include "core/error.h"
#include "io/files.h"
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

    // Every file of the folder with its bytes; a folder in it by its name
    // and a "/".
    std::vector<std::pair<std::string, std::vector<uint8_t>>> Snapshot() const
    {
        std::vector<std::pair<std::string, std::vector<uint8_t>>> files;
        for (const auto& name : folder.Names()) {
            if (std::filesystem::is_directory(folder / name))
                files.emplace_back(name + "/", std::vector<uint8_t>{});
            else
                files.emplace_back(name, Samples::ReadBytes(folder / name));
        }
        return files;
    }

    // Extracts and rebuilds twice: first from the manifest as extraction
    // wrote it, then from the same manifest as an editor such as Notepad
    // saves it, with a UTF-8 byte-order mark first and every line ended by
    // LF alone. Returns the container after each rebuild.
    std::pair<std::vector<uint8_t>, std::vector<uint8_t>> RebuildFromWrittenAndEditorSavedManifest(
        const std::string& manifestName, const std::function<void()>& extract, const std::function<void()>& rebuild)
    {
        extract();
        const std::string written = ReadText(folder / manifestName);
        rebuild();
        const auto fromWritten = Samples::ReadBytes(container.FileName);
        extract();
        EXPECT_EQ(ReadText(folder / manifestName), written);
        EXPECT_NE(written.find("\r\n"), std::string::npos);
        std::string saved = "\xEF\xBB\xBF";
        for (char c : written)
            if (c != '\r')
                saved += c;
        WriteText(folder / manifestName, saved);
        rebuild();
        return {fromWritten, Samples::ReadBytes(container.FileName)};
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
