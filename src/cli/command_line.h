// The command line of drivewright on Linux: its commands, options and exit codes.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace dw::cli {

enum class Command { None, List, Check, Upgrade, Help, Version };

struct Options {
    Command command = Command::None;
    std::string file;    // check, upgrade
    std::string device;  // --device, empty: the one drive there is
    bool yes = false;    // --yes: the confirmation is answered for the caller
    bool trace = false;  // --trace: every command on stderr
    bool quiet = false;  // --quiet: the outcome only, no progress and no lines on the way
    bool json = false;   // --json: one JSON document on stdout, everything else on stderr
};

// Exit codes.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;    // no drive, not a valid file, declined, upgrade failed
inline constexpr int kExitUsage = 2;     // the command line does not read
inline constexpr int kExitNoAccess = 3;  // the device cannot be used: rights, in use, mounted
inline constexpr int kExitInterrupted = 130;  // Ctrl+C before the committing command

// The options, or nothing with `error` saying what does not read. Read as getopt_long reads
// them: anywhere among the words, short ones bundled (-yd DEV), values attached (-dDEV,
// --device=DEV), long ones shortened while they stay unambiguous, and none after "--".
std::optional<Options> parseCommandLine(const std::vector<std::string>& arguments,
                                        std::string& error);

// Whether the words ask for JSON (--json, or a shortening getopt_long takes for it, before any
// "--"): then even a command line that does not read is answered in JSON.
bool asksForJson(const std::vector<std::string>& arguments);

// What --help prints.
std::string helpText();

}  // namespace dw::cli
