// The main dialog as the user meets it: start-up on each kind of PC, selection, Load File and
// Upgrade, through a view that records what the window would show.
#include <map>

#include "app/main_dialog.h"
#include "firmware_support.h"
#include "sim/scenarios.h"

using namespace testing_support;
namespace sc = sim::scenarios;

namespace {

// What the window shows. `events` tells of the message boxes ("style caption|text"), the
// warning, the about box and the end of the window; `log` of each enabling ("+") or disabling
// ("-") of Load File and Upgrade, with the WRITE BUFFER commands the watched drive had by then.
struct RecordingView : dw::DialogView {
    sim::Machine& pc;
    const sim::KorvaneDrive* watched = nullptr;
    std::map<int, bool> enabled = {{dw::kIdLoadFile, true}, {dw::kIdDeviceCombo, true}};
    std::map<int, std::string> texts;  // also the system menu's item, by its command
    std::string items, events, log;
    std::vector<int> answers;  // to the message boxes in turn; then OK
    size_t boxes = 0;
    int selected = -1;
    std::optional<std::string> file;  // what the open-file dialog returns
    dw::OpenFileRequest request;
    uint32_t enabledAt = 0;  // when Upgrade was last enabled

    explicit RecordingView(sim::Machine& machine) : pc(machine) {}
    void enableControl(int id, bool on) override {
        enabled[id] = on;
        if (id == dw::kIdUpgrade && on) enabledAt = pc.tickCount();
        const size_t writes = watched ? watched->receivedWithOpcode(0x3B).size() : 0;
        const std::string name = id == dw::kIdUpgrade ? "upgrade" : "load";
        if (id != dw::kIdDeviceCombo) log += name + (on ? "+" : "-") + std::to_string(writes) + " ";
    }
    void setControlText(int id, const std::string& text) override { texts[id] = text; }
    void addComboItem(const std::string& text) override { items += text + ","; }
    void selectComboItem(int index) override { selected = index; }
    int comboSelection() override { return selected; }
    void appendSystemMenuItem(unsigned id, const std::string& s) override { texts[int(id)] = s; }
    void setWindowIcons() override {}
    int messageBox(const std::string& text, const std::string& caption, unsigned style) override {
        events += " " + std::to_string(style) + " " + caption + "|" + text;
        return boxes < answers.size() ? answers[boxes++] : dw::mb::kAnswerOk;
    }
    std::optional<std::string> askFileToOpen(const dw::OpenFileRequest& r) override {
        return request = r, file;
    }
    void showAspiWarning() override { events += " warned"; }
    void showAbout() override { events += " about"; }
    void requestClose() override { events += " closed"; }
    void destroyWindow() override { events += " destroyed"; }
    std::string applicationTitle() override { return "drivewright"; }
};

struct Program {
    sim::Machine pc;
    RecordingView view{pc};
    dw::UpgradeState state;
    std::unique_ptr<dw::MainDialog> dialog;

