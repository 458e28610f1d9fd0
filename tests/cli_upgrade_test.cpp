// The command line's upgrade on the simulated Linux PC: what it decides, holds and checks before
// its question, that every command of it then goes through the one descriptor held, and where,
// among the drive's commands, it holds signals back, keeps the system from sleeping, and stops
// for an interrupt.
#include <algorithm>
#include <cerrno>
#include <fstream>
#include <iterator>
#include <functional>
#include <memory>
#include <sstream>

#include "cli/cli_program.h"
#include "cli/kernel_rights.h"
#include "cli/linux_cli_system.h"
#include "cli/sha256.h"
#include "cli/upgrade_record.h"
#include "cli_support.h"
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

// Answers the question with yes, and notes what the program held when it asked.
struct AnsweringTerminal : NoTerminal {
    explicit AnsweringTerminal(sim::LinuxMachine& m) : machine(m) {}
    sim::LinuxMachine& machine;
    int asked = 0;
    size_t opensWhenAsked = 0;
    int heldWhenAsked = 0;
    int controlling = 0;  // what opening the controlling terminal gives
    std::string answer = "y";
    std::string shown;  // what was written to it
    int openControlling() override { return controlling; }
    void show(const std::string& text) override { shown += text; }
    std::optional<std::string> readLine() override {
        ++asked;
        opensWhenAsked = machine.opens().size();
        heldWhenAsked = machine.openDeviceCount();
        return answer;
    }
};

// A KV-829A 1.00 at 0:0:0:0 with its sg node (or none) and sr0, a valid image for it, and the
// command line that upgrades it.
struct CliUpgrade : LinuxPc {
    TempFolder folder;
    std::string image = folder.file("kv829a.bin");
    sim::Machine clock;  // time, and the program's texts
    std::ostringstream out, err;
    AnsweringTerminal terminal{machine};
    QuietSignals signals;

    explicit CliUpgrade(int sg) {
        add({sim::LinuxAttachment::Sata, 0, 0, 0, 0, sg, 0});
        std::string error;
        dw::tools::ImageRequest wanted{dw::tools::findRow("DVDR   KV-829A"), 1028096};
        EXPECT_TRUE(dw::tools::writeFile(image, dw::tools::makeUpgradeImage(wanted, error), error));
    }
    dw::cli::Options options;
    int run() {
        options.command = dw::cli::Command::Upgrade;
        options.file = image;
        dw::cli::LinuxCliSystem system(machine);
        dw::cli::Environment env{system, clock, clock, terminal, out, err, signals};
        return dw::cli::RunCommand(options, env);
    }
    // Commands of the download (and its eject) any drive received.
    size_t downloadCommands() const {
        size_t n = 0;
        for (const auto& d : drives) {
            for (uint8_t op : {0x3B, 0xE1, 0xE2, 0x1B}) n += d->receivedWithOpcode(op).size();
        }
        return n;
    }
};

std::string contentsOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

const std::string kChanged = "The drive changed since the file was checked; nothing was sent.";
const std::string kHeldElsewhere =
    "drivewright: /dev/sr0 is held by another program, or its disc is mounted in another mount "
    "namespace: close that program (or unmount the disc there) and try again";

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
        dw::cli::LinuxCliSystem system(pc.machine);
        dw::cli::Environment env{system, clock, strings, terminal, out, err, signals};
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

TEST(CliUpgrade, isRefusedBeforeItsQuestionWhenTheDriveIsNotItsAloneOrNotTheOneChecked) {
    const struct {
        const char* name;
        int sg;
        std::function<void(CliUpgrade&)> set;
        std::string told;
    } cases[] = {
        {"mounted in another namespace", 0, [](CliUpgrade& u) { u.machine.mountElsewhere(0); },
         kHeldElsewhere},
        {"claimed by another program", 0,
         [](CliUpgrade& u) { u.machine.holdElsewhere("/dev/sr0"); }, kHeldElsewhere},
        {"mounted here", 0, [](CliUpgrade& u) { u.machine.mount(0, "/media/cd"); },
         "drivewright: the disc in /dev/sr0 is mounted on /media/cd"},
        {"swapped for a drive at 1.02", 0,
         [](CliUpgrade& u) {
             u.drives.push_back(std::make_unique<sim::KorvaneDrive>("DVDR   KV-829A", "1.02"));
             u.machine.replaceBeforeHold(*u.drives[0], *u.drives[1]);
         },
         kChanged},
        {"sg0 now another device", 0,
         [](CliUpgrade& u) {
             u.machine.setDeviceNumber("/dev/sg0", {21, 7});
         },
         kChanged},
        {"sr0 now another device", 0,
         [](CliUpgrade& u) {
             u.machine.setDeviceNumber("/dev/sr0", {11, 3});
         },
         kChanged},
        {"sr0 without CAP_SYS_RAWIO", -1, [](CliUpgrade& u) { u.machine.dropRawio(); },
         "drivewright: through /dev/sr0 the kernel passes the upgrade's commands (WRITE BUFFER "
         "and the maker's vendor commands) only to a program with CAP_SYS_RAWIO: run it as root, "
         "or load the sg module and use /dev/sgN with write access"},
    };
    for (const auto& c : cases) {
        CliUpgrade u(c.sg);
        c.set(u);
        EXPECT_EQ(u.run(), 3) << c.name;
        EXPECT_EQ(u.terminal.asked, 0) << c.name;
        EXPECT_NE(u.err.str().find(c.told), std::string::npos) << c.name << ": " << u.err.str();
        EXPECT_EQ(u.downloadCommands(), 0u) << c.name;
        EXPECT_EQ(u.machine.openDeviceCount(), 0) << c.name;
    }
}

