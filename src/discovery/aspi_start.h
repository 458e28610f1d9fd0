// Starting the ASPI for Win32 transport (Windows 95, 98 and Me).
#pragma once

#include "scsi/scsi_transport.h"

namespace dw {

// Loads the library, makes one adapter per ASPI host adapter, scans and classifies them.
// Returns Aspi, or None with lastError set.
TransportKind AspiStart(ScsiTransport& transport);

}  // namespace dw
