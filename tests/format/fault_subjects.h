#pragma once

// The runs that the fault tests make fail: a rebuild or an extraction of
// each kind of container in a folder of its own, what each starts from and
// leaves, and what must hold after a run that failed.

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/rebuild_work_file.h"
#include "gadget/gadget.h"
#include "image/image_buffer.h"
#include "image/tga.h"
#include "io/files.h"
#include "samples/sample_containers.h"
#include "screen/screen.h"
#include "testing/faulty_files.h"
#include "tests/support/test_support.h"
#include "vehicle/vehicle.h"

namespace Brimwork::Testing {

namespace fs = std::filesystem;
using namespace Samples;

using FolderContents = std::map<std::string, std::vector<uint8_t>>;

inline FolderContents Contents(const TempFolder& folder)
{
    FolderContents contents;
    for (const auto& name : folder.Names())
        contents[name] = ReadBytes(folder / name);
    return contents;
}

// Puts the folder back in the given state, touching only the files that
// differ (deleting and creating files is what costs time here). A file
// that differs is made anew, as it may be a second name of another.
inline void Restore(const TempFolder& folder, const FolderContents& contents)
{
    const FolderContents now = Contents(folder);
    for (const auto& [name, bytes] : now)
        if (!contents.contains(name))
            fs::remove(folder / name);
    for (const auto& [name, bytes] : contents) {
        const auto found = now.find(name);
        if (found == now.end() || found->second != bytes) {
            fs::remove(folder / name);
            WriteBytes(folder / name, bytes);
        }
    }
}

// The files that differ between two states of a folder, "" when none does.
inline std::string Differences(const FolderContents& expected, const FolderContents& actual)
{
    std::string differences;
    for (const auto& [name, bytes] : expected) {
        const auto found = actual.find(name);
        if (found == actual.end())
            differences += " " + name + " is missing;";
        else if (found->second != bytes)
            differences += " " + name + " has changed;";
    }
    for (const auto& [name, bytes] : actual)
        if (!expected.contains(name))
            differences += " " + name + " was added;";
    return differences;
}

inline bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

inline void WriteImage(const fs::path& path, const Picture& picture)
{
    WriteTGA(RealFileSystem(), path, ImageBuffer{picture.width, picture.height, picture.Bytes()});
}

enum class Procedure {
    GadgetRebuild,
    ScreenRebuild,
    VehicleRebuild,
    GadgetExtraction,
    ScreenExtraction,
    VehicleExtraction,
    GadgetRebuildLinkingBackup,
    GadgetRebuildCopyingBackup,
    GadgetFreshExtraction,
    ScreenFreshExtraction,
    VehicleFreshExtraction,
};

inline constexpr std::array AllRuns{Procedure::GadgetRebuild,    Procedure::ScreenRebuild,
                             Procedure::VehicleRebuild,   Procedure::GadgetExtraction,
                             Procedure::ScreenExtraction, Procedure::VehicleExtraction,
                             Procedure::GadgetRebuildLinkingBackup, Procedure::GadgetRebuildCopyingBackup,
                             Procedure::GadgetFreshExtraction, Procedure::ScreenFreshExtraction,
                             Procedure::VehicleFreshExtraction};

inline std::string_view NameOf(Procedure run)
{
    switch (run) {
    case Procedure::GadgetRebuild:
        return "GadgetRebuild";
    case Procedure::ScreenRebuild:
        return "ScreenRebuild";
    case Procedure::VehicleRebuild:
        return "VehicleRebuild";
    case Procedure::GadgetExtraction:
        return "GadgetExtraction";
    case Procedure::ScreenExtraction:
        return "ScreenExtraction";
    case Procedure::VehicleExtraction:
        return "VehicleExtraction";
    case Procedure::GadgetRebuildLinkingBackup:
        return "GadgetRebuildLinkingBackup";
    case Procedure::GadgetRebuildCopyingBackup:
        return "GadgetRebuildCopyingBackup";
    case Procedure::GadgetFreshExtraction:
        return "GadgetFreshExtraction";
    case Procedure::ScreenFreshExtraction:
        return "ScreenFreshExtraction";
    case Procedure::VehicleFreshExtraction:
        return "VehicleFreshExtraction";
    }
    return "Unknown";
}

// An extraction into a folder that holds nothing but the container.
inline bool IsFresh(Procedure run)
{
    return run == Procedure::GadgetFreshExtraction || run == Procedure::ScreenFreshExtraction ||
           run == Procedure::VehicleFreshExtraction;
}

inline bool KeepsBackup(Procedure run)
{
    return run == Procedure::GadgetRebuildLinkingBackup || run == Procedure::GadgetRebuildCopyingBackup;
}

inline bool IsRebuild(Procedure run)
{
    return run == Procedure::GadgetRebuild || run == Procedure::ScreenRebuild || run == Procedure::VehicleRebuild ||
           KeepsBackup(run);
}

inline constexpr int32_t HeaderValue = -4;

// The gadget entries before and after the user edits LAMP's image.
inline std::vector<GadgetEntry> Gadgets(bool edited)
{
    return {{"CHAIR", 7, {Gradient(5, 3), Disc(8, 6, Rgb555(31, 0, 0), 0x7FFF)}},
            {"EMPTY", 0, {}},
            {"LAMP", -2, {edited ? Solid(6, 2, Rgb555(0, 0, 31)) : Stripes(4, 4), Gradient(3, 1)}}};
}

// BACKDROP is large enough for extraction to have the system copy its
// pixels rather than read them.
inline std::vector<ScreenEntry> Screens(bool edited)
{
    return {{"TITLE", Gradient(7, 5)},
            {"MENU", edited ? Solid(9, 2, Rgb555(0, 31, 0)) : Disc(6, 4, 0x7C00, 0)},
            {"LOGO", Stripes(3, 3)},
            {"BACKDROP", Gradient(200, 180)}};
}

inline std::vector<VehicleEntry> Vehicles(bool edited)
{
    VehicleEntry truck{"truck", 3, false, {}, {}};
    for (int32_t j = 0; j < 17; ++j)
        truck.slots.push_back({j % 5 == 4 ? Picture{} : Gradient(2 + j % 3, 2), {j, -j, 1, 2}});
    if (edited)
        truck.slots[1].image = Solid(4, 1, 0x7FFF);
    VehicleEntry shadow{"truck_s", 0, true, {}, {}};
    shadow.frames.push_back(EncodeShadow({{true, false, false, true}, {false, true, true, true}}, {2, -3}));
    shadow.frames.push_back(EncodeShadow({{edited, true}}, {1, 1}));
    return {truck, shadow};
}

// One kind of run: the folder it starts from, the run itself, and what a
// run without a fault leaves.
class Subject {
public:
    explicit Subject(Procedure run) : run_(run)
    {
        switch (run) {
        case Procedure::GadgetRebuild:
        case Procedure::GadgetRebuildLinkingBackup:
        case Procedure::GadgetRebuildCopyingBackup:
            rebuilt_ = BuildGadgetFile(HeaderValue, Gadgets(true));
            PrepareRebuild("UNITS.GDG", BuildGadgetFile(HeaderValue, Gadgets(false)),
                           {{"LAMP_000.tga", Gadgets(true)[2].images[0]}});
            break;
        case Procedure::ScreenRebuild:
            rebuilt_ = BuildScreenFile(HeaderValue, Screens(true));
            PrepareRebuild("SCREENS.PIX", BuildScreenFile(HeaderValue, Screens(false)),
                           {{"MENU.tga", Screens(true)[1].image}});
            break;
        case Procedure::VehicleRebuild:
            rebuilt_ = BuildVehicleFile(Vehicles(true));
            PrepareRebuild("CARS.AZP", BuildVehicleFile(Vehicles(false)),
                           {{"truck_001.tga", Vehicles(true)[0].slots[1].image}, {"truck_s_001.tga", Solid(2, 1, 0x7FFF)}});
            break;
        case Procedure::GadgetExtraction:
            PrepareExtraction("UNITS.GDG", BuildGadgetFile(HeaderValue, Gadgets(false)),
                              BuildGadgetFile(HeaderValue, Gadgets(true)));
            break;
        case Procedure::ScreenExtraction:
            PrepareExtraction("SCREENS.PIX", BuildScreenFile(HeaderValue, Screens(false)),
                              BuildScreenFile(HeaderValue, Screens(true)));
            break;
        case Procedure::VehicleExtraction:
            PrepareExtraction("CARS.AZP", BuildVehicleFile(Vehicles(false)), BuildVehicleFile(Vehicles(true)));
            break;
        case Procedure::GadgetFreshExtraction:
            PrepareFreshExtraction("UNITS.GDG", BuildGadgetFile(HeaderValue, Gadgets(true)));
            break;
        case Procedure::ScreenFreshExtraction:
            PrepareFreshExtraction("SCREENS.PIX", BuildScreenFile(HeaderValue, Screens(true)));
            break;
        case Procedure::VehicleFreshExtraction:
            PrepareFreshExtraction("CARS.AZP", BuildVehicleFile(Vehicles(true)));
            break;
        }
    }

