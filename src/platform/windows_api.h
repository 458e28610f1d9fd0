// The one seam between the program and Windows. Every Windows call the core makes goes
// through one of these facilities, with Windows' own meaning and error codes but C++ types.
// The real implementation lives in platform/win32; the simulated PC in sim/ is the other one.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/string_table.h"

namespace dw {

// Kernel object handles as plain numbers. Device opens fail with kInvalidHandle (as CreateFileA
// does); events, libraries and registry keys use 0 for "none".
using Handle = std::uintptr_t;
inline constexpr Handle kInvalidHandle = ~static_cast<Handle>(0);

// Windows error codes the core names.
namespace winerr {
inline constexpr uint32_t kSuccess = 0;
inline constexpr uint32_t kInvalidFunction = 1;
inline constexpr uint32_t kFileNotFound = 2;
inline constexpr uint32_t kPathNotFound = 3;
inline constexpr uint32_t kAccessDenied = 5;
inline constexpr uint32_t kInvalidHandle = 6;
inline constexpr uint32_t kNotReady = 21;
inline constexpr uint32_t kBadCommand = 22;
inline constexpr uint32_t kBadLength = 24;
inline constexpr uint32_t kInvalidParameter = 87;
inline constexpr uint32_t kInvalidData = 13;
inline constexpr uint32_t kSemTimeout = 121;
inline constexpr uint32_t kInsufficientBuffer = 122;
inline constexpr uint32_t kModNotFound = 126;
inline constexpr uint32_t kProcNotFound = 127;
inline constexpr uint32_t kMoreData = 234;
inline constexpr uint32_t kNoMoreItems = 259;
inline constexpr uint32_t kIoDevice = 1117;
inline constexpr uint32_t kDeviceNotConnected = 1167;
}  // namespace winerr

// CreateFileA arguments the program uses.
inline constexpr uint32_t kGenericReadWrite = 0xC0000000;
inline constexpr uint32_t kShareReadWrite = 3;
inline constexpr uint32_t kOpenExisting = 3;

// Device I/O: CreateFileA, DeviceIoControl, CloseHandle.
class DeviceIo {
public:
    virtual ~DeviceIo() = default;

    struct OpenResult {
        Handle handle = kInvalidHandle;  // kInvalidHandle on failure
        uint32_t error = 0;              // GetLastError() of a failed open
    };
    virtual OpenResult createFile(const std::string& name, uint32_t access, uint32_t share,
                                  uint32_t disposition, uint32_t flags) = 0;

    struct IoResult {
        bool ok = false;
        uint32_t bytesReturned = 0;
        uint32_t error = 0;  // GetLastError() when !ok
    };
    // Input and output may be the same bytes (the pass-through request is sent both ways).
    virtual IoResult deviceIoControl(Handle device, uint32_t code, std::span<uint8_t> in,
                                     std::span<uint8_t> out) = 0;

    virtual bool closeHandle(Handle handle) = 0;
};

// Libraries: LoadLibraryA, GetProcAddress, FreeLibrary; where the process looks for them
// (SetDefaultDllDirectories and SetDllDirectoryA, which kernel32 does not export on every
// Windows and which are therefore looked up when called); the program's own file
// (GetModuleFileNameA).
class Libraries {
public:
    virtual ~Libraries() = default;
    virtual Handle loadLibrary(const std::string& name) = 0;  // 0 on failure
    virtual void* getProcAddress(Handle module, const std::string& name) = 0;
    virtual bool freeLibrary(Handle module) = 0;

    // LOAD_LIBRARY_SEARCH_SYSTEM32: the system folder only.
    static constexpr uint32_t kSearchSystem32 = 0x800;
    // How a call of a function that kernel32 may lack went.
    enum class Call { NotExported, Failed, Done };
    virtual Call setDefaultDllDirectories(uint32_t directoryFlags) = 0;
    virtual Call setDllDirectory(const std::string& path) = 0;
    // The program's full path; empty when it cannot be had whole.
    virtual std::string moduleFileName() = 0;
};

// Events: CreateEventA (unnamed), ResetEvent, WaitForSingleObject, CloseHandle.
class Events {
public:
    virtual ~Events() = default;
    static constexpr uint32_t kInfinite = 0xFFFFFFFF;
    static constexpr uint32_t kWaitObject0 = 0;
    static constexpr uint32_t kWaitTimeout = 258;
    static constexpr uint32_t kWaitFailed = 0xFFFFFFFF;

