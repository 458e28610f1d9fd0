// What start-up does with the discovered drives before anyone can choose one: the interface
// probe of the 825, 827 and 829 families, and the list of KORVANE drives with their labels.
// Both front ends run it, the dialog and the Linux command line.
#pragma once

#include <functional>
#include <string>

#include "devices/device_entry.h"
#include "scsi/scsi_transport.h"

namespace dw {

// For every drive whose product holds "825", "827" or "829" and that is not on a Serial ATA
// adapter, reads the vendor information block; interface code 1 makes its adapter Serial ATA,
// 8 renames it "DVDR   KV-825U  " and makes its adapter USB. Changes the transport's tree, not
// the copy it walks.
void ProbeInterfaces(ScsiTransport& transport);

// Appends every drive that answers INQUIRY and is a known model to `list`, in adapter, bus and
// position order, and hands each one's label to `addLabel` right after appending it.
void FillDeviceList(ScsiTransport& transport, DeviceList& list,
                    const std::function<void(const std::string&)>& addLabel);

}  // namespace dw