    // The four texts, then the list, Load File and Upgrade: "+" enabled, "-" disabled.
    std::string screen() {
        auto on = [&](int id) { return view.enabled[id] ? "+" : "-"; };
        auto& t = view.texts;
        return t[dw::kIdHostAdapterText] + "|" + t[dw::kIdTargetIdText] + "|" +
               t[dw::kIdFirmwareVersionText] + "|" + t[dw::kIdStatusText] + "|list" +
               on(dw::kIdDeviceCombo) + " load" + on(dw::kIdLoadFile) + " upgrade" +
               on(dw::kIdUpgrade);
    }
    // Starts the dialog: whether it went on, the list's items, the screen and the events.
    std::string start() {
        dialog = std::make_unique<dw::MainDialog>(pc, view, state);
        dialog->refresh();
        const bool on = dialog->OnInitDialog();
        return (on ? "" : "declined ") + view.items + " " + screen() + view.events;
    }
    void select(int index) {
        view.selected = index;
        dialog->OnSelectDevice();
    }
};

// Windows XP with a drive at F: on port 0 (IDE).
sim::KorvaneDrive& xpDrive(sim::Machine& pc, const char* product, int target = 0) {
    sc::windowsXp(pc);
    sc::addPort(pc, 0, "atapi", sc::kHdcClass, "Primary IDE Channel");
    return sc::addPortDrive(pc, product, "1.00", 0, target, 'F');
}

// Windows XP with two drives: a KV-R535C at F: on port 0, target 3, and a KV-829A at E: on
// port 1, target 1.
sim::KorvaneDrive& twoDrives(sim::Machine& pc) {
    const uint8_t version[] = {'R', '5', '3', '5'};  // the KV-R535C keeps it in its memory
    xpDrive(pc, "CD-R   KV-R535C", 3).setMemory(0x100198, version);
    sc::addPort(pc, 1, "atapi", sc::kHdcClass, "Secondary IDE Channel");
    return sc::addPortDrive(pc, "DVDR   KV-829A", "1.04", 1, 1, 'E');
}

// Windows 10 with a KV-829A at E: on a port the scan never gets to, so that the letter alone
// leads to it; the letter refuses to be opened, and the port too or not.
void refused(sim::Machine& pc, bool port) {
    sc::windows10(pc);
    sc::addStorahciPort(pc, 0);
    if (port) pc.failOpen("\\\\.\\SCSI0:", dw::winerr::kAccessDenied);
    sc::addInternalDrive(pc, "DVDR   KV-829A", "1.10", 7, 0, 'E');
    pc.failOpen("\\\\.\\E:", dw::winerr::kAccessDenied);
}

// Windows 98 (minor version 10) or Me (90) with a KV-829A behind a USB adapter of the old
// ASPI layer 1, 0, 0, 0; the user answers the question, if there is one.
void oldLayer(Program& p, uint32_t minor, int answer, uint32_t platform = 1) {
    sc::windows98(p.pc);
    p.pc.setVersion(platform, 4, minor);
    sc::addAspiAdapter(p.pc, "NECUSBSTOR", "USB storage");
    sc::addWindows98Drive(p.pc, "DVDR   KV-829A", "1.10", 0, 0, 'G', "NECUSB00&CHILD&REV_0100");
    p.pc.setFileVersion("wnaspi32.dll", "1, 0, 0, 0");
    p.view.answers = {answer};
}

}  // namespace

TEST(MainDialogStart, listsTheKorvaneDrivesAndShowsTheSelectedOne) {
    Program p;
    twoDrives(p.pc);
    sc::addPortDrive(p.pc, "CDROM 52X", "1.00", 1, 2, 'G').setVendor("OTHERCO");  // left out
    // The KV-R535C takes no upgrade files.
    const std::string r535 = "0|3|R535|No upgradable device selected|list+ load- upgrade-";
    const std::string dvd = "1|1|1.04|Select an upgrade file|list+ load+ upgrade-";
    EXPECT_EQ(p.start(), "ID:3  KV-R535C ,ID:1  KV-829A  , " + r535);
    EXPECT_EQ(p.view.selected, 0);
    const std::pair<int, std::string> picks[] = {{1, dvd}, {2, dvd}, {-1, dvd}, {0, r535}};
    for (const auto& [index, screen] : picks) {
        p.select(index);
        EXPECT_EQ(p.screen(), screen) << index;
    }
    EXPECT_EQ(p.view.texts[int(dw::kIdmAboutBox)], "&About Korvane Upgrade...");
    EXPECT_TRUE(p.dialog->OnSysCommand(0x0010) && p.dialog->OnSysCommand(0x0013));  // low bits
    EXPECT_FALSE(p.dialog->OnSysCommand(0xF060));  // SC_CLOSE keeps its default handling
    EXPECT_EQ(p.view.events, " about about");
}