    virtual Handle createEvent(bool manualReset, bool initiallySignalled) = 0;  // 0 on failure
    virtual bool resetEvent(Handle event) = 0;
    virtual uint32_t waitForSingleObject(Handle event, uint32_t milliseconds) = 0;
    virtual bool closeEvent(Handle event) = 0;
};

// Time: GetTickCount and Sleep.
class Clock {
public:
    virtual ~Clock() = default;
    virtual uint32_t tickCount() = 0;
    virtual void sleep(uint32_t milliseconds) = 0;
};

// Registry, read only: RegOpenKeyExA, RegEnumKeyA, RegQueryValueExA, RegCloseKey.
class Registry {
public:
    virtual ~Registry() = default;
    static constexpr Handle kLocalMachine = 0x80000002;
    static constexpr Handle kDynData = 0x80000006;
    static constexpr uint32_t kQueryValue = 0x0001;
    static constexpr uint32_t kEnumerateSubKeys = 0x0008;
    static constexpr uint32_t kRead = 0x20019;
    static constexpr uint32_t kAllAccess = 0xF003F;

    static constexpr uint32_t kTypeNone = 0;
    static constexpr uint32_t kTypeString = 1;
    static constexpr uint32_t kTypeBinary = 3;
    static constexpr uint32_t kTypeDword = 4;
    static constexpr uint32_t kTypeMultiString = 7;

    // Returns a Windows error code; on success `key` holds the opened key.
    virtual uint32_t openKey(Handle parent, const std::string& subKey, uint32_t access,
                             Handle& key) = 0;
    // RegEnumKeyA: the name of subkey `index` into `name` (NUL-terminated); kNoMoreItems past
    // the last one, kMoreData when the name does not fit the buffer.
    virtual uint32_t enumKey(Handle key, uint32_t index, std::span<char> name) = 0;
    // RegQueryValueExA. With `data` empty only the size is asked for. `size` is set to the
    // value's size in bytes; a buffer that is too small gives kMoreData.
    virtual uint32_t queryValue(Handle key, const std::string& valueName, uint32_t* type,
                                std::span<uint8_t> data, uint32_t& size) = 0;
    virtual uint32_t closeKey(Handle key) = 0;
};

// Drive types: GetDriveTypeA.
class DriveTypes {
public:
    virtual ~DriveTypes() = default;
    static constexpr uint32_t kUnknown = 0;
    static constexpr uint32_t kNoRootDir = 1;
    static constexpr uint32_t kRemovable = 2;
    static constexpr uint32_t kFixed = 3;
    static constexpr uint32_t kRemote = 4;
    static constexpr uint32_t kCdrom = 5;
    static constexpr uint32_t kRamDisk = 6;
    // The root directory is named like "E:\".
    virtual uint32_t getDriveType(const std::string& rootPath) = 0;
};

// The fields of OSVERSIONINFOA (148 bytes) and OSVERSIONINFOEXA (156 bytes).
struct OsVersionInfo {
    uint32_t majorVersion = 0;
    uint32_t minorVersion = 0;
    uint32_t buildNumber = 0;
    uint32_t platformId = 0;
    std::string csdVersion;  // at most 127 characters
    // Only filled from the extended record.
    uint16_t servicePackMajor = 0;
    uint16_t servicePackMinor = 0;
    uint16_t suiteMask = 0;
    uint8_t productType = 0;
};

// The Windows version: GetVersionExA.
class Versions {
public:
    virtual ~Versions() = default;
    static constexpr uint32_t kPlatformWin32s = 0;
    static constexpr uint32_t kPlatformWindows = 1;  // Windows 95, 98, Me
    static constexpr uint32_t kPlatformNt = 2;       // NT 4.0, 2000, XP, 2003, Vista to 11
    static constexpr uint32_t kBasicRecordSize = 148;
    static constexpr uint32_t kExtendedRecordSize = 156;
    // `recordSize` is the dwOSVersionInfoSize handed over (148 or 156); false when Windows
    // refuses the record (Windows 95 and NT 4.0 before SP6 refuse the extended one).
    virtual bool getVersionEx(uint32_t recordSize, OsVersionInfo& out) = 0;
};

// A class GUID as its 16 bytes, in the order of the GUID structure in memory.
struct Guid {
    std::array<uint8_t, 16> bytes = {};
    bool operator==(const Guid&) const = default;
    // "{4D36E97B-E325-11CE-BFC1-08002BE10318}" (braces optional); nothing for a malformed text.
    static bool parse(std::string_view text, Guid& out);
    std::string text() const;  // upper case with braces
};

// The device installation functions: SetupDiGetClassDevsA, SetupDiEnumDeviceInfo,
// SetupDiGetDeviceRegistryPropertyA, SetupDiDestroyDeviceInfoList.
class DeviceSetup {
public:
    virtual ~DeviceSetup() = default;
    static constexpr uint32_t kDigcfPresent = 0x2;
    static constexpr uint32_t kSpdrpDeviceDesc = 0x0;
    static constexpr uint32_t kSpdrpService = 0x4;
    static constexpr uint32_t kSpdrpDriver = 0x9;