TEST(CliUpgrade, holdsTheDriveFromBeforeItsQuestionAndSendsEveryCommandThroughTheNodeHeld) {
    const struct {
        const char* name;
        int sg;
        bool rawio;
        int held;  // descriptors open at the question
    } cases[] = {
        {"through sg0", 0, true, 2},
        {"through sg0 without CAP_SYS_RAWIO", 0, false, 2},
        {"through sr0", -1, true, 1},
    };
    for (const auto& c : cases) {
        CliUpgrade u(c.sg);
        if (!c.rawio) u.machine.dropRawio();
        const size_t callsBefore = u.machine.sgIoCalls().size();
        EXPECT_EQ(u.run(), 0) << c.name << ": " << u.err.str();
        EXPECT_EQ(u.terminal.asked, 1) << c.name;
        EXPECT_EQ(u.terminal.heldWhenAsked, c.held) << c.name;
        EXPECT_EQ(u.machine.opens().size(), u.terminal.opensWhenAsked) << c.name;  // none later
        EXPECT_EQ(u.drives[0]->receivedWithOpcode(0x3B).size(), 126u) << c.name;
        // On an sg node every command is written and read, never an SG_IO that a stop repeats.
        for (size_t i = callsBefore; i < u.machine.sgIoCalls().size(); ++i) {
            EXPECT_EQ(u.machine.sgIoCalls()[i].written, c.sg >= 0) << c.name << " " << i;
        }
        EXPECT_EQ(u.machine.openDeviceCount(), 0) << c.name;
    }
}

// The question goes to the controlling terminal, with the drive's label unpadded; a process
// without one (ENXIO) is refused before anything is sent.
TEST(CliUpgrade, asksOnTheControllingTerminalAndRefusesWhereThereIsNone) {
    for (const int controlling : {0, ENXIO, EIO}) {
        CliUpgrade u(0);
        u.terminal.controlling = controlling;
        EXPECT_EQ(u.run(), controlling == 0 ? 0 : 2) << controlling;
        EXPECT_EQ(u.terminal.asked, controlling == 0 ? 1 : 0) << controlling;
        EXPECT_EQ(u.terminal.shown.rfind("Upgrade /dev/sg0 (ID:0  KV-829A, firmware 1.00) with " +
                                             u.image + " (version ",
                                         0),
                  controlling == 0 ? 0 : std::string::npos)
            << u.terminal.shown;
        EXPECT_EQ(u.err.str().find("[y/N]"), std::string::npos) << u.err.str();
        const std::string refused = controlling == EIO
                                        ? "not upgrading without a yes: cannot open /dev/tty ("
                                        : "not upgrading without a yes: run it in a terminal";
        EXPECT_EQ(u.err.str().find(refused) != std::string::npos, controlling != 0) << u.err.str();
        EXPECT_EQ(u.downloadCommands(), controlling == 0 ? 126u : 0u) << controlling;
    }
}

TEST(KernelRights, capSysRawioIsBit17OfTheEffectiveSet) {
    const std::pair<const char*, std::optional<bool>> cases[] = {
        {"Name:\tx\nCapPrm:\t0000000000000000\nCapEff:\t000001ffffffffff\n", true},
        {"CapEff:\t0000000000020000", true},
        {"CapEff:\t0000000000010000\n", false},
        {"CapEff:\t0000000000000000\nCapBnd:\t000001ffffffffff\n", false},
        {"CapPrm:\t000001ffffffffff\n", std::nullopt},
        {"CapEff:\tnot hex\n", std::nullopt},
    };
    for (const auto& [status, wanted] : cases) {
        EXPECT_EQ(dw::cli::hasEffectiveCapability(status, dw::cli::kCapSysRawio), wanted) << status;
    }
}

