// Which KORVANE model a drive is: the bus-kind rewrites of its product id and the search of
// the model table, and the queries built on it. Every query sends its own INQUIRY; nothing is
// remembered between calls.
#pragma once

#include <cstdint>
#include <string>

#include "devices/device_entry.h"
#include "identify/model_table.h"
#include "scsi/scsi_transport.h"

namespace dw {

// True and a copy of the matching row in `row`; false and an empty row when the INQUIRY fails
// or no row matches. The vendor comes from the fresh INQUIRY, the product id and revision from
// the stored `device.product` and `device.revision`.
bool IdentifyModel(ScsiTransport& transport, DeviceEntry& device, ModelFamily& row);

bool IsKnownModel(ScsiTransport& transport, DeviceEntry& device);
// The row name; empty when not identified.
std::string ModelProductId(ScsiTransport& transport, DeviceEntry& device);
// The identification string an upgrade file must hold; empty when not identified.
std::string ModelIdentText(ScsiTransport& transport, DeviceEntry& device);
// 0 when not identified or when the model cannot be upgraded.
uint32_t ModelIdentOffset(ScsiTransport& transport, DeviceEntry& device);
uint32_t ModelChecksumEnd(ScsiTransport& transport, DeviceEntry& device);

}  // namespace dw