    // SP_DEVINFO_DATA as the program uses it: the device's class and its device node.
    struct DeviceInfo {
        Guid classGuid;
        uint32_t devInst = 0;
        uintptr_t reserved = 0;  // the system's own link to the device; handed back unchanged
    };
    struct Result {
        bool ok = false;
        uint32_t error = 0;  // GetLastError() when !ok
    };

    // kInvalidHandle (with the error) on failure, as INVALID_HANDLE_VALUE.
    virtual Handle setupDiGetClassDevs(const Guid& classGuid, uint32_t flags,
                                       uint32_t* error = nullptr) = 0;
    // Fails with kNoMoreItems past the last device.
    virtual Result setupDiEnumDeviceInfo(Handle set, uint32_t index, DeviceInfo& out) = 0;
    // With `buffer` empty only the size is asked for: that fails with kInsufficientBuffer and
    // sets `requiredSize`. A buffer that is too small fails the same way; a missing property
    // fails with kInvalidData.
    virtual Result setupDiGetDeviceRegistryProperty(Handle set, const DeviceInfo& device,
                                                    uint32_t property, uint32_t* type,
                                                    std::span<uint8_t> buffer,
                                                    uint32_t& requiredSize) = 0;
    virtual bool setupDiDestroyDeviceInfoList(Handle set) = 0;

    // The same with the class given as text; a malformed text fails with kInvalidParameter.
    Handle setupDiGetClassDevs(std::string_view classGuid, uint32_t flags,
                               uint32_t* error = nullptr);
};

// The Configuration Manager: CM_Get_Device_IDA, CM_Get_Child, CM_Get_Sibling,
// CM_Reenumerate_DevNode. Each returns a CONFIGRET.
class ConfigManager {
public:
    virtual ~ConfigManager() = default;
    static constexpr uint32_t kCrSuccess = 0;
    static constexpr uint32_t kCrFailure = 0x13;
    static constexpr uint32_t kCrNoSuchDevnode = 13;
    static constexpr uint32_t kCrBufferSmall = 0x1A;

    // The instance ID, NUL-terminated in `buffer`; kCrBufferSmall when it does not fit.
    virtual uint32_t cmGetDeviceId(uint32_t devInst, std::span<char> buffer) = 0;
    virtual uint32_t cmGetChild(uint32_t& child, uint32_t devInst) = 0;
    virtual uint32_t cmGetSibling(uint32_t& sibling, uint32_t devInst) = 0;
    virtual uint32_t cmReenumerateDevNode(uint32_t devInst, uint32_t flags) = 0;
};

// Text conversion: MultiByteToWideChar.
class TextConversion {
public:
    virtual ~TextConversion() = default;
    static constexpr uint32_t kCpAcp = 0;
    // The whole of `text` in UTF-16 (no terminator added); false for a code page the system
    // does not have. Bytes the code page does not define become its default character.
    virtual bool multiByteToWideChar(uint32_t codePage, std::string_view text,
                                     std::u16string& wide) = 0;
};

// File version information: GetFileVersionInfoSizeA, GetFileVersionInfoA, VerQueryValueA.
class FileVersions {
public:
    virtual ~FileVersions() = default;
    // 0 when the file has none or cannot be found.
    virtual uint32_t getFileVersionInfoSize(const std::string& fileName) = 0;
    // Fills `block` (of the size asked for above).
    virtual bool getFileVersionInfo(const std::string& fileName, std::span<uint8_t> block) = 0;
    // Looks up a path like "\VarFileInfo\Translation" or
    // "\StringFileInfo\040904b0\FileVersion" in a block read above: the bytes of a binary
    // value, or the characters of a text with its terminating NUL.
    virtual bool verQueryValue(std::span<const uint8_t> block, const std::string& subBlock,
                               std::vector<uint8_t>& value) = 0;
};

// The power supply as GetSystemPowerStatus reports it (its SYSTEM_POWER_STATUS: ACLineStatus 0
// offline, 1 online, 255 unknown; BatteryFlag 8 charging, 128 no system battery, 255 unknown).
class PowerStatus {
public:
    virtual ~PowerStatus() = default;
    struct Reading {
        bool known = false;  // false: the call is not there, or it failed
        uint8_t acLineStatus = 255;
        uint8_t batteryFlag = 255;
        uint8_t batteryLifePercent = 255;
    };
    virtual Reading systemPowerStatus() = 0;
};

// Everything the core asks of Windows.
class WindowsApi : public DeviceIo,
                   public Libraries,
                   public Events,
                   public Clock,
                   public Registry,
                   public DriveTypes,
                   public Versions,
                   public DeviceSetup,
                   public ConfigManager,
                   public TextConversion,
                   public FileVersions,
                   public PowerStatus,
                   public StringTable {
public:
    ~WindowsApi() override = default;
};

}  // namespace dw
