// The command line's upgrade on the simulated Linux PC: what it decides, holds and checks before
// its question, and that every command of it then goes through the one descriptor held.
#include <functional>
#include <memory>
#include <sstream>

#include "cli/cli_program.h"
#include "cli/kernel_rights.h"
#include "firmware_support.h"
#include "linux_support.h"

using namespace testing_support;

namespace {

// Answers the question with yes, and notes what the program held when it asked.
struct AnsweringTerminal : dw::cli::Terminal {
    explicit AnsweringTerminal(sim::LinuxMachine& m) : machine(m) {}
    sim::LinuxMachine& machine;
    int asked = 0;
    size_t opensWhenAsked = 0;
    int heldWhenAsked = 0;
    bool inputIsTerminal() override { return true; }
    bool errorIsTerminal() override { return false; }
    std::optional<std::string> readLine() override {
        ++asked;
        opensWhenAsked = machine.opens().size();
        heldWhenAsked = machine.openDeviceCount();
        return "y";
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

    explicit CliUpgrade(int sg) {
        add({sim::LinuxAttachment::Sata, 0, 0, 0, 0, sg, 0});
        std::string error;
        dw::tools::ImageSpec spec{dw::tools::findRow("DVDR   KV-829A"), 1028096};
        EXPECT_TRUE(dw::tools::writeFile(image, dw::tools::makeUpgradeImage(spec, error), error));
    }
    int run() {
        dw::cli::Options options;
        options.command = dw::cli::Command::Upgrade;
        options.file = image;
        dw::cli::Environment env{machine, clock, clock, terminal, out, err, [] { return false; }};
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

const std::string kChanged = "The drive changed since the file was checked; nothing was sent.";
const std::string kHeldElsewhere =
    "drivewright: /dev/sr0 is held by another program, or its disc is mounted in another mount "
    "namespace: close that program (or unmount the disc there) and try again";

}  // namespace

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
