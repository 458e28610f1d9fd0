// Discovery on each Windows family: the ASPI start and its registry scan, the pass-through scan
// with its drive letters and external drives, and the attachment classification.
#include "discovery/attachment_classification.h"
#include "discovery/external_drives.h"
#include "discovery/scans.h"
#include "discovery/aspi_start.h"
#include "sim/scenarios.h"
#include "test_support.h"

namespace sc = sim::scenarios;
using dw::BusKind;

// --- ASPI start ----------------------------------------------------------------------------

TEST(AspiStart, failuresLeaveNoTransportAndSayWhy) {
    struct Case {
        const char* name;
        bool install;
        std::vector<std::string> missing;
        uint8_t status;
        const char* error;
    } cases[] = {
        {"no library", false, {}, 1, "Unable to load wnaspi32.dll"},
        {"no SendASPI32Command", true, {"SendASPI32Command"}, 1, "Unable to initialise ASPI."},
        {"no GetASPI32SupportInfo",
         true,
         {"GetASPI32SupportInfo"},
         1,
         "Unable to initialise ASPI."},
        {"illegal mode", true, {}, 0xE2, "This Windows OS doesn't support ASPI for Win32!"},
        {"no helper",
         true,
         {},
         0xE3,
         "WNASPI32.DLL is unable to load its helper driver!\nUnder Windows 98/Me      : "
         "APIX.VXD\nUnder Windows NT/2000/XP : ASPI32.SYS"},
        {"failed init",
         true,
         {},
         0xE4,
         "General internal failure within ASPI.\nThis problem can occur if the system is "
         "unstable."},
        {"mismatch",
         true,
         {},
         0xE7,
         "The ASPI for Win32 components does not have the correct version number.\nPlease remove "
         "all ASPI components and reinstall the correct set of ASPI drivers."},
        {"no adapters", true, {}, 0xE8, "There are no adapters found on your system."},
        {"resources", true, {}, 0xE9, "System resources are too low to fully initialise ASPI."},
        {"other", true, {}, 0x42, "Unable to initialise ASPI"},
    };
    for (const auto& c : cases) {
        sim::Machine pc;
        sc::windows98(pc);
        pc.aspi().supportStatus = c.status;
        dw::ScsiTransport t(pc);
        if (!c.install) {
            sim::Machine bare;
            dw::ScsiTransport none(bare);
            EXPECT_EQ(dw::AspiStart(none), dw::TransportKind::None);
            EXPECT_EQ(none.lastError, c.error);
            continue;
        }
        if (!c.missing.empty()) {
            sim::Machine partial;
            partial.installAspi(c.missing);
            dw::ScsiTransport p(partial);
            EXPECT_EQ(dw::AspiStart(p), dw::TransportKind::None) << c.name;
            EXPECT_EQ(p.lastError, c.error) << c.name;
            EXPECT_EQ(partial.loadedLibraryCount(), 0) << c.name;
            EXPECT_EQ(p.aspiLibrary, 0u) << c.name;
            continue;
        }
        EXPECT_EQ(dw::AspiStart(t), dw::TransportKind::None) << c.name;
        EXPECT_EQ(t.lastError, c.error) << c.name;
        EXPECT_EQ(pc.loadedLibraryCount(), 0) << c.name;
        EXPECT_TRUE(t.adapters.empty()) << c.name;
    }
}

TEST(AspiStart, theSupportAnswerMakesTheAdapters) {
    for (int count : {0, 2}) {
        sim::Machine pc;
        sc::windows98(pc);
        pc.aspi().supportAdapterCount = count;
        dw::ScsiTransport t(pc);
        EXPECT_EQ(dw::AspiStart(t), dw::TransportKind::Aspi);
        ASSERT_EQ(t.adapters.size(), size_t(count));
        for (const auto& a : t.adapters) {
            EXPECT_EQ(a.buses.size(), 1u);
            EXPECT_TRUE(a.buses[0].empty());
            EXPECT_EQ(a.portNumber, -1);
        }
        EXPECT_EQ(pc.loadedLibraryCount(), 1);
    }
}

