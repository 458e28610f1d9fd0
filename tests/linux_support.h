// Builders shared by the Linux back end's tests: a simulated Linux PC with an SG_IO transport.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "scsi/scsi_transport.h"
#include "sim/linux_machine.h"

namespace testing_support {

struct LinuxPc {
    sim::LinuxMachine machine;
    dw::ScsiTransport transport{machine};
    std::vector<std::unique_ptr<sim::KorvaneDrive>> drives;

    sim::KorvaneDrive& addDrive(const std::string& product, const std::string& revision,
                                const sim::LinuxPlacement& where) {
        drives.push_back(std::make_unique<sim::KorvaneDrive>(product, revision));
        machine.placeDrive(*drives.back(), where);
        return *drives.back();
    }

    // The drive at host/target as the scan files it, without running the scan.
    dw::DeviceEntry file(const sim::LinuxPlacement& where) {
        dw::SgIoDevice node;
        node.host = where.host;
        node.channel = where.channel;
        node.target = where.target;
        node.lun = where.lun;
        node.node = where.sg >= 0 ? "/dev/sg" + std::to_string(where.sg)
                                  : "/dev/sr" + std::to_string(where.sr);
        transport.sgIoDevices.push_back(node);
        transport.kind = dw::TransportKind::SgIo;
        dw::DeviceEntry entry;
        entry.hostAdapter = where.host;
        entry.pathId = where.channel;
        entry.targetId = where.target;
        entry.lun = where.lun;
        return entry;
    }
};

}  // namespace testing_support
