// How a host adapter is attached (IDE, ATA, Serial ATA, SCSI, USB, IEEE 1394), by the rules of
// the running Windows family.
#pragma once

#include <cstddef>

#include "devices/device_entry.h"
#include "scsi/scsi_transport.h"

namespace dw {

// Classifies adapter `adapterIndex`, stores the answer in the adapter and every entry behind
// it, and returns it. BusKind::Remove means no class of interest matched (Windows 2000 and
// later only).
BusKind ClassifyAdapter(ScsiTransport& transport, size_t adapterIndex);

}  // namespace dw
