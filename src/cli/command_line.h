// The command line of drivewright on Linux: its commands, options and exit codes.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace dw::cli {

enum class Command { None, List, Check, Upgrade, Help, Version };

struct Options {
    Command command = Command::None;
    std::string file;             // check, upgrade
    std::string device;           // --device, empty: the one drive there is
    bool yes = false;             // --yes: the confirmation is answered for the caller
    bool trace = false;           // --trace: every command on stderr
    bool quiet = false;           // --quiet: the outcome only, no progress and no lines on the way
    bool dryRun = false;          // --dry-run: every check of the upgrade, nothing that changes
    bool allowReinstall = false;  // --allow-reinstall: with --yes, the version the drive runs
    bool allowOlder = false;      // --allow-older: with --yes, an older version
    bool force = false;           // --force: upgrade on battery power too
    bool json = false;            // --json: one JSON document on stdout, everything else on stderr
    std::string logFile;          // --log: the upgrade's record appended to this file
};

// Exit codes: what a script can branch on.
inline constexpr int kExitOk = 0;
// The upgrade failed after a command that changes the drive (a chunk of firmware, or the
// preparation for it taken) may have reached it: the case an operator must look at.
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;  // the command line does not read
// The drive cannot be used: no access, in use, its disc mounted, changed since the scan, the
// kernel will not pass the commands, battery power, or it refused the upgrade before anything
// changed it.
inline constexpr int kExitNoAccess = 3;
inline constexpr int kExitNoDrive = 4;      // no KORVANE drive, or not the one named
inline constexpr int kExitInvalidFile = 5;  // the file is not valid for the drive
// Nothing done: declined at the question, or the drive runs this version or a newer one.
inline constexpr int kExitNothingDone = 6;
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
// The words of the help that differ between the systems: the program's name, how a drive is
// named, and the notes at the end.
struct HelpWords {
    std::string program;
    std::string device;
    std::string notes;
};
HelpWords linuxHelpWords();
HelpWords windowsHelpWords();
std::string helpText(const HelpWords& words);

}  // namespace dw::cli