    // The run on the starting folder, through `files`; the Error's text
    // when it fails.
    std::optional<std::string> Perform(FileSystem& files)
    {
        Restore(folder_, start_);
        return Perform(folder_, files);
    }

    // Counts the operations of a run without a fault and checks that it
    // leaves what it should.
    FaultyFileSystem CountOperations()
    {
        FaultyFileSystem files;
        const auto failure = Perform(files);
        EXPECT_EQ(failure, std::nullopt);
        EXPECT_EQ(Differences(finished_, Contents(folder_)), "");
        return files;
    }

    // What must hold after a run in which `files` failed one operation.
    void CheckAfterFailure(const FaultyFileSystem& files, const std::optional<std::string>& message) const
    {
        ASSERT_TRUE(files.Failed());
        ASSERT_TRUE(message.has_value()) << "the failure was not reported";
        EXPECT_TRUE(Contains(*message, files.FailedPath().string()))
            << "the message does not name the file: " << *message;
        CheckAfterReportedFailure(*message);
    }

    // What must hold after a run that failed with `message`, whatever failed.
    void CheckAfterReportedFailure(const std::string& message) const
    {
        const auto now = Contents(folder_);
        if (IsRebuild(run_))
            CheckRebuildAfterFailure(now, message);
        else
            CheckExtractionAfterFailure(now);
    }

