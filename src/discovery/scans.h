// The two scans that fill the transport's adapter tree: the Windows 95/98/Me registry scan
// under ASPI, and the pass-through scan of drive letters and SCSI ports.
#pragma once

#include "discovery/device_opens.h"
#include "scsi/scsi_transport.h"

namespace dw {

// Files every registry device with a drive letter from C: on under the ASPI adapter whose
// INQUIRY answer matches it. The adapters exist already, each with one bus.
void AspiScan(ScsiTransport& transport);

// Builds the adapter tree from the SCSI ports and the drive letters; returns the kind it set:
// PassThrough, or None when nothing was found. `opens`, when given, counts how the opens of the
// drive letters and ports went.
TransportKind PassThroughScan(ScsiTransport& transport, DeviceOpens* opens = nullptr);

}  // namespace dw
