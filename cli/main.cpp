// brimwork-cli: the window's Open, Extract and Rebuild commands for scripts
// and machines without a display, and commands on single images of a
// container opened as a document. This file reads the command line and
// hands the command to the file that runs it.

#include <unistd.h>

#include <cstdio>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/console_window.h"
#include "cli/document_commands.h"
#include "cli/entry_choice.h"
#include "cli/session_commands.h"
#include "core/error.h"

namespace {

using Brimwork::ConsoleWindow;

constexpr int ExitSuccess = 0;
constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

constexpr std::string_view UsageText =
    "Usage: brimwork-cli [-v] COMMAND [OPTIONS] FILE [ARGUMENTS]\n"
    "       brimwork-cli --help | --version\n"
    "\n"
    "Commands:\n"
    "  list FILE      print the names of FILE's entries, one per line\n"
    "  extract FILE   write every image of FILE as a TGA file, with the manifest\n"
    "                 needed to rebuild it, into FILE's folder\n"
    "  rebuild FILE   rebuild FILE from the manifest and the TGA files in its\n"
    "                 folder, replacing it, then delete the files it read\n"
    "  info FILE      print FILE's entries (#K NAME KIND, the count of images,\n"
    "                 the value) and under each its images (number, width x\n"
    "                 height, offset and size of the stored bytes, hotspots)\n"
    "  export FILE ENTRY [IMAGE] OUT\n"
    "                 write one image as OUT, a TGA file (as extract writes it)\n"
    "                 or a PNG file, by OUT's extension\n"
    "  replace FILE ENTRY [IMAGE] IN\n"
    "                 put the TGA or PNG file IN in place of one image and save\n"
    "                 FILE in place; a failure leaves FILE as it was\n"
    "  verify FILE    read every record and image of FILE as the viewer would;\n"
    "                 print what is wrong, and a summary, on standard output\n"
    "\n"
    "ENTRY is an entry's name as list prints it, or #K for the entry at position\n"
    "K of the list, counted from 0; #K always works, also where names are shared\n"
    "or begin with #. IMAGE is the image's number in the entry (a vehicle's slot\n"
    "0 to 16, a shadow's frame), 0 when left out. OUT and IN are taken relative\n"
    "to the current directory and must end in .tga or .png (any letter case).\n"
    "\n"
    "Options:\n"
    "  -v, --verbose  say what the command did, on standard error (it does on a\n"
    "                 terminal anyway)\n"
    "  --overwrite    extract: replace files in the folder that hold other bytes\n"
    "                 than extraction would write (edited images, another\n"
    "                 container's files); without it extraction refuses and\n"
    "                 lists them\n"
    "                 export: replace an existing OUT; without it export refuses\n"
    "                 and writes nothing\n"
    "  --dry-run      rebuild: read and check everything, write nothing, and\n"
    "                 print on standard output what the rebuild would change\n"
    "  --backup       rebuild: keep the replaced FILE as FILE.bak\n"
    "  --json         info: print one JSON document instead: {\"file\", \"kind\",\n"
    "                 \"headerValue\" (gadget, screen), \"entries\": [{\"index\",\n"
    "                 \"name\", \"kind\", \"entryValue\" (gadget, vehicle), \"images\":\n"
    "                 [{\"index\", \"width\", \"height\", \"offset\", \"bytes\",\n"
    "                 \"hotspots\"}]}]}. Names keep every byte: valid UTF-8 as it\n"
    "                 is (\" \\ and control characters escaped), and each byte\n"
    "                 that is not valid UTF-8 as \\udcXX, XX the byte in hex (a\n"
    "                 lone low surrogate, which valid text never holds)\n"
    "\n"
    "The kind of FILE follows its name: *.gdg gadget file, *.pix screen file,\n"
    "*.azp vehicle file; under any other name, a file that begins with PICS is\n"
    "read as a screen file and any other as a gadget file.\n"
    "\n"
    "Exit status: 0 done; 1 the command failed or had a message to show (it is\n"
    "printed on standard error), a dry run found that the rebuild would be\n"
    "refused, or verify found a defect; 2 the command line was wrong, also an OUT\n"
    "or IN that ends in neither .tga nor .png. A note on a command that\n"
    "succeeded (shadow pixels rounded to black or white, bit 15 that a PNG\n"
    "cannot carry) is printed on standard error too, and the status stays 0.\n";

enum class Command { List, Extract, Rebuild, Info, Export, Replace, Verify };

// What the command line asked for besides the command.
struct Options {
    bool verbose = false;
    bool overwrite = false;
    bool dryRun = false;
    bool backup = false;
    bool json = false;
};

// A command's name and the operands it takes after it.
struct CommandForm {
    std::string_view name;
    Command command;
    size_t fewestOperands;
    size_t mostOperands;
    std::string_view operands;  // for the message on a wrong count
};

constexpr CommandForm CommandForms[] = {
    {"list", Command::List, 1, 1, "exactly one FILE"},
    {"extract", Command::Extract, 1, 1, "exactly one FILE"},
    {"rebuild", Command::Rebuild, 1, 1, "exactly one FILE"},
    {"info", Command::Info, 1, 1, "exactly one FILE"},
    {"export", Command::Export, 3, 4, "FILE ENTRY [IMAGE] OUT"},
    {"replace", Command::Replace, 3, 4, "FILE ENTRY [IMAGE] IN"},
    {"verify", Command::Verify, 1, 1, "exactly one FILE"},
};

const CommandForm* CommandNamed(std::string_view name)
{
    for (const CommandForm& form : CommandForms)
        if (form.name == name)
            return &form;
    return nullptr;
}

bool IsHelpOption(std::string_view argument)
{
    return argument == "--help" || argument == "-h";
}

bool IsVersionOption(std::string_view argument)
{
    return argument == "--version";
}

void Write(std::FILE* stream, std::string_view text)
{
    std::fwrite(text.data(), 1, text.size(), stream);
}

int UsageError(std::string_view problem)
{
    Write(stderr, "brimwork-cli: ");
    Write(stderr, problem);
    Write(stderr, "\n\n");
    Write(stderr, UsageText);
    return ExitUsage;
}

// The command's operands as the command line gave them.
struct Operands {
    std::string file;
    Brimwork::ImageRequest image;  // export and replace
};

// False when verify found a defect; a failure is an exception.
bool RunCommand(Command command, const Operands& operands, const Options& options, ConsoleWindow& window)
{
    using Brimwork::SessionCommand;
    const Brimwork::RebuildChoices rebuild{options.dryRun, options.backup};
    switch (command) {
    case Command::List:
        RunSessionCommand(SessionCommand::List, operands.file, rebuild, window);
        break;
    case Command::Extract:
        RunSessionCommand(SessionCommand::Extract, operands.file, rebuild, window);
        break;
    case Command::Rebuild:
        RunSessionCommand(SessionCommand::Rebuild, operands.file, rebuild, window);
        break;
    case Command::Info:
        Brimwork::PrintInfo(operands.file, options.json);
        break;
    case Command::Export:
        Brimwork::ExportImage(operands.image, options.overwrite, window);
        break;
    case Command::Replace:
        Brimwork::ReplaceImage(operands.image, window);
        break;
    case Command::Verify:
        return Brimwork::VerifyContainer(operands.file);
    }
    return true;
}

int Run(Command command, const Operands& operands, const Options& options)
{
    ConsoleWindow window(stderr, ::isatty(STDERR_FILENO) == 1, {options.verbose, options.overwrite});
    bool defectsFound = false;
    try {
        defectsFound = !RunCommand(command, operands, options, window);
    } catch (const Brimwork::Error& error) {
        window.ReportError(error.what(), error.Title());
    } catch (const std::bad_alloc&) {
        window.ReportError("Not enough memory to finish the command");
    } catch (const std::exception& error) {
        window.ReportError(error.what());
    }
    window.EndProgress();
    return window.MessageShown() || defectsFound ? ExitFailure : ExitSuccess;
}

bool TakesOption(Command command, std::string_view option)
{
    if (option == "--overwrite")
        return command == Command::Extract || command == Command::Export;
    if (option == "--dry-run" || option == "--backup")
        return command == Command::Rebuild;
    if (option == "--json")
        return command == Command::Info;
    return false;
}

// Reads the options among the arguments after the command; what is left
// are the operands. "--" ends the options, for an operand that starts
// with "-".
std::optional<int> ParseOptions(Command command, std::string_view commandName,
                                const std::vector<std::string_view>& arguments, Options& options,
                                std::vector<std::string_view>& operands)
{
    bool optionsEnded = false;
    for (std::string_view argument : arguments) {
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            operands.push_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "-v" || argument == "--verbose") {
            options.verbose = true;
        } else if (TakesOption(command, argument)) {
            options.overwrite |= argument == "--overwrite";
            options.dryRun |= argument == "--dry-run";
            options.backup |= argument == "--backup";
            options.json |= argument == "--json";
        } else {
            return UsageError("the command '" + std::string(commandName) + "' has no option '" +
                              std::string(argument) + "'");
        }
    }
    if (options.dryRun && options.backup)
        return UsageError("--dry-run and --backup do not go together: a dry run replaces nothing");
    return std::nullopt;
}