TEST(MainDialogStart, eachKindOfPcStartsAsItShould) {
    const std::string none = " |||No CD or DVD drive found|list- load+ upgrade-";
    const std::string first = "0|0|1.00|Select an upgrade file|list+ load+ upgrade-";
    const std::string usb = "ID:0  KV-829UF, 0|0|1.10|Select an upgrade file|list+ load+ upgrade-";
    const std::string noAspi =
        " ||||list+ load+ upgrade- 16 drivewright|ASPI for Win32 is not initialized!\n\rUnable to "
        "load 'WNASPI32.DLL' closed";
    const std::string ask =
        " warned 49 Drivewright|WARNING: USB devices detected with older Aspi layer!\n\tDo you "
        "wish to continue?";
    struct Case {
        const char* name;
        void (*build)(Program&);
        std::string started;
    } cases[] = {
        {"XP", [](Program& p) { sc::windowsXp(p.pc); }, noAspi},
        // The NT family never looks for an ASPI layer.
        {"NT 4 with ASPI", [](Program& p) { oldLayer(p, 0, 1, 2); }, noAspi},
        // From Vista on there is no ASPI layer to speak of.
        {"7", [](Program& p) { sc::windows7(p.pc); }, none},
        {"no known drive", [](Program& p) { xpDrive(p.pc, "CDROM 52X"); },
         " ||||list- load+ upgrade-"},
        {"all refused", [](Program& p) { refused(p.pc, true); },
         " |||Access denied: run Drivewright as administrator|list- load+ upgrade-"},
        // Not every open was refused: no claim about rights.
        {"a port opens", [](Program& p) { refused(p.pc, false); }, none},
        // The interface a KV-825A or KV-829A reports moves it to Serial ATA (1) or USB (8).
        {"SATA", [](Program& p) { xpDrive(p.pc, "DVDR   KV-825A").setInterfaceCode(1); },
         "ID:0  KV-825SA, " + first},
        {"USB", [](Program& p) { xpDrive(p.pc, "DVDR   KV-829A").setInterfaceCode(8); },
         "ID:0  KV-829UF, " + first},
        {"98", [](Program& p) { oldLayer(p, 10, dw::mb::kAnswerOk); }, usb + ask},
        {"98 declined", [](Program& p) { oldLayer(p, 10, 2); },
         "declined  ||||list+ load+ upgrade-" + ask + " destroyed"},
        {"Me", [](Program& p) { oldLayer(p, 90, dw::mb::kAnswerCancel); },
         usb + " warned"},  // no question
    };
    for (const auto& c : cases) {
        Program p;
        c.build(p);
        EXPECT_EQ(p.start(), c.started) << c.name;
    }
}

TEST(MainDialogStart, theOldAspiLayerIsRecognisedByFourCharacters) {
    // The first two are the old layer; "": a version block without a translation entry.
    const char* versions[] = {"1, 0, 0, 0", "1, 0, 0, 0, 5", "",         "1, 0, 0, 1", "1, 0, 1, 0",
                              "1, 1, 0, 0", "2, 0, 0, 0",    "1, 0, 0,", "1.0.0.0"};
    for (size_t i = 0; i < std::size(versions); ++i) {
        Program p;
        twoDrives(p.pc);
        if (*versions[i]) p.pc.setFileVersion("wnaspi32.dll", versions[i]);
        if (!*versions[i])
            p.pc.setFileVersionBlock("wnaspi32.dll", {},
                                     {{"\\StringFileInfo\\040904b0\\FileVersion", "1, 0, 0, 0"}});
        EXPECT_EQ(p.start().find("warned") != std::string::npos, i < 2) << versions[i];
    }
}

