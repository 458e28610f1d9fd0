// The text file that describes a simulated Linux PC: its drives, where the kernel put them, and
// the faults of the drives and of the system. The preloaded library of the end-to-end runs
// builds its PC from it.
//
//   # a comment
//   drive sata 0 0 0 0 sg0 sr0 1.00 DVDR   KV-829A   attachment (sata, pata, usb, firewire,
//                                                    scsi), host, channel, target, lun, the sg
//                                                    and sr nodes (- for none), revision, product
//   type 0                                           the last drive's sysfs type (default 5)
//   vendor, interface, medium, fail, fail-all, stop-after   as in wnaspi32.cfg
//   latency 20                                       the last drive takes 20 ms per command
//   commit-latency 3000                              ... and 3000 ms over one that commits
//   latency 1500 3B 126                              ... and 1500 ms over its 126th 3Bh
//   mounted /media/cdrom                             the last drive's disc is mounted there
//   mounted-elsewhere                                ... in another mount namespace: its sr
//                                                    node is claimed, /proc/self/mounts does
//                                                    not list it
//   held                                             another program holds the last drive
//   replaced 1.02 CD-R   KV-W6025A                   just before the program first opens the
//                                                    last drive's node exclusively, the drive
//                                                    is swapped for this one (revision, product)
//   deny /dev/sg0 EACCES                             opening or reading the path fails so
//   refuse 3B EPERM                                  the kernel refuses opcode 3Bh where its
//                                                    command filter applies: through sr nodes
//                                                    and nodes opened read-only
//   no-rawio                                         the program runs without CAP_SYS_RAWIO
//                                                    (/proc/self/status says so): the command
//                                                    filter passes only what every user may
//   lost 3B 126 DID_TIME_OUT                         the last drive carries out its 126th
//                                                    command 3Bh, but its answer is lost: the
//                                                    host status (DID_NO_CONNECT, DID_TIME_OUT,
//                                                    DID_ABORT, DID_ERROR, DID_RESET), driver
//                                                    status (DRIVER_ERROR, DRIVER_TIMEOUT) or
//                                                    errno of SG_IO (EIO, EINTR, EFAULT, ENODEV)
//   takes 3B 11 4096                                 the last drive takes only the first 4096
//                                                    bytes of its 11th command 3Bh and answers
//                                                    GOOD; the kernel tells the rest as residual
//   link /dev/cdrom sr0                              a symbolic link, as udev makes them in /dev
//                                                    (the target as written: relative or not)
//                                                    (a drive's sr node on SATA, PATA or USB
//                                                    has udev's /dev/disk/by-id and by-path
//                                                    links without a line)
//   bad-read /path/new.bin 1040000 EIO               reading that file (outside the simulated
//                                                    tree) fails with EIO from that byte on
//   power mains online                               a mains supply (AC), online or offline
//   power battery discharging                        a battery of the system (BAT0, BAT1, ...):
//                                                    discharging, charging, full, not-charging
//   power device-battery discharging                 ... of a device (a mouse's: scope Device)
//
// Host numbers go up to 65535 and channels up to 255, beyond what the program files.
// A stop and continue of the program (SIGSTOP, SIGCONT) while an sg node's SG_IO waits restarts
// the call, which sends the command again, as the sg driver does.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/layer_config.h"
#include "sim/linux_machine.h"

namespace sim {

struct LinuxDriveConfig {
    DriveConfig drive;
    LinuxPlacement placement;
    int latencyMs = 0;
    int commitLatencyMs = -1;               // -1: as latencyMs
    std::vector<NthCommandRule<int>> slow;  // the latency of one command, in ms
    std::string mountPoint;
    bool mountedElsewhere = false;
    bool held = false;
    std::optional<DriveConfig> replacement;
    std::vector<NthCommandRule<LostAnswer>> lost;
    std::vector<NthCommandRule<uint32_t>> takes;  // the bytes of its data out the drive takes
};

struct LinuxConfig {
    std::vector<LinuxDriveConfig> drives;
    std::vector<std::pair<std::string, int>> denied;         // path, errno
    std::vector<std::pair<uint8_t, int>> refused;            // opcode, errno
    std::vector<std::pair<std::string, std::string>> links;  // path, target
    struct BadRead {
        std::string path;
        uint64_t from = 0;
        int error = 0;
    };
    std::vector<BadRead> badReads;
    bool rawio = true;
    struct PowerSupply {
        std::string type;   // "Mains", "Battery"
        std::string state;  // online, offline; a battery's status as sysfs writes it
        bool ofADevice = false;
    };
    std::vector<PowerSupply> powerSupplies;
};

// The configuration, or nothing with `error` naming the line at fault.
std::optional<LinuxConfig> parseLinuxConfig(std::string_view text, std::string& error);

// A PC with its drives, as a configuration describes them.
struct SimulatedLinux {
    LinuxMachine machine;
    std::vector<std::unique_ptr<KorvaneDrive>> drives;  // in the order of the configuration
    std::vector<std::unique_ptr<KorvaneDrive>> replacements;
    std::vector<LinuxDriveConfig> placed;
};
void buildLinux(const LinuxConfig& config, SimulatedLinux& out);

}  // namespace sim
