// The core copies the system's SCSI port structures and I/O control codes by hand, because it
// must not see <windows.h>. Here the system headers are visible: every copied size, offset and
// code is checked against them, for the word size this build is for.
#include <windows.h>
#include <winioctl.h>
#include <ntddscsi.h>
#include <ntddcdrm.h>

#include <cstddef>

#include "platform/scsi_structures.h"

namespace dw {

static_assert(kIoctlScsiPassThroughDirect == IOCTL_SCSI_PASS_THROUGH_DIRECT);
static_assert(kIoctlScsiGetInquiryData == IOCTL_SCSI_GET_INQUIRY_DATA);
static_assert(kIoctlScsiGetAddress == IOCTL_SCSI_GET_ADDRESS);
static_assert(kIoctlCdromExclusiveAccess == CTL_CODE(IOCTL_CDROM_BASE, 0x0017, METHOD_BUFFERED,
                                                     FILE_READ_ACCESS | FILE_WRITE_ACCESS));
static_assert(kScsiIoctlDataOut == SCSI_IOCTL_DATA_OUT);
static_assert(kScsiIoctlDataIn == SCSI_IOCTL_DATA_IN);
static_assert(kScsiIoctlDataUnspecified == SCSI_IOCTL_DATA_UNSPECIFIED);

static_assert(sizeof(ScsiPassThroughDirect) == sizeof(SCSI_PASS_THROUGH_DIRECT));
#define DW_SAME_OFFSET(ours, theirs)                       \
    static_assert(offsetof(ScsiPassThroughDirect, ours) == \
                  offsetof(SCSI_PASS_THROUGH_DIRECT, theirs))
DW_SAME_OFFSET(length, Length);
DW_SAME_OFFSET(scsiStatus, ScsiStatus);
DW_SAME_OFFSET(pathId, PathId);
DW_SAME_OFFSET(targetId, TargetId);
DW_SAME_OFFSET(lun, Lun);
DW_SAME_OFFSET(cdbLength, CdbLength);
DW_SAME_OFFSET(senseInfoLength, SenseInfoLength);
DW_SAME_OFFSET(dataIn, DataIn);
DW_SAME_OFFSET(dataTransferLength, DataTransferLength);
DW_SAME_OFFSET(timeOutValue, TimeOutValue);
DW_SAME_OFFSET(dataBuffer, DataBuffer);
DW_SAME_OFFSET(senseInfoOffset, SenseInfoOffset);
DW_SAME_OFFSET(cdb, Cdb);
#undef DW_SAME_OFFSET
static_assert(sizeof(ScsiPassThroughDirect::cdb) == sizeof(SCSI_PASS_THROUGH_DIRECT::Cdb));

static_assert(sizeof(ScsiAddress) == sizeof(SCSI_ADDRESS));
static_assert(offsetof(ScsiAddress, length) == offsetof(SCSI_ADDRESS, Length));
static_assert(offsetof(ScsiAddress, portNumber) == offsetof(SCSI_ADDRESS, PortNumber));
static_assert(offsetof(ScsiAddress, pathId) == offsetof(SCSI_ADDRESS, PathId));
static_assert(offsetof(ScsiAddress, targetId) == offsetof(SCSI_ADDRESS, TargetId));
static_assert(offsetof(ScsiAddress, lun) == offsetof(SCSI_ADDRESS, Lun));

// The exclusive-access structures, where the headers have them (the MinGW ones do not; the
// sizes are pinned in scsi_structures.h for both word sizes).
#ifdef IOCTL_CDROM_EXCLUSIVE_ACCESS
static_assert(kIoctlCdromExclusiveAccess == IOCTL_CDROM_EXCLUSIVE_ACCESS);
static_assert(sizeof(CdromExclusiveAccess) == sizeof(CDROM_EXCLUSIVE_ACCESS));
static_assert(sizeof(CdromExclusiveLock) == sizeof(CDROM_EXCLUSIVE_LOCK));
static_assert(offsetof(CdromExclusiveLock, callerName) ==
              offsetof(CDROM_EXCLUSIVE_LOCK, CallerName));
static_assert(kExclusiveCallerLength == CDROM_EXCLUSIVE_CALLER_LENGTH);
static_assert(kExclusiveAccessLockDevice == ExclusiveAccessLockDevice);
static_assert(kExclusiveAccessUnlockDevice == ExclusiveAccessUnlockDevice);
#endif

// The inquiry-data answer is read by offsets, never cast: check those offsets.
static_assert(port_inquiry::kBusCount == offsetof(SCSI_ADAPTER_BUS_INFO, NumberOfBuses));
static_assert(port_inquiry::kBusInfoStart == offsetof(SCSI_ADAPTER_BUS_INFO, BusData));
static_assert(port_inquiry::kBusInfoSize == sizeof(SCSI_BUS_DATA));
static_assert(offsetof(SCSI_BUS_DATA, NumberOfLogicalUnits) == 0);
static_assert(offsetof(SCSI_BUS_DATA, InitiatorBusId) == 1);
static_assert(offsetof(SCSI_BUS_DATA, InquiryDataOffset) == 4);
static_assert(port_inquiry::kRecordHeaderSize == offsetof(SCSI_INQUIRY_DATA, InquiryData));
static_assert(offsetof(SCSI_INQUIRY_DATA, PathId) == 0);
static_assert(offsetof(SCSI_INQUIRY_DATA, TargetId) == 1);
static_assert(offsetof(SCSI_INQUIRY_DATA, Lun) == 2);
static_assert(offsetof(SCSI_INQUIRY_DATA, DeviceClaimed) == 3);
static_assert(offsetof(SCSI_INQUIRY_DATA, InquiryDataLength) == 4);
static_assert(offsetof(SCSI_INQUIRY_DATA, NextInquiryDataOffset) == 8);

}  // namespace dw
