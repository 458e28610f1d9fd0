// The Linux command line: what its arguments mean, which command an interrupted upgrade must
// not stop after, and what the progress counts of each download command.
#include <gtest/gtest.h>

#include "cli/command_line.h"
#include "cli/progress.h"
#include "firmware/upgrade_outcome.h"

using dw::cli::Command;

TEST(CommandLine, argumentsBecomeTheCommandAndItsOptions) {
    struct Case {
        std::vector<std::string> arguments;
        Command command;
        std::string file, device;
        bool yes, trace;
    } cases[] = {
        {{"list"}, Command::List, "", "", false, false},
        {{"list", "--trace"}, Command::List, "", "", false, true},
        {{"check", "fw.bin"}, Command::Check, "fw.bin", "", false, false},
        {{"check", "fw.bin", "--device", "/dev/sg1"},
         Command::Check,
         "fw.bin",
         "/dev/sg1",
         false,
         false},
        {{"upgrade", "-d", "/dev/sr0", "fw.bin", "--yes"},
         Command::Upgrade,
         "fw.bin",
         "/dev/sr0",
         true,
         false},
        {{"upgrade", "--device=/dev/sg2", "-y", "fw.bin"},
         Command::Upgrade,
         "fw.bin",
         "/dev/sg2",
         true,
         false},
        {{"upgrade", "fw.bin", "--help"}, Command::Help, "", "", false, false},
        {{"--version"}, Command::Version, "", "", false, false},
    };
    for (const auto& c : cases) {
        std::string error;
        const auto options = dw::cli::parseCommandLine(c.arguments, error);
        ASSERT_TRUE(options.has_value()) << c.arguments[0] << ": " << error;
        EXPECT_EQ(options->command, c.command) << c.arguments[0];
        EXPECT_EQ(options->file, c.file) << c.arguments[0];
        EXPECT_EQ(options->device, c.device) << c.arguments[0];
        EXPECT_EQ(options->yes, c.yes) << c.arguments[0];
        EXPECT_EQ(options->trace, c.trace) << c.arguments[0];
    }
}

TEST(CommandLine, whatDoesNotReadIsNamed) {
    struct Case {
        std::vector<std::string> arguments;
        const char* error;
    } cases[] = {
        {{}, "no command given"},
        {{"flash", "fw.bin"}, "unknown command flash"},
        {{"check"}, "check needs one upgrade file"},
        {{"upgrade", "a.bin", "b.bin"}, "upgrade needs one upgrade file"},
        {{"list", "fw.bin"}, "list takes no file"},
        {{"check", "fw.bin", "--device"}, "--device needs a device, for example /dev/sg1"},
        {{"check", "fw.bin", "--force"}, "unknown option --force"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(dw::cli::parseCommandLine(c.arguments, error).has_value()) << c.error;
        EXPECT_EQ(error, c.error);
    }
}

TEST(CommittingCommand, onlyTheCommandThatMakesTheDriveKeepTheImage) {
    struct Case {
        const char* what;
        std::array<uint8_t, 12> cdb;
        bool committing;
        uint32_t downloadLength;
    } cases[] = {
        {"WRITE BUFFER mode 4", {0x3B, 0x04, 0, 0, 0x20, 0, 0, 0x20, 0}, false, 8192},
        {"WRITE BUFFER mode 5", {0x3B, 0x05, 0, 0x0F, 0xA0, 0, 0, 0x10, 0}, true, 4096},
        {"WRITE BUFFER mode 5 with high bits", {0x3B, 0xE5, 0, 0, 0, 0, 0, 0x20, 0}, true, 8192},
        {"vendor write, more to come", {0xE2, 0x01, 0, 0, 0x80, 0, 0, 0, 0x80, 0}, false, 32768},
        {"vendor write, the last", {0xE2, 0x00, 0, 3, 0x80, 0, 0, 0, 0x80, 0}, true, 32768},
        {"vendor prepare", {0xE1}, false, 0},
        {"eject", {0x1B, 0, 0, 0, 0x02}, false, 0},
        {"inquiry", {0x12, 0, 0, 0, 0x38}, false, 0},
    };
    for (const auto& c : cases) {
        dw::ScsiCommand command;
        command.cdb = c.cdb;
        EXPECT_EQ(dw::IsCommittingCommand(command), c.committing) << c.what;
        EXPECT_EQ(dw::cli::downloadLengthOf(command), c.downloadLength) << c.what;
    }
}
