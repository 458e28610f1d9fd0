// Finding drives on Linux from sysfs: the attachment each place in /sys/devices means, the
// drives filed by host, channel, target and LUN, and what the scan does with files it cannot
// read and nodes it may not open.
#include <cerrno>

#include "linux_support.h"

using namespace testing_support;
using sim::LinuxAttachment;

TEST(SysfsPaths, theOutermostBusInTheDevicePathIsTheAttachment) {
    // The kind, the ATA port of libata, and "+" when the path reaches the device's own folder.
    const std::pair<std::string, std::string> cases[] = {
        {"../devices/pci0/0000:00:1f.2/ata3/host2/target2:0:0/2:0:0:0/sg1", "libata 3+"},
        {"/sys/devices/pci0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0", "USB+"},
        {"/sys/devices/pci0/0000:05:00.0/fw1/fw1.0/host7/7:0:0:0/block/sr1", "FireWire+"},
        {"/sys/devices/pci0/fw-host0/0001b8e2/0001b8e2-0/host3/3:0:0:0", "FireWire+"},
        {"/sys/devices/pci0/fw1.0/host7/7:0:0:0", "FireWire+"},  // a firewire-core unit alone
        {"/sys/devices/pci0/0000:03:00.0/host1/target1:0:4/1:0:4:0", "other+"},
        {"/sys/devices/pci0/usb1/1-2/1-2:1.0/ata9/host9/9:0:0:0", "USB+"},  // the outer bus
        // Names that only look like buses, and what lies below the device's folder.
        {"/sys/devices/usbfoo/atapi/fwx/fw1.x/fw.1/fw1./host4/4:0:0:0/usb1", "other+"},
        {"../../../0:0:0:0", "other+"},
        {"/sys/devices/pci0/0000:00:1f.2/ata1/host0", "libata 1-"},
        {"/sys/devices/ata12/host11/target11:0:0/11:0:0:0", "libata 12+"},
        {"", "other-"},
    };
    const char* kinds[] = {"other", "USB", "FireWire", "libata"};
    for (const auto& [path, wanted] : cases) {
        const dw::SysfsAttachment a = dw::attachmentOfPath(path);
        const std::string port = a.ataPort >= 0 ? " " + std::to_string(a.ataPort) : "";
        EXPECT_EQ(kinds[int(a.kind)] + port + (a.haveAddress ? "+" : "-"), wanted) << path;
    }
}

TEST(SysfsPaths, anAddressIsFourDecimalNumbers) {
    const std::pair<const char*, const char*> cases[] = {
        {"2:0:3:1", "2 0 3 1"}, {"12:1:15:0", "12 1 15 0"},
        {"2:0:3", ""},          {"2:0:3:1:4", ""},
        {"a:0:0:0", ""},        {"::::", ""},
        {"-1:0:0:0", ""},       {"1234567890:0:0:0", ""}};
    for (const auto& [text, wanted] : cases) {
        dw::SysfsAddress a;
        const bool ok = dw::parseScsiAddress(text, a);
        const std::string got = std::to_string(a.host) + " " + std::to_string(a.channel) + " " +
                                std::to_string(a.target) + " " + std::to_string(a.lun);
        EXPECT_EQ(ok ? got : "", wanted) << text;
    }
}

TEST(SysfsPaths, mountPointsOfTheDeviceWithTheirEscapesUndone) {
    const std::string mounts =
        "/dev/sda1 / ext4 rw 0 0\n/dev/sr0 /media/user/KORVANE\\040DISC iso9660 ro 0 0\n"
        "/dev/sr01 /mnt/other iso9660 ro 0 0\n/dev/sr0 /mnt/again\\134x udf ro 0 0\n"
        "/dev/sr0 /mnt/tab\\011and\\047quote\\08 udf ro 0 0\n/dev/sr0 /mnt/end\\040 udf ro 0 0";
    std::string points;
    for (const std::string& p : dw::mountPointsOf(mounts, "/dev/sr0")) points += p + "|";
    EXPECT_EQ(points, "/media/user/KORVANE DISC|/mnt/again\\x|/mnt/tab\tand'quote\\08|/mnt/end |");
    EXPECT_TRUE(dw::mountPointsOf(mounts, "/dev/sr1").empty());
    EXPECT_TRUE(dw::mountPointsOf("/dev/sr0", "/dev/sr0").empty());
}

