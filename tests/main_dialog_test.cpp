// The main dialog as the user meets it: start-up on each kind of PC, selection, Load File and
// Upgrade, through a view that records what the window would show.
#include <cctype>
#include <functional>
#include <map>

#include "app/library_search.h"
#include "app/main_dialog.h"
#include "app/program_start.h"
#include "firmware_support.h"
#include "sim/scenarios.h"

using namespace testing_support;
namespace sc = sim::scenarios;

namespace {

// A PC, the dialog over it and what its window shows. `events` tells of the message boxes
// ("style caption|text"), the warning, the about box and the end of the window; `log` of each
// enabling ("+") or disabling ("-") of Load File and Upgrade, with the WRITE BUFFER commands
// the watched drive had received by then.
struct Program : dw::DialogView {
    sim::Machine pc;
    dw::UpgradeState state;
    std::unique_ptr<dw::MainDialog> dialog;
    const sim::KorvaneDrive* watched = nullptr;
    std::map<int, bool> enabled = {{dw::kIdLoadFile, true}, {dw::kIdDeviceCombo, true}};
    std::map<int, std::string> texts;       // also the system menu's item, by its command
    std::string items, events, log, asked;  // asked: the Open dialog's filter, extension, flags
    std::vector<int> answers;               // to the message boxes in turn; then OK
    size_t boxes = 0;
    int selected = -1;
    std::optional<std::string> file;  // what the open-file dialog returns
    uint32_t enabledAt = 0;           // when Upgrade was last enabled

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
        // The shell behind the dialog, and what it and setupapi import.
        pc.showWindow("Open", {"shell32.dll", "rpcrt4.dll"});
        asked = r.filter + "|" + r.defaultExtension + "|" + std::to_string(r.flags);
        return file;
    }
    void showAspiWarning() override { events += " warned"; }
    void showAbout() override { events += " about"; }
    void requestClose() override { events += " closed"; }
    void destroyWindow() override { events += " destroyed"; }
    std::string applicationTitle() override { return "drivewright"; }

