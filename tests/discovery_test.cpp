// Discovery on each Windows family: the ASPI start and its registry scan, the pass-through scan
// with its drive letters and external drives, and the attachment classification.
#include <array>
#include <tuple>

#include "discovery/aspi_start.h"
#include "discovery/attachment_classification.h"
#include "discovery/external_drives.h"
#include "discovery/scans.h"
#include "platform/no_windows.h"
#include "sim/scenarios.h"
#include "test_support.h"

namespace sc = sim::scenarios;
using dw::BusKind;
using dw::Registry;
using dw::TransportKind;
using testing_support::AspiPc;
using testing_support::busName;

namespace {

std::string trimmed(std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

// The adapter tree, one line per adapter, as the drive list is made from it: the adapter's bus
// kind, then per entry its host adapter and target, letter and identification, and its
// own bus kind where that differs from the adapter's.
std::string tree(const dw::ScsiTransport& t) {
    std::string out;
    for (const auto& a : t.adapters) {
        out += busName(a.busKind);
        for (const auto& bus : a.buses) {
            for (const auto& e : bus) {
                out += " | " + std::to_string(e.hostAdapter) + "/" + std::to_string(e.targetId) +
                       " " + char('A' + e.driveLetter) + ": " + trimmed(e.vendor) + " " +
                       trimmed(e.product) + " " + e.revision;
                if (e.busKind != a.busKind) out += " " + busName(e.busKind);
            }
        }
        out += "\n";
    }
    return out;
}

void setText(sim::Machine& pc, const std::vector<sc::RegistryText>& values) {
    for (const auto& v : values) pc.setRegistryString(v.root, v.key, v.name, v.value);
}

}  // namespace

TEST(AspiStart, startsTheLayerWithItsAdaptersOrSaysWhyNot) {
    // An entry point the library lacks (null: there is no library), the support status, the
    // adapters it answers and the first line of the error (null: started).
    const std::tuple<const char*, uint8_t, int, const char*> cases[] = {
        {nullptr, 1, 0, "Unable to load wnaspi32.dll"},
        {"SendASPI32Command", 1, 0, "Unable to initialise ASPI."},
        {"", 0xE2, 0, "This Windows OS doesn't support ASPI for Win32!"},
        {"", 0xE3, 0, "WNASPI32.DLL is unable to load its helper driver!"},
        {"", 0xE4, 0, "General internal failure within ASPI."},
        {"", 0xE7, 0, "The ASPI for Win32 components does not have the correct version number."},
        {"", 0xE8, 0, "There are no adapters found on your system."},
        {"", 0xE9, 0, "System resources are too low to fully initialise ASPI."},
        {"", 0x42, 0, "Unable to initialise ASPI"},
        {"", 1, 2, nullptr},
    };
    for (const auto& [missing, status, adapters, error] : cases) {
        const std::string name = std::to_string(status) + (missing ? missing : "no library");
        sim::Machine pc;
        if (missing) pc.installAspi(std::vector<std::string>(*missing ? 1 : 0, missing));
        pc.aspi().supportStatus = status;
        pc.aspi().supportAdapterCount = adapters;
        dw::ScsiTransport t(pc);
        const bool started = error == nullptr;
        EXPECT_EQ(dw::AspiStart(t), started ? TransportKind::Aspi : TransportKind::None) << name;
        EXPECT_EQ(t.lastError.substr(0, t.lastError.find('\n')), started ? "" : error) << name;
        EXPECT_EQ(pc.loadedLibraryCount(), started ? 1 : 0) << name;
        EXPECT_EQ(t.aspiLibrary != 0 && t.sendCommand && t.supportInfo, started) << name;
        ASSERT_EQ(t.adapters.size(), size_t(adapters)) << name;
        for (const auto& a : t.adapters) EXPECT_EQ(a.buses.size(), 1u) << name;
        EXPECT_FALSE(t.hasUsbOr1394Adapter()) << name;
        t.stop();
        t.stop();  // frees only what it loaded, once
        EXPECT_EQ(pc.loadedLibraryCount() + pc.strayLibraryFrees, 0) << name;
    }
}

TEST(AspiStart, filesTheRegistryDrivesUnderTheAdaptersAnsweringForThemAndClassifiesThose) {
    sim::Machine pc;
    sc::windows98(pc);
    pc.ansiCodePage = 932;
    // Another driver's keys come first in every class, and would each give another answer.
    for (const char* other : {"SCSIAdapter", "hdc", "Storage"}) {
        setText(pc, sc::windows98AdapterValues(other, "0000", "other.mpd", "IEEE 1394 ATA"));
    }
    // Adapter ID, class key, its description, and its MatchingDeviceId.
    const std::tuple<const char*, const char*, const char*, const char*> adapters[] = {
        {"ESDI_506", "hdc", "Standard Dual PCI IDE Controller PRIMARY", nullptr},
        {"VIAIDE", "hdc", "VIA Bus Master IDE Controller", nullptr},
        {"NECUSBSTOR", "hdc", "USB storage", nullptr},  // a USB bridge's: not classified again
        {"KATA1", "hdc", "\x83\x76\x83\x89\x83\x43\x83\x7D\x83\x8A IDE", nullptr},  // "primary"
        {"KATA2", "hdc", "\x83\x5A\x83\x4A\x83\x93\x83\x5F\x83\x8A ATA", nullptr},  // secondary
        {"SIL", "hdc", "Silicon Image Serial ATA", nullptr},
        {"BUSMASTER", "hdc", "Bus master controller", "PCI\\SATA_CTRL"},
        {"AHA", "SCSIAdapter", "Adaptec AHA-2940", nullptr},
        {"PROMISE", "SCSIAdapter", "Promise Serial ATA", nullptr},
        {"SBP2", "Storage", "IEEE 1394 SBP2 Device", nullptr},
        {"LOWIEEE", "Storage", "Ieee storage", nullptr},  // the test is case-sensitive
    };
    int n = 10;
    for (const auto& [id, cls, desc, matching] : adapters) {
        pc.aspi().adapters.emplace_back().adapterId = id;
        auto texts = sc::windows98AdapterValues(cls, "00" + std::to_string(++n),
                                                std::string(id) + ".mpd", desc);
        if (matching) texts.push_back({texts[0].root, texts[0].key, "MatchingDeviceId", matching});
        setText(pc, texts);
    }
    // Product, adapter (-1: none), target, letter and target text; on adapter 2 behind the bridge.
    const std::tuple<const char*, int, int, char, const char*> drives[] = {
        {"DVDR   KV-829A", 0, 1, 'E', "1"},
        {"DVDR   KV-829A", 1, 1, 'F', "1"},  // the same model at the same target: the next adapter
        {"CD-R   KV-W6025A", 0, 12, 'g', "c"},
        {"CD-R   KV-W6025A", 0, 15, 'C', "F"},
        {"CD-R   KV-S37T", 2, 0, 'I', "0"},
        // Left out: no letter, B:, a target that is no hex digit, no adapter answering.
        {"CD-R   KV-W2321A", 0, 2, '\0', "2"},
        {"CD-R   KV-W2321A", 0, 4, 'B', "4"},
        {"CD-R   KV-W2321A", 0, 16, 'J', "G"},
        {"CD-R   KV-W2321A", -1, 7, 'L', "7"},
    };
    for (const auto& [product, adapter, target, letter, targetText] : drives) {
        auto& drive = pc.addDrive(product, "1.00");
        if (adapter >= 0) pc.aspi().attach(drive, adapter, target);
        const std::string instance = adapter == 2 ? "NECUSB00&CHILD&REV_0100" : "MF&CHILD&PCI&";
        const std::string i = std::to_string(++n);
        setText(pc, sc::windows98DriveValues("C" + i, sc::deviceKeyName(drive), instance + i,
                                             letter, targetText));
    }
    pc.setRegistryString(Registry::kDynData, "Config Manager\\Enum\\Z", "HardWareKey", "SCSI\\X");

    dw::ScsiTransport t(pc);
    ASSERT_EQ(dw::AspiStart(t), TransportKind::Aspi);
    // Outside the tree nothing is found, stored or classified.
    for (int outside : {-1, 11, 1000}) EXPECT_EQ(t.adapterOf(AspiPc::entry(outside, 1)), nullptr);
    const auto stray = AspiPc::entry(0, 9);
    t.storeDevice(stray, 1, 0);
    t.storeDevice(stray, 0, 3);
    dw::ClassifyAdapter(t, 11);
    EXPECT_EQ(tree(t),
              "ATAPI | 0/1 E: KORVANE DVDR   KV-829A 1.00 | 0/12 G: KORVANE CD-R   KV-W6025A 1.00"
              " | 0/15 C: KORVANE CD-R   KV-W6025A 1.00\n"
              "ATA | 1/1 F: KORVANE DVDR   KV-829A 1.00\n"
              "USB | 2/0 I: KORVANE CD-R   KV-S37T 1.00\n"
              "ATAPI\nATAPI\nSATA\nSATA\nSCSI\nSATA\n1394\nATAPI\n");
    EXPECT_EQ(pc.openKeyCount(), 0);
    t.stop();  // releases the library and empties the tree
    EXPECT_EQ(pc.loadedLibraryCount() + t.adapters.size() + (t.sendCommand != nullptr), 0u);
}

TEST(CheckUsbBridge, followsTheInstanceKeyNameIntoTheRegistry) {
    // D: "REV" and five characters after it; E: from the ninth after "REV", less two.
    const char *kRev = "PCI&VEN_1&REV_01&BUS_00&DEV_07", *kKey = "PCI\\VEN_1&REV_01&B\\S_00&DEV_";
    // The instance key name, and a value under HKLM\Enum\<key>.
    const std::tuple<const char*, const char*, const char*, const char*, bool> cases[] = {
        {"NOAMPERSAND", "NOAMPERSAND", "DeviceDesc", "USB", false},
        {"NECUSB&NOTHING", "X", "DeviceDesc", "IDE", true},
        {kRev, kKey, "DeviceDesc", "Generic USB bridge", true},
        {kRev, kKey, "CompatibleIDs", "PCI\\TPPIOSTB", true},
        {kRev, kKey, "DeviceDesc", "IDE channel", false},
        {"PCI&REV", "PCI\\REV\\", "DeviceDesc", "USB", true},  // cuts past the end stay inside
        {"&REV_01", "\\REV_01\\", "DeviceDesc", "USB", true},
    };
    for (const auto& [instance, key, name, text, usb] : cases) {
        sim::Machine pc;
        pc.setRegistryString(Registry::kLocalMachine, std::string("Enum\\") + key, name, text);
        dw::DeviceEntry e;
        dw::CheckUsbBridge(pc, "KORVANE_DVDR", instance, e);
        EXPECT_EQ(e.busKind == BusKind::Usb, usb) << instance;
        EXPECT_EQ(pc.openKeyCount(), 0) << instance;
    }
}

TEST(PassThroughScan, filesClassifiedPortsThenExternalDrivesOnEveryNtVersion) {
    const std::string kinds10 = "ATAPI ATA SATA USB SCSI 1394 SATA USB 1394 ";
    // The version, whether the setup API is there, and the bus kinds of the adapters in order:
    // NT 4.0 goes by the drivers' names, 2000 on by the setup classes, dropping ports none runs.
    const std::tuple<uint32_t, uint32_t, bool, std::string> cases[] = {
        {10, 0, true, kinds10},
        {5, 1, true, kinds10},
        {4, 0, true, "ATAPI SCSI SCSI SCSI SCSI SCSI SCSI SCSI ATAPI ATAPI USB 1394 "},
        {5, 1, false, "ATAPI ATAPI ATAPI ATAPI ATAPI ATAPI ATAPI ATAPI ATAPI ATAPI "},
    };
    for (const auto& [major, minor, setupApi, kinds] : cases) {
        sim::Machine pc;
        pc.setVersion(dw::Versions::kPlatformNt, major, minor);
        pc.refusesExtendedVersion = major < 5;
        pc.setupApiMissing = !setupApi;
        sc::addAtaChannelPort(pc, 0, "pciide", "Standard Dual Channel PCI IDE Controller");
        sc::addPort(pc, 1, "raidport", sc::kSbp2Class, "RAID");  // a class of no interest
        sc::addPort(pc, 2, "viaide", sc::kHdcClass, "VIA Bus Master IDE Controller");
        sc::addStorahciPort(pc, 3);
        sc::addPort(pc, 4, "usbstor", sc::kUsbClass, "USB Mass Storage Device");
        sc::addPort(pc, 5, "bridge", sc::kScsiAdapterClass, "Bridge");
        auto& usb = pc.addSetupDevice(sc::kUsbClass, "USB\\BRIDGE");  // SCSI is searched first
        std::tie(usb.service, usb.driver, usb.description) = std::tuple("bridge", "x", "USB");
        sc::addPort(pc, 6, "sbp2port", sc::kIeee1394Class, "SBP2");
        sc::addPort(pc, 7, "iastor", sc::kHdcClass, "Intel Serial ATA Controller");
        sc::addPort(pc, 8, "Esdi_506", sc::kSbp2Class, "");
        sc::addPort(pc, 9, "pciata", sc::kSbp2Class, "");
        pc.addPort(11);  // after the gap: never opened
        pc.port(2)->busCount = 2;
        auto& disk = pc.addDrive("HARDDISK", "0001", "MAXTOR");  // no letter of its own
        pc.attach(disk, 2, 1, 0, 0, -1);
        auto& cd = sc::addPortDrive(pc, "DVDR   KV-829A", "1.10", 2, 1, 'E');
        sc::addInternalDrive(pc, "DVDR   KV-825A", "1.20", 3, 0, 'F');
        // The port driver cached garbled texts at boot: the CD-ROM drive is asked again through
        // its letter, the other device has its control characters blanked.
        for (auto [drive, at] : {std::pair{&cd, 9}, std::pair{&disk, 17}}) {
            auto cached = drive->inquiryData();
            cached[size_t(at)] = 0x07;
            pc.attachmentOf(*drive)->cachedInquiry =
                std::vector<uint8_t>(cached.begin(), cached.end());
        }
        sc::addUsbDrive(pc, "CD-R   KV-S37T", "1.00", 'H');
        sc::addIeee1394Drive(pc, "DVDR   KV-829AL", "1.00", 'I');
        // J: names its USB device only after the 150 characters of the path that are read.
        pc.addSetupDevice(sc::kUsbClass, "USB\\LATE").childIds.push_back("USBSTOR\\LATE");
        sc::mountAt(pc, 'J', std::string(150, 'x') + "USBSTOR\\LATE");
        pc.attach(pc.addDrive("DVDR   KV-829A", "9.99"), -1, 0, 0, 0, 9);
        pc.setDriveType(9, dw::DriveTypes::kCdrom);

        dw::ScsiTransport t(pc);
        ASSERT_EQ(dw::PassThroughScan(t), TransportKind::PassThrough);
        std::string seen;
        for (const auto& a : t.adapters) seen += busName(a.busKind) + " ";
        EXPECT_EQ(seen, kinds) << major << "." << minor;
        EXPECT_EQ(pc.openHandleCount() + pc.openKeyCount() + pc.openDeviceSets(), 0) << major;
        if (major != 10) continue;
        // The entries keep the port numbers the user is shown, by which the transport finds them.
        EXPECT_EQ(tree(t),
                  "ATAPI\n"
                  "ATA | 2/1 E: KORVANE DVDR   KV-829A 1.10 | 2/0 C: MAXTOR H RDDISK 0001\n"
                  "SATA | 3/0 F: KORVANE DVDR   KV-825A 1.20\n"
                  "USB\nSCSI\n1394\nSATA\n"
                  "USB | 10/0 H: KORVANE CD-R   KV-S37T 1.00\n"
                  "1394 | 11/0 I: KORVANE DVDR   KV-829AL 1.00\n");
        EXPECT_EQ(t.letterInquiry[4] + t.letterIsCdrom[2] + t.letterIsCdrom[4], 3);
        // The external drives' adapters are found by the numbers their entries hold.
        const auto& external = t.adapters[7].buses[0].at(0);
        EXPECT_EQ(t.adapterOf(external), &t.adapters[7]);
        EXPECT_NE(std::string(external.deviceText).find("USBSTOR#CDROM"), std::string::npos);
        EXPECT_TRUE(t.hasUsbOr1394Adapter());
        EXPECT_GE(pc.reenumerations, 1);
    }
}

// At most a hundred ports are looked at.
TEST(PassThroughScan, looksAtAHundredPortsAtMost) {
    sim::Machine pc;
    for (int n = 0; n <= 100; ++n) pc.addPort(n);
    dw::ScsiTransport t(pc);
    EXPECT_EQ(dw::PassThroughScan(t), TransportKind::None);  // no drive on any
    EXPECT_EQ(pc.wasOpened("\\\\.\\SCSI99:") + pc.wasOpened("\\\\.\\SCSI100:"), 1);
}

TEST(SetupClassGuid, isStoredAsWindowsHoldsItAndWrittenBackInTextOrder) {
    // The first three groups little-endian, the last two byte by byte.
    const std::array<uint8_t, 16> bytes = {0x65, 0xE9, 0x36, 0x4D, 0x25, 0xE3, 0xCE, 0x11,
                                           0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18};
    dw::Guid guid;
    for (const char* text :
         {"{4D36E965-E325-11CE-BFC1-08002BE10318}", "4d36e965-e325-11ce-bfc1-08002be10318"}) {
        ASSERT_TRUE(dw::Guid::parse(text, guid)) << text;
        EXPECT_EQ(guid.bytes, bytes) << text;
        EXPECT_EQ(guid.text(), "{4D36E965-E325-11CE-BFC1-08002BE10318}");
    }
    for (const char* bad :
         {"{4D36E965-E325-11CE-BFC1-08002BE1031G}", "4D36E965E32511CEBFC108002BE10318",
          "{4D36E965-E325-11CE-BFC1-08002BE1031}"}) {
        EXPECT_FALSE(dw::Guid::parse(bad, guid)) << bad;
    }
    // Where there is no Windows, a class named by text that is no GUID is refused before the
    // system is asked, and the system has no device sets; the scans find nothing.
    dw::NoWindows none;
    dw::DeviceSetup& setup = none;
    uint32_t error = 0, size = 0;
    EXPECT_EQ(setup.setupDiGetClassDevs("{4D36E965}", 0, &error), dw::kInvalidHandle);
    EXPECT_EQ(error, dw::winerr::kInvalidParameter);
    EXPECT_EQ(setup.setupDiGetClassDevs(guid, 0), dw::kInvalidHandle);  // no error asked for
    EXPECT_EQ(setup.setupDiGetClassDevs(guid, 0, &error), dw::kInvalidHandle);
    EXPECT_EQ(error, dw::winerr::kInvalidFunction);
    EXPECT_FALSE(none.setupDiGetDeviceRegistryProperty(0, {}, 0, nullptr, {}, size).ok);
    dw::ScsiTransport t(none);
    EXPECT_EQ(dw::PassThroughScan(t), TransportKind::None);
}
