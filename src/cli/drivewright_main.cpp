// drivewright on Linux: the real system behind the command line, and Ctrl+C turned into a flag
// that the upgrade looks at between commands.
#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_program.h"
#include "cli/command_line.h"
#include "platform/linux/linux_system.h"
#include "resources/program_strings.h"

namespace {

volatile std::sig_atomic_t gInterrupted = 0;

void onInterrupt(int) { gInterrupted = 1; }

class ProcessTerminal : public dw::cli::Terminal {
public:
    bool inputIsTerminal() override { return isatty(STDIN_FILENO) == 1; }
    bool errorIsTerminal() override { return isatty(STDERR_FILENO) == 1; }
    std::optional<std::string> readLine() override {
        std::string line;
        if (!std::getline(std::cin, line)) return std::nullopt;
        return line;
    }
};

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    std::string error;
    const auto options = dw::cli::parseCommandLine(arguments, error);
    if (!options) {
        std::cerr << "drivewright: " << error << " (drivewright --help lists the commands)\n";
        return dw::cli::kExitUsage;
    }

    // Only an upgrade decides for itself when to stop; list and check end on Ctrl+C at once.
    // No SA_RESTART: a question waiting for its answer ends on Ctrl+C as well.
    if (options->command == dw::cli::Command::Upgrade) {
        struct sigaction action = {};
        action.sa_handler = onInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGTERM, &action, nullptr);
    }

    dw::LinuxSystem system;
    dw::MonotonicClock clock;
    dw::ProgramStrings strings;
    ProcessTerminal terminal;
    dw::cli::Environment environment{
        system, clock, strings, terminal, std::cout, std::cerr, [] { return gInterrupted != 0; }};
    return dw::cli::RunCommand(*options, environment);
}
