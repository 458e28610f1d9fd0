// The one seam between the program and Windows. Every Windows call the core makes goes
// through one of these facilities, with Windows' own meaning and error codes but C++ types.
// The real implementation lives in platform/win32; the simulated PC in sim/ is the other one.
#pragma once

#include <cstdint>
#include <span>
#include <string>

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
inline constexpr uint32_t kInvalidParameter = 87;
inline constexpr uint32_t kSemTimeout = 121;
inline constexpr uint32_t kInsufficientBuffer = 122;
inline constexpr uint32_t kModNotFound = 126;
inline constexpr uint32_t kProcNotFound = 127;
inline constexpr uint32_t kMoreData = 234;
inline constexpr uint32_t kNoMoreItems = 259;
inline constexpr uint32_t kIoDevice = 1117;
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

// Libraries: LoadLibraryA, GetProcAddress, FreeLibrary.
class Libraries {
public:
    virtual ~Libraries() = default;
    virtual Handle loadLibrary(const std::string& name) = 0;  // 0 on failure
    virtual void* getProcAddress(Handle module, const std::string& name) = 0;
    virtual bool freeLibrary(Handle module) = 0;
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
    static constexpr uint32_t kRead = 0x20019;

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

// Everything the core asks of Windows.
class WindowsApi : public DeviceIo,
                   public Libraries,
                   public Events,
                   public Clock,
                   public Registry {
public:
    ~WindowsApi() override = default;
};

}  // namespace dw