// --- the Windows 98 registry scan ----------------------------------------------------------

TEST(AspiScan, filesEachRegistryDriveUnderTheAdapterThatAnswersForIt) {
    sim::Machine pc;
    sc::windows98(pc);
    sc::addAspiAdapter(pc, "ESDI_506", "Standard Dual PCI IDE Controller Primary");
    sc::addAspiAdapter(pc, "ESDI_506", "Standard Dual PCI IDE Controller Secondary");
    // Two identical drives with the same target: matched to adapters 0 and 1 in that order.
    sc::addWindows98Drive(pc, "DVDR   KV-829A", "1.10", 0, 1, 'E');
    sc::addWindows98Drive(pc, "DVDR   KV-829A", "1.20", 1, 1, 'F', "MF&CHILD0001&PCI&VEN_8086");
    // Left out: no letter, a letter A: or B:, no target, no adapter answering.
    auto& noLetter = sc::addWindows98Drive(pc, "CD-R   KV-W6025A", "1.00", 0, 2, 'E');
    pc.setRegistryString(dw::Registry::kLocalMachine,
                         "Enum\\SCSI\\" + sc::deviceKeyName(noLetter) +
                             "\\MF&CHILD0000&PCI&VEN_8086",
                         "CurrentDriveLetterAssignment", "");
    sc::addWindows98Drive(pc, "CD-R   KV-W2321A", "1.00", 0, 3, 'A');
    pc.setRegistryString(dw::Registry::kDynData, "Config Manager\\Enum\\ZZ1", "HardWareKey",
                         "PCI\\VEN_8086&DEV_7111\\BUS_00");
    pc.setRegistryString(dw::Registry::kDynData, "Config Manager\\Enum\\ZZ2", "HardWareKey",
                         "SCSI\\NOSLASH");
    pc.setRegistryString(dw::Registry::kDynData, "Config Manager\\Enum\\ZZ3", "HardWareKey",
                         "SCSI\\KORVANE_GHOST\\X");
    pc.setRegistryString(dw::Registry::kLocalMachine, "Enum\\SCSI\\KORVANE_GHOST\\X",
                         "CurrentDriveLetterAssignment", "G");
    pc.setRegistryString(dw::Registry::kLocalMachine, "Enum\\SCSI\\KORVANE_GHOST\\X",
                         "SCSITargetID", "Z");

    dw::ScsiTransport t(pc);
    ASSERT_EQ(dw::AspiStart(t), dw::TransportKind::Aspi);
    ASSERT_EQ(t.adapters.size(), 2u);
    ASSERT_EQ(t.adapters[0].buses[0].size(), 1u);
    ASSERT_EQ(t.adapters[1].buses[0].size(), 1u);
    const auto& first = t.adapters[0].buses[0].at(0);
    const auto& second = t.adapters[1].buses[0].at(0);
    EXPECT_EQ(first.driveLetter, 4);
    EXPECT_EQ(first.targetId, 1);
    EXPECT_STREQ(first.revision, "1.10");
    EXPECT_EQ(second.driveLetter, 5);
    EXPECT_STREQ(second.revision, "1.20");
    EXPECT_EQ(t.adapters[0].busKind, BusKind::Atapi);  // "Primary" in the hdc description
    EXPECT_EQ(pc.openKeyCount(), 0);
}

TEST(SetupClassGuid, isStoredAsWindowsHoldsItAndWrittenBackInTextOrder) {
    // The first three groups little-endian, the last two byte by byte.
    const std::array<uint8_t, 16> bytes = {0x65, 0xE9, 0x36, 0x4D, 0x25, 0xE3, 0xCE, 0x11,
                                           0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18};
    for (const char* text :
         {"{4D36E965-E325-11CE-BFC1-08002BE10318}", "4d36e965-e325-11ce-bfc1-08002be10318"}) {
        dw::Guid guid;
        ASSERT_TRUE(dw::Guid::parse(text, guid)) << text;
        EXPECT_EQ(guid.bytes, bytes) << text;
        EXPECT_EQ(guid.text(), "{4D36E965-E325-11CE-BFC1-08002BE10318}");
    }
    dw::Guid ignored;
    for (const char* bad :
         {"{4D36E965-E325-11CE-BFC1-08002BE1031G}", "4D36E965E32511CEBFC108002BE10318",
          "{4D36E965-E325-11CE-BFC1-08002BE1031}"}) {
        EXPECT_FALSE(dw::Guid::parse(bad, ignored)) << bad;
    }
}

