// Reading the command line, and the help text that describes it.
#include "cli/command_line.h"

#include <getopt.h>

#include <algorithm>
#include <cstring>

namespace dw::cli {

namespace {

// Options without a short form are numbered past every character.
enum LongOnly : int { kTrace = 256, kDryRun, kAllowReinstall, kAllowOlder, kForce, kJson, kLog };

// Leading '-': every word that is no option comes back in its place (as option 1), whatever
// POSIXLY_CORRECT says; ':' next: a missing value comes back as ':', and getopt prints nothing.
constexpr const char* kShortOptions = "-:d:yqhV";

constexpr option kLongOptions[] = {
    {"device", required_argument, nullptr, 'd'},
    {"yes", no_argument, nullptr, 'y'},
    {"quiet", no_argument, nullptr, 'q'},
    {"trace", no_argument, nullptr, kTrace},
    {"dry-run", no_argument, nullptr, kDryRun},
    {"allow-reinstall", no_argument, nullptr, kAllowReinstall},
    {"allow-older", no_argument, nullptr, kAllowOlder},
    {"force", no_argument, nullptr, kForce},
    {"json", no_argument, nullptr, kJson},
    {"log", required_argument, nullptr, kLog},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0},
};

// The option as the user spelled it in `word`: "--device" (from "--device=x") or "-d".
std::string spelled(const char* word, int shortName) {
    if (std::strncmp(word, "--", 2) == 0) return std::string(word, std::strcspn(word, "="));
    return std::string("-") + static_cast<char>(shortName);
}

// What getopt_long's '?' or ':' stands for, in words.
std::string whatDoesNotRead(int result, const char* word) {
    if (result == ':') {
        return optopt == 'd' ? spelled(word, 'd') + " needs a device, for example /dev/sg1"
                             : spelled(word, optopt) + " needs a value";
    }
    const bool longForm = std::strncmp(word, "--", 2) == 0;
    if (longForm && optopt != 0) return spelled(word, optopt) + " takes no value";
    if (longForm) return "unknown option " + spelled(word, 0);
    return std::string("unknown option -") + static_cast<char>(optopt);
}

// The command and its file from the words that are no options.
bool takeCommand(const std::vector<std::string>& words, Options& options, std::string& error) {
    if (words.empty()) {
        error = "no command given";
        return false;
    }
    const std::string& command = words[0];
    const size_t wanted = command == "list" ? 1 : 2;
    if (command == "list") {
        options.command = Command::List;
    } else if (command == "check") {
        options.command = Command::Check;
    } else if (command == "upgrade") {
        options.command = Command::Upgrade;
    } else {
        error = "unknown command " + command;
        return false;
    }
    if (words.size() != wanted) {
        error = wanted == 1 ? "list takes no file" : command + " needs one upgrade file";
        return false;
    }
    if (wanted == 2) options.file = words[1];
    return true;
}

// The upgrade's own options name nothing for list and check.
bool upgradeOptionsFit(const Options& options, std::string& error) {
    if (options.command == Command::Upgrade) return true;
    const char* given = options.dryRun             ? "--dry-run"
                        : options.allowReinstall   ? "--allow-reinstall"
                        : options.allowOlder       ? "--allow-older"
                        : options.force            ? "--force"
                        : !options.logFile.empty() ? "--log"
                                                   : nullptr;
    if (given == nullptr) return true;
    error = std::string(given) + " is an option of upgrade";
    return false;
}

}  // namespace

