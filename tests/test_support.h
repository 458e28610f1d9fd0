// Small builders shared by the unit tests: a simulated PC with a transport over it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include <string>
#include <vector>

#include "scsi/scsi_transport.h"
#include "sim/machine.h"

namespace testing_support {

// A bus kind as the tests' expectations name it.
inline std::string busName(dw::BusKind kind) {
    const char* names[] = {"unclassified", "ATAPI", "ATA", "SATA", "SCSI", "USB", "1394"};
    const int i = static_cast<int>(kind) + 1;
    return i >= 0 && i < 7 ? names[i] : std::to_string(i - 1);
}

inline std::string hex(const std::vector<uint8_t>& bytes) {
    std::string out;
    char b[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(b, sizeof b, i ? " %02X" : "%02X", bytes[i]);
        out += b;
    }
    return out;
}

// A pass-through transport on a PC whose SCSI ports and drives the test adds.
struct PassThroughPc {
    sim::Machine machine;
    dw::ScsiTransport transport{machine};

    PassThroughPc() { transport.kind = dw::TransportKind::PassThrough; }

    // A port adapter in the transport's tree, as the pass-through scan makes it.
    dw::HostAdapter& addAdapter(int port) {
        machine.addPort(port);
        dw::HostAdapter adapter;
        adapter.portNumber = port;
        adapter.deviceName = dw::scsiPortDeviceName(port);
        adapter.busKind = dw::BusKind::Atapi;
        adapter.buses.resize(1);
        transport.adapters.push_back(adapter);
        return transport.adapters.back();
    }

    static dw::DeviceEntry entry(int port, int path, int target, int lun, int letter) {
        dw::DeviceEntry e;
        e.hostAdapter = port;
        e.pathId = path;
        e.targetId = target;
        e.lun = lun;
        e.driveLetter = letter;
        return e;
    }
};

// An ASPI transport over the simulated layer, started by hand.
struct AspiPc {
    sim::Machine machine;
    dw::ScsiTransport transport{machine};

    AspiPc() {
        machine.installAspi();
        transport.aspiLibrary = machine.loadLibrary("WNASPI32");
        transport.supportInfo = reinterpret_cast<dw::GetAspi32SupportInfoFn>(
            machine.getProcAddress(transport.aspiLibrary, "GetASPI32SupportInfo"));
        transport.sendCommand = reinterpret_cast<dw::SendAspi32CommandFn>(
            machine.getProcAddress(transport.aspiLibrary, "SendASPI32Command"));
        transport.kind = dw::TransportKind::Aspi;
    }

    static dw::DeviceEntry entry(int adapter, int target, int lun = 0) {
        dw::DeviceEntry e;
        e.hostAdapter = adapter;
        e.targetId = target;
        e.lun = lun;
        return e;
    }
};

}  // namespace testing_support