TEST(AspiScan, targetIdsAboveNineAreHexadecimalLetters) {
    struct Case {
        int target;
        const char* text;
    } cases[] = {{10, "A"}, {12, "c"}, {15, "F"}};
    for (const auto& c : cases) {
        sim::Machine pc;
        sc::windows98(pc);
        sc::addAspiAdapter(pc, "ESDI_506", "Standard Dual PCI IDE Controller Primary");
        auto& drive = sc::addWindows98Drive(pc, "DVDR   KV-829A", "1.10", 0, c.target, 'E');
        pc.setRegistryString(dw::Registry::kLocalMachine,
                             "Enum\\SCSI\\" + sc::deviceKeyName(drive) +
                                 "\\MF&CHILD0000&PCI&VEN_8086",
                             "SCSITargetID", c.text);
        dw::ScsiTransport t(pc);
        ASSERT_EQ(dw::AspiStart(t), dw::TransportKind::Aspi);
        ASSERT_EQ(t.adapters[0].buses[0].size(), 1u) << c.text;
        EXPECT_EQ(t.adapters[0].buses[0].at(0).targetId, c.target) << c.text;
    }
}

TEST(AspiScan, aUsbBridgeMarksTheDriveAndItsAdapter) {
    sim::Machine pc;
    sc::windows98(pc);
    sc::addAspiAdapter(pc, "NECUSBSTOR", "USB storage");
    sc::addWindows98Drive(pc, "DVDR   KV-829A", "1.10", 0, 0, 'G', "NECUSB00&CHILD&REV_0100");
    dw::ScsiTransport t(pc);
    ASSERT_EQ(dw::AspiStart(t), dw::TransportKind::Aspi);
    ASSERT_EQ(t.adapters[0].buses[0].size(), 1u);
    EXPECT_EQ(t.adapters[0].buses[0].at(0).busKind, BusKind::Usb);
    EXPECT_EQ(t.adapters[0].busKind, BusKind::Usb);  // and not classified again
}

TEST(CheckUsbBridge, followsTheInstanceKeyNameIntoTheRegistry) {
    struct Case {
        const char* instance;
        const char* keyPath;  // under HKLM\Enum, or null
        const char* value;
        const char* text;
        bool usb;
    } cases[] = {
        {"NOAMPERSAND", nullptr, nullptr, nullptr, false},
        {"NECUSB&NOTHING", nullptr, nullptr, nullptr, true},
        {"PCI&NOTHING", nullptr, nullptr, nullptr, false},
        // D: "REV" and five characters after it; E: from the ninth after "REV", less two.
        {"PCI&VEN_1&REV_01&BUS_00&DEV_07", "PCI\\VEN_1&REV_01&B\\S_00&DEV_", "DeviceDesc",
         "Generic USB bridge", true},
        {"PCI&VEN_1&REV_01&BUS_00&DEV_07", "PCI\\VEN_1&REV_01&B\\S_00&DEV_", "CompatibleIDs",
         "PCI\\TPPIOSTB", true},
        {"PCI&VEN_1&REV_01&BUS_00&DEV_07", "PCI\\VEN_1&REV_01&B\\S_00&DEV_", "DeviceDesc",
         "IDE channel", false},
        {"PCI&REV", "PCI\\REV\\", "DeviceDesc", "USB", true},  // cuts past the end stay inside
        {"&REV_01", "\\REV_01\\", "DeviceDesc", "USB", true},
    };
    for (const auto& c : cases) {
        sim::Machine pc;
        if (c.keyPath != nullptr) {
            pc.setRegistryString(dw::Registry::kLocalMachine, std::string("Enum\\") + c.keyPath,
                                 c.value, c.text);
        }
        dw::DeviceEntry e;
        dw::CheckUsbBridge(pc, "KORVANE_DVDR", c.instance, e);
        EXPECT_EQ(e.busKind == BusKind::Usb, c.usb) << c.instance;
        EXPECT_EQ(pc.openKeyCount(), 0) << c.instance;
    }
}

