// drivewright on Linux: the real system behind the command line, its terminals, and what the
// process does with signals. A closed pipe on the output never ends it (SIGPIPE is ignored: a write
// fails with EPIPE instead); the upgrade catches SIGINT, SIGTERM and SIGHUP from its question on
// and holds them back, with the stops of job control, while it runs.
#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_program.h"
#include "cli/command_line.h"
#include "cli/json_report.h"
#include "cli/linux_cli_system.h"
#include "platform/linux/linux_system.h"
#include "resources/program_strings.h"

namespace {

volatile std::sig_atomic_t gInterrupt = 0;  // the first interrupt caught, 0 before one came

void onInterrupt(int signal) {
    if (gInterrupt == 0) gInterrupt = signal;
}

constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kStops[] = {SIGTSTP, SIGTTIN, SIGTTOU};

const char* signalName(int signal) {
    switch (signal) {
        case SIGINT: return "SIGINT";
        case SIGTERM: return "SIGTERM";
        case SIGHUP: return "SIGHUP";
        default: return "a signal";
    }
}

class ProcessSignals : public dw::cli::Signals {
public:
    void catchInterrupts() override {
        struct sigaction action = {};
        action.sa_handler = onInterrupt;
        sigemptyset(&action.sa_mask);
        // No SA_RESTART: a question waiting for its answer ends on Ctrl+C as well.
        for (const int signal : kInterrupts) {
            struct sigaction before = {};
            sigaction(signal, nullptr, &before);
            // A program started under nohup keeps its hangups ignored.
            if (signal == SIGHUP && before.sa_handler == SIG_IGN) continue;
            sigaction(signal, &action, nullptr);
            caught_[index(signal)] = true;
        }
    }
    void holdBack() override {
        sigset_t held;
        sigemptyset(&held);
        for (const int signal : kInterrupts) sigaddset(&held, signal);
        for (const int signal : kStops) sigaddset(&held, signal);
        sigprocmask(SIG_BLOCK, &held, &before_);
    }
    void release() override { sigprocmask(SIG_SETMASK, &before_, nullptr); }
    const char* interruption() override {
        if (gInterrupt != 0) return signalName(gInterrupt);
        // Held back, an interrupt waits as pending (an ignored one too, while it is blocked).
        sigset_t pending;
        sigemptyset(&pending);
        sigpending(&pending);
        for (const int signal : kInterrupts) {
            if (caught_[index(signal)] && sigismember(&pending, signal) == 1) {
                return signalName(signal);
            }
        }
        return nullptr;
    }

private:
    static int index(int signal) { return signal == SIGINT ? 0 : signal == SIGTERM ? 1 : 2; }

    bool caught_[3] = {};
    sigset_t before_ = {};
};

// The controlling terminal through /dev/tty, which is the process's own whatever its standard
// streams are: the kernel refuses its open with ENXIO where the process has none.
class ProcessTerminal : public dw::cli::Terminal {
public:
    ~ProcessTerminal() override { closeTerminal(); }
    int openControlling() override {
        closeTerminal();
        fd_ = open("/dev/tty", O_RDWR | O_CLOEXEC);
        return fd_ < 0 ? errno : 0;
    }
    void show(const std::string& text) override {
        for (size_t at = 0; fd_ >= 0 && at < text.size();) {
            const ssize_t n = write(fd_, text.data() + at, text.size() - at);
            if (n <= 0) return;  // a signal or a terminal gone: the question is not waited for
            at += static_cast<size_t>(n);
        }
    }
    std::optional<std::string> readLine() override {
        std::string line;
        // The terminal hands over a line at a time; a byte at a time reads no further than it.
        for (char c; fd_ >= 0;) {
            const ssize_t n = read(fd_, &c, 1);
            if (n < 0) return std::nullopt;  // interrupted, or hung up
            if (n == 0) return line.empty() ? std::nullopt : std::optional<std::string>(line);
            if (c == '\n') return line;
            line += c;
        }
        return std::nullopt;
    }
    void closeControlling() override { closeTerminal(); }
    bool errorIsTerminal() override { return isatty(STDERR_FILENO) == 1; }
    int errorColumns() override {
        winsize size = {};
        return ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
    }
    std::string columnsVariable() override {
        const char* columns = std::getenv("COLUMNS");
        return columns != nullptr ? columns : "";
    }

private:
    void closeTerminal() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }

    int fd_ = -1;
};

}  // namespace

int main(int argc, char** argv) {
    // A reader of the output that went away (`| head`) must not end an upgrade.
    signal(SIGPIPE, SIG_IGN);

    std::vector<std::string> arguments(argv + 1, argv + argc);
    std::string error;
    const auto options = dw::cli::parseCommandLine(arguments, error);
    if (!options) {
        std::cerr << "drivewright: " << error << " (drivewright --help lists the commands)\n";
        if (dw::cli::asksForJson(arguments)) std::cout << dw::cli::usageErrorDocument(error);
        return dw::cli::kExitUsage;
    }

    dw::LinuxSystem linux;
    dw::cli::LinuxCliSystem system(linux);
    dw::MonotonicClock clock;
    dw::ProgramStrings strings;
    ProcessTerminal terminal;
    ProcessSignals signals;
    dw::cli::Environment environment{system,    clock,     strings, terminal,
                                     std::cout, std::cerr, signals};
    return dw::cli::RunCommand(*options, environment);
}
