// The main dialog as the user meets it: start-up on each kind of PC, selection, Load File and
// Upgrade, through a view that records what the window would show.
#include <deque>
#include <map>

#include "app/main_dialog.h"
#include "firmware_support.h"
#include "identify/identify_model.h"
#include "sim/scenarios.h"

using namespace testing_support;
namespace sc = sim::scenarios;
using dw::BusKind;

namespace {

struct RecordingView : dw::DialogView {
    explicit RecordingView(sim::Machine& clock) : clock_(clock) {}
    std::map<int, bool> enabled = {{dw::kIdLoadFile, true},
                                   {dw::kIdUpgrade, false},
                                   {dw::kIdDeviceCombo, true}};
    std::map<int, std::string> texts;
    std::map<int, uint32_t> enabledAt;  // virtual time of the last enabling
    std::vector<std::string> items;
    int selected = -1;
    std::vector<std::string> boxes;  // "caption|text"
    std::deque<int> answers;
    std::deque<std::optional<std::string>> files;
    dw::OpenFileRequest lastRequest;
    int warnings = 0, abouts = 0, closes = 0, destroys = 0;
    std::string menuItem;

    void enableControl(int id, bool on) override {
        enabled[id] = on;
        if (on) enabledAt[id] = clock_.tickCount();
    }
    void setControlText(int id, const std::string& text) override { texts[id] = text; }
    void addComboItem(const std::string& text) override { items.push_back(text); }
    void selectComboItem(int index) override { selected = index; }
    int comboSelection() override { return selected; }
    void appendSystemMenuItem(unsigned, const std::string& text) override { menuItem = text; }
    void setWindowIcons() override {}
    int messageBox(const std::string& text, const std::string& caption, unsigned) override {
        boxes.push_back(caption + "|" + text);
        if (answers.empty()) return dw::mb::kAnswerOk;
        const int a = answers.front();
        answers.pop_front();
        return a;
    }
    std::optional<std::string> askFileToOpen(const dw::OpenFileRequest& request) override {
        lastRequest = request;
        if (files.empty()) return std::nullopt;
        auto f = files.front();
        files.pop_front();
        return f;
    }
    void showAspiWarning() override { ++warnings; }
    void showAbout() override { ++abouts; }
    void requestClose() override { ++closes; }
    void destroyWindow() override { ++destroys; }
    std::string applicationTitle() override { return "drivewright"; }

private:
    sim::Machine& clock_;
};

struct Program {
    sim::Machine pc;
    RecordingView view{pc};
    dw::UpgradeState state;
    std::unique_ptr<dw::MainDialog> dialog;
    TempFolder folder;

    bool start() {
        dialog = std::make_unique<dw::MainDialog>(pc, view, state);
        dialog->refresh();
        return dialog->OnInitDialog();
    }
    std::string status() { return view.texts[dw::kIdStatusText]; }
};

// Windows XP with two KORVANE drives: a KV-R535C at F: on port 0, target 3, and a KV-829A at
// E: on port 1, target 1.
struct TwoDrives {
    sim::KorvaneDrive* r535;
    sim::KorvaneDrive* dvd;
};
TwoDrives twoDrives(Program& p) {
    sc::windowsXp(p.pc);
    sc::addPort(p.pc, 0, "atapi", sc::kHdcClass, "Primary IDE Channel");
    sc::addPort(p.pc, 1, "atapi", sc::kHdcClass, "Secondary IDE Channel");
    TwoDrives d;
    d.r535 = &sc::addPortDrive(p.pc, "CD-R   KV-R535C", "1.00", 0, 3, 'F');
    d.dvd = &sc::addPortDrive(p.pc, "DVDR   KV-829A", "1.04", 1, 1, 'E');
    // The KV-R535C keeps its firmware version in memory, not in its INQUIRY answer.
    const uint8_t version[] = {'R', '5', '3', '5'};
    d.r535->setMemory(0x100198, version);
    return d;
}

}  // namespace

