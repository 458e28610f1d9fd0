#include "discovery/aspi_start.h"

#include "discovery/attachment_classification.h"
#include "discovery/scans.h"

namespace dw {

namespace {

const char* supportFailureText(uint8_t status) {
    switch (status) {
        case aspi::kIllegalMode: return "This Windows OS doesn't support ASPI for Win32!";
        case aspi::kNoAspi:
            return "WNASPI32.DLL is unable to load its helper driver!\n"
                   "Under Windows 98/Me      : APIX.VXD\n"
                   "Under Windows NT/2000/XP : ASPI32.SYS";
        case aspi::kFailedInit:
            return "General internal failure within ASPI.\n"
                   "This problem can occur if the system is unstable.";
        case aspi::kMismatchedComponents:
            return "The ASPI for Win32 components does not have the correct version number.\n"
                   "Please remove all ASPI components and reinstall the correct set of ASPI "
                   "drivers.";
        case aspi::kNoAdapters: return "There are no adapters found on your system.";
        case aspi::kInsufficientResources:
            return "System resources are too low to fully initialise ASPI.";
        default: return "Unable to initialise ASPI";
    }
}

TransportKind fail(ScsiTransport& transport, const char* text) {
    if (transport.aspiLibrary != 0) transport.api().freeLibrary(transport.aspiLibrary);
    transport.aspiLibrary = 0;
    transport.supportInfo = nullptr;
    transport.sendCommand = nullptr;
    transport.lastError = text;
    transport.kind = TransportKind::None;
    return transport.kind;
}

}  // namespace

TransportKind AspiStart(ScsiTransport& transport) {
    WindowsApi& api = transport.api();
    transport.aspiLibrary = api.loadLibrary("WNASPI32");
    if (transport.aspiLibrary == 0) return fail(transport, "Unable to load wnaspi32.dll");

    transport.supportInfo = reinterpret_cast<GetAspi32SupportInfoFn>(
        api.getProcAddress(transport.aspiLibrary, "GetASPI32SupportInfo"));
    transport.sendCommand = reinterpret_cast<SendAspi32CommandFn>(
        api.getProcAddress(transport.aspiLibrary, "SendASPI32Command"));
    if (transport.supportInfo == nullptr || transport.sendCommand == nullptr) {
        return fail(transport, "Unable to initialise ASPI.");
    }

    const uint32_t support = transport.supportInfo();
    const auto status = static_cast<uint8_t>(support >> 8);
    if (status != aspi::kComplete) return fail(transport, supportFailureText(status));
    const unsigned count = support & 0xFF;
    for (unsigned i = 0; i < count; ++i) {
        HostAdapter adapter;
        adapter.buses.resize(1);
        transport.adapters.push_back(adapter);
    }

    transport.kind = TransportKind::Aspi;
    AspiScan(transport);
    for (size_t i = 0; i < transport.adapters.size(); ++i) {
        if (transport.adapters[i].busKind != BusKind::Usb) ClassifyAdapter(transport, i);
    }
    return transport.kind;
}

}  // namespace dw
