// Reading the command line, and the help text that describes it.
#include "cli/command_line.h"

namespace dw::cli {

std::optional<Options> parseCommandLine(const std::vector<std::string>& arguments,
                                        std::string& error) {
    Options options;
    std::vector<std::string> words;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        if (a == "--help" || a == "-h") {
            options.command = Command::Help;
            return options;
        }
        if (a == "--version") {
            options.command = Command::Version;
            return options;
        }
        if (a == "--yes" || a == "-y") {
            options.yes = true;
        } else if (a == "--trace") {
            options.trace = true;
        } else if (a == "--device" || a == "-d") {
            if (i + 1 >= arguments.size() || arguments[i + 1].empty()) {
                error = a + " needs a device, for example /dev/sg1";
                return std::nullopt;
            }
            options.device = arguments[++i];
        } else if (a.rfind("--device=", 0) == 0 && a.size() > 9) {
            options.device = a.substr(9);
        } else if (a.size() > 1 && a[0] == '-') {
            error = "unknown option " + a;
            return std::nullopt;
        } else {
            words.push_back(a);
        }
    }
    if (words.empty()) {
        error = "no command given";
        return std::nullopt;
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
        return std::nullopt;
    }
    if (words.size() != wanted) {
        error = wanted == 1 ? "list takes no file" : command + " needs one upgrade file";
        return std::nullopt;
    }
    if (wanted == 2) options.file = words[1];
    return options;
}

std::string helpText() {
    return "Usage: drivewright COMMAND [OPTIONS]\n"
           "Replaces the firmware of KORVANE CD/DVD drives.\n"
           "\n"
           "Commands:\n"
           "  list                 one line per KORVANE drive: device, label, bus, firmware\n"
           "  check FILE           checks an upgrade file against a drive\n"
           "  upgrade FILE         checks the file, asks, and downloads it into the drive\n"
           "\n"
           "Options:\n"
           "  -d, --device DEV     the drive (/dev/sgN or /dev/srN); may be left out when\n"
           "                       exactly one KORVANE drive is attached\n"
           "  -y, --yes            answer the upgrade's question with yes (for scripts)\n"
           "      --trace          write every SCSI command and how it ended to stderr\n"
           "  -h, --help           this text\n"
           "      --version        the program's version\n"
           "\n"
           "Exit codes:\n"
           "  0    done: drives listed, file valid, upgrade succeeded\n"
           "  1    the upgrade failed after a command that changes the drive went out\n"
           "  2    the command line does not read (or no terminal to ask and no --yes)\n"
           "  3    the drive cannot be used: no access, in use, its disc mounted, the kernel\n"
           "       would not pass the upgrade's commands, the drive changed since the scan,\n"
           "       or the upgrade was refused before anything that changes the drive\n"
           "  4    no KORVANE drive, or --device names none this program found\n"
           "  5    the file is not valid for the drive (stderr says why)\n"
           "  6    nothing done: the question was answered no\n"
           "  130  interrupted before the committing command: nothing was committed\n"
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
           "/dev/sgN or hold /dev/srN.\n";
}

}  // namespace dw::cli