TEST(MainDialogStart, listsTheKorvaneDrivesAndShowsTheFirst) {
    Program p;
    twoDrives(p);
    auto& other = sc::addPortDrive(p.pc, "CDROM 52X", "1.00", 1, 2, 'G');
    other.setVendor("OTHERCO");  // not the maker's: left out
    ASSERT_TRUE(p.start());
    EXPECT_EQ(p.view.menuItem, "&About Korvane Upgrade...");
    ASSERT_EQ(p.view.items.size(), 2u);
    ASSERT_EQ(p.state.deviceList.size(), 2u);
    EXPECT_EQ(p.state.deviceList.at(0).hostAdapter, 0);  // adapter, bus and position order
    EXPECT_EQ(p.state.deviceList.at(1).hostAdapter, 1);
    EXPECT_EQ(p.view.selected, 0);
    EXPECT_EQ(p.view.texts[dw::kIdHostAdapterText], "0");
    EXPECT_EQ(p.view.texts[dw::kIdTargetIdText], "3");
    EXPECT_EQ(p.view.texts[dw::kIdFirmwareVersionText], "R535");
    // The KV-R535C takes no upgrade files.
    EXPECT_EQ(p.status(), "No upgradable device selected");
    EXPECT_FALSE(p.view.enabled[dw::kIdLoadFile]);
    EXPECT_FALSE(p.view.enabled[dw::kIdUpgrade]);
    EXPECT_TRUE(p.view.boxes.empty());

    p.view.selected = 1;
    p.dialog->OnSelectDevice();
    EXPECT_EQ(p.view.texts[dw::kIdHostAdapterText], "1");
    EXPECT_EQ(p.view.texts[dw::kIdTargetIdText], "1");
    EXPECT_EQ(p.view.texts[dw::kIdFirmwareVersionText], "1.04");
    EXPECT_EQ(p.status(), "Select an upgrade file");
    EXPECT_TRUE(p.view.enabled[dw::kIdLoadFile]);
}

TEST(MainDialogStart, withoutAnyTransportTheProgramSaysSoAndCloses) {
    Program p;
    sc::windowsXp(p.pc);
    EXPECT_TRUE(p.start());
    ASSERT_EQ(p.view.boxes.size(), 1u);
    EXPECT_EQ(p.view.boxes[0],
              "drivewright|ASPI for Win32 is not initialized!\n\rUnable to load 'WNASPI32.DLL'");
    EXPECT_EQ(p.view.closes, 1);
    EXPECT_TRUE(p.view.items.empty());
}

TEST(MainDialogStart, fromVistaOnAMachineWithoutDrivesOpensTheDialogAndSaysSo) {
    struct Case {
        void (*windows)(sim::Machine&);
        bool box;
    } cases[] = {{sc::windowsXp, true}, {sc::windows7, false}, {sc::windows10, false}};
    for (const auto& c : cases) {
        Program p;
        c.windows(p.pc);
        EXPECT_TRUE(p.start());
        EXPECT_EQ(p.view.boxes.size(), c.box ? 1u : 0u);
        EXPECT_EQ(p.view.closes, c.box ? 1 : 0);
        if (!c.box) {
            EXPECT_EQ(p.status(), "No CD or DVD drive found");
            EXPECT_FALSE(p.view.enabled[dw::kIdDeviceCombo]);
            EXPECT_TRUE(p.view.items.empty());
        }
    }
}

TEST(MainDialogStart, withoutKorvaneDrivesTheListIsDisabledAndEmpty) {
    Program p;
    sc::windowsXp(p.pc);
    sc::addPort(p.pc, 0, "atapi", sc::kHdcClass, "Primary IDE Channel");
    sc::addPortDrive(p.pc, "CDROM 52X", "1.00", 0, 0, 'E').setVendor("OTHERCO");
    EXPECT_TRUE(p.start());
    EXPECT_TRUE(p.view.items.empty());
    EXPECT_FALSE(p.view.enabled[dw::kIdDeviceCombo]);
    EXPECT_TRUE(p.view.enabled[dw::kIdLoadFile]);
    EXPECT_FALSE(p.view.enabled[dw::kIdUpgrade]);
    EXPECT_EQ(p.status(), "");
    EXPECT_EQ(p.view.texts[dw::kIdFirmwareVersionText], "");
}

