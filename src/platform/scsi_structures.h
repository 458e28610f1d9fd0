// Byte layouts of the system structures the program exchanges with the SCSI port driver and
// with the ASPI for Win32 layer. They are defined here once. On 32-bit Windows they are the
// documented 32-bit layouts; on 64-bit builds (Windows x64 and the native test build) the same
// fields with 8-byte pointers: the system's own pass-through layout, and the ASPI blocks
// byte-packed as the public 64-bit wnaspi32.h has them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace dw {

inline constexpr bool kPointers64 = sizeof(void*) == 8;

// DeviceIoControl codes of the SCSI port interface.
inline constexpr uint32_t kIoctlScsiPassThroughDirect = 0x0004D014;
inline constexpr uint32_t kIoctlScsiGetInquiryData = 0x0004100C;
inline constexpr uint32_t kIoctlScsiGetAddress = 0x00041018;
// The CD-ROM class driver's exclusive access (Vista and later): CTL_CODE(FILE_DEVICE_CD_ROM,
// 0x17, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS). The one other code sent.
inline constexpr uint32_t kIoctlCdromExclusiveAccess = 0x0002C05C;

// SCSI_PASS_THROUGH_DIRECT.
struct ScsiPassThroughDirect {
    uint16_t length;
    uint8_t scsiStatus;
    uint8_t pathId;
    uint8_t targetId;
    uint8_t lun;
    uint8_t cdbLength;
    uint8_t senseInfoLength;
    uint8_t dataIn;  // 0 data out, 1 data in, 2 no data
    uint32_t dataTransferLength;
    uint32_t timeOutValue;
    void* dataBuffer;
    uint32_t senseInfoOffset;
    uint8_t cdb[16];
};

inline constexpr uint8_t kScsiIoctlDataOut = 0;
inline constexpr uint8_t kScsiIoctlDataIn = 1;
inline constexpr uint8_t kScsiIoctlDataUnspecified = 2;

// The request as the program sends it: the system structure, a filler and a 32-byte sense
// buffer right behind it.
struct PassThroughRequest {
    ScsiPassThroughDirect sptd;
    uint32_t filler;
    uint8_t sense[32];
};

// CDROM_EXCLUSIVE_ACCESS: the input of an unlock (and of a query).
struct CdromExclusiveAccess {
    uint32_t requestType;  // EXCLUSIVE_ACCESS_REQUEST_TYPE, an enum: 4 bytes
    uint32_t flags;
};

// CDROM_EXCLUSIVE_LOCK: the input of a lock. The caller name ends with a NUL within its 64
// bytes and holds only letters, digits, blanks and . , : ; - _
inline constexpr size_t kExclusiveCallerLength = 64;
struct CdromExclusiveLock {
    CdromExclusiveAccess access;
    uint8_t callerName[kExclusiveCallerLength];
};

inline constexpr uint32_t kExclusiveAccessQueryState = 0;
inline constexpr uint32_t kExclusiveAccessLockDevice = 1;
inline constexpr uint32_t kExclusiveAccessUnlockDevice = 2;
// Lock flag: lock even with a file system mounted (not used: a mounted volume refuses the lock).
inline constexpr uint32_t kCdromLockIgnoreVolume = 1;

// SCSI_ADDRESS, answer of IOCTL_SCSI_GET_ADDRESS.
struct ScsiAddress {
    uint32_t length;
    uint8_t portNumber;
    uint8_t pathId;
    uint8_t targetId;
    uint8_t lun;
};

// IOCTL_SCSI_GET_INQUIRY_DATA answers into this many bytes (SCSI_ADAPTER_BUS_INFO followed by
// the SCSI_INQUIRY_DATA records it points at). The layout has no pointers; it is read field by
// field with explicit offsets (see port_inquiry_data.h), never cast.
inline constexpr size_t kPortInquiryBufferSize = 4096;
namespace port_inquiry {
inline constexpr size_t kBusCount = 0;
inline constexpr size_t kBusInfoStart = 4;
inline constexpr size_t kBusInfoSize = 8;        // per bus: LUN count, initiator ID, 2 pad, offset
inline constexpr size_t kRecordHeaderSize = 12;  // path, target, LUN, claimed, length, next
}  // namespace port_inquiry

// ASPI for Win32 request blocks.
#pragma pack(push, 1)
// SRB_ExecSCSICmd (command 2).
struct SrbExecScsiCmd {
    uint8_t command;
    uint8_t status;
    uint8_t hostAdapter;
    uint8_t flags;
    uint32_t headerReserved;
    uint8_t target;
    uint8_t lun;
    uint16_t reserved1;
    uint32_t bufferLength;
    uint8_t* bufferPointer;
    uint8_t senseLength;
    uint8_t cdbLength;
    uint8_t hostAdapterStatus;
    uint8_t targetStatus;
    void* postProc;  // the event handle with flag 0x40
    uint8_t reserved2[kPointers64 ? 24 : 20];
    uint8_t cdb[16];
    uint8_t senseArea[16];
};