// --- classification ------------------------------------------------------------------------

namespace {

// A pass-through transport with one adapter at port 0 whose driver is `service`.
struct ClassifyPc {
    sim::Machine pc;
    dw::ScsiTransport t{pc};
    explicit ClassifyPc(const std::string& service) {
        pc.addPort(0);
        pc.setRegistryString(dw::Registry::kLocalMachine, "HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port 0",
                             "Driver", service);
        t.kind = dw::TransportKind::PassThrough;
        dw::HostAdapter a;
        a.portNumber = 0;
        a.deviceName = dw::scsiPortDeviceName(0);
        a.buses.resize(2);
        a.buses[0].append(dw::DeviceEntry{});
        a.buses[1].append(dw::DeviceEntry{});
        t.adapters.push_back(a);
    }
    sim::Machine::SetupDevice& device(const char* cls, const std::string& service,
                                      const std::string& driver, const std::string& desc) {
        auto& d = pc.addSetupDevice(cls, "PCI\\DEV_" + service);
        d.service = service;
        d.driver = driver;
        d.description = desc;
        return d;
    }
};

}  // namespace

TEST(ClassifyAdapter, windowsNt4LooksAtTheDriverNameAlone) {
    struct Case {
        const char* driver;
        bool portOpens;
        BusKind kind;
    } cases[] = {{"atapi", true, BusKind::Atapi},
                 {"Esdi_506", true, BusKind::Atapi},
                 {"aic78xx", true, BusKind::Scsi},
                 {"pciata", true, BusKind::Atapi},
                 {"atapi", false, BusKind::Atapi}};
    for (const auto& c : cases) {
        ClassifyPc x(c.driver);
        sc::windowsNt4(x.pc);
        EXPECT_EQ(dw::ClassifyAdapter(x.t, 0), c.kind) << c.driver;
        EXPECT_EQ(x.t.adapters[0].buses[1].at(0).busKind, c.kind) << c.driver;
    }
    // A failing inquiry: the adapter does not exist for the transport.
    sim::Machine pc;
    sc::windowsNt4(pc);
    dw::ScsiTransport none(pc);
    EXPECT_EQ(dw::ClassifyAdapter(none, 0), BusKind::Scsi);
}

TEST(ClassifyAdapter, windows2000SearchesTheFourSetupClassesInOrder) {
    ClassifyPc usb("usbstor");
    sc::windowsXp(usb.pc);
    usb.device(sc::kUsbClass, "usbstor", "{usb}\\0001", "USB Mass Storage Device");
    EXPECT_EQ(dw::ClassifyAdapter(usb.t, 0), BusKind::Usb);

    ClassifyPc scsiFirst("usbstor");
    sc::windowsXp(scsiFirst.pc);
    scsiFirst.device(sc::kUsbClass, "usbstor", "{usb}\\0001", "USB Mass Storage Device");
    scsiFirst.device(sc::kScsiAdapterClass, "usbstor2", "{scsi}\\0000", "Bridge");
    EXPECT_EQ(dw::ClassifyAdapter(scsiFirst.t, 0), BusKind::Scsi);

    ClassifyPc ide("atapi");
    sc::windowsXp(ide.pc);
    ide.device(sc::kHdcClass, "atapi", "{4d36e96a}\\0001", "Primary IDE Channel");
    ide.pc.setRegistryString(dw::Registry::kLocalMachine,
                             "SYSTEM\\CurrentControlSet\\Enum\\PCIIDE\\IDEChannel\\4&1", "Driver",
                             "{4D36E96A}\\0001");
    EXPECT_EQ(dw::ClassifyAdapter(ide.t, 0), BusKind::Atapi);

    ClassifyPc sata("iastor");
    sc::windowsXp(sata.pc);
    sata.device(sc::kHdcClass, "iastor", "{4d36e96a}\\0005", "Intel Serial ATA Controller");
    EXPECT_EQ(dw::ClassifyAdapter(sata.t, 0), BusKind::SerialAta);

    ClassifyPc ata("viaide");
    sc::windowsXp(ata.pc);
    ata.device(sc::kHdcClass, "viaide", "{4d36e96a}\\0006", "VIA Bus Master IDE Controller");
    EXPECT_EQ(dw::ClassifyAdapter(ata.t, 0), BusKind::Ata);

    ClassifyPc none("raidport");
    sc::windowsXp(none.pc);
    none.device(sc::kHdcClass, "atapi", "x", "Primary IDE Channel");
    EXPECT_EQ(dw::ClassifyAdapter(none.t, 0), BusKind::Remove);
    EXPECT_EQ(none.t.adapters[0].busKind, BusKind::Remove);

    ClassifyPc noSetupApi("atapi");
    sc::windowsXp(noSetupApi.pc);
    noSetupApi.pc.setupApiMissing = true;
    EXPECT_EQ(dw::ClassifyAdapter(noSetupApi.t, 0), BusKind::Atapi);
    EXPECT_EQ(noSetupApi.pc.openDeviceSets(), 0);
}