// FILE ENTRY [IMAGE] PATH, the PATH a TGA or PNG file.
std::optional<int> ParseImageOperands(const CommandForm& form, const std::vector<std::string_view>& words,
                                      Operands& operands)
{
    Brimwork::ImageRequest& image = operands.image;
    image.file = operands.file;
    image.entry = std::string(words[1]);
    image.path = std::string(words.back());
    const std::string pathName = form.command == Command::Export ? "OUT" : "IN";
    if (words.size() == 4) {
        const auto number = Brimwork::ImageNumber(words[2]);
        if (!number)
            return UsageError("IMAGE must be a number from 0, not '" + std::string(words[2]) + "'");
        image.image = *number;
    }
    if (image.entry.empty())
        return UsageError("ENTRY must not be empty");
    if (!Brimwork::IsImageFileName(image.path))
        return UsageError(pathName + " must end in .tga or .png, which '" + image.path + "' does not");
    return std::nullopt;
}

std::optional<int> ParseOperands(const CommandForm& form, const std::vector<std::string_view>& words,
                                 Operands& operands)
{
    if (words.size() < form.fewestOperands || words.size() > form.mostOperands)
        return UsageError("the command '" + std::string(form.name) + "' takes " + std::string(form.operands));
    if (words[0].empty())
        return UsageError("FILE must not be empty");
    operands.file = std::string(words[0]);
    if (form.command == Command::Export || form.command == Command::Replace)
        return ParseImageOperands(form, words, operands);
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string_view> arguments(argv + 1, argv + argc);
    // --help and --version answer wherever they stand; the first one given wins.
    for (std::string_view argument : arguments) {
        if (IsHelpOption(argument) || IsVersionOption(argument)) {
            Write(stdout, IsHelpOption(argument) ? UsageText : "brimwork-cli " BRIMWORK_VERSION "\n");
            return std::fflush(stdout) == 0 && !std::ferror(stdout) ? ExitSuccess : ExitFailure;
        }
    }
    Options options;
    while (!arguments.empty() && (arguments.front() == "-v" || arguments.front() == "--verbose")) {
        options.verbose = true;
        arguments.erase(arguments.begin());
    }
    if (arguments.empty())
        return UsageError("a command is needed");
    const CommandForm* form = CommandNamed(arguments[0]);
    if (!form)
        return UsageError("unknown command '" + std::string(arguments[0]) + "'");
    std::vector<std::string_view> words;
    const std::vector<std::string_view> rest(arguments.begin() + 1, arguments.end());
    if (const auto usage = ParseOptions(form->command, arguments[0], rest, options, words))
        return *usage;
    Operands operands;
    if (const auto usage = ParseOperands(*form, words, operands))
        return *usage;
    return Run(form->command, operands, options);
}
