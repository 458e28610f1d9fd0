// Finding the CD/DVD drives of a Linux PC from sysfs, as the kernel lays it out: every SCSI
// generic node and every sr block device, its SCSI address, its attachment from the device's
// place in /sys/devices, and its identification from the drive's own INQUIRY.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "devices/device_entry.h"
#include "scsi/scsi_transport.h"

namespace dw {

struct SysfsAddress {
    int32_t host = 0;
    int32_t channel = 0;
    int32_t target = 0;
    int32_t lun = 0;
};

// "H:C:T:L" with four decimal numbers of at most nine digits each.
bool parseScsiAddress(std::string_view text, SysfsAddress& out);

// What a device's path under /sys/devices says of its attachment.
struct SysfsAttachment {
    enum class Kind { Other, Usb, FireWire, Libata };
    Kind kind = Kind::Other;
    int ataPort = -1;          // n of the "ataN" folder of a libata device
    std::string ataFolder;     // the path up to and including that folder
    bool haveAddress = false;  // the path ends in the device's "H:C:T:L" folder (or below it)
    SysfsAddress address;
};

// Reads the components of a sysfs path (absolute or as a link gives it, "../../devices/...").
// A "usbN" root hub means USB; "fwN" or "fwN.M" (firewire-core) or "fw-hostN" (the older
// ieee1394 stack) means FireWire; "ataN" means libata. The outermost of them wins.
SysfsAttachment attachmentOfPath(std::string_view path);

// The bus kind: USB and FireWire as they are; a libata port whose link tells a Serial ATA
// speed ("3.0 Gbps") is Serial ATA, one that tells none ("<unknown>") or cannot be read is
// parallel ATA (Atapi); everything else is SCSI.
BusKind busKindOf(const SysfsAttachment& attachment, const LinuxApi::TextResult& sataSpeed);

// The first line of a sysfs attribute, without its line feed.
std::string attributeText(std::string_view text);

// A "dev" attribute of sysfs ("21:1\n"): the major and minor device number.
bool parseDeviceNumber(std::string_view text, DeviceNumber& out);

// The mount points /proc/self/mounts gives for `deviceNode` ("/dev/sr0"), with the octal
// escapes of blanks and the like undone.
std::vector<std::string> mountPointsOf(std::string_view mounts, std::string_view deviceNode);

// Something the scan could not read or open; the command line tells the user.
struct ScanProblem {
    std::string path;
    int error = 0;            // errno
    bool deviceNode = false;  // true: the node itself could not be opened for a command
};

// Fills the transport's tree and SG_IO devices from sysfs and sends each candidate an INQUIRY.
// The adapter at index n is SCSI host n (hosts without a drive stay empty); a drive on channel
// c sits on bus c. The kind becomes SgIo when a drive was filed. Returns what went wrong.
std::vector<ScanProblem> SysfsScan(ScsiTransport& transport, LinuxApi& api);

}  // namespace dw