// Every upgrade that sent the drive a command that changes it leaves one line in the system log
// and, with --log, one JSON line in the file; one that sent none leaves nothing.
TEST(CliUpgrade, recordsWhatWasFlashedOnlyWhenACommandThatChangesTheDriveWentOut) {
    const std::string drive = "drive=/dev/disk/by-id/ata-KORVANE_DVDR_KV-829A_";
    const struct {
        const char* name;
        std::function<void(CliUpgrade&)> set;
        int exitCode;
        std::string systemLog;  // its start, empty for none
        std::string logFile;    // the JSON line's outcome and version after, empty for none
    } cases[] = {
        {"succeeded", [](CliUpgrade&) {}, 0, "notice: upgrade succeeded: " + drive,
         R"("outcome":"succeeded","message":"Upgrade succesfull","version_after":"1.10"})"},
        {"refused at the 11th chunk",
         [](CliUpgrade& u) {
             u.drives[0]->failNth(0x3B, 11, {0x05, 0x24, 0x00});
         },
         1, "err: upgrade failed: " + drive,
         R"j("outcome":"failed","message":"Upgrade failed! Invalid parameter (code 052400)",)j"
         R"("version_after":"1.00"})"},
        {"a dry run", [](CliUpgrade& u) { u.options.dryRun = true; }, 0, "", ""},
        {"declined", [](CliUpgrade& u) { u.terminal.answer = "n"; }, 6, "", ""},
        {"the version it runs, with --yes",
         [](CliUpgrade& u) {
             std::string error;
             dw::tools::ImageRequest same{dw::tools::findRow("DVDR   KV-829A"), 1028096, "1.00"};
             dw::tools::writeFile(u.image, dw::tools::makeUpgradeImage(same, error), error);
             u.options.yes = true;
         },
         6, "", ""},
    };
    for (const auto& c : cases) {
        CliUpgrade u(0);
        u.options.logFile = "/var/log/drivewright.log";
        c.set(u);
        EXPECT_EQ(u.run(), c.exitCode) << c.name << ": " << u.err.str();
        const std::string& line = u.machine.logFiles[u.options.logFile];
        if (c.systemLog.empty()) {
            EXPECT_TRUE(u.machine.systemLog.empty()) << c.name << ": " << u.machine.systemLog[0];
            EXPECT_EQ(line, "") << c.name;
            continue;
        }
        ASSERT_EQ(u.machine.systemLog.size(), 1u) << c.name;
        const std::string digest = dw::cli::sha256Hex(contentsOf(u.image));
        const std::string& logged = u.machine.systemLog[0];
        EXPECT_EQ(logged.rfind(c.systemLog, 0), 0u) << c.name << ": " << logged;
        EXPECT_NE(logged.find(" product=\"DVDR   KV-829A\" version_before=1.00 file=" + u.image +
                              " sha256=" + digest),
                  std::string::npos)
            << logged;
        EXPECT_EQ(line.rfind(R"({"time":"2026-12-07T00:00:00Z","program":"drivewright","drive":)"
                             R"({"name":"/dev/disk/by-id/ata-KORVANE_DVDR_KV-829A_)",
                             0),
                  0u)
            << c.name << ": " << line;
        EXPECT_NE(line.find(R"(","node":"/dev/sg0","product":"DVDR   KV-829A","version_before":)"
                            R"("1.00"},"file":{"path":")" +
                            u.image + R"(","sha256":")" + digest + R"("},)" + c.logFile + "\n"),
                  std::string::npos)
            << c.name << ": " << line;
        EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1) << c.name;
    }
}

// A log file that cannot be written stops the upgrade before its question, with nothing sent.
TEST(CliUpgrade, refusesALogFileItCannotWriteBeforeAnythingIsSent) {
    CliUpgrade u(0);
    u.options.logFile = "/var/log/drivewright.log";
    u.machine.logFileRefusals[u.options.logFile] = EACCES;
    EXPECT_EQ(u.run(), 3);
    EXPECT_EQ(u.terminal.asked, 0);
    EXPECT_EQ(u.downloadCommands(), 0u);
    EXPECT_NE(u.err.str().find("drivewright: cannot append the upgrade's record to "
                               "/var/log/drivewright.log (Permission denied); nothing was sent\n"),
              std::string::npos)
        << u.err.str();
    EXPECT_TRUE(u.machine.systemLog.empty());
}

// The system log's line stays one line of plain words whatever the path or the drive holds.
TEST(UpgradeRecord, quotesAndEscapesWhatIsNotOnePrintableWord) {
    dw::cli::UpgradeRecord r;
    r.drive = "/dev/sg1";
    r.product = "CD-R   KV-W6025A";
    r.versionBefore = "1.04";
    r.file = "/tmp/a \"b\"\\\nc.bin";
    r.outcome = "failed";
    r.message = "Upgrade failed! Invalid parameter (code 052400)";
    EXPECT_EQ(dw::cli::systemLogLine(r),
              "upgrade failed: drive=/dev/sg1 product=\"CD-R   KV-W6025A\" version_before=1.04 "
              "file=\"/tmp/a \\\"b\\\"\\\\\\x0Ac.bin\" sha256=\"\" outcome=failed "
              "message=\"Upgrade failed! Invalid parameter (code 052400)\" version_after=\"\"");
    EXPECT_EQ(dw::cli::logFileLine(r),
              R"({"time":"1970-01-01T00:00:00Z","program":"drivewright","drive":{"name":)"
              R"("/dev/sg1","node":"","product":"CD-R   KV-W6025A","version_before":"1.04"},)"
              R"("file":{"path":"/tmp/a \"b\"\\\nc.bin","sha256":null},"outcome":"failed",)"
              R"j("message":"Upgrade failed! Invalid parameter (code 052400)",)j"
              R"("version_after":null})"
              "\n");
}
