// The command line's upgrade on the simulated Linux PC: where, among the drive's commands, it
// holds signals back, keeps the system from sleeping, and stops for an interrupt.
#include <sstream>

#include "cli/cli_program.h"
#include "firmware_support.h"
#include "linux_support.h"
#include "resources/program_strings.h"

using namespace testing_support;

namespace {

struct InstantClock : dw::Clock {
    uint32_t now = 0;
    uint32_t tickCount() override { return now; }
    void sleep(uint32_t milliseconds) override { now += milliseconds; }
};

struct NoTerminal : dw::cli::Terminal {
    bool inputIsTerminal() override { return false; }
    bool errorIsTerminal() override { return false; }
    std::optional<std::string> readLine() override { return std::nullopt; }
};

// Marks, by how many commands the drive had received by then, in the order they came: the
// signals held back and let go, the sleep inhibitors taken and let go.
struct Marks {
    const sim::LinuxMachine& machine;
    const sim::KorvaneDrive& drive;
    std::vector<std::pair<size_t, std::string>> list;
    size_t inhibitorsSeen = 0;
    void add(const std::string& what) {
        for (; inhibitorsSeen < machine.inhibitors().size(); ++inhibitorsSeen) {
            const auto& i = machine.inhibitors()[inhibitorsSeen];
            list.emplace_back(i.commandsBefore,
                              i.taken ? "[sleep inhibited: " + i.who + ", " + i.why + "]"
                                      : "[sleep allowed]");
        }
        if (!what.empty()) list.emplace_back(drive.received().size(), what);
    }
};

// Signals that mark when they are held and let go, and that report SIGHUP once the drive has
// received a command with `interruptAfter` as its first CDB bytes.
struct MarkedSignals : dw::cli::Signals {
    Marks& marks;
    std::vector<uint8_t> interruptAfter;
    explicit MarkedSignals(Marks& m) : marks(m) {}
    void catchInterrupts() override {}
    void holdBack() override { marks.add("hold"); }
    void release() override { marks.add("release"); }
    const char* interruption() override {
        for (const sim::ReceivedCommand& c : marks.drive.received()) {
            if (!interruptAfter.empty() &&
                std::equal(interruptAfter.begin(), interruptAfter.end(), c.cdb.begin())) {
                return "SIGHUP";
            }
        }
        return nullptr;
    }
};

struct Case {
    bool logindRuns;
    std::vector<uint8_t> interruptAfter;
    int exitCode;
    std::string sequence;
    const char* told;  // a line of stderr, or null
};

}  // namespace

// From the confirmation on signals are held back; the sleep inhibitor is taken just before the
// first chunk and let go after the last command, whether the upgrade finished or was stopped;
// without logind the upgrade runs all the same.
TEST(CliUpgrade, holdsOffSleepFromTheFirstChunkToTheLastCommand) {
    const std::string inhibited = "[sleep inhibited: drivewright, firmware upgrade in progress]";
    const std::string done = "3B04 3B05 00 03 12 [sleep allowed] release";
    const Case cases[] = {
        {true, {}, 0, "hold 00 01 03 " + inhibited + " " + done, nullptr},
        {false, {}, 0, "hold 00 01 03 3B04 3B05 00 03 12 release", nullptr},
        {true,
         {0x3B, 0x04},
         130,
         "hold 00 01 03 " + inhibited + " 3B04 00 03 12 [sleep allowed] release",
         "Interrupted before the committing command: nothing was committed"},
        {true,
         {0x3B, 0x05},
         0,
         "hold 00 01 03 " + inhibited + " " + done,
         "drivewright: SIGHUP received; the firmware is being committed, finishing the upgrade\n"},
    };
    for (const Case& c : cases) {
        LinuxPc pc;
        pc.add({sim::LinuxAttachment::Sata, 2, 0, 0, 0, 1, 0});
        pc.machine.logindRuns = c.logindRuns;
        TempFolder folder;
        std::string error;
        const std::string image = folder.file("new.bin");
        ASSERT_TRUE(dw::tools::writeFile(
            image,
            dw::tools::makeUpgradeImage({dw::tools::findRow("DVDR   KV-829A"), 1028096}, error),
            error))
            << error;

        Marks marks{pc.machine, *pc.drives[0], {}};
        MarkedSignals signals(marks);
        signals.interruptAfter = c.interruptAfter;
        InstantClock clock;
        dw::ProgramStrings strings;
        NoTerminal terminal;
        std::ostringstream out, err;
        dw::cli::Environment env{pc.machine, clock, strings, terminal, out, err, signals};
        dw::cli::Options options;
        options.command = dw::cli::Command::Upgrade;
        options.file = image;
        options.yes = true;
        EXPECT_EQ(dw::cli::RunCommand(options, env), c.exitCode) << err.str();

        // The drive's commands from the hold on, a run of one command written once, with the
        // marks where they came.
        marks.add("");
        const auto& received = pc.drives[0]->received();
        std::string sequence, last;
        size_t mark = 0;
        for (size_t i = marks.list.at(0).first; i <= received.size(); ++i) {
            for (; mark < marks.list.size() && marks.list[mark].first == i; ++mark) {
                sequence += " " + marks.list[mark].second;
                last.clear();
            }
            if (i == received.size()) break;
            char name[8];
            const auto& cdb = received[i].cdb;
            std::snprintf(name, sizeof name, cdb[0] == 0x3B ? "%02X%02X" : "%02X", cdb[0], cdb[1]);
            if (name != last) sequence += std::string(" ") + name;
            last = name;
        }
        EXPECT_EQ(sequence.substr(1), c.sequence) << c.logindRuns << " " << c.exitCode;
        if (c.told != nullptr) {
            EXPECT_NE((out.str() + err.str()).find(c.told), std::string::npos) << err.str();
        }
    }
}