TEST(ClassifyAdapter, everyNtFromWindows2000OnSearchesTheSetupClasses) {
    // A USB storage port: only the setup classes tell it from a SCSI card.
    struct Case {
        uint32_t major, minor;
        BusKind kind;
    } cases[] = {{5, 0, BusKind::Usb},  {5, 1, BusKind::Usb},  {5, 2, BusKind::Usb},
                 {6, 0, BusKind::Usb},  {6, 1, BusKind::Usb},  {6, 3, BusKind::Usb},
                 {10, 0, BusKind::Usb}, {4, 0, BusKind::Scsi}, {3, 51, BusKind::Scsi}};
    for (const auto& c : cases) {
        ClassifyPc x("usbstor");
        x.pc.setVersion(dw::Versions::kPlatformNt, c.major, c.minor);
        x.device(sc::kUsbClass, "usbstor", "{usb}\\0001", "USB Mass Storage Device");
        EXPECT_EQ(dw::ClassifyAdapter(x.t, 0), c.kind) << c.major << "." << c.minor;
    }
}

TEST(ClassifyAdapter, windows98ReadsTheClassKeys) {
    struct Case {
        const char* key;
        const char* desc;
        uint32_t codePage;
        BusKind kind;
    } cases[] = {
        {"hdc", "Standard Dual PCI IDE Controller PRIMARY", 1252, BusKind::Atapi},
        {"hdc", "\x83\x76\x83\x89\x83\x43\x83\x7D\x83\x8A IDE", 932, BusKind::Atapi},
        {"hdc", "\x83\x5A\x83\x4A\x83\x93\x83\x5F\x83\x8A", 932, BusKind::Atapi},
        {"hdc", "VIA Bus Master IDE Controller", 1252, BusKind::Ata},
        {"hdc", "Silicon Image Serial ATA", 1252, BusKind::SerialAta},
        {"SCSIAdapter", "Adaptec AHA-2940", 1252, BusKind::Scsi},
        {"SCSIAdapter", "Promise Serial ATA", 1252, BusKind::SerialAta},
        {"Storage", "IEEE 1394 SBP2 Device", 1252, BusKind::Ieee1394},
        {"Storage", "Ieee storage", 1252, BusKind::Atapi},  // the test is case-sensitive
    };
    for (const auto& c : cases) {
        sim::Machine pc;
        sc::windows98(pc);
        pc.ansiCodePage = c.codePage;
        sim::AspiAdapter adapter;
        adapter.adapterId = "MYDRV";
        pc.aspi().adapters.push_back(adapter);
        const std::string key =
            std::string("System\\CurrentControlSet\\Services\\Class\\") + c.key + "\\0000";
        pc.setRegistryString(dw::Registry::kLocalMachine, key, "PortDriver", "mydrv.mpd");
        pc.setRegistryString(dw::Registry::kLocalMachine, key, "DriverDesc", c.desc);
        dw::ScsiTransport t(pc);
        ASSERT_EQ(dw::AspiStart(t), dw::TransportKind::Aspi);
        EXPECT_EQ(t.adapters[0].busKind, c.kind) << c.key << ": " << c.desc;
        EXPECT_EQ(pc.openKeyCount(), 0);
    }
}