    Procedure Run() const { return run_; }
    const TempFolder& Folder() const { return folder_; }
    const std::string& ContainerName() const { return containerName_; }
    // The folder before the run, and after a run without a fault.
    const FolderContents& Start() const { return start_; }
    const FolderContents& Finished() const { return finished_; }

private:
    std::optional<std::string> Perform(const TempFolder& folder, FileSystem& files)
    {
        RecordingWindow window;
        window.overwrite = true;  // the user agreed to replace an older extraction's files
        ImageBuffer image;
        AZP::State state;
        FaultyFileSystem withoutLinks(files);
        withoutLinks.RefuseHardLinks();
        ModuleContext context{image, container_, folder.path(), window,
                              run_ == Procedure::GadgetRebuildCopyingBackup ? withoutLinks : files};
        context.rebuild.keepBackup = KeepsBackup(run_);
        try {
            switch (run_) {
            case Procedure::GadgetRebuild:
            case Procedure::GadgetRebuildLinkingBackup:
            case Procedure::GadgetRebuildCopyingBackup:
                GDG::Rebuild(context);
                break;
            case Procedure::ScreenRebuild:
                PIX::Rebuild(context);
                break;
            case Procedure::VehicleRebuild:
                AZP::Rebuild(context);
                break;
            case Procedure::GadgetExtraction:
            case Procedure::GadgetFreshExtraction:
                GDG::ExtractAll(context);
                break;
            case Procedure::ScreenExtraction:
            case Procedure::ScreenFreshExtraction:
                PIX::ExtractAll(context);
                break;
            case Procedure::VehicleExtraction:
            case Procedure::VehicleFreshExtraction:
                AZP::ExtractAll(context, state);
                break;
            }
        } catch (const Error& error) {
            return error.what();
        }
        EXPECT_TRUE(window.messages.empty()) << window.messages.front().text;
        return std::nullopt;
    }

    void ExtractWithRealFiles()
    {
        RecordingWindow window;
        ImageBuffer image;
        AZP::State state;
        ModuleContext context{image, container_, folder_.path(), window, RealFileSystem()};
        if (run_ == Procedure::GadgetRebuild || KeepsBackup(run_))
            GDG::ExtractAll(context);
        else if (run_ == Procedure::ScreenRebuild)
            PIX::ExtractAll(context);
        else
            AZP::ExtractAll(context, state);
    }

    void Choose(const std::string& name)
    {
        containerName_ = name;
        container_ = {folder_ / name, name};
    }

    // The container, what extracting it left, images edited, and a
    // "REBUILD.TMP" left over from a rebuild that was stopped.
    void PrepareRebuild(const std::string& name, const std::vector<uint8_t>& old,
                        const std::vector<std::pair<std::string, Picture>>& edits)
    {
        Choose(name);
        WriteBytes(folder_ / name, old);
        ExtractWithRealFiles();
        for (const auto& [file, picture] : edits)
            WriteImage(folder_ / file, picture);
        WriteBytes(folder_ / RebuildWorkFile::Name, {'o', 'l', 'd'});
        finished_ = {{name, rebuilt_}};
        if (KeepsBackup(run_)) {
            WriteBytes(folder_ / BackupName(), {'o', 'l', 'd', 'e', 'r'});
            finished_[BackupName()] = old;
        }
        start_ = Contents(folder_);
    }

    std::string BackupName() const { return containerName_ + ".bak"; }

