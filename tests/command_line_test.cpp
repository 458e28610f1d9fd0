// The Linux command line: what its arguments mean, which command an interrupted upgrade must
// not stop after, and what the progress counts of each download command.
#include <gtest/gtest.h>

#include "cli/command_line.h"
#include "cli/progress.h"
#include "firmware/upgrade_outcome.h"

TEST(CommandLine, argumentsBecomeTheCommandAndItsOptionsOrWhatDoesNotRead) {
    const char* names[] = {"none", "list", "check", "upgrade", "help", "version"};
    struct Case {
        std::vector<std::string> arguments;
        std::string read;  // command file device [yes] [trace], or the error
    } cases[] = {
        {{"list"}, "list   "},
        {{"list", "--trace"}, "list   trace"},
        {{"check", "fw.bin"}, "check fw.bin  "},
        {{"check", "fw.bin", "--device", "/dev/sg1"}, "check fw.bin /dev/sg1 "},
        {{"upgrade", "-d", "/dev/sr0", "fw.bin", "--yes"}, "upgrade fw.bin /dev/sr0 yes "},
        {{"upgrade", "--device=/dev/sg2", "-y", "fw.bin"}, "upgrade fw.bin /dev/sg2 yes "},
        {{"upgrade", "fw.bin", "--help"}, "help   "},
        {{"--version"}, "version   "},
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
        const auto o = dw::cli::parseCommandLine(c.arguments, error);
        const std::string read = !o ? error
                                    : names[int(o->command)] + (" " + o->file) + " " + o->device +
                                          " " + (o->yes ? "yes " : "") + (o->trace ? "trace" : "");
        EXPECT_EQ(read, c.read) << (c.arguments.empty() ? "" : c.arguments[0]);
        EXPECT_EQ(o.has_value(), error.empty()) << c.read;
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
        {"WRITE BUFFER mode 5, high bits", {0x3B, 0xE5, 0, 0, 0, 0, 0x01, 0x20, 0}, true, 73728},
        {"vendor write, more to come", {0xE2, 0x01, 0, 0, 0x80, 0, 0, 0, 0x80, 0}, false, 32768},
        {"vendor write, the last", {0xE2, 0x00, 0, 3, 0x80, 0, 0, 0x01, 0x80, 0}, true, 98304},
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
