// The command line's flow, written once, on each system it runs on: the simulated Linux PC and
// the simulated Windows 98 (ASPI), XP and 10 (pass-through) PCs. The same upgrade, by the same
// name scheme each system gives its drives, is done once and then not again; what only one
// system has (the old ASPI layer's question, GetSystemPowerStatus, refused ports) is told and
// ends the command as it should.
#include <cerrno>
#include <functional>
#include <memory>
#include <sstream>

#include "cli/cli_program.h"
#include "cli/linux_cli_system.h"
#include "cli/windows_cli_system.h"
#include "cli_support.h"
#include "firmware_support.h"
#include "linux_support.h"
#include "resources/program_strings.h"
#include "sim/scenarios.h"
#include "tools/image_writer.h"

using namespace testing_support;
namespace sc = sim::scenarios;

namespace {

enum class Pc { Linux, Windows98, WindowsXp, Windows10 };

// A KV-829A 1.00 on the PC, a 1.10 image for it, and the command line over the PC's system.
struct Bench {
    Pc kind;
    sim::Machine windows;
    LinuxPc linux;
    sim::KorvaneDrive* drive = nullptr;
    sim::KorvaneDrive* other = nullptr;  // a second drive, which --device leaves alone
    sim::KorvaneDrive* disk = nullptr;   // the system disk at C: (XP, 10)
    std::vector<bool> awakeAsked;        // Windows: what the system was asked, in order
    TempFolder folder;
    std::string image = folder.file("kv829a-110.bin");
    std::ostringstream out, err;

    explicit Bench(Pc pc) : kind(pc) {
        switch (pc) {
            case Pc::Linux:
                linux.add({sim::LinuxAttachment::Sata, 0, 0, 0, 0, 0, 0});
                linux.add({sim::LinuxAttachment::Sata, 1, 0, 0, 0, 1, 1});
                drive = linux.drives[0].get();
                other = linux.drives[1].get();
                break;
            case Pc::Windows98:
                sc::windows98(windows);
                sc::addAspiAdapter(windows, "ESDI_506", "Primary IDE controller (dual fifo)");
                drive = &sc::addWindows98Drive(windows, "DVDR   KV-829A", "1.00", 0, 0, 'E');
                other = &sc::addWindows98Drive(windows, "DVDR   KV-829A", "1.00", 0, 1, 'F',
                                               "MF&CHILD0001&PCI&VEN_8086");
                break;
            case Pc::WindowsXp:
                sc::windowsXp(windows);
                sc::addPort(windows, 0, "atapi", sc::kHdcClass, "Primary IDE Channel");
                drive = &sc::addPortDrive(windows, "DVDR   KV-829A", "1.00", 0, 0, 'E');
                other = &sc::addPortDrive(windows, "DVDR   KV-829A", "1.00", 0, 1, 'F');
                disk = &sc::addSystemDisk(windows, 0, 2);
                break;
            case Pc::Windows10:
                sc::windows10(windows);
                sc::addStorahciPort(windows, 0);
                drive = &sc::addInternalDrive(windows, "DVDR   KV-829A", "1.00", 0, 0, 'E');
                other = &sc::addInternalDrive(windows, "DVDR   KV-829A", "1.00", 0, 1, 'F');
                disk = &sc::addSystemDisk(windows, 0, 2);
                break;
        }
        std::string error;
        bytes = dw::tools::makeUpgradeImage({dw::tools::findRow("DVDR   KV-829A"), 1028096}, error);
        EXPECT_TRUE(dw::tools::writeFile(image, bytes, error)) << error;
    }
    std::vector<uint8_t> bytes;

