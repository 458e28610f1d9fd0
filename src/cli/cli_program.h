// The command line's commands on the shared core, over the system it runs on: the drives found
// and the interface probe and list fill as the dialog's start-up runs them, then list, check or
// upgrade.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "cli/command_line.h"
#include "cli/cli_system.h"
#include "platform/string_table.h"
#include "platform/windows_api.h"

namespace dw::cli {

// What the program needs of the terminals it runs in: the controlling one (/dev/tty), where the
// upgrade asks its question whatever the output is redirected to, and standard error's, where
// the progress is drawn.
class Terminal {
public:
    virtual ~Terminal() = default;
    // Opens the controlling terminal for reading and writing: 0, or the system's error number
    // (ENXIO: the process has none).
    virtual int openControlling() = 0;
    // Writes `text` to the controlling terminal opened.
    virtual void show(const std::string& text) = 0;
    // One line typed there, without its end; nothing at the end of the input, or when a signal
    // or an error ended the wait.
    virtual std::optional<std::string> readLine() = 0;
    virtual void closeControlling() = 0;
    virtual bool errorIsTerminal() = 0;
    // The width of standard error's terminal in columns, 0 when it does not say.
    virtual int errorColumns() = 0;
    // The COLUMNS variable, empty where it is not set.
    virtual std::string columnsVariable() = 0;
};

// What the program does with the signals that end or stop a process: SIGINT, SIGTERM and SIGHUP
// (the interrupts), SIGTSTP, SIGTTIN and SIGTTOU (the stops). Until `catchInterrupts` they act
// as the system has them, so that list and check end at Ctrl+C at once.
class Signals {
public:
    virtual ~Signals() = default;
    // From the upgrade's question on: an interrupt is caught, ends the wait for the answer and
    // is told by `interruption`.
    virtual void catchInterrupts() = 0;
    // From the confirmation to the end of the upgrade: interrupts and stops are held back, so
    // that no system call is cut short and a Ctrl+Z waits for the end.
    virtual void holdBack() = 0;
    // The end of the upgrade: what was held back takes effect.
    virtual void release() = 0;
    // The interrupt that came ("SIGINT", "SIGTERM", "SIGHUP"), or null.
    virtual const char* interruption() = 0;
};

struct Environment {
    CliSystem& system;
    Clock& clock;
    StringTable& strings;
    Terminal& terminal;
    std::ostream& out;
    std::ostream& err;
    Signals& signals;
};

// Runs the command and returns the exit code.
int RunCommand(const Options& options, Environment& environment);

// "drivewright 1.26.0".
std::string versionText();

}  // namespace dw::cli