// The same four drives on XP, 7 and 10, each system with its own storage stack: a KV-829A on
// IDE at E:, a KV-825A on Serial ATA at F: (it reports the Serial ATA interface), a KV-829A on
// USB at H: and a KV-829AL on IEEE 1394 at I:.
void xpStacks(sim::Machine& pc) {
    sc::windowsXp(pc);
    sc::addPort(pc, 0, "atapi", sc::kHdcClass, "Primary IDE Channel");
    pc.setRegistryString(dw::Registry::kLocalMachine,
                         "SYSTEM\\CurrentControlSet\\Enum\\PCIIDE\\IDEChannel\\4&1", "Driver",
                         std::string(sc::kHdcClass) + "\\0000");
    pc.addPort(1);  // the Serial ATA controller in its IDE mode, also run by atapi
    pc.setRegistryString(dw::Registry::kLocalMachine, "HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port 1",
                         "Driver", "atapi");
    sc::addPortDrive(pc, "DVDR   KV-829A", "1.10", 0, 0, 'E');
    sc::addPortDrive(pc, "DVDR   KV-825A", "1.20", 1, 0, 'F').setInterfaceCode(1);
}
void windows7Stacks(sim::Machine& pc) {
    sc::windows7(pc);
    sc::addAtaChannelPort(pc, 0, "pciide", "Standard Dual Channel PCI IDE Controller");
    sc::addAtaChannelPort(pc, 1, "msahci", "Standard AHCI 1.0 Serial ATA Controller");
    sc::addInternalDrive(pc, "DVDR   KV-829A", "1.10", 0, 0, 'E');
    sc::addInternalDrive(pc, "DVDR   KV-825A", "1.20", 1, 0, 'F').setInterfaceCode(1);
}
void windows10Stacks(sim::Machine& pc) {
    sc::windows10(pc);
    sc::addAtaChannelPort(pc, 0, "pciide", "Standard Dual Channel PCI IDE Controller");
    sc::addStorahciPort(pc, 1);
    sc::addInternalDrive(pc, "DVDR   KV-829A", "1.10", 0, 0, 'E');
    sc::addInternalDrive(pc, "DVDR   KV-825A", "1.20", 1, 0, 'F').setInterfaceCode(1);
}

TEST(MainDialogStart, windows7And10ListTheDrivesAsXpDoes) {
    struct System {
        const char* name;
        void (*build)(sim::Machine&);
    } systems[] = {{"XP", xpStacks},
                   {"Windows 7", windows7Stacks},
                   {"Windows 10", windows10Stacks}};
    struct Listed {
        BusKind bus;
        const char* row;
        const char* label;
    } listed[] = {{BusKind::Atapi, "DVDR   KV-829A", "ID:0  KV-829A  "},
                  {BusKind::SerialAta, "DVDR   KV-825SA", "ID:0  KV-825SA"},
                  {BusKind::Usb, "DVDR   KV-829UF", "ID:0  KV-829UF"},
                  {BusKind::Ieee1394, "DVDR   KV-829UFL", "ID:0  KV-829UFL"}};
    for (const auto& system : systems) {
        Program p;
        system.build(p.pc);
        sc::addUsbDrive(p.pc, "DVDR   KV-829A", "1.00", 'H');
        sc::addIeee1394Drive(p.pc, "DVDR   KV-829AL", "1.00", 'I');
        ASSERT_TRUE(p.start()) << system.name;
        ASSERT_EQ(p.view.items.size(), 4u) << system.name;
        for (size_t i = 0; i < 4; ++i) {
            dw::DeviceEntry entry = p.state.deviceList.at(i);
            EXPECT_EQ(entry.busKind, listed[i].bus) << system.name << " item " << i;
            EXPECT_EQ(dw::ModelProductId(*p.state.transport, entry), listed[i].row)
                << system.name << " item " << i;
            EXPECT_EQ(p.view.items[i], listed[i].label) << system.name << " item " << i;
        }
        EXPECT_TRUE(p.view.boxes.empty()) << system.name;
    }
}