TEST(MainDialogUpgrade, loadFileChecksTheFileAndTheButtonsAreOffWhileTheUpgradeRuns) {
    Program p;
    TempFolder folder;
    sim::KorvaneDrive& dvd = twoDrives(p.pc);
    const std::string path = folder.file("new.bin");
    std::string error;
    ASSERT_TRUE(
        dw::tools::writeFile(path, referenceImage({"DVDR   KV-829A", 0xF0000, "1.07"}), error));
    p.start();
    p.select(1);
    p.view.watched = &dvd;
    // Load File with the file the user picks, or Cancel: the path kept, and the screen.
    auto load = [&](std::optional<std::string> file) {
        p.view.file = file;
        p.dialog->OnLoadFile();
        return p.state.upgradeFilePath + (" " + p.screen());
    };
    const std::string valid = "1|1|1.04|Valid upgrade file loaded: new.bin|list+ load+ upgrade+";
    EXPECT_EQ(load(path), path + " " + valid);
    EXPECT_EQ(p.view.request.defaultExtension + " " + std::to_string(p.view.request.flags),
              "BIN 6");
    EXPECT_EQ(p.view.request.filter,
              std::string("Upgrade Files (*.bin)\0*.bin\0All Files (*.*)\0*.*\0\0", 50));
    // A path that does not fit the state is refused, not cut.
    EXPECT_EQ(load(std::string(dw::kUpgradeFilePathSize, 'x')),
              " 1|1|1.04|No valid upgrade file selected|list+ load+ upgrade-");
    EXPECT_EQ(load(path), path + " " + valid);
    // Cancel forgets the file but leaves the button; an upgrade then sends nothing.
    EXPECT_EQ(load(std::nullopt), " " + valid);
    p.dialog->OnUpgrade();
    EXPECT_EQ(
        p.screen(),
        "1|1|1.04|Upgrade failed! The upgrade file could not be opened.|list+ load+ upgrade+");
    p.select(1);  // selecting again asks for a file again
    EXPECT_EQ(p.screen(), "1|1|1.04|Select an upgrade file|list+ load+ upgrade-");

    load(path);
    p.view.log.clear();
    p.dialog->OnUpgrade();
    EXPECT_EQ(p.screen(), "1|1|1.07|Upgrade succesfull|list+ load+ upgrade+");
    EXPECT_EQ(p.view.log, "upgrade-0 load-0 upgrade+120 load+120 ");
    EXPECT_EQ(dvd.commits, 1);
    EXPECT_EQ(p.pc.openHandleCount(), 0);  // the kept handle is closed again
    // The download's last command, then the 2,000 ms settle wait, then the 1,100 ms pause.
    EXPECT_GE(p.view.enabledAt - 1000u, 3100u);

    // The same file again, failing: on the eleventh WRITE BUFFER, then with system errors
    // (also ones whose low byte is 1) in the ioctl and at the open. None reads as success.
    const std::pair<std::function<void()>, std::string> failures[] = {
        {[&] {
             dvd.failNth(0x3B, 120 + 11, {5, 0x24, 0});
         },
         "Invalid parameter (code 052400)"},
        {[&] { p.pc.failIoControl("\\\\.\\E:", dw::kIoctlScsiPassThroughDirect, 1); },
         "The command did not reach the drive (error 1)."},
        {[&] { p.pc.failOpen("\\\\.\\E:", 257); },
         "The command did not reach the drive (error 257)."}};
    for (const auto& [fail, why] : failures) {
        fail();
        const uint32_t before = p.pc.tickCount();
        p.dialog->OnUpgrade();
        EXPECT_EQ(p.screen(), "1|1|1.07|Upgrade failed! " + why + "|list+ load+ upgrade+");
        EXPECT_GE(p.view.enabledAt - before, 1100u) << why;
        EXPECT_EQ(dvd.commits, 1) << why;
    }
    EXPECT_EQ(dvd.receivedWithOpcode(0x3B).size(), 120u + 11u);
    // The failure's sense stays in the current device, not in the list.
    EXPECT_EQ(p.state.currentDevice.sense[12], 0x24);
    EXPECT_EQ(p.state.deviceList.at(1).sense[12], 0x00);
}