TEST(SysfsScan, eachAttachmentBecomesItsBusKindAndTheDriveIsFiledByItsAddress) {
    const std::pair<LinuxAttachment, std::string> cases[] = {{LinuxAttachment::Sata, "SATA"},
                                                             {LinuxAttachment::Pata, "ATAPI"},
                                                             {LinuxAttachment::Usb, "USB"},
                                                             {LinuxAttachment::FireWire, "1394"},
                                                             {LinuxAttachment::Scsi, "SCSI"}};
    for (const auto& [attachment, bus] : cases) {
        LinuxPc pc;
        pc.add("DVDR   KV-829A", {attachment, 3, 1, 4, 0, 2, 1});
        EXPECT_EQ(pc.scan(), "#3 host3 " + bus + ": [] [3:1:4:0 " + bus +
                                 " DVDR   KV-829A  /1.00] sg2=sr1 sent 1");
    }
}

TEST(SysfsScan, anOlderLayoutWithClassFoldersIsReadThroughTheirDeviceLinks) {
    LinuxPc pc;
    const std::string folder = pc.add("DVDR   KV-829A", {LinuxAttachment::Usb, 5, 0, 2, 0, 0, -1});
    pc.machine.addDirectory("/sys/class/scsi_generic/sg0");  // a folder, not a link
    pc.machine.addLink("/sys/class/scsi_generic/sg0/device", "../../.." + folder.substr(4));
    EXPECT_EQ(pc.scan(), "#5 host5 USB: [5:0:2:0 USB DVDR   KV-829A  /1.00] sg0= sent 1");
}

TEST(SysfsScan, whatCannotBeReadIsReportedAndTheScanGoesOn) {
    using P = sim::LinuxPlacement;
    const P sata{LinuxAttachment::Sata, 0, 0, 0, 0, 0, 0};
    const std::string one = "#0 host0 SATA: [0:0:0:0 SATA DVDR   KV-829A  /1.00] sg0=sr0 sent 1";
    const std::string speed =
        "/sys/devices/pci0000:00/0000:00:1f.2/ata1/link1/ata_link/link1/sata_spd";
    struct Case {
        std::vector<P> drives;
        std::string failed;  // made unreadable ("+": in the drive's folder; INQUIRY: that command)
        std::string scan;
    } cases[] = {
        // In address order; a drive without an sg node is reached through its block node.
        {{{LinuxAttachment::Usb, 6, 0, 0, 0, 0, 1},
          {LinuxAttachment::Sata, 0, 0, 1, 0, -1, 2},
          {LinuxAttachment::Sata, 0, 0, 0, 0, 3, 0}},
         "",
         "#0 host0 SATA: [0:0:0:0 SATA DVDR   KV-829A  /1.00 0:0:1:0 SATA DVDR   KV-829A  /1.00] "
         "#6 host6 USB: [6:0:0:0 USB DVDR   KV-829A  /1.00] sg3=sr0 sr2=sr2 sg0=sr1 sent 3"},
        {{{LinuxAttachment::Sata, 0, 0, 0, 0, 0, -1, 0}}, "", "sent 0"},  // a disk gets no command
        {{sata}, "INQUIRY", "#0 host0 SATA: [0:0:0:0 SATA /] sg0=sr0 sent 1"},  // filed unnamed
        // The type is asked of the drive instead.
        {{sata},
         "+/type",
         "!/sys/class/scsi_generic/sg0/device/type 13 !/sys/block/sr0/device/type 13 " + one},
        // Nothing tells a speed: parallel ATA.
        {{sata},
         speed,
         "!" + speed + " 13 !" + speed +
             " 13 #0 host0 ATAPI: [0:0:0:0 ATAPI DVDR   KV-829A  /1.00] sg0=sr0 sent 1"},
        {{sata},
         "/sys/class/scsi_generic",
         "!/sys/class/scsi_generic 13 #0 host0 SATA: [0:0:0:0 SATA DVDR   KV-829A  /1.00] sr0=sr0 "
         "sent 1"},
        {{sata},
         "/sys/block",
         "!/sys/block 13 #0 host0 SATA: [0:0:0:0 SATA DVDR   KV-829A  /1.00] sg0= sent 1"},
        {{sata}, "/dev/sg0", "!!/dev/sg0 13 #0 host0 SATA: [0:0:0:0 SATA /] sg0=sr0 sent 0"},
    };
    for (const auto& c : cases) {
        LinuxPc pc;
        std::string folder;
        for (const P& where : c.drives) folder = pc.add("DVDR   KV-829A", where);
        if (c.failed == "INQUIRY") pc.drives[0]->failAll(0x12, {0x04, 0x44, 0x00});
        const std::string path = c.failed[0] == '+' ? folder + c.failed.substr(1) : c.failed;
        if (c.failed != "INQUIRY") pc.machine.failPath(path, EACCES);
        EXPECT_EQ(pc.scan(), c.scan) << c.failed;
    }
}