TEST(MainDialogStart, drivesTheSystemWouldNotOpenAreNamedInTheStatusLine) {
    const std::string denied = "Access denied: run Drivewright as administrator";
    struct Case {
        const char* name;
        bool portDenied, letterDenied, usbDrive;
        const char* status;
    } cases[] = {
        {"every open refused", true, true, false, denied.c_str()},
        // The USB drive is found in the registry, but its letter does not open either.
        {"an external drive refused too", true, true, true, denied.c_str()},
        // Not every open was refused: no claim about rights.
        {"the port opens", false, true, false, "No CD or DVD drive found"},
        // A drive that opens but is not found is no matter of rights.
        {"the letter opens", true, false, false, ""},
    };
    for (const auto& c : cases) {
        Program p;
        sc::windows10(p.pc);
        sc::addStorahciPort(p.pc, 0);
        // On a port the scan never gets to: the letter alone leads to the drive.
        sc::addInternalDrive(p.pc, "DVDR   KV-829A", "1.10", 7, 0, 'E');
        if (c.usbDrive) sc::addUsbDrive(p.pc, "DVDR   KV-829A", "1.00", 'H');
        if (c.portDenied) p.pc.failOpen("\\\\.\\SCSI0:", dw::winerr::kAccessDenied);
        if (c.letterDenied) {
            p.pc.failOpen("\\\\.\\E:", dw::winerr::kAccessDenied);
            p.pc.failOpen("\\\\.\\H:", dw::winerr::kAccessDenied);
        }
        EXPECT_TRUE(p.start()) << c.name;
        EXPECT_TRUE(p.view.items.empty()) << c.name;
        EXPECT_TRUE(p.view.boxes.empty()) << c.name;
        EXPECT_EQ(p.view.closes, 0) << c.name;
        EXPECT_EQ(p.status(), c.status) << c.name;
        EXPECT_FALSE(p.view.enabled[dw::kIdDeviceCombo]) << c.name;
    }
}

TEST(MainDialogStart, theOldAspiLayerIsRecognisedByFourCharacters) {
    struct Case {
        const char* version;
        bool translation;
        bool old;
    } cases[] = {{"1, 0, 0, 0", true, true},      {"1, 0, 0, 1", true, false},
                 {"1, 0, 0, 0, 5", true, true},   {"1.0.0.0", true, false},
                 {"4, 60, 0, 1021", true, false}, {"1, 0, 0, 0", false, false}};
    for (const auto& c : cases) {
        Program p;
        twoDrives(p);
        if (c.translation) {
            p.pc.setFileVersion("wnaspi32.dll", c.version);
        } else {
            p.pc.setFileVersionBlock("wnaspi32.dll", {},
                                     {{"\\StringFileInfo\\040904b0\\FileVersion", c.version}});
        }
        EXPECT_TRUE(p.start());
        EXPECT_EQ(p.view.warnings, c.old ? 1 : 0) << c.version;
        EXPECT_EQ(p.view.items.size(), 2u);  // start-up goes on either way
    }
}

TEST(MainDialogStart, windows98AsksBeforeUsingUsbDrivesWithTheOldLayer) {
    struct Case {
        uint32_t minor;
        int answer;
        int questions;
        bool goesOn;
    } cases[] = {{10, dw::mb::kAnswerOk, 1, true},
                 {10, dw::mb::kAnswerCancel, 1, false},
                 {90, dw::mb::kAnswerCancel, 0, true}};  // Windows Me never asks
    for (const auto& c : cases) {
        Program p;
        sc::windows98(p.pc);
        p.pc.version.minorVersion = c.minor;
        sc::addAspiAdapter(p.pc, "NECUSBSTOR", "USB storage");
        sc::addWindows98Drive(p.pc, "DVDR   KV-829A", "1.10", 0, 0, 'G', "NECUSB00&CHILD&REV_0100");
        p.pc.setFileVersion("wnaspi32.dll", "1, 0, 0, 0");
        p.view.answers.push_back(c.answer);
        EXPECT_EQ(p.start(), c.goesOn) << c.minor;
        EXPECT_EQ(p.view.boxes.size(), size_t(c.questions)) << c.minor;
        if (c.questions == 1) {
            EXPECT_EQ(p.view.boxes[0],
                      "Drivewright|WARNING: USB devices detected with older Aspi "
                      "layer!\n\tDo you wish to continue?");
        }
        EXPECT_EQ(p.view.destroys, c.goesOn ? 0 : 1) << c.minor;
        EXPECT_EQ(p.view.items.size(), c.goesOn ? 1u : 0u) << c.minor;
    }
}