// SRB_HAInquiry (command 0).
struct SrbHaInquiry {
    uint8_t command;
    uint8_t status;
    uint8_t hostAdapter;
    uint8_t flags;
    uint32_t headerReserved;
    uint8_t adapterCount;
    uint8_t hostScsiId;
    char managerId[16];
    char adapterId[16];
    uint8_t unique[16];
    uint16_t reserved;
};
#pragma pack(pop)

inline constexpr uint8_t kScExecScsiCmd = 2;
inline constexpr uint8_t kScHaInquiry = 0;
inline constexpr uint8_t kSrbDirIn = 0x08;
inline constexpr uint8_t kSrbDirOut = 0x10;
inline constexpr uint8_t kSrbEventNotify = 0x40;

// ASPI status values the program tells apart.
namespace aspi {
inline constexpr uint8_t kPending = 0x00;
inline constexpr uint8_t kComplete = 0x01;
inline constexpr uint8_t kAborted = 0x02;
inline constexpr uint8_t kError = 0x04;
inline constexpr uint8_t kInvalidCommand = 0x80;
inline constexpr uint8_t kInvalidAdapter = 0x81;
inline constexpr uint8_t kNoDevice = 0x82;
inline constexpr uint8_t kInvalidSrb = 0xE0;
inline constexpr uint8_t kIllegalMode = 0xE2;
inline constexpr uint8_t kNoAspi = 0xE3;
inline constexpr uint8_t kFailedInit = 0xE4;
inline constexpr uint8_t kMismatchedComponents = 0xE7;
inline constexpr uint8_t kNoAdapters = 0xE8;
inline constexpr uint8_t kInsufficientResources = 0xE9;
}  // namespace aspi

// The library's two entry points (cdecl, as the library exports them).
using GetAspi32SupportInfoFn = uint32_t (*)();
using SendAspi32CommandFn = uint32_t (*)(void* srb);

// Pinned layouts: the 32-bit ones as documented, the 64-bit ones as the system and the public
// 64-bit ASPI header have them.
static_assert(sizeof(ScsiAddress) == 8);
static_assert(sizeof(CdromExclusiveAccess) == 8);
static_assert(sizeof(CdromExclusiveLock) == 72);  // no pointers: the same for 32 and 64 bits
static_assert(offsetof(CdromExclusiveLock, callerName) == 8);
static_assert(sizeof(SrbHaInquiry) == 60);
static_assert(offsetof(SrbHaInquiry, hostScsiId) == 9);
static_assert(offsetof(SrbHaInquiry, managerId) == 10);
static_assert(offsetof(SrbHaInquiry, adapterId) == 26);
static_assert(offsetof(SrbHaInquiry, unique) == 42);
static_assert(offsetof(ScsiPassThroughDirect, dataTransferLength) == 12);
static_assert(offsetof(ScsiPassThroughDirect, timeOutValue) == 16);
static_assert(offsetof(SrbExecScsiCmd, target) == 8);
static_assert(offsetof(SrbExecScsiCmd, bufferLength) == 12);
static_assert(offsetof(SrbExecScsiCmd, bufferPointer) == 16);
#if defined(_WIN64) || defined(__x86_64__) || defined(__aarch64__)
static_assert(kPointers64);
static_assert(sizeof(ScsiPassThroughDirect) == 56);
static_assert(offsetof(ScsiPassThroughDirect, dataBuffer) == 24);
static_assert(offsetof(ScsiPassThroughDirect, senseInfoOffset) == 32);
static_assert(offsetof(ScsiPassThroughDirect, cdb) == 36);
static_assert(offsetof(PassThroughRequest, sense) == 60);
static_assert(sizeof(PassThroughRequest) == 96);
static_assert(sizeof(SrbExecScsiCmd) == 92);
static_assert(offsetof(SrbExecScsiCmd, senseLength) == 24);
static_assert(offsetof(SrbExecScsiCmd, cdbLength) == 25);
static_assert(offsetof(SrbExecScsiCmd, postProc) == 28);
static_assert(offsetof(SrbExecScsiCmd, cdb) == 60);
static_assert(offsetof(SrbExecScsiCmd, senseArea) == 76);
#else
static_assert(!kPointers64);
static_assert(sizeof(ScsiPassThroughDirect) == 44);
static_assert(offsetof(ScsiPassThroughDirect, dataBuffer) == 20);
static_assert(offsetof(ScsiPassThroughDirect, senseInfoOffset) == 24);
static_assert(offsetof(ScsiPassThroughDirect, cdb) == 28);
static_assert(offsetof(PassThroughRequest, sense) == 48);
static_assert(sizeof(PassThroughRequest) == 80);
static_assert(sizeof(SrbExecScsiCmd) == 80);
static_assert(offsetof(SrbExecScsiCmd, senseLength) == 20);
static_assert(offsetof(SrbExecScsiCmd, cdbLength) == 21);
static_assert(offsetof(SrbExecScsiCmd, postProc) == 24);
static_assert(offsetof(SrbExecScsiCmd, cdb) == 48);
static_assert(offsetof(SrbExecScsiCmd, senseArea) == 64);
#endif

}  // namespace dw
