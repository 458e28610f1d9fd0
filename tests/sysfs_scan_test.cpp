// Finding drives on Linux from sysfs: the attachment each place in /sys/devices means, the
// drives filed by host, channel, target and LUN, and what the scan does with files it cannot
// read and nodes it may not open.
#include <cerrno>

#include "linux_support.h"

using namespace testing_support;
using A = sim::LinuxAttachment;

TEST(SysfsPaths, theOutermostBusInTheDevicePathIsTheAttachment) {
    // The kind, the ATA port of libata, and the address of the device's own folder (four
    // decimal numbers) when the path reaches it.
    const std::pair<std::string, std::string> cases[] = {
        {"../devices/pci0/0000:00:1f.2/ata3/host2/target2:0:0/2:0:0:1/sg1", "libata 3 2:0:0:1"},
        {"/sys/devices/pci0/0000:05:00.0/fw1/fw1.0/host7/7:0:0:0/block/sr1", "FireWire 7:0:0:0"},
        {"/sys/devices/pci0/fw-host0/0001b8e2/0001b8e2-0/host3/3:0:15:0", "FireWire 3:0:15:0"},
        {"/sys/devices/pci0/fw1.0/host7/12:1:0:0", "FireWire 12:1:0:0"},           // a unit alone
        {"/sys/devices/pci0/usb1/1-2/1-2:1.0/ata9/host9/9:0:0:0", "USB 9:0:0:0"},  // the outer bus
        // Names that only look like buses, and what lies below the device's folder.
        {"/sys/devices/usbfoo/atapi/fwx/fw1.x/fw.1/fw1./host4/4:0:0:0/usb1", "other 4:0:0:0"},
        {"../../../0:0:0:0", "other 0:0:0:0"},
        {"/sys/devices/pci0/0000:00:1f.2/ata1/host0", "libata 1 -"},
        {"", "other -"},
        // Not an address: three or five numbers, a letter, nothing, a sign, ten digits.
        {"/2:0:3/2:0:3:1:4/a:0:0:0/::::/-1:0:0:0/1234567890:0:0:0", "other -"},
    };
    const char* kinds[] = {"other", "USB", "FireWire", "libata"};
    for (const auto& [path, wanted] : cases) {
        const dw::SysfsAttachment a = dw::attachmentOfPath(path);
        const dw::SysfsAddress& d = a.address;
        const std::string port = a.ataPort >= 0 ? " " + std::to_string(a.ataPort) : "";
        const std::string address = std::to_string(d.host) + ":" + std::to_string(d.channel) + ":" +
                                    std::to_string(d.target) + ":" + std::to_string(d.lun);
        EXPECT_EQ(kinds[int(a.kind)] + port + " " + (a.haveAddress ? address : "-"), wanted)
            << path;
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

TEST(SysfsScan, filesEachDriveByItsAddressAndReportsWhatItCannotRead) {
    using P = sim::LinuxPlacement;
    const P sata{A::Sata, 0, 0, 0, 0, 0, 0};
    const std::string one = "#0 host0 SATA | 0:0:0:0=1.00 ", two = "sg0=sr0 sent 1";
    const std::string cls = "/sys/class/scsi_generic", type = "/device/type 13";
    const std::string speed =
        "/sys/devices/pci0000:00/0000:00:1f.2/ata1/link1/ata_link/link1/sata_spd";
    // Each attachment is its bus kind; host n is the adapter at index n, channel c its bus at
    // index c; the drives in address order; one without an sg node through its sr node.
    const std::vector<P> six = {{A::Usb, 6, 0, 0, 0, 0, 1},      {A::Sata, 0, 0, 1, 0, -1, 2},
                                {A::Sata, 0, 0, 0, 0, 3, 0},     {A::Pata, 1, 0, 0, 0, 4, 3},
                                {A::FireWire, 3, 1, 4, 0, 5, 4}, {A::Scsi, 4, 0, 0, 0, 6, 5}};
    std::string sixtyThree;  // empty buses before channel 63
    for (int bus = 0; bus < 63; ++bus) sixtyThree += " |";
    struct Case {
        std::vector<P> drives;
        std::string failed;  // made unreadable ("+": in the drive's folder; INQUIRY: that command)
        std::string scan;
    } cases[] = {
        {six, "",
         "#0 host0 SATA | 0:0:0:0=1.00 0:0:1:0=1.00 #1 host1 ATAPI | 1:0:0:0=1.00 #3 host3 1394 | "
         "| 3:1:4:0=1.00 #4 host4 SCSI | 4:0:0:0=1.00 #6 host6 USB | 6:0:0:0=1.00 sg3=sr0 sr2=sr2 "
         "sg4=sr3 sg5=sr4 sg6=sr5 sg0=sr1 sent 6"},
        {{{A::Sata, 0, 0, 0, 0, 0, -1, 0}}, "", "sent 0"},               // a disk gets no command
        {{sata}, "INQUIRY", "#0 host0 SATA | 0:0:0:0= sg0=sr0 sent 1"},  // filed without a name
        // The type is asked of the drive instead; nothing telling a speed is parallel ATA.
        {{sata}, "+/type", "!" + cls + "/sg0" + type + " !/sys/block/sr0" + type + " " + one + two},
        {{sata}, speed, "!" + speed + " 13 !" + speed + " 13 #0 host0 ATAPI | 0:0:0:0=1.00 " + two},
        {{sata}, cls, "!" + cls + " 13 " + one + "sr0=sr0 sent 1"},
        {{sata}, "/sys/block", "!/sys/block 13 " + one + "sg0= sent 1"},
        {{sata}, cls + "/sg9", "!" + cls + "/sg9/device 2 " + one + two},  // gone once listed
        {{sata}, "/dev/sg0", "!!/dev/sg0 13 #0 host0 SATA | 0:0:0:0= sg0=sr0 sent 0"},
        // An older layout: a class folder with a device link.
        {{{A::Usb, 5, 0, 2, 0, 0, -1}}, "old", "#5 host5 USB | 5:0:2:0=1.00 sg0= sent 1"},
        // A drive on a host or channel beyond the tree is told of, and gets no command.
        {{{A::Scsi, 1024, 0, 0, 0, 0, 0},
          {A::Scsi, 4, 64, 0, 0, 1, -1},
          {A::Scsi, 1023, 63, 1, 0, 2, 1}},
         "",
         "!/dev/sg1 beyond 4:64:0:0 !/dev/sg0 beyond 1024:0:0:0 #1023 host1023 SCSI" + sixtyThree +
             " | 1023:63:1:0=1.00 sg2=sr1 sent 1"},
    };
    for (const auto& c : cases) {
        LinuxPc pc;
        std::string folder;
        for (const P& where : c.drives) folder = pc.add(where);
        if (c.failed == "INQUIRY") pc.drives[0]->failAll(0x12, {0x04, 0x44, 0x00});
        if (c.failed == "old")  // a folder, no link, with the node's number
            pc.machine.addFile("/sys/class/scsi_generic/sg0/dev", "21:0\n");
        if (c.failed == "old")
            pc.machine.addLink("/sys/class/scsi_generic/sg0/device", "../../.." + folder.substr(4));
        const std::string path = c.failed[0] == '+' ? folder + c.failed.substr(1) : c.failed;
        if (path[0] == '/') pc.machine.failPath(path, EACCES);
        EXPECT_EQ(pc.scan(), c.scan) << c.failed;
    }
}