TEST(MainDialogStart, aDriveThatReportsAUsbBridgeBecomesAKv825U) {
    Program p;
    sc::windowsXp(p.pc);
    sc::addPort(p.pc, 0, "atapi", sc::kHdcClass, "Primary IDE Channel");
    sc::addPortDrive(p.pc, "DVDR   KV-829A", "1.00", 0, 0, 'E').setInterfaceCode(8);
    ASSERT_TRUE(p.start());
    ASSERT_EQ(p.state.deviceList.size(), 1u);
    EXPECT_STREQ(p.state.deviceList.at(0).product, "DVDR   KV-825U  ");
    EXPECT_EQ(p.state.deviceList.at(0).busKind, dw::BusKind::Usb);
}

TEST(MainDialogMenu, theAboutItemOpensTheAboutBox) {
    Program p;
    twoDrives(p);
    p.start();
    EXPECT_TRUE(p.dialog->OnSysCommand(0x0010));
    EXPECT_TRUE(p.dialog->OnSysCommand(0x0013));   // the low four bits do not count
    EXPECT_FALSE(p.dialog->OnSysCommand(0xF060));  // SC_CLOSE keeps its default handling
    EXPECT_EQ(p.view.abouts, 2);
}

// --- Load File and Upgrade -----------------------------------------------------------------

namespace {

// The KV-829A selected and a valid 960 KB image for it written.
std::string selectDvdWithImage(Program& p, TwoDrives& d, const std::string& version = "1.07") {
    d = twoDrives(p);
    EXPECT_TRUE(p.start());
    p.view.selected = 1;
    p.dialog->OnSelectDevice();
    dw::tools::ImageSpec wanted;
    wanted.row = dw::tools::findRow("DVDR   KV-829A");
    wanted.size = 0xF0000;
    wanted.version = version;
    std::string error;
    const std::string path = p.folder.file("new.bin");
    EXPECT_TRUE(dw::tools::writeFile(path, dw::tools::makeUpgradeImage(wanted, error), error));
    return path;
}

}  // namespace

TEST(MainDialogLoadFile, aValidFileEnablesUpgradeAndCancelLeavesItAsItWas) {
    Program p;
    TwoDrives d;
    const std::string path = selectDvdWithImage(p, d);
    p.view.files.push_back(path);
    p.dialog->OnLoadFile();
    EXPECT_EQ(p.view.lastRequest.defaultExtension, "BIN");
    EXPECT_EQ(p.view.lastRequest.flags, 0x6u);
    EXPECT_EQ(p.view.lastRequest.filter,
              std::string("Upgrade Files (*.bin)\0*.bin\0All Files (*.*)\0*.*\0\0", 50));
    EXPECT_EQ(p.status(), "Valid upgrade file loaded: new.bin");
    EXPECT_TRUE(p.view.enabled[dw::kIdUpgrade]);

    p.view.files.push_back(std::nullopt);  // the user cancels
    p.dialog->OnLoadFile();
    EXPECT_STREQ(p.state.upgradeFilePath, "");
    EXPECT_TRUE(p.view.enabled[dw::kIdUpgrade]);

    p.dialog->OnSelectDevice();  // selecting again asks for a file again
    EXPECT_FALSE(p.view.enabled[dw::kIdUpgrade]);
    EXPECT_EQ(p.status(), "Select an upgrade file");
}

TEST(MainDialogLoadFile, aPathTooLongForTheStateIsRefusedNotCut) {
    Program p;
    TwoDrives d;
    selectDvdWithImage(p, d);
    p.view.enabled[dw::kIdUpgrade] = true;
    p.view.files.push_back(std::string(300, 'x'));
    p.dialog->OnLoadFile();
    EXPECT_EQ(p.status(), "No valid upgrade file selected");
    EXPECT_FALSE(p.view.enabled[dw::kIdUpgrade]);
    EXPECT_STREQ(p.state.upgradeFilePath, "");
}

