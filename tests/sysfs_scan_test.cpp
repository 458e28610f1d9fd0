// Finding drives on Linux from sysfs: the attachment each place in /sys/devices means, the
// drives filed by host, channel, target and LUN, and what the scan does with files it cannot
// read and nodes it may not open.
#include <cerrno>

#include "discovery/sysfs_scan.h"
#include "linux_support.h"

using namespace testing_support;
using sim::LinuxAttachment;
using Kind = dw::SysfsAttachment::Kind;

TEST(SysfsPaths, theOutermostBusInTheDevicePathIsTheAttachment) {
    struct Case {
        const char* path;
        Kind kind;
        int ataPort;
        bool haveAddress;
    } cases[] = {
        {"../../devices/pci0000:00/0000:00:1f.2/ata3/host2/target2:0:0/2:0:0:0/scsi_generic/sg1",
         Kind::Libata, 3, true},
        {"/sys/devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0",
         Kind::Usb, -1, true},
        {"../devices/pci0000:00/0000:00:1c.0/0000:05:00.0/fw1/fw1.0/host7/target7:0:0/7:0:0:0/"
         "block/sr1",
         Kind::FireWire, -1, true},
        {"/sys/devices/pci0000:00/0000:00:1e.0/fw-host0/0001b8e2/0001b8e2-0/host3/target3:0:0/"
         "3:0:0:0",
         Kind::FireWire, -1, true},
        {"/sys/devices/pci0000:00/0000:03:00.0/host1/target1:0:4/1:0:4:0", Kind::Other, -1, true},
        // A USB bridge to a SATA drive: the outer bus counts.
        {"/sys/devices/pci0000:00/usb1/1-2/1-2:1.0/ata9/host9/target9:0:0/9:0:0:0", Kind::Usb, -1,
         true},
        // Names that only look like buses.
        {"/sys/devices/platform/usbfoo/atapi/fwx/host4/target4:0:0/4:0:0:0", Kind::Other, -1, true},
        {"../../../0:0:0:0", Kind::Other, -1, true},
        {"/sys/devices/pci0000:00/0000:00:1f.2/ata1/host0", Kind::Libata, 1, false},
        {"../../devices/pci0000:00/0000:00:1f.2/ata12/host11/target11:0:0/11:0:0:0", Kind::Libata,
         12, true},
        {"", Kind::Other, -1, false},
    };
    for (const auto& c : cases) {
        const dw::SysfsAttachment a = dw::attachmentOfPath(c.path);
        EXPECT_EQ(a.kind, c.kind) << c.path;
        if (c.kind == Kind::Libata) {
            const std::string path = c.path;
            EXPECT_EQ(a.ataFolder, path.substr(0, path.find("/host"))) << c.path;
        }
        EXPECT_EQ(a.ataPort, c.ataPort) << c.path;
        EXPECT_EQ(a.haveAddress, c.haveAddress) << c.path;
    }
}

TEST(SysfsPaths, anAddressIsFourDecimalNumbers) {
    struct Case {
        const char* text;
        bool ok;
        int host, lun;
    } cases[] = {
        {"2:0:3:1", true, 2, 1},           {"12:1:15:0", true, 12, 0}, {"2:0:3", false, 0, 0},
        {"2:0:3:1:4", false, 0, 0},        {"a:0:0:0", false, 0, 0},   {"::::", false, 0, 0},
        {"1234567890:0:0:0", false, 0, 0}, {"-1:0:0:0", false, 0, 0}};
    for (const auto& c : cases) {
        dw::SysfsAddress address;
        EXPECT_EQ(dw::parseScsiAddress(c.text, address), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(address.host, c.host) << c.text;
            EXPECT_EQ(address.lun, c.lun) << c.text;
        }
    }
}

TEST(SysfsPaths, libataIsSerialOnlyWhenItsLinkTellsASpeed) {
    const dw::SysfsAttachment ata{Kind::Libata, 1, "/sys/devices/ata1", true, {}};
    struct Case {
        bool readable;
        const char* text;
        dw::BusKind kind;
    } cases[] = {{true, "3.0 Gbps\n", dw::BusKind::SerialAta},
                 {true, "1.5 Gbps", dw::BusKind::SerialAta},
                 {true, "<unknown>\n", dw::BusKind::Atapi},
                 {true, "", dw::BusKind::Atapi},
                 {false, "", dw::BusKind::Atapi}};
    for (const auto& c : cases) {
        dw::LinuxApi::TextResult speed{c.readable, c.text, c.readable ? 0 : EACCES};
        EXPECT_EQ(dw::busKindOf(ata, speed), c.kind) << c.text;
    }
}

