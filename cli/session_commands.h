#pragma once

#include <string>

namespace Brimwork {

class ConsoleWindow;

// The window's own commands, run through the same Session as the window.
enum class SessionCommand { List, Extract, Rebuild };

struct RebuildChoices {
    bool dryRun = false;
    bool backup = false;
};

// Opens FILE as the window's Open command would and runs the command on it.
// The files that extract and rebuild write land in FILE's folder.
void RunSessionCommand(SessionCommand command, const std::string& file, RebuildChoices rebuild,
                       ConsoleWindow& window);

}  // namespace Brimwork
