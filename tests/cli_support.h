// What the command line's tests give it where no terminal and no signal matter: a process
// without a controlling terminal (its output redirected), and signals that never come.
#pragma once

#include <cerrno>
#include <optional>
#include <string>

#include "cli/cli_program.h"

namespace testing_support {

struct NoTerminal : dw::cli::Terminal {
    int openControlling() override { return ENXIO; }
    void show(const std::string&) override {}
    std::optional<std::string> readLine() override { return std::nullopt; }
    void closeControlling() override {}
    bool errorIsTerminal() override { return false; }
    int errorColumns() override { return 0; }
    std::string columnsVariable() override { return ""; }
};

struct QuietSignals : dw::cli::Signals {
    void catchInterrupts() override {}
    void holdBack() override {}
    void release() override {}
    const char* interruption() override { return nullptr; }
};

}  // namespace testing_support
