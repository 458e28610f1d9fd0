// The command line as getopt users write it: options anywhere, bundled, with attached values,
// "--" before a file that looks like an option; and what does not read, in words.
#include <gtest/gtest.h>

#include "cli/command_line.h"

namespace {

using dw::cli::Command;

struct Case {
    std::vector<std::string> words;
    // What reads: the command, file, device and yes/quiet/trace as "ynn"; or the error.
    Command command;
    std::string file, device, flags, error;
};

std::string flagsOf(const dw::cli::Options& o) {
    return std::string(o.yes ? "y" : "n") + (o.quiet ? "y" : "n") + (o.trace ? "y" : "n");
}

const std::string F = "fw.bin", D = "/dev/sg1";
const auto Up = Command::Upgrade, Check = Command::Check, List = Command::List,
           Help = Command::Help, Version = Command::Version, Bad = Command::None;

const Case kCases[] = {
    {{"upgrade", F, "--device", D, "--yes"}, Up, F, D, "ynn", ""},
    {{"-y", "upgrade", "-d", D, F}, Up, F, D, "ynn", ""},
    {{"upgrade", F, "-yd", D}, Up, F, D, "ynn", ""},
    {{"upgrade", F, "-yqd" + D}, Up, F, D, "yyn", ""},
    {{"check", F, "-d" + D}, Check, F, D, "nnn", ""},
    {{"check", F, "--device=" + D}, Check, F, D, "nnn", ""},
    {{"check", "--dev", D, F}, Check, F, D, "nnn", ""},
    {{"upgrade", "-q", "--trace", "--quiet", F}, Up, F, "", "nyy", ""},
    {{"check", "-d", D, "--", "-fw.bin"}, Check, "-fw.bin", D, "nnn", ""},
    {{"--", "list"}, List, "", "", "nnn", ""},
    {{"check", "-"}, Check, "-", "", "nnn", ""},
    {{"list", "-V"}, Version, "", "", "nnn", ""},
    {{"--version", "-x"}, Version, "", "", "nnn", ""},
    {{"-yh"}, Help, "", "", "ynn", ""},
    {{"check", "--help", F, F}, Help, "", "", "nnn", ""},
    {{"check", F, "-d"}, Bad, "", "", "", "-d needs a device, for example /dev/sg1"},
    {{"check", F, "-yd"}, Bad, "", "", "", "-d needs a device, for example /dev/sg1"},
    {{"check", F, "--device"}, Bad, "", "", "", "--device needs a device, for example /dev/sg1"},
    {{"check", F, "--device", ""},
     Bad,
     "",
     "",
     "",
     "--device needs a device, for example /dev/sg1"},
    {{"check", F, "--device="}, Bad, "", "", "", "--device needs a device, for example /dev/sg1"},
    {{"check", F, "-yx"}, Bad, "", "", "", "unknown option -x"},
    {{"check", F, "--frob=1"}, Bad, "", "", "", "unknown option --frob"},
    {{"--device=" + D, "-xy", "list"}, Bad, "", "", "", "unknown option -x"},
    {{"upgrade", F, "--yes=1"}, Bad, "", "", "", "--yes takes no value"},
    {{"check", "--", "-h"}, Check, "-h", "", "nnn", ""},
    {{"list", "--", F}, Bad, "", "", "", "list takes no file"},
    {{"-y"}, Bad, "", "", "", "no command given"},
    {{"flash", F}, Bad, "", "", "", "unknown command flash"},
    {{"upgrade", F, F}, Bad, "", "", "", "upgrade needs one upgrade file"},
};

}  // namespace

TEST(CommandLine, readsAsGetoptLongReadsAndSaysWhatDoesNotRead) {
    for (int round = 0; round < 2; ++round) {  // the parser starts anew each time
        for (const Case& c : kCases) {
            std::string what;
            for (const std::string& w : c.words) what += " [" + w + "]";
            std::string error;
            const auto options = dw::cli::parseCommandLine(c.words, error);
            if (c.command == Bad) {
                EXPECT_FALSE(options) << what;
                EXPECT_EQ(error, c.error) << what;
                continue;
            }
            ASSERT_TRUE(options) << what << ": " << error;
            EXPECT_EQ(options->command, c.command) << what;
            EXPECT_EQ(options->file, c.file) << what;
            EXPECT_EQ(options->device, c.device) << what;
            EXPECT_EQ(flagsOf(*options), c.flags) << what;
        }
    }
}

// The upgrade's own options: --dry-run, --allow-reinstall, --allow-older and --force as
// "dro f" letters; for list and check they do not read.
TEST(CommandLine, readsTheUpgradesOwnOptionsForUpgradeOnly) {
    const struct {
        std::vector<std::string> words;
        std::string flags, error;
    } cases[] = {
        {{"upgrade", F, "--dry-run"}, "dnnn", ""},
        {{"upgrade", "--allow-reinstall", F, "-y"}, "nrnn", ""},
        {{"--allow-older", "upgrade", F}, "nnon", ""},
        {{"upgrade", F, "--force", "--dry"}, "dnnf", ""},
        {{"check", F, "--dry-run"}, "", "--dry-run is an option of upgrade"},
        {{"list", "--force"}, "", "--force is an option of upgrade"},
        {{"upgrade", F, "--force=1"}, "", "--force takes no value"},
    };
    for (const auto& c : cases) {
        std::string error;
        const auto options = dw::cli::parseCommandLine(c.words, error);
        EXPECT_EQ(error, c.error) << c.words[0] << " " << c.words[1];
        if (!options) continue;
        const std::string flags = std::string(options->dryRun ? "d" : "n") +
                                  (options->allowReinstall ? "r" : "n") +
                                  (options->allowOlder ? "o" : "n") + (options->force ? "f" : "n");
        EXPECT_EQ(flags, c.flags) << c.words[0] << " " << c.words[1];
    }
}

TEST(CommandLine, readsTheLogFileAsAValueOfUpgrade) {
    const struct {
        std::vector<std::string> words;
        std::string logFile, error;
    } cases[] = {
        {{"upgrade", F, "--log", "/var/log/dw.log"}, "/var/log/dw.log", ""},
        {{"--log=/var/log/dw.log", "upgrade", F}, "/var/log/dw.log", ""},
        {{"upgrade", "--log", F, "x.bin"}, F, ""},
        {{"upgrade", F, "--log="}, "", "--log needs a file, for example /var/log/drivewright.log"},
        {{"upgrade", F, "--log"}, "", "--log needs a value"},
        {{"check", F, "--log", "x"}, "", "--log is an option of upgrade"},
    };
    for (const auto& c : cases) {
        std::string error;
        const auto options = dw::cli::parseCommandLine(c.words, error);
        EXPECT_EQ(error, c.error) << c.words[2];
        if (options) {
            EXPECT_EQ(options->logFile, c.logFile) << c.words[2];
        }
    }
}