// --- the pass-through scan -----------------------------------------------------------------

TEST(PassThroughScan, filesPortDevicesAndLettersAndStopsAtTheFirstMissingPort) {
    sim::Machine pc;
    sc::windowsXp(pc);
    sc::addPort(pc, 0, "atapi", sc::kHdcClass, "Primary IDE Channel");
    sc::addPort(pc, 1, "atapi", sc::kHdcClass, "Secondary IDE Channel");
    pc.addPort(3);  // after the gap: never opened
    sc::addPortDrive(pc, "DVDR   KV-829A", "1.10", 1, 1, 'E');
    auto& disk = pc.addDrive("HARDDISK", "0001", "MAXTOR");  // no letter of its own
    disk.deviceType = 0;
    pc.attach(disk, 0, 0, 0, 0, -1);
    pc.setDriveType(2, dw::DriveTypes::kFixed);

    dw::ScsiTransport t(pc);
    ASSERT_EQ(dw::PassThroughScan(t), dw::TransportKind::PassThrough);
    EXPECT_FALSE(pc.wasOpened("\\\\.\\SCSI3:"));
    ASSERT_EQ(t.adapters.size(), 2u);
    EXPECT_EQ(t.adapters[1].portNumber, 1);
    EXPECT_EQ(t.adapters[1].deviceName, "\\\\.\\SCSI1:");
    const auto& cd = t.adapters[1].buses[0].at(0);
    EXPECT_EQ(cd.hostAdapter, 1);
    EXPECT_EQ(cd.targetId, 1);
    EXPECT_EQ(cd.driveLetter, 4);
    EXPECT_STREQ(cd.product, "DVDR   KV-829A  ");
    const auto& hd = t.adapters[0].buses[0].at(0);
    EXPECT_EQ(hd.driveLetter, 2);  // the first letter from C: that is no CD-ROM letter
    EXPECT_STREQ(hd.vendor, "MAXTOR  ");
    EXPECT_EQ(t.letterIsCdrom[4], 1);
    EXPECT_EQ(t.letterIsCdrom[2], 1);
    EXPECT_EQ(pc.openHandleCount(), 0);
}

TEST(PassThroughScan, controlCharactersInThePortCopyAreReadAgainThroughTheLetter) {
    sim::Machine pc;
    sc::windowsXp(pc);
    sc::addPort(pc, 0, "atapi", sc::kHdcClass, "Primary IDE Channel");
    auto& drive = sc::addPortDrive(pc, "DVDR   KV-825A", "1.00", 0, 0, 'E');
    // The port driver cached a garbled vendor at boot.
    auto cached = drive.inquiryData();
    cached[9] = 0x07;
    pc.attachmentOf(drive)->cachedInquiry = std::vector<uint8_t>(cached.begin(), cached.end());
    dw::ScsiTransport t(pc);
    ASSERT_EQ(dw::PassThroughScan(t), dw::TransportKind::PassThrough);
    EXPECT_EQ(t.letterInquiry[4], 1);
    EXPECT_STREQ(t.adapters[0].buses[0].at(0).vendor, "KORVANE ");
}