    // The files an earlier extraction of `older` left beside the container,
    // which now holds `current`.
    void PrepareExtraction(const std::string& name, const std::vector<uint8_t>& older,
                           const std::vector<uint8_t>& current)
    {
        Choose(name);
        WriteBytes(folder_ / name, current);
        ASSERT_EQ(Perform(folder_, RealFileSystem()), std::nullopt);
        finished_ = Contents(folder_);
        Restore(folder_, {});
        WriteBytes(folder_ / name, older);
        ASSERT_EQ(Perform(folder_, RealFileSystem()), std::nullopt);
        WriteBytes(folder_ / name, current);
        start_ = Contents(folder_);
        ASSERT_EQ(start_.size(), finished_.size());
        ASSERT_NE(Differences(start_, finished_), "");
    }

    // The container alone: a failed extraction must leave just that.
    void PrepareFreshExtraction(const std::string& name, const std::vector<uint8_t>& current)
    {
        Choose(name);
        WriteBytes(folder_ / name, current);
        ASSERT_EQ(Perform(folder_, RealFileSystem()), std::nullopt);
        finished_ = Contents(folder_);
        Restore(folder_, {});
        WriteBytes(folder_ / name, current);
        start_ = Contents(folder_);
    }

    // Before the rename everything is as it was, "REBUILD.TMP" gone unless
    // the failure kept the leftover one from being removed; after it the
    // container is the rebuilt one, the message says so, and every file
    // still there is an input as it was, never a manifest without its
    // images. A backup is the old container once that is replaced; before,
    // it is the older one, or the old container when only the rename that
    // would replace that failed.
    void CheckRebuildAfterFailure(FolderContents now, const std::string& message) const
    {
        const auto& container = now[containerName_];
        const bool replaced = container != start_.at(containerName_);
        if (KeepsBackup(run_)) {
            const auto backup = now.extract(BackupName());
            ASSERT_FALSE(backup.empty()) << "the backup is gone";
            const auto& old = start_.at(containerName_);
            const bool renameFailed =
                Contains(message, "Cannot rename " + (folder_ / RebuildWorkFile::Name).string());
            if (replaced) {
                EXPECT_EQ(backup.mapped(), old) << "the backup is not the replaced container";
            } else if (!(renameFailed && backup.mapped() == old)) {
                EXPECT_EQ(backup.mapped(), start_.at(BackupName())) << "the older backup has changed";
            }
            now[BackupName()] = start_.at(BackupName());
        }
        if (!replaced) {
            EXPECT_FALSE(Contains(message, "succeeded")) << message;
            if (auto work = now.extract(RebuildWorkFile::Name)) {
                EXPECT_EQ(work.mapped(), start_.at(RebuildWorkFile::Name)) << "a new REBUILD.TMP is left behind";
            }
            FolderContents inputs = start_;
            inputs.erase(RebuildWorkFile::Name);
            EXPECT_EQ(Differences(inputs, now), "") << message;
            return;
        }
        ASSERT_EQ(container, rebuilt_) << "the container is neither the old nor the rebuilt one";
        EXPECT_TRUE(Contains(message, "succeeded")) << message;
        EXPECT_TRUE(Contains(message, (folder_ / containerName_).string())) << message;
        now.erase(containerName_);
        now.erase(BackupName());
        for (const auto& [name, bytes] : now) {
            EXPECT_NE(name, RebuildWorkFile::Name);
            EXPECT_TRUE(start_.contains(name) && start_.at(name) == bytes) << name << " is not an input as it was";
        }
        const std::string manifest = run_ == Procedure::GadgetRebuild || KeepsBackup(run_) ? GDG::ManifestName
                                     : run_ == Procedure::ScreenRebuild ? containerName_ + ".DAT"
                                                                        : containerName_ + ".txt";
        if (!now.contains(manifest))
            return;
        for (const auto& [name, bytes] : start_) {
            if (name.ends_with(".tga")) {
                EXPECT_TRUE(now.contains(name)) << "the manifest stays without " << name;
            }
        }
    }

    // The container is untouched, and no manifest stands beside TGA files
    // it does not describe: either nothing changed, or there is no manifest.
    // An extraction into a folder of its own leaves the folder as it was.
    void CheckExtractionAfterFailure(const FolderContents& now) const
    {
        EXPECT_EQ(now.at(containerName_), start_.at(containerName_));
        if (IsFresh(run_)) {
            EXPECT_EQ(Differences(start_, now), "") << "the files a failed extraction created must go";
            return;
        }
        for (const auto& [name, bytes] : start_) {
            const bool manifest = !name.ends_with(".tga") && name != containerName_;
            if (manifest && now.contains(name)) {
                EXPECT_EQ(Differences(start_, now), "") << name << " stands over TGA files it does not describe";
            }
        }
    }

    Procedure run_;
    TempFolder folder_;
    std::string containerName_;
    ChosenContainer container_;
    FolderContents start_;
    FolderContents finished_;
    std::vector<uint8_t> rebuilt_;
};

}  // namespace Brimwork::Testing
