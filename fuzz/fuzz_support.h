// What the fuzz targets share: a simulated PC with a pass-through transport, and a check that
// stops the run with a message when a promise of the program does not hold.
#pragma once

#include <cstdio>
#include <cstdlib>

#include "scsi/scsi_transport.h"
#include "sim/machine.h"

namespace fuzzing {

[[noreturn]] inline void broken(const char* what) {
    std::fprintf(stderr, "broken promise: %s\n", what);
    std::abort();
}

#define FUZZ_REQUIRE(condition)                          \
    do {                                                 \
        if (!(condition)) ::fuzzing::broken(#condition); \
    } while (0)

struct PassThroughPc {
    sim::Machine machine;
    dw::ScsiTransport transport{machine};
    PassThroughPc() { transport.kind = dw::TransportKind::PassThrough; }

    // Port 0 in the transport's tree, as the pass-through scan makes it.
    void addPortAdapter() {
        machine.addPort(0);
        dw::HostAdapter adapter;
        adapter.portNumber = 0;
        adapter.buses.resize(1);
        transport.adapters.push_back(adapter);
    }
};

}  // namespace fuzzing