TEST(PassThroughScan, anUnclassifiedPortIsDroppedAndTheOthersKeepTheirDevices) {
    sim::Machine pc;
    sc::windowsXp(pc);
    sc::addPort(pc, 0, "atapi", sc::kHdcClass, "Primary IDE Channel");
    sc::addPort(pc, 1, "raidport", "{00000000-0000-0000-0000-000000000000}", "RAID");
    sc::addPort(pc, 2, "atapi2", sc::kHdcClass, "Secondary IDE Channel");
    sc::addPortDrive(pc, "DVDR   KV-829A", "1.10", 2, 0, 'F');
    sc::addUsbDrive(pc, "DVDR   KV-825A", "2.00", 'H');

    dw::ScsiTransport t(pc);
    ASSERT_EQ(dw::PassThroughScan(t), dw::TransportKind::PassThrough);
    ASSERT_EQ(t.adapters.size(), 3u);  // ports 0 and 2, then the USB drive's adapter
    EXPECT_EQ(t.adapters[1].portNumber, 2);
    const auto& moved = t.adapters[1].buses[0].at(0);
    EXPECT_EQ(moved.hostAdapter, 2);  // the port number, which the user is shown
    dw::DeviceEntry copy = moved;
    dw::InquiryStrings s;
    EXPECT_EQ(t.inquiry(copy, s) & 0xFF, 1);  // the device map still finds it at port 2
    EXPECT_STREQ(s.revision, "1.10");

    const auto& usb = t.adapters[2];
    EXPECT_EQ(usb.busKind, BusKind::Usb);
    EXPECT_EQ(usb.portNumber, -1);
    ASSERT_EQ(usb.buses.size(), 1u);
    const auto& external = usb.buses[0].at(0);
    EXPECT_EQ(external.hostAdapter, 3);  // numbered behind every port
    EXPECT_EQ(t.adapterOf(external), &usb);
    EXPECT_EQ(external.driveLetter, 7);
    EXPECT_EQ(external.busKind, BusKind::Usb);
    EXPECT_STREQ(external.product, "DVDR   KV-825A  ");
    EXPECT_NE(std::string(external.deviceText).find("USBSTOR#CDROM"), std::string::npos);
    EXPECT_EQ(t.letterIsCdrom[7], 1);
    EXPECT_GE(pc.reenumerations, 1);
}

TEST(PassThroughScan, aMachineWithoutDrivesHasNoTransport) {
    sim::Machine pc;
    sc::windowsXp(pc);
    sc::addPort(pc, 0, "atapi", sc::kHdcClass, "Primary IDE Channel");
    dw::ScsiTransport t(pc);
    EXPECT_EQ(dw::PassThroughScan(t), dw::TransportKind::None);
    EXPECT_TRUE(t.adapters.empty());
}

TEST(FindExternalDriveLetters, onlyLettersWhosePathNamesACollectedChild) {
    sim::Machine pc;
    sc::windowsXp(pc);
    sc::addUsbDrive(pc, "DVDR   KV-825A", "2.00", 'E');
    sc::addUsbDrive(pc, "DVDR   KV-829A", "2.00", 'G');
    pc.setDriveType(3, dw::DriveTypes::kCdrom);  // D: an ATAPI drive, no mount value of USB
    pc.setRegistryValue(dw::Registry::kLocalMachine, "System\\MountedDevices",
                        "\\DosDevices\\I:", dw::Registry::kTypeBinary,
                        {'\\', 0, '?', 0});  // a short value
    pc.setDriveType(8, dw::DriveTypes::kCdrom);
    dw::ScsiTransport t(pc);
    EXPECT_EQ(dw::FindExternalDriveLetters(t), 2u);
    ASSERT_EQ(t.adapters.size(), 2u);
    EXPECT_EQ(t.adapters[0].buses[0].at(0).driveLetter, 4);
    EXPECT_EQ(t.adapters[1].buses[0].at(0).driveLetter, 6);
    EXPECT_EQ(t.adapters[1].buses[0].at(0).hostAdapter, 1);
}

// --- Windows 7 and 10 ----------------------------------------------------------------------