TEST(MainDialogUpgrade, aSuccessShowsTheNewVersionAfterThePause) {
    Program p;
    TwoDrives d;
    const std::string path = selectDvdWithImage(p, d, "1.07");
    p.view.files.push_back(path);
    p.dialog->OnLoadFile();
    ASSERT_TRUE(p.view.enabled[dw::kIdUpgrade]);

    p.dialog->OnUpgrade();
    EXPECT_EQ(p.status(), "Upgrade succesfull");
    EXPECT_EQ(p.view.texts[dw::kIdFirmwareVersionText], "1.07");
    EXPECT_TRUE(p.view.enabled[dw::kIdUpgrade]);
    EXPECT_TRUE(p.view.enabled[dw::kIdLoadFile]);
    EXPECT_EQ(d.dvd->commits, 1);
    EXPECT_EQ(p.pc.openHandleCount(), 0);  // the kept handle is closed again
    // The download's last command, then the 2,000 ms settle wait, then the 1,100 ms pause.
    EXPECT_GE(p.view.enabledAt[dw::kIdUpgrade] - 1000u, 3100u);

    p.dialog->OnUpgrade();  // the same file again, at once
    EXPECT_EQ(d.dvd->commits, 2);
}

TEST(MainDialogUpgrade, aFailureShowsTheDrivesSenseText) {
    Program p;
    TwoDrives d;
    const std::string path = selectDvdWithImage(p, d);
    p.view.files.push_back(path);
    p.dialog->OnLoadFile();
    d.dvd->failNth(0x3B, 11, {0x05, 0x24, 0x00});
    const uint32_t before = p.pc.tickCount();
    p.dialog->OnUpgrade();
    EXPECT_EQ(p.status(), "Upgrade failed! Invalid parameter (code 052400)");
    EXPECT_EQ(p.view.texts[dw::kIdFirmwareVersionText], "1.04");
    EXPECT_TRUE(p.view.enabled[dw::kIdUpgrade]);
    EXPECT_GE(p.view.enabledAt[dw::kIdUpgrade] - before, 1100u);
    EXPECT_EQ(d.dvd->commits, 0);
    // The failure's sense stays in the current device, not in the list.
    EXPECT_EQ(p.state.currentDevice.sense[12], 0x24);
    EXPECT_EQ(p.state.deviceList.at(1).sense[12], 0x00);
}

TEST(MainDialogUpgrade, aDriverThatFailsEveryRequestNeverReadsAsSuccess) {
    for (const bool atOpen : {true, false}) {
        for (const uint32_t error : {1u, 2u, 5u, 31u, 121u, 257u, 1117u}) {
            Program p;
            TwoDrives d;
            const std::string path = selectDvdWithImage(p, d);
            p.view.files.push_back(path);
            p.dialog->OnLoadFile();
            ASSERT_TRUE(p.view.enabled[dw::kIdUpgrade]);
            if (atOpen) {
                p.pc.failOpen("\\\\.\\E:", error);
            } else {
                p.pc.failIoControl("\\\\.\\E:", dw::kIoctlScsiPassThroughDirect, error);
            }
            p.dialog->OnUpgrade();
            const std::string where = (atOpen ? "open " : "ioctl ") + std::to_string(error);
            EXPECT_EQ(p.status(), "Upgrade failed! The command did not reach the drive (error " +
                                      std::to_string(error) + ").")
                << where;
            EXPECT_EQ(d.dvd->commits, 0) << where;
            EXPECT_TRUE(d.dvd->receivedWithOpcode(0x3B).empty()) << where;
        }
    }
}

TEST(MainDialogStart, theHostAdapterShownIsThePortNumberBehindADroppedPort) {
    Program p;
    sc::windowsXp(p.pc);
    sc::addPort(p.pc, 0, "raidport", "{00000000-0000-0000-0000-000000000000}", "RAID");
    sc::addPort(p.pc, 1, "atapi", sc::kHdcClass, "Secondary IDE Channel");
    sc::addPortDrive(p.pc, "DVDR   KV-829A", "1.04", 1, 1, 'E');
    ASSERT_TRUE(p.start());
    ASSERT_EQ(p.state.deviceList.size(), 1u);
    EXPECT_EQ(p.view.texts[dw::kIdHostAdapterText], "1");
    EXPECT_EQ(p.view.texts[dw::kIdFirmwareVersionText], "1.04");
}