std::optional<Options> parseCommandLine(const std::vector<std::string>& arguments,
                                        std::string& error) {
    // getopt_long's own copy of the words, with the program's name before them.
    std::vector<std::string> copies = {"drivewright"};
    copies.insert(copies.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : copies) argv.push_back(word.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(copies.size());

    Options options;
    std::vector<std::string> words;
    optind = 0;  // a full new start, should the parser have run before
    opterr = 0;
    for (;;) {
        // The word getopt_long reads now: a new one, or the rest of a bundle of short options.
        const char* word = argv[std::max(optind, 1)];
        const int c = getopt_long(argc, argv.data(), kShortOptions, kLongOptions, nullptr);
        if (c == -1) break;
        switch (c) {
            case 1: words.emplace_back(optarg); break;
            case 'y': options.yes = true; break;
            case 'q': options.quiet = true; break;
            case kTrace: options.trace = true; break;
            case kDryRun: options.dryRun = true; break;
            case kAllowReinstall: options.allowReinstall = true; break;
            case kAllowOlder: options.allowOlder = true; break;
            case kForce: options.force = true; break;
            case kJson: options.json = true; break;
            case kLog:
                if (*optarg == '\0') {
                    error =
                        spelled(word, kLog) + " needs a file, for example /var/log/drivewright.log";
                    return std::nullopt;
                }
                options.logFile = optarg;
                break;
            case 'd':
                if (*optarg == '\0') {
                    error = spelled(word, 'd') + " needs a device, for example /dev/sg1";
                    return std::nullopt;
                }
                options.device = optarg;
                break;
            case 'h': options.command = Command::Help; return options;
            case 'V': options.command = Command::Version; return options;
            default: error = whatDoesNotRead(c, word); return std::nullopt;
        }
    }
    // After "--" every word is no option.
    for (int i = optind; i < argc; ++i) words.emplace_back(argv[i]);
    if (!takeCommand(words, options, error)) return std::nullopt;
    if (!upgradeOptionsFit(options, error)) return std::nullopt;
    return options;
}
bool asksForJson(const std::vector<std::string>& arguments) {
    const std::string json = "--json";
    for (const std::string& word : arguments) {
        if (word == "--") return false;
        // "--j" is no other option's start.
        if (word.size() >= 3 && word.size() <= json.size() &&
            json.compare(0, word.size(), word) == 0) {
            return true;
        }
    }
    return false;
}

HelpWords linuxHelpWords() {
    return {"drivewright", "/dev/sgN or /dev/srN",
            "The upgrade asks its question on the terminal (/dev/tty), even when the output\n"
            "is redirected; without a terminal it needs --yes. Where the file's version and\n"
            "the drive's read as versions (digits, a dot, digits: 1.10), the question says\n"
            "whether the file's is newer, the same or older, and after the upgrade the\n"
            "program says whether the drive runs the file's version (a warning if not).\n"
            "\n"
            "An upgrade stops at Ctrl+C, SIGTERM or SIGHUP only before its committing command;\n"
            "after it, it runs to its end. Ctrl+Z waits for the end, and a closed pipe on the\n"
            "output does not stop it. list and check end at Ctrl+C at once.\n"
            "\n"
            "The drive is reached through /dev/sgN (load the sg module if there is none),\n"
            "which needs read and write access: run as root, or as a member of the group that\n"
            "owns the node. Through /dev/srN the kernel passes the upgrade's commands only with\n"
            "CAP_SYS_RAWIO (as root). Before its question the upgrade opens the drive's nodes\n"
            "exclusively: until it ends no disc can be mounted, and no other program can open\n"
            "/dev/sgN or hold /dev/srN.\n"
            "\n"
            "Every upgrade that sent the drive a command that changes it leaves one line in\n"
            "the system log (journalctl -t drivewright, or /var/log/syslog): the drive, the\n"
            "file and its SHA-256, how it ended and the version the drive reports after it.\n"};
}

HelpWords windowsHelpWords() {
    return {"drivewright-cli", "E: or host:target as list shows it",
            "The upgrade asks its question on the console, even when the output is\n"
            "redirected; without a console it needs --yes. Where the file's version and the\n"
            "drive's read as versions (digits, a dot, digits: 1.10), the question says\n"
            "whether the file's is newer, the same or older, and after the upgrade the\n"
            "program says whether the drive runs the file's version (a warning if not).\n"
            "\n"
            "An upgrade stops at Ctrl+C or Ctrl+Break only before its committing command;\n"
            "after it, it runs to its end. list and check end at Ctrl+C at once.\n"
            "\n"
            "The drives are found as drivewright.exe finds them: through the ASPI layer on\n"
            "Windows 95, 98 and Me, else through the SCSI ports, which need administrator\n"
            "rights (without them: exit code 3). The start's warnings are lines on stderr;\n"
            "its question about USB drives behind an old ASPI layer needs --yes. The\n"
            "upgrade holds the drive for itself (the class driver's exclusive access) and\n"
            "keeps Windows from sleeping until it ends.\n"
            "\n"
            "There is no system log line on Windows: --log FILE keeps the record.\n"};
}

std::string helpText(const HelpWords& words) {
    return "Usage: " + words.program +
           " COMMAND [OPTIONS]\n"
           "Replaces the firmware of KORVANE CD/DVD drives.\n"
           "\n"
           "Commands:\n"
           "  list                 one line per KORVANE drive: device, label, bus, firmware\n"
           "  check FILE           checks an upgrade file against a drive\n"
           "  upgrade FILE         checks the file, asks, and downloads it into the drive\n"
           "\n"
           "Options (anywhere on the line; short ones may be bundled, as in -yd DEV):\n"
           "  -d, --device DEV     the drive (" +
           words.device +
           "); may be left out when\n"
           "                       exactly one KORVANE drive is attached; also -dDEV and\n"
           "                       --device=DEV\n"
           "  -y, --yes            answer the upgrade's question with yes (for scripts)\n"
           "  -q, --quiet          the outcome only: no progress, no lines on the way\n"
           "      --trace          write every SCSI command and how it ended to stderr\n"
           "      --json           one JSON document on stdout (list, check, upgrade), all\n"
           "                       else on stderr; upgrade then needs --yes\n"
           "      --dry-run        upgrade: run every check, send nothing that changes the\n"
           "                       drive, and say \"Would upgrade ...\" or why not\n"
           "      --allow-reinstall\n"
           "                       upgrade: with --yes or --dry-run, send the version the\n"
           "                       drive runs already\n"
           "      --allow-older    upgrade: with --yes or --dry-run, send an older version\n"
           "      --force          upgrade: go on when the machine runs on battery\n"
           "      --log FILE       upgrade: append the upgrade's record to FILE as one JSON\n"
           "                       line (also --log=FILE)\n"
           "  -h, --help           this text\n"
           "  -V, --version        the program's version\n"
           "  --                   the words after it are no options (a file named -x)\n"
           "\n"
           "Exit codes:\n"
           "  0    done: drives listed, file valid, upgrade succeeded\n"
           "  1    the upgrade failed after a command that changes the drive went out\n"
           "  2    the command line does not read (or no terminal to ask and no --yes)\n"
           "  3    the drive cannot be used: no access, in use, its disc mounted, the kernel\n"
           "       would not pass the upgrade's commands, the drive changed since the scan,\n"
           "       the machine runs on battery (without --force), the --log file cannot be\n"
           "       written, or the upgrade was refused before anything that changes the drive\n"
           "  4    no KORVANE drive, or --device names none this program found\n"
           "  5    the file is not valid for the drive (stderr says why)\n"
           "  6    nothing done: the question was answered no, or with --yes or --dry-run\n"
           "       the drive runs the file's version already, or a newer one (see\n"
           "       --allow-reinstall, --allow-older)\n"
           "  130  interrupted before the committing command: nothing was committed\n"
           "\n" +
           words.notes;
}

}  // namespace dw::cli