TEST(PassThroughScan, windows7And10ClassifyTheirStorageStacksAsXpIsClassified) {
    struct Case {
        const char* name;
        void (*system)(sim::Machine&);
        BusKind sataPort;  // before the start-up probe
    } cases[] = {
        // Windows 7 runs AHCI through msahci, whose channels are ATA channels like IDE's.
        {"Windows 7", sc::windows7, BusKind::Atapi},
        {"Windows 10", sc::windows10, BusKind::SerialAta},
    };
    for (const auto& c : cases) {
        sim::Machine pc;
        c.system(pc);
        sc::addAtaChannelPort(pc, 0, "pciide", "Standard Dual Channel PCI IDE Controller");
        if (c.system == sc::windows7) {
            sc::addAtaChannelPort(pc, 1, "msahci", "Standard AHCI 1.0 Serial ATA Controller");
        } else {
            sc::addStorahciPort(pc, 1);
        }
        pc.addPort(2);  // a RAID card no setup class names: dropped
        pc.setRegistryString(dw::Registry::kLocalMachine, "HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port 2",
                             "Driver", "raidport");
        sc::addInternalDrive(pc, "DVDR   KV-829A", "1.10", 0, 0, 'E');
        sc::addInternalDrive(pc, "DVDR   KV-825A", "1.20", 1, 0, 'F');
        sc::addUsbDrive(pc, "CD-R   KV-S37T", "1.00", 'H');
        sc::addIeee1394Drive(pc, "DVDR   KV-829AL", "1.00", 'I');

        dw::ScsiTransport t(pc);
        ASSERT_EQ(dw::PassThroughScan(t), dw::TransportKind::PassThrough) << c.name;
        ASSERT_EQ(t.adapters.size(), 4u) << c.name;
        struct Seen {
            BusKind kind;
            int letter;
            const char* product;
        } seen[] = {{BusKind::Atapi, 4, "DVDR   KV-829A  "},
                    {c.sataPort, 5, "DVDR   KV-825A  "},
                    {BusKind::Usb, 7, "CD-R   KV-S37T  "},
                    {BusKind::Ieee1394, 8, "DVDR   KV-829AL "}};
        for (size_t i = 0; i < 4; ++i) {
            ASSERT_EQ(t.adapters[i].buses.size(), 1u) << c.name << " adapter " << i;
            const auto& e = t.adapters[i].buses[0].at(0);
            EXPECT_EQ(t.adapters[i].busKind, seen[i].kind) << c.name << " adapter " << i;
            EXPECT_EQ(e.busKind, seen[i].kind) << c.name << " adapter " << i;
            EXPECT_EQ(e.driveLetter, seen[i].letter) << c.name << " adapter " << i;
            EXPECT_STREQ(e.product, seen[i].product) << c.name << " adapter " << i;
        }
        EXPECT_EQ(pc.openHandleCount(), 0) << c.name;
        EXPECT_EQ(pc.openKeyCount(), 0) << c.name;
    }
}

TEST(PassThroughScan, countsTheOpensTheSystemRefused) {
    struct Case {
        const char* name;
        bool portThere;
        uint32_t portError;    // 0: the port opens
        uint32_t letterError;  // for the CD-ROM letter E:; 0: it opens
        int denied, other;
        bool allDenied;
    } cases[] = {
        {"ports and letters refused", true, dw::winerr::kAccessDenied, dw::winerr::kAccessDenied, 2,
         0, true},
        // The open after the last port fails for want of a port, not of rights.
        {"no port at all", false, 0, dw::winerr::kAccessDenied, 1, 0, true},
        {"the letter opens", true, dw::winerr::kAccessDenied, 0, 1, 1, false},
        {"another failure", true, dw::winerr::kAccessDenied, dw::winerr::kInvalidParameter, 1, 1,
         false},
        {"nothing refused", true, 0, 0, 0, 2, false},
    };
    for (const auto& c : cases) {
        sim::Machine pc;
        sc::windows10(pc);
        if (c.portThere) sc::addStorahciPort(pc, 0);
        sc::addInternalDrive(pc, "DVDR   KV-829A", "1.10", c.portThere ? 0 : 5, 0, 'E');
        if (c.portError != 0) pc.failOpen("\\\\.\\SCSI0:", c.portError);
        if (c.letterError != 0) pc.failOpen("\\\\.\\E:", c.letterError);
        dw::ScsiTransport t(pc);
        dw::DeviceOpens opens;
        dw::PassThroughScan(t, &opens);
        EXPECT_EQ(opens.denied, c.denied) << c.name;
        EXPECT_EQ(opens.other, c.other) << c.name;
        EXPECT_EQ(opens.allDenied(), c.allDenied) << c.name;
    }
}