TEST(SysfsPaths, mountPointsOfTheDeviceWithTheirEscapesUndone) {
    const char* mounts =
        "/dev/sda1 / ext4 rw 0 0\n"
        "/dev/sr0 /media/user/KORVANE\\040DISC iso9660 ro 0 0\n"
        "/dev/sr01 /mnt/other iso9660 ro 0 0\n"
        "/dev/sr0 /mnt/again\\134x udf ro 0 0\n"
        "/dev/sr0 /mnt/tab\\011and\\047quote udf ro 0 0";
    const auto points = dw::mountPointsOf(mounts, "/dev/sr0");
    ASSERT_EQ(points.size(), 3u);
    EXPECT_EQ(points[0], "/media/user/KORVANE DISC");
    EXPECT_EQ(points[1], "/mnt/again\\x");
    EXPECT_EQ(points[2], "/mnt/tab\tand'quote");
    EXPECT_TRUE(dw::mountPointsOf(mounts, "/dev/sr1").empty());
    EXPECT_TRUE(dw::mountPointsOf("/dev/sr0", "/dev/sr0").empty());
}

TEST(SysfsScan, eachAttachmentBecomesItsBusKindAndTheDriveIsFiledByItsAddress) {
    struct Case {
        LinuxAttachment attachment;
        dw::BusKind kind;
    } cases[] = {{LinuxAttachment::Sata, dw::BusKind::SerialAta},
                 {LinuxAttachment::Pata, dw::BusKind::Atapi},
                 {LinuxAttachment::Usb, dw::BusKind::Usb},
                 {LinuxAttachment::FireWire, dw::BusKind::Ieee1394},
                 {LinuxAttachment::Scsi, dw::BusKind::Scsi}};
    for (const auto& c : cases) {
        LinuxPc pc;
        pc.addDrive("DVDR   KV-829A", "1.00", {c.attachment, 3, 1, 4, 0, 2, 1});
        EXPECT_TRUE(dw::SysfsScan(pc.transport, pc.machine).empty());
        ASSERT_EQ(pc.transport.kind, dw::TransportKind::SgIo);
        ASSERT_EQ(pc.transport.adapters.size(), 4u);  // host 3 is the adapter at index 3
        const dw::HostAdapter& adapter = pc.transport.adapters[3];
        EXPECT_EQ(adapter.busKind, c.kind);
        ASSERT_EQ(adapter.buses.size(), 2u);  // channel 1
        ASSERT_EQ(adapter.buses[1].size(), 1u);
        const dw::DeviceEntry& e = adapter.buses[1].at(0);
        EXPECT_EQ(e.hostAdapter, 3);
        EXPECT_EQ(e.pathId, 1);
        EXPECT_EQ(e.targetId, 4);
        EXPECT_EQ(e.busKind, c.kind);
        EXPECT_STREQ(e.product, "DVDR   KV-829A  ");
        EXPECT_STREQ(e.revision, "1.00");
        ASSERT_EQ(pc.transport.sgIoDevices.size(), 1u);
        EXPECT_EQ(pc.transport.sgIoDevices[0].node, "/dev/sg2");
        EXPECT_EQ(pc.transport.sgIoDevices[0].blockName, "sr1");
    }
}

TEST(SysfsScan, drivesAreOrderedByAddressAndSparseHostsStayEmpty) {
    LinuxPc pc;
    pc.addDrive("CD-R   KV-W6025A", "1.04", {LinuxAttachment::Usb, 6, 0, 0, 0, 0, 1});
    pc.addDrive("DVDR   KV-829A", "1.00", {LinuxAttachment::Sata, 0, 0, 0, 0, 3, 0});
    pc.addDrive("DVDR   KV-829A", "1.02", {LinuxAttachment::Sata, 0, 0, 1, 0, -1, 2});  // no sg
    dw::SysfsScan(pc.transport, pc.machine);
    ASSERT_EQ(pc.transport.adapters.size(), 7u);
    EXPECT_TRUE(pc.transport.adapters[3].buses.empty());
    ASSERT_EQ(pc.transport.adapters[0].buses[0].size(), 2u);
    EXPECT_EQ(pc.transport.adapters[0].buses[0].at(1).targetId, 1);
    ASSERT_EQ(pc.transport.sgIoDevices.size(), 3u);
    EXPECT_EQ(pc.transport.sgIoDevices[0].node, "/dev/sg3");
    EXPECT_EQ(pc.transport.sgIoDevices[1].node, "/dev/sr2");  // reached through its block node
    EXPECT_EQ(pc.transport.sgIoDevices[2].node, "/dev/sg0");
    EXPECT_EQ(pc.transport.adapters[6].busKind, dw::BusKind::Usb);
}

