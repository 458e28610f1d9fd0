// Holding a drive for an upgrade on Linux: its node opened exclusively, the block node beside a
// generic one claimed, and the check that what is held is the drive the scan found.
#include <cerrno>
#include <cstring>

#include "scsi/scsi_transport.h"

namespace dw {

namespace {

bool sameText(const char* a, const char* b, size_t length) {
    return std::memcmp(a, b, length) == 0;
}

}  // namespace

void ScsiTransport::releaseSgIoHold(SgIoDevice& node) {
    for (int* fd : {&node.keptFd, &node.claimFd}) {
        if (*fd >= 0 && linuxApi_ != nullptr) linuxApi_->closeDevice(*fd);
        *fd = -1;
    }
}

ScsiTransport::DeviceHold ScsiTransport::holdDeviceExclusively(const DeviceEntry& device) {
    SgIoDevice* node = sgIoDeviceOf(device);
    if (linuxApi_ == nullptr || node == nullptr) return {ENODEV, std::string()};
    releaseSgIoHold(*node);
    OpenMode mode;
    mode.exclusive = true;
    // On an sg node O_EXCL keeps out only other openers of that node. The block node's claim
    // (block/bdev.c) is what a mounted file system holds, in whatever mount namespace, and what
    // keeps a disc from being mounted while the upgrade runs.
    const LinuxApi::OpenResult opened = linuxApi_->openDevice(node->node, mode);
    if (opened.fd < 0) return {opened.error != 0 ? opened.error : EIO, node->node};
    node->keptFd = opened.fd;
    const std::string block = node->blockName.empty() ? "" : "/dev/" + node->blockName;
    if (node->throughGenericNode() && !block.empty()) {
        const LinuxApi::OpenResult claimed = linuxApi_->openDevice(block, mode);
        if (claimed.fd < 0) {
            releaseSgIoHold(*node);
            return {claimed.error != 0 ? claimed.error : EIO, block};
        }
        node->claimFd = claimed.fd;
    }
    return {};
}

bool ScsiTransport::heldDriveIsTheScannedOne(DeviceEntry& device) {
    SgIoDevice* node = sgIoDeviceOf(device);
    if (linuxApi_ == nullptr || node == nullptr || node->keptFd < 0 || !node->scanned) {
        return false;
    }
    // Device numbers first: a node name that now stands for another device is not asked.
    const std::pair<int, std::optional<DeviceNumber>> held[] = {{node->keptFd, node->nodeNumber},
                                                                {node->claimFd, node->blockNumber}};
    for (const auto& [fd, scanned] : held) {
        if (fd < 0) continue;
        const LinuxApi::DeviceNumberResult now = linuxApi_->deviceNumberOf(fd);
        if (!now.ok || !scanned || !(now.number == *scanned)) return false;
    }
    InquiryStrings now;
    if ((inquiry(device, now) & 0xFF) != 1) return false;
    const InquiryStrings& then = *node->scanned;
    return sameText(now.vendor, then.vendor, sizeof now.vendor) &&
           sameText(now.product, then.product, sizeof now.product) &&
           sameText(now.revision, then.revision, sizeof now.revision);
}

}  // namespace dw