    // The host adapter, target, firmware version and status texts, then whether the list,
    // Load File and Upgrade are enabled ("+") or not ("-").
    std::string screen() {
        std::string out = texts[dw::kIdHostAdapterText] + "|" + texts[dw::kIdTargetIdText] + "|" +
                          texts[dw::kIdFirmwareVersionText] + "|" + texts[dw::kIdStatusText] + " ";
        for (int id : {dw::kIdDeviceCombo, dw::kIdLoadFile, dw::kIdUpgrade})
            out += enabled[id] ? "+" : "-";
        return out;
    }
    // Starts the dialog: whether it went on, the list's items, the screen and the events.
    std::string start() {
        pc.showWindow("Drivewright  V1.25", {"uxtheme.dll"});  // the window's theme
        dialog = std::make_unique<dw::MainDialog>(pc, *this, state);
        dialog->refresh();
        const bool on = dialog->OnInitDialog();
        return (on ? "" : "declined ") + items + " " + screen() + events;
    }
    std::string select(int index) {
        selected = index;
        dialog->OnSelectDevice();
        return screen();
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

// Windows 10 with a KV-829A at E: on an AHCI port that this user may not open; `letters`: the
// drive letter refuses too.
void win10Refused(Program& p, bool letters) {
    sc::windows10(p.pc);
    sc::addStorahciPort(p.pc, 0);
    sc::addInternalDrive(p.pc, "DVDR   KV-829A", "1.00", 0, 0, 'E');
    p.pc.failOpen("\\\\.\\SCSI0:", dw::winerr::kAccessDenied);
    if (letters) p.pc.failOpen("\\\\.\\E:", dw::winerr::kAccessDenied);
}

// Windows 98 (minor version 10) with a KV-829A behind a USB adapter of the old
// ASPI layer 1, 0, 0, 0; the user answers the question, if there is one.
void oldLayer(Program& p, int answer, uint32_t platform = 1) {
    sc::windows98(p.pc);
    p.pc.setVersion(platform, 4, 10);
    sc::addAspiAdapter(p.pc, "NECUSBSTOR", "USB storage");
    sc::addWindows98Drive(p.pc, "DVDR   KV-829A", "1.10", 0, 0, 'G', "NECUSB00&CHILD&REV_0100");
    p.pc.setFileVersion("wnaspi32.dll", "1, 0, 0, 0");
    p.answers = {answer};
}

// The machine's journal, with the program's folder as "beside:", the system folder as
// "system:" and C:\Users\user as "here:".
std::string journal(const sim::Machine& pc) {
    std::string out;
    for (std::string entry : pc.journal) {
        for (const auto& [folder, name] : {std::pair{pc.programFolder, "beside:"},
                                           {pc.systemFolder, "system:"},
                                           {std::string("C:\\Users\\user"), "here:"}}) {
            std::string prefix = "load " + folder + "\\";
            for (char& c : prefix) c = static_cast<char>(std::tolower(c));
            if (entry.rfind(prefix, 0) == 0)
                entry = std::string("load ") + name + entry.substr(prefix.size());
        }
        out += (out.empty() ? "" : ", ") + entry;
    }
    return out;
}

}  // namespace

// Where a bare name is found once the search is narrowed: the ASPI layer beside the program, and
// a library in the current folder of a command prompt elsewhere.
TEST(ProgramStart, theLibrarySearchIsNarrowedOnTheNtPlatformOnly) {
    using Search = dw::LibrarySearch;
    const std::string unchanged = "load beside:wnaspi32.dll, load here:planted.dll";
    const std::string noCurrent = "SetDllDirectoryA \"\", load beside:wnaspi32.dll";
    struct Case {
        const char* name;
        void (*build)(sim::Machine&);
        Search search;
        std::string journal;
    } cases[] = {
        {"98", [](sim::Machine& pc) { sc::windows98(pc); }, Search::Unchanged, unchanged},
        {"98 under Wine",  // which exports both
         [](sim::Machine& pc) {
             sc::windows98(pc);
             pc.exportsSetDllDirectory = pc.exportsSetDefaultDllDirectories = true;
         },
         Search::Unchanged, unchanged},
        {"NT 4", [](sim::Machine& pc) { sc::windowsNt4(pc); }, Search::Unchanged, unchanged},
        {"XP", [](sim::Machine& pc) { sc::windowsXp(pc); }, Search::CurrentFolderLeftOut,
         noCurrent},
        {"7", [](sim::Machine& pc) { sc::windows7(pc); }, Search::CurrentFolderLeftOut, noCurrent},
        {"7 with the update",
         [](sim::Machine& pc) {
             sc::windows7(pc);
             pc.exportsSetDefaultDllDirectories = true;
         },
         Search::SystemFolderOnly, "SetDefaultDllDirectories 800"},
        {"10", [](sim::Machine& pc) { sc::windows10(pc); }, Search::SystemFolderOnly,
         "SetDefaultDllDirectories 800"},
    };
    for (const auto& c : cases) {
        sim::Machine pc;
        c.build(pc);
        pc.currentFolder = "C:\\Users\\user";
        pc.addFile(pc.programFolder + "\\wnaspi32.dll");
        pc.addFile(pc.currentFolder + "\\planted.dll");
        EXPECT_EQ(dw::RestrictLibrarySearch(pc), c.search) << c.name;
        pc.loadLibrary("WNASPI32");
        pc.loadLibrary("planted.dll");
        EXPECT_EQ(journal(pc), c.journal) << c.name;
    }
}

// Libraries planted beside the program in a downloads folder: the window's theme, one that the
// shell behind the Open dialog imports, and an old ASPI layer.
TEST(ProgramStart, theSearchIsNarrowedBeforeTheFirstWindowAndTheOldLayerIsStillFound) {
    const std::string windows = "window Drivewright  V1.25, load ";
    const std::string open = "window Open, load system:shell32.dll, load ";
    struct Case {
        const char* name;
        void (*build)(sim::Machine&);
        std::string journal;
    } cases[] = {
        {"10", sc::windows10,
         "SetDefaultDllDirectories 800, " + windows + "system:uxtheme.dll, " + open +
             "system:rpcrt4.dll"},
        // There the program's folder stays first, as the README says.
        {"7", sc::windows7,
         "SetDllDirectoryA \"\", " + windows + "beside:uxtheme.dll, " + open + "beside:rpcrt4.dll"},
        {"98 under Wine",
         [](sim::Machine& pc) {
             sc::windows98(pc);
             pc.exportsSetDllDirectory = pc.exportsSetDefaultDllDirectories = true;
             pc.installAspi({}, pc.programFolder + "\\wnaspi32.dll");
         },
         windows + "beside:uxtheme.dll, load beside:wnaspi32.dll, " + open + "beside:rpcrt4.dll"},
    };
    for (const auto& c : cases) {
        Program p;
        c.build(p.pc);
        for (const char* name : {"uxtheme.dll", "rpcrt4.dll"}) {
            p.pc.addFile(p.pc.programFolder + "\\" + name);
        }
        p.pc.setFileVersion(p.pc.programFolder + "\\wnaspi32.dll", "1, 0, 0, 0");
        dw::StartProgram(p.pc, [&] {
            p.start();
            p.dialog->OnLoadFile();
        });
        EXPECT_EQ(journal(p.pc), c.journal) << c.name;
        EXPECT_EQ(p.events, " warned") << c.name;  // the old layer beside the program
    }
}

TEST(MainDialogStart, listsTheKorvaneDrivesAndShowsTheSelectedOne) {
    Program p;
    twoDrives(p.pc);
    sc::addPortDrive(p.pc, "CDROM 52X", "1.00", 1, 2, 'G');  // no model of the maker's: left out
    const std::string r535 = "0|3|R535|No upgradable device selected +--";  // takes no files
    const std::string dvd = "1|1|1.04|Select an upgrade file ++-";
    EXPECT_EQ(p.start(), "ID:3  KV-R535C ,ID:1  KV-829A  , " + r535);
    EXPECT_EQ(p.selected, 0);
    const std::pair<int, std::string> picks[] = {{1, dvd}, {2, dvd}, {-1, dvd}, {0, r535}};
    for (const auto& [index, screen] : picks) EXPECT_EQ(p.select(index), screen) << index;
    EXPECT_EQ(p.texts[int(dw::kIdmAboutBox)], "&About Korvane Upgrade...");
    // The about item, whatever the low four bits; SC_CLOSE keeps its default handling.
    EXPECT_TRUE(p.dialog->OnSysCommand(0x0013) && !p.dialog->OnSysCommand(0xF060));
    EXPECT_EQ(p.events, " about");
}

TEST(MainDialogStart, eachKindOfPcStartsAsItShould) {
    const std::string found = "Select an upgrade file ++-",
                      usb = "ID:0  KV-829UF, 0|0|1.10|" + found;
    const std::string noAspi =
        " ||| ++- 16 drivewright|ASPI for Win32 is not initialized!\n\rUnable to load "
        "'WNASPI32.DLL' closed";
    const std::string denied = " |||Access denied: run Drivewright as administrator -+-";
    const std::string ask =
        " warned 49 Drivewright|WARNING: USB devices detected with older Aspi layer!\n\tDo you "
        "wish to continue?";
    struct Case {
        const char* name;
        void (*build)(Program&);
        std::string started;
    } cases[] = {
        {"XP", [](Program& p) { sc::windowsXp(p.pc); }, noAspi},
        {"NT 4", [](Program& p) { oldLayer(p, 1, 2); }, noAspi},  // never looks for ASPI
        {"7", [](Program& p) { sc::windows7(p.pc); },
         " |||No CD or DVD drive found -+-"},  // no box
        {"no known drive", [](Program& p) { xpDrive(p.pc, "CDROM 52X"); }, " ||| -+-"},
        // The interface a KV-825A reports moves it to Serial ATA.
        {"SATA",
         [](Program& p) {
             auto& drive = xpDrive(p.pc, "DVDR   KV-825A");
             drive.setInterfaceCode(1);
             p.watched = &drive;
         },
         "ID:0  KV-825SA, 0|0|1.00|" + found},
        {"98", [](Program& p) { oldLayer(p, dw::mb::kAnswerOk); }, usb + ask},
        {"98 declined", [](Program& p) { oldLayer(p, dw::mb::kAnswerCancel); },
         "declined  ||| ++-" + ask + " destroyed"},
        // A standard token: the letters open, the port is refused, whatever the letters did.
        {"10 port refused", [](Program& p) { win10Refused(p, false); }, denied},
        {"10 all refused", [](Program& p) { win10Refused(p, true); }, denied},
        {"XP port refused",
         [](Program& p) {
             xpDrive(p.pc, "DVDR   KV-829A");
             p.pc.failOpen("\\\\.\\SCSI0:", dw::winerr::kAccessDenied);
         },
         denied},
        // A drive the refused port does not hide is listed as usual.
        {"10 port refused, USB drive",
         [](Program& p) {
             win10Refused(p, false);
             sc::addUsbDrive(p.pc, "DVDR   KV-829A", "1.10", 'G');
         },
         "ID:0  KV-829UF, 0|0|1.10|" + found},
    };
    for (const auto& c : cases) {
        Program p;
        c.build(p);
        EXPECT_EQ(p.start(), c.started) << c.name;
        if (p.watched)  // the interface probe and the label read 128 bytes each
            for (const auto& r : p.watched->receivedWithOpcode(0xF1)) {
                EXPECT_EQ(r.cdb[9], 0x80);
            }
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
    p.watched = &dvd;
    // Load File with the file the user picks, or Cancel: the path kept, and the screen.
    auto load = [&](std::optional<std::string> file) {
        p.file = file;
        p.dialog->OnLoadFile();
        return p.state.upgradeFilePath + (" " + p.screen());
    };
    const std::string valid = "1|1|1.04|Valid upgrade file loaded: new.bin +++";
    EXPECT_EQ(load(path), path + " " + valid);
    const char kFilter[] = "Upgrade Files (*.bin)\0*.bin\0All Files (*.*)\0*.*\0\0";
    EXPECT_EQ(p.asked, std::string(kFilter, sizeof kFilter) + "|BIN|6");  // read-only box hidden
    // A path that does not fit the state is refused, not cut.
    EXPECT_EQ(load(std::string(dw::kUpgradeFilePathSize, 'x')),
              " 1|1|1.04|No valid upgrade file selected ++-");
    EXPECT_EQ(load(path), path + " " + valid);
    // Cancel forgets the file but leaves the button; an upgrade then sends nothing (below).
    EXPECT_EQ(load(std::nullopt), " " + valid);
    p.dialog->OnUpgrade();
    EXPECT_EQ(p.screen(), "1|1|1.04|Upgrade failed! The upgrade file could not be opened. +++");
    EXPECT_EQ(p.select(1), "1|1|1.04|Select an upgrade file ++-");  // asks for a file again

    load(path);
    p.log.clear();
    const uint32_t before = p.pc.tickCount();
    p.dialog->OnUpgrade();
    EXPECT_EQ(p.screen(), "1|1|1.07|Upgrade succesfull +++");
    // Off before the first WRITE BUFFER (of all 120 the drive got), on after the last.
    EXPECT_EQ(p.log, "upgrade-0 load-0 upgrade+120 load+120 ");
    EXPECT_EQ(p.pc.openHandleCount(), 0);  // the kept handle is closed again
    // The download (the simulated drive takes no time), the 2,000 ms settle wait and the
    // 1,100 ms pause.
    EXPECT_EQ(p.enabledAt - before, 3100u);
    p.dialog->OnUpgrade();  // the same file again, at once
    EXPECT_EQ(dvd.commits, 2);
}

namespace {

// Windows 10 with one drive of `product`, revision 1.00, at E: on an IDE channel (port 0).
sim::KorvaneDrive& win10Drive(sim::Machine& pc, const char* product) {
    sc::windows10(pc);
    sc::addAtaChannelPort(pc, 0, "pciide", "Standard Dual Channel PCI IDE Controller");
    return sc::addInternalDrive(pc, product, "1.00", 0, 0, 'E');
}

// Starts the dialog, loads an image of `row` and `size` at version 2.07 into the first drive and
// upgrades it, after `meanwhile`. Returns the I/O controls on E: from the upgrade on, one word each
// ("3B" for a pass-through request, "lock"), runs of the same word as one with a "*".
std::string upgrade(
    Program& p, const char* row, uint32_t size, const std::function<void()>& meanwhile = [] {}) {
    TempFolder folder;
    std::string error;
    const std::string path = folder.file("new.bin");
    EXPECT_TRUE(dw::tools::writeFile(path, referenceImage({row, size, "2.07"}), error));
    p.start();
    p.file = path;
    p.dialog->OnLoadFile();
    EXPECT_TRUE(p.enabled[dw::kIdUpgrade]) << row << " " << size << ": " << p.screen();
    meanwhile();
    const size_t before = p.pc.ioControls().size();
    p.dialog->OnUpgrade();
    std::string seen, last;
    for (size_t i = before; i < p.pc.ioControls().size(); ++i) {
        const std::string& c = p.pc.ioControls()[i];
        if (c.compare(0, 3, "E: ") != 0) continue;
        if (c.substr(3) == last) {
            if (seen.back() != '*') seen += "*";
            continue;
        }
        last = c.substr(3);
        seen += " " + last;
    }
    return seen;
}

}  // namespace

// Under pass-through each procedure runs with the drive held: the lock after the dispatcher's
// TEST UNIT READY and before the first command that carries firmware, the release after the
// version read-out. The field then shows what the drive reports, not the port driver's copy. A
// drive that another program holds, or whose volume a program keeps mounted, gets nothing that
// carries firmware, and the user is told to close that program. Where Windows has no exclusive
// access (XP) the upgrade goes on as it always did.
TEST(MainDialogUpgrade, eachUpgradeHoldsTheDriveAndADriveAnotherProgramUsesGetsNoFirmware) {
    const std::string read = " 00 03 12 unlock", ok = "0|0|2.07|Upgrade succesfull +++";
    const std::string inUse =
        "Upgrade failed! Another program is using the drive: close it and try again. +++";
    enum Meanwhile { Nothing, Held, Mounted };
    const struct {
        const char* row;
        uint32_t size;
        bool xp;
        Meanwhile meanwhile;
        std::string commands, screen;  // on E: from the dispatcher's TEST UNIT READY on
    } cases[] = {
        {"CD-ROM KV-62TW", 0x20000, false, Nothing, " 00 lock 00 03 3B*" + read, ok},
        {"CD-ROM KV-62TW", 0x40000, false, Nothing, " 00 lock 00 03 E1 E2*" + read, ok},
        // 12: the 6025's own test
        {"CD-R   KV-W6025A", 0x80000, false, Nothing, " 00 lock 01 03 00 3B* 12" + read, ok},
        {"DVDR   KV-829A", 0xF0000, false, Nothing, " 00 lock 01 03 3B*" + read, ok},
        {"DVDR   KV-825A", 0xFB000, false, Nothing, " 00 lock 01 03 3B*" + read, ok},
        {"DVDR   KV-829A", 0xF0000, true, Nothing, " 00 lock refused 1 01 03 3B* 00 03 12", ok},
        // Windows refuses even the version read-out to a program that does not hold the drive.
        {"DVDR   KV-829A", 0xF0000, false, Held,
         " 00 refused 5 lock refused 5 00 refused 5 03 refused 5 12 refused 5",
         "0|0|?.??|" + inUse},
        {"DVDR   KV-829A", 0xF0000, false, Mounted, " 00 lock refused 22 00 03 12",
         "0|0|1.00|" + inUse},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.row) + " " + std::to_string(c.size) + " case " +
                     std::to_string(&c - cases));
        Program p;
        if (c.xp) {
            sc::windowsXp(p.pc);
            sc::addPort(p.pc, 0, "atapi", sc::kHdcClass, "Primary IDE Channel");
        }
        sim::KorvaneDrive& drive =
            c.xp ? sc::addPortDrive(p.pc, c.row, "1.00", 0, 0, 'E') : win10Drive(p.pc, c.row);
        EXPECT_EQ(upgrade(p, c.row, c.size,
                          [&] {
                              p.pc.attachmentOf(drive)->lockedByOtherProgram = c.meanwhile == Held;
                              p.pc.attachmentOf(drive)->volumeInUse = c.meanwhile == Mounted;
                          }),
                  c.commands);
        EXPECT_EQ(p.screen(), c.screen);
        const uint8_t chunk = c.size == 0x40000 ? 0xE2 : 0x3B;  // what carries firmware
        EXPECT_EQ(drive.receivedWithOpcode(chunk).empty(), c.screen != ok);
        EXPECT_EQ(drive.commits, c.screen == ok ? 1 : 0);
        dw::InquiryStrings copy;
        p.state.transport->deviceMapInquiry(p.state.currentDevice, copy);
        EXPECT_EQ(std::string(copy.revision), "1.00");  // what the port driver still holds
        EXPECT_EQ(p.pc.openHandleCount(), 0);
    }
}