TEST(SysfsScan, anOlderLayoutWithClassFoldersIsReadThroughTheirDeviceLinks) {
    LinuxPc pc;
    const std::string folder =
        pc.machine.placeDrive(*pc.drives.emplace_back(
                                  std::make_unique<sim::KorvaneDrive>("DVDR   KV-829A", "1.00")),
                              {LinuxAttachment::Usb, 5, 0, 2, 0, 0, -1});
    pc.machine.addDirectory("/sys/class/scsi_generic/sg0");  // a folder, not a link
    pc.machine.addLink("/sys/class/scsi_generic/sg0/device", "../../.." + folder);
    dw::SysfsScan(pc.transport, pc.machine);
    ASSERT_EQ(pc.transport.adapters.size(), 6u);
    EXPECT_EQ(pc.transport.adapters[5].busKind, dw::BusKind::Usb);
    EXPECT_EQ(pc.transport.adapters[5].buses[0].at(0).targetId, 2);
}

TEST(SysfsScan, otherDeviceTypesGetNoCommand) {
    LinuxPc pc;
    auto& disk = pc.addDrive("SOME DISK", "0001", {LinuxAttachment::Sata, 0, 0, 0, 0, 0, -1, 0});
    dw::SysfsScan(pc.transport, pc.machine);
    EXPECT_TRUE(disk.received().empty());
    EXPECT_EQ(pc.transport.kind, dw::TransportKind::None);
}

TEST(SysfsScan, aDriveThatFailsInquiryIsFiledWithoutIdentification) {
    LinuxPc pc;
    auto& drive = pc.addDrive("DVDR   KV-829A", "1.00", {LinuxAttachment::Sata, 0, 0, 0, 0, 0, 0});
    drive.failAll(0x12, {0x04, 0x44, 0x00});
    EXPECT_TRUE(dw::SysfsScan(pc.transport, pc.machine).empty());
    ASSERT_EQ(pc.transport.adapters.size(), 1u);
    EXPECT_STREQ(pc.transport.adapters[0].buses[0].at(0).product, "");
}

TEST(SysfsScan, unreadableSysfsFilesAreReportedAndTheScanGoesOn) {
    struct Case {
        const char* what;
        std::string path;  // relative to the drive's folder, or absolute
        bool filed;
        dw::BusKind kind;
    } cases[] = {
        // The type is asked of the drive itself instead.
        {"type", "/type", true, dw::BusKind::SerialAta},
        // Nothing tells the speed: parallel ATA, as nothing classified it.
        {"speed", "/sys/devices/pci0000:00/0000:00:1f.2/ata1/link1/ata_link/link1/sata_spd", true,
         dw::BusKind::Atapi},
        {"class folder", "/sys/class/scsi_generic", true, dw::BusKind::SerialAta},  // via sr0
        {"block folder", "/sys/block", true, dw::BusKind::SerialAta},               // via sg0
    };
    for (const auto& c : cases) {
        LinuxPc pc;
        const std::string folder = pc.machine.placeDrive(
            *pc.drives.emplace_back(std::make_unique<sim::KorvaneDrive>("DVDR   KV-829A", "1.00")),
            {LinuxAttachment::Sata, 0, 0, 0, 0, 0, 0});
        pc.machine.failPath(c.path[0] == '/' && c.path.rfind("/sys", 0) == 0 ? c.path
                                                                             : folder + c.path,
                            EACCES);
        const auto problems = dw::SysfsScan(pc.transport, pc.machine);
        ASSERT_FALSE(problems.empty()) << c.what;
        EXPECT_EQ(problems[0].error, EACCES) << c.what;
        EXPECT_FALSE(problems[0].deviceNode) << c.what;
        ASSERT_EQ(pc.transport.adapters.size(), c.filed ? 1u : 0u) << c.what;
        EXPECT_EQ(pc.transport.adapters[0].busKind, c.kind) << c.what;
        EXPECT_STREQ(pc.transport.adapters[0].buses[0].at(0).product, "DVDR   KV-829A  ") << c.what;
    }
}

TEST(SysfsScan, aNodeThatMayNotBeOpenedIsReportedByName) {
    LinuxPc pc;
    auto& drive = pc.addDrive("DVDR   KV-829A", "1.00", {LinuxAttachment::Sata, 0, 0, 0, 0, 1, 0});
    pc.machine.failPath("/dev/sg1", EACCES);
    const auto problems = dw::SysfsScan(pc.transport, pc.machine);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].path, "/dev/sg1");
    EXPECT_EQ(problems[0].error, EACCES);
    EXPECT_TRUE(problems[0].deviceNode);
    EXPECT_TRUE(drive.received().empty());
}
