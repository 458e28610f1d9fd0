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

// The mount points /proc/self/mounts gives for `deviceNode` ("/dev/sr0"), with the octal
// escapes of blanks and the like undone.
std::vector<std::string> mountPointsOf(std::string_view mounts, std::string_view deviceNode);

// Something the scan could not read or open; the command line tells the user.
struct ScanProblem {
    std::string path;
    int error = 0;            // errno
    bool deviceNode = false;  // true: the node itself could not be opened for a command
    // true: a drive left out, its SCSI address (host above 1023, channel above 63) being beyond
    // the adapter tree; `path` is its node, `error` 0
    bool beyondRange = false;
    SysfsAddress address = {};
};

// The highest host number and channel a filed drive may have.
inline constexpr int kMaxScsiHost = 1023;
inline constexpr int kMaxScsiChannel = 63;

// Which of a drive's nodes a name leads to.
enum class NamedNode { None, Generic, Block };

// Which node of `device` the name stands for, given what stat told of it (`named`): told by the
// kind and device number sysfs gave, or by the node's own name where sysfs gave no number.
NamedNode nodeNamed(const SgIoDevice& device, const LinuxApi::NodeResult& named,
                    const std::string& name);

// Fills the transport's tree and SG_IO devices from sysfs and sends each candidate an INQUIRY.
// The adapter at index n is SCSI host n (hosts without a drive stay empty); a drive on channel
// c sits on bus c. The kind becomes SgIo when a drive was filed. Returns what went wrong.
// With `onlyNamed` (a name of a drive's sg or sr node) only that drive is filed and asked: the
// others receive nothing. Where the name stands for the sr node and the sg node beside it cannot
// be opened, the drive is reached through the sr node (the sg node's failure is then a problem
// that is not the device node's).
std::vector<ScanProblem> SysfsScan(ScsiTransport& transport, LinuxApi& api,
                                   const std::string& onlyNamed = "");

}  // namespace dw
