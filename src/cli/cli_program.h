// The command line's commands on the shared core: the Linux scan, the interface probe and the
// list fill as the dialog's start-up runs them, then list, check or upgrade.
#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "cli/command_line.h"
#include "platform/linux_api.h"
#include "platform/string_table.h"
#include "platform/windows_api.h"

namespace dw::cli {

// What the program needs of the terminal it runs in.
class Terminal {
public:
    virtual ~Terminal() = default;
    virtual bool inputIsTerminal() = 0;
    virtual bool errorIsTerminal() = 0;
    // One line typed by the user; nothing at the end of the input.
    virtual std::optional<std::string> readLine() = 0;
};

struct Environment {
    LinuxApi& linuxApi;
    Clock& clock;
    StringTable& strings;
    Terminal& terminal;
    std::ostream& out;
    std::ostream& err;
    // True once the user has pressed Ctrl+C.
    std::function<bool()> interrupted;
};

// Runs the command and returns the exit code.
int RunCommand(const Options& options, Environment& environment);

// "drivewright 1.25.0".
std::string versionText();

}  // namespace dw::cli