    int run(dw::cli::Options options) {
        out.str("");
        err.str("");
        if (options.file.empty()) options.file = image;
        std::unique_ptr<dw::cli::CliSystem> system;
        if (kind == Pc::Linux) {
            system = std::make_unique<dw::cli::LinuxCliSystem>(linux.machine);
        } else {
            system = std::make_unique<dw::cli::WindowsCliSystem>(windows, options.yes, nullptr,
                                                                 [this](bool awake) {
                                                                     awakeAsked.push_back(awake);
                                                                     return true;
                                                                 });
        }
        dw::ProgramStrings strings;
        NoTerminal terminal;
        QuietSignals signals;
        dw::cli::Environment env{*system, windows, strings, terminal, out, err, signals};
        return dw::cli::RunCommand(options, env);
    }
    size_t chunks() const { return drive->receivedWithOpcode(0x3B).size(); }
};

dw::cli::Options upgrade(const std::string& device) {
    dw::cli::Options o;
    o.command = dw::cli::Command::Upgrade;
    o.device = device;
    o.yes = true;
    return o;
}

}  // namespace

TEST(CliFlow, upgradesOnceOnEverySystemByTheNameItGivesTheDriveAndLeavesTheOtherAlone) {
    const struct {
        Pc pc;
        const char* name;     // as list shows it
        const char* another;  // another name of the same drive
    } cases[] = {{Pc::Linux, "/dev/sg0", "/dev/sr0"},
                 {Pc::Windows98, "0:0", "0:0"},
                 {Pc::WindowsXp, "E:", "e:\\"},
                 {Pc::Windows10, "E:", "\\\\.\\E:"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bench bench(c.pc);
        dw::cli::Options list;
        list.command = dw::cli::Command::List;
        EXPECT_EQ(bench.run(list), dw::cli::kExitOk) << bench.err.str();
        EXPECT_EQ(bench.out.str().rfind(std::string(c.name) + "  \"", 0), 0u) << bench.out.str();

        const size_t probed = bench.other->receivedWithOpcode(0xF1).size();
        EXPECT_GT(probed, 0u);  // list asked both
        EXPECT_EQ(bench.run(upgrade(c.another)), dw::cli::kExitOk) << bench.err.str();
        EXPECT_EQ(bench.drive->committedImage, bench.bytes);
        EXPECT_NE(bench.out.str().find("Upgrade succesfull\nFirmware version: 1.10\n"),
                  std::string::npos)
            << bench.out.str();
        const size_t chunks = bench.chunks();
        EXPECT_EQ(chunks, 126u);
        // Windows keeps from sleeping from the first chunk to the end, and only for an upgrade.
        const std::vector<bool> awake = {true, false};
        EXPECT_EQ(bench.awakeAsked, c.pc == Pc::Linux ? std::vector<bool>{} : awake);

        EXPECT_EQ(bench.run(upgrade(c.name)), dw::cli::kExitNothingDone) << bench.err.str();
        EXPECT_NE(bench.out.str().find("The drive already runs 1.10; nothing was sent.\n"),
                  std::string::npos);
        EXPECT_EQ(bench.chunks(), chunks);
        EXPECT_EQ(bench.run(upgrade("G:")), dw::cli::kExitNoDrive);
        EXPECT_EQ(bench.other->receivedWithOpcode(0xF1).size(), probed);
        EXPECT_EQ(bench.other->receivedWithOpcode(0x3B).size(), 0u);
        EXPECT_EQ(bench.awakeAsked, c.pc == Pc::Linux ? std::vector<bool>{} : awake);
    }
}

// A drive whose letter another program holds answers nothing through it: the scan finds it on
// its port alone and files it under the first letter not taken, C:, the system disk's. It is
// listed by its address, and its upgrade sends nothing, through C: least of all.
TEST(CliFlow, aDriveWithoutItsOwnLetterGetsNothingThroughAnotherLetter) {
    for (const Pc pc : {Pc::WindowsXp, Pc::Windows10}) {
        Bench bench(pc);
        bench.windows.attachmentOf(*bench.drive)->lockedByOtherProgram = true;
        dw::cli::Options list;
        list.command = dw::cli::Command::List;
        EXPECT_EQ(bench.run(list), dw::cli::kExitOk);
        EXPECT_EQ(bench.out.str().rfind("0:0  \"ID:0  KV-829A  \"", 0), 0u) << bench.out.str();
        EXPECT_EQ(bench.run(upgrade("0:0")), dw::cli::kExitNoAccess) << bench.err.str();
        EXPECT_NE(bench.out.str().find("Upgrade failed! The command could not be sent to the "
                                       "drive."),
                  std::string::npos)
            << bench.out.str();
        EXPECT_TRUE(bench.disk->received().empty());
        EXPECT_EQ(bench.chunks(), 0u);
    }
}

// Two drives without a letter of their own at the same target of one port, on its two buses.
TEST(CliFlow, aNameThatStandsForTwoDrivesChoosesNone) {
    Bench bench(Pc::WindowsXp);
    bench.windows.attachmentOf(*bench.drive)->lockedByOtherProgram = true;
    sim::KorvaneDrive& twin = bench.windows.addDrive("DVDR   KV-829A", "1.00");
    bench.windows.port(0)->busCount = 2;
    bench.windows.attach(twin, 0, 1, 0, 0, -1);
    EXPECT_EQ(bench.run(upgrade("0:0")), dw::cli::kExitUsage);
    EXPECT_NE(bench.err.str().find("0:0 names 2 drives"), std::string::npos) << bench.err.str();
    EXPECT_EQ(bench.chunks() + twin.receivedWithOpcode(0x3B).size(), 0u);
}

TEST(CliFlow, windowsTellsWhatItsStartWouldHaveAskedAndEndsWhereItMust) {
    const struct {
        const char* what;
        Pc pc;
        std::function<void(Bench&)> prepare;
        bool yes;
        bool force;
        int exitCode;
        const char* told;  // on stderr
    } cases[] = {
        {"on battery", Pc::Windows10,
         [](Bench& b) {
             b.windows.power = {true, 0, 1, 57};
         },
         true, false, dw::cli::kExitNoAccess,
         "the machine runs on battery (the system battery, 57%"},
        {"on battery, --force", Pc::Windows10,
         [](Bench& b) {
             b.windows.power = {true, 0, 1, 57};
         },
         true, true, dw::cli::kExitOk, "going on, as --force asks"},
        {"charging", Pc::Windows10,
         [](Bench& b) {
             b.windows.power = {true, 0, 8, 57};
         },
         true, false, dw::cli::kExitOk, ""},
        {"its letter held by another program", Pc::Windows10,
         [](Bench& b) { b.windows.attachmentOf(*b.drive)->lockedByOtherProgram = true; }, true,
         false, dw::cli::kExitNoAccess, "E: is a CD or DVD drive that does not give its address"},
        {"no administrator rights", Pc::Windows10,
         [](Bench& b) { b.windows.failOpen("\\\\.\\SCSI0:", dw::winerr::kAccessDenied); }, true,
         false, dw::cli::kExitNoAccess, "Access denied: run Drivewright as administrator"},
        {"old layer, USB, no --yes", Pc::Windows98,
         [](Bench& b) {
             b.windows.setVersion(1, 4, 10);
             sc::addAspiAdapter(b.windows, "NECUSBSTOR", "USB storage");
             sc::addWindows98Drive(b.windows, "DVDR   KV-829A", "1.10", 1, 0, 'G',
                                   "NECUSB00&CHILD&REV_0100");
             b.windows.setFileVersion("wnaspi32.dll", "1, 0, 0, 0");
         },
         false, false, dw::cli::kExitUsage, "USB devices detected with older Aspi layer!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Bench bench(c.pc);
        c.prepare(bench);
        dw::cli::Options options = upgrade(c.pc == Pc::Windows98 ? "0:0" : "E:");
        options.yes = c.yes;
        options.force = c.force;
        EXPECT_EQ(bench.run(options), c.exitCode) << bench.err.str();
        EXPECT_NE(bench.err.str().find(c.told), std::string::npos) << bench.err.str();
        EXPECT_EQ(bench.chunks(), c.exitCode == dw::cli::kExitOk ? 126u : 0u);
        if (bench.disk != nullptr) {
            EXPECT_TRUE(bench.disk->received().empty());
        }
    }
}
