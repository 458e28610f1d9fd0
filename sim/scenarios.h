// Whole simulated PCs of each Windows family in a few lines.
#pragma once

#include <string>
#include <vector>

#include "sim/machine.h"

namespace sim::scenarios {

// Windows 98 (platform 1, 4.10) with the ASPI layer installed and no adapter yet.
void windows98(Machine& pc);
// An ASPI host adapter whose driver the hdc class key describes (for the classification).
void addAspiAdapter(Machine& pc, const std::string& adapterId, const std::string& hdcDescription);
// A drive on an ASPI adapter, with the registry entries of the Windows 98 device database:
// "SCSI\<vendor_product>\<instance>" under Config Manager\Enum, and its letter and target.
KorvaneDrive& addWindows98Drive(Machine& pc, const std::string& product,
                                const std::string& revision, int adapter, int target, char letter,
                                const std::string& instanceKey = "MF&CHILD0000&PCI&VEN_8086");
// The device key name the registry uses for a drive: vendor and product, blanks as "_".
std::string deviceKeyName(const KorvaneDrive& drive);

// One text value of the registry.
struct RegistryText {
    dw::Handle root;
    std::string key;
    std::string name;
    std::string value;
};
// What the Windows 98 device database holds for a drive: the Config Manager entry `entry`
// naming its hardware key "SCSI\<device>\<instance>", and there its drive letter and target.
std::vector<RegistryText> windows98DriveValues(const std::string& entry, const std::string& device,
                                               const std::string& instance, char letter,
                                               const std::string& target);
// What a class key (hdc, SCSIAdapter, Storage) holds for an adapter's port driver.
std::vector<RegistryText> windows98AdapterValues(const std::string& classKey,
                                                 const std::string& index,
                                                 const std::string& portDriver,
                                                 const std::string& description);

// Windows XP SP2 (platform 2, 5.1) with no port yet; its CD-ROM driver has no exclusive access.
void windowsXp(Machine& pc);
// Windows NT 4.0 (platform 2, 4.0), without exclusive access too.
void windowsNt4(Machine& pc);
// A SCSI port whose driver is a present device of the given setup class.
void addPort(Machine& pc, int port, const std::string& service, const std::string& classGuid,
             const std::string& description);
// A CD/DVD drive on a port, at a drive letter.
KorvaneDrive& addPortDrive(Machine& pc, const std::string& product, const std::string& revision,
                           int port, int target, char letter);
// The system disk at C: on a port: a pass-through request through \\.\C: reaches it, whatever
// address the request names (the disk class driver sends it to its own disk). It records what
// it receives like a drive.
KorvaneDrive& addSystemDisk(Machine& pc, int port, int target);
// An external USB drive at a drive letter: a USB mass-storage child device and the mount
// manager's path naming it.
KorvaneDrive& addUsbDrive(Machine& pc, const std::string& product, const std::string& revision,
                          char letter);

// The mount manager's value for a letter: the device's interface path after "\??\", with "#"
// for the backslashes of its instance ID, and the CD-ROM interface class.
void mountAt(Machine& pc, char letter, const std::string& instanceId);

// Windows 7 (platform 2, 6.1, without the update that brings SetDefaultDllDirectories) and
// Windows 10 (platform 2, 10.0; 11 reports the same), with no port yet. What their storage
// stacks hold is added by the builders below.
void windows7(Machine& pc);
void windows10(Machine& pc);
// An ATA channel as Windows 7 and 10 run it: the controller (`controllerService`, for example
// pciide for IDE or msahci for AHCI on Windows 7) and its channel "ATA Channel n" (atapi) in the
// hard disk controllers class, the channel's driver key under Enum\PCIIDE\IDEChannel, and the
// port's driver atapi.
void addAtaChannelPort(Machine& pc, int port, const std::string& controllerService,
                       const std::string& controllerDescription);
// An AHCI controller as Windows 8 to 11 run it: storahci, a SCSI adapters class device
// "Standard SATA AHCI Controller", and the port's driver storahci.
void addStorahciPort(Machine& pc, int port);
// A drive on a port of Windows 7 or 10, with the mount manager's value for its letter (an IDE or
// SCSI device path, which names no USB or IEEE 1394 device).
KorvaneDrive& addInternalDrive(Machine& pc, const std::string& product, const std::string& revision,
                               int port, int target, char letter);
// An external IEEE 1394 drive at a drive letter: the host controller (1394ohci) in the IEEE 1394
// class, the storage unit (sbp2port) in the SBP2 class with the drive as its child, and the mount
// manager's path naming it.
KorvaneDrive& addIeee1394Drive(Machine& pc, const std::string& product, const std::string& revision,
                               char letter);

inline constexpr const char* kScsiAdapterClass = "{4D36E97B-E325-11CE-BFC1-08002BE10318}";
inline constexpr const char* kUsbClass = "{36FC9E60-C465-11CF-8056-444553540000}";
inline constexpr const char* kIeee1394Class = "{6BDD1FC1-810F-11D0-BEC7-08002BE2092F}";
inline constexpr const char* kHdcClass = "{4D36E96A-E325-11CE-BFC1-08002BE10318}";
inline constexpr const char* kSbp2Class = "{D48179BE-EC20-11D1-B6B8-00C04FA372A7}";

}  // namespace sim::scenarios
