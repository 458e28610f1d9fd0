#include "platform/win32/win32_windows_api.h"

#include <windows.h>

#include <cstring>

namespace dw {

namespace {

HANDLE toHandle(Handle h) { return reinterpret_cast<HANDLE>(h); }
Handle fromHandle(HANDLE h) { return reinterpret_cast<Handle>(h); }
HKEY toKey(Handle h) { return reinterpret_cast<HKEY>(h); }

// SP_DEVINFO_DATA.
struct DevInfoData {
    DWORD cbSize;
    GUID classGuid;
    DWORD devInst;
    ULONG_PTR reserved;
};

using GetClassDevsFn = HANDLE(WINAPI*)(const GUID*, const char*, HWND, DWORD);
using EnumDeviceInfoFn = BOOL(WINAPI*)(HANDLE, DWORD, DevInfoData*);
using GetRegistryPropertyFn = BOOL(WINAPI*)(HANDLE, DevInfoData*, DWORD, DWORD*, BYTE*, DWORD,
                                            DWORD*);
using DestroyListFn = BOOL(WINAPI*)(HANDLE);
using GetDeviceIdFn = DWORD(WINAPI*)(DWORD, char*, ULONG, ULONG);
using GetRelativeFn = DWORD(WINAPI*)(DWORD*, DWORD, ULONG);
using ReenumerateFn = DWORD(WINAPI*)(DWORD, ULONG);

using GetVersionInfoSizeFn = DWORD(WINAPI*)(const char*, DWORD*);
using GetVersionInfoFn = BOOL(WINAPI*)(const char*, DWORD, DWORD, void*);
using VerQueryValueFn = BOOL(WINAPI*)(const void*, const char*, void**, UINT*);

// A system library by its full path in the system folder. The program runs with administrator
// rights, and a bare name would let a library of that name beside the exe (in a downloads
// folder, say) be loaded first. Null when the library is not there.
HMODULE systemLibrary(const char* name) {
    char path[MAX_PATH];
    const UINT length = GetSystemDirectoryA(path, MAX_PATH);
    const size_t nameLength = std::strlen(name);
    if (length == 0 || length + 1 + nameLength >= MAX_PATH) return nullptr;
    path[length] = '\\';
    std::memcpy(path + length + 1, name, nameLength + 1);
    return LoadLibraryA(path);
}

// SetupAPI and CfgMgr32 do not exist on every Windows the program runs on, so their entry
// points are looked up once, at first use; a missing library or entry point stays null and the
// call fails as Windows would.
struct DeviceSetupEntries {
    GetClassDevsFn getClassDevs = nullptr;
    EnumDeviceInfoFn enumDeviceInfo = nullptr;
    GetRegistryPropertyFn getRegistryProperty = nullptr;
    DestroyListFn destroyList = nullptr;
    GetDeviceIdFn getDeviceId = nullptr;
    GetRelativeFn getChild = nullptr;
    GetRelativeFn getSibling = nullptr;
    ReenumerateFn reenumerate = nullptr;
};

template <typename Fn>
Fn entry(HMODULE module, const char* name) {
    if (module == nullptr) return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

const DeviceSetupEntries& deviceSetupEntries() {
    static const DeviceSetupEntries entries = [] {
        DeviceSetupEntries e;
        const HMODULE setupApi = systemLibrary("setupapi.dll");
        const HMODULE cfgMgr = systemLibrary("cfgmgr32.dll");
        e.getClassDevs = entry<GetClassDevsFn>(setupApi, "SetupDiGetClassDevsA");
        e.enumDeviceInfo = entry<EnumDeviceInfoFn>(setupApi, "SetupDiEnumDeviceInfo");
        e.getRegistryProperty =
            entry<GetRegistryPropertyFn>(setupApi, "SetupDiGetDeviceRegistryPropertyA");
        e.destroyList = entry<DestroyListFn>(setupApi, "SetupDiDestroyDeviceInfoList");
        e.getDeviceId = entry<GetDeviceIdFn>(cfgMgr, "CM_Get_Device_IDA");
        e.getChild = entry<GetRelativeFn>(cfgMgr, "CM_Get_Child");
        e.getSibling = entry<GetRelativeFn>(cfgMgr, "CM_Get_Sibling");
        e.reenumerate = entry<ReenumerateFn>(cfgMgr, "CM_Reenumerate_DevNode");
        return e;
    }();
    return entries;
}

// The version information functions, taken from the system folder's VERSION.DLL at first use
// instead of being imported: VERSION.DLL is not one of the libraries Windows 7 to 11 always load
// from the system folder, so an import would load one beside the exe before the program runs.
struct FileVersionEntries {
    GetVersionInfoSizeFn getSize = nullptr;
    GetVersionInfoFn getInfo = nullptr;
    VerQueryValueFn query = nullptr;
};

const FileVersionEntries& fileVersionEntries() {
    static const FileVersionEntries entries = [] {
        FileVersionEntries e;
        const HMODULE version = systemLibrary("version.dll");
        e.getSize = entry<GetVersionInfoSizeFn>(version, "GetFileVersionInfoSizeA");
        e.getInfo = entry<GetVersionInfoFn>(version, "GetFileVersionInfoA");
        e.query = entry<VerQueryValueFn>(version, "VerQueryValueA");
        return e;
    }();
    return entries;
}

GUID toGuid(const Guid& guid) {
    GUID g;
    static_assert(sizeof g == 16);
    std::memcpy(&g, guid.bytes.data(), 16);
    return g;
}

Guid fromGuid(const GUID& g) {
    Guid guid;
    std::memcpy(guid.bytes.data(), &g, 16);
    return guid;
}

DevInfoData toDevInfo(const DeviceSetup::DeviceInfo& device) {
    DevInfoData data;
    data.cbSize = sizeof data;
    data.classGuid = toGuid(device.classGuid);
    data.devInst = device.devInst;
    data.reserved = device.reserved;
    return data;
}

}  // namespace

DeviceIo::OpenResult Win32WindowsApi::createFile(const std::string& name, uint32_t access,
                                                 uint32_t share, uint32_t disposition,
                                                 uint32_t flags) {
    OpenResult result;
    HANDLE h = CreateFileA(name.c_str(), access, share, nullptr, disposition, flags, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        result.error = GetLastError();
        return result;
    }
    result.handle = fromHandle(h);
    return result;
}

DeviceIo::IoResult Win32WindowsApi::deviceIoControl(Handle device, uint32_t code,
                                                    std::span<uint8_t> in, std::span<uint8_t> out) {
    IoResult result;
    DWORD returned = 0;
    const BOOL ok =
        DeviceIoControl(toHandle(device), code, in.empty() ? nullptr : in.data(),
                        static_cast<DWORD>(in.size()), out.empty() ? nullptr : out.data(),
                        static_cast<DWORD>(out.size()), &returned, nullptr);
    result.ok = ok != FALSE;
    result.bytesReturned = returned;
    if (!result.ok) result.error = GetLastError();
    return result;
}

bool Win32WindowsApi::closeHandle(Handle handle) { return CloseHandle(toHandle(handle)) != FALSE; }

Handle Win32WindowsApi::loadLibrary(const std::string& name) {
    return reinterpret_cast<Handle>(LoadLibraryA(name.c_str()));
}

void* Win32WindowsApi::getProcAddress(Handle module, const std::string& name) {
    return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(module), name.c_str()));
}

bool Win32WindowsApi::freeLibrary(Handle module) {
    return FreeLibrary(reinterpret_cast<HMODULE>(module)) != FALSE;
}

// Neither is imported: Windows 95, NT 4.0 and 2000 lack both, XP before SP1 and 7 without its
// update lack SetDefaultDllDirectories, and a missing import would stop the program loading.
Libraries::Call Win32WindowsApi::setDefaultDllDirectories(uint32_t directoryFlags) {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    const auto set = entry<SetDefaultDllDirectoriesFn>(GetModuleHandleA("kernel32.dll"),
                                                       "SetDefaultDllDirectories");
    if (set == nullptr) return Call::NotExported;
    return set(directoryFlags) != FALSE ? Call::Done : Call::Failed;
}

Libraries::Call Win32WindowsApi::setDllDirectory(const std::string& path) {
    using SetDllDirectoryFn = BOOL(WINAPI*)(const char*);
    const auto set = entry<SetDllDirectoryFn>(GetModuleHandleA("kernel32.dll"), "SetDllDirectoryA");
    if (set == nullptr) return Call::NotExported;
    return set(path.c_str()) != FALSE ? Call::Done : Call::Failed;
}

std::string Win32WindowsApi::moduleFileName() {
    char path[MAX_PATH] = {};
    // A path that fills the buffer may have been cut.
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    return std::string(path, length);
}

Handle Win32WindowsApi::createEvent(bool manualReset, bool initiallySignalled) {
    return fromHandle(CreateEventA(nullptr, manualReset, initiallySignalled, nullptr));
}

bool Win32WindowsApi::resetEvent(Handle event) { return ResetEvent(toHandle(event)) != FALSE; }

uint32_t Win32WindowsApi::waitForSingleObject(Handle event, uint32_t milliseconds) {
    return WaitForSingleObject(toHandle(event), milliseconds);
}

bool Win32WindowsApi::closeEvent(Handle event) { return CloseHandle(toHandle(event)) != FALSE; }

uint32_t Win32WindowsApi::tickCount() { return GetTickCount(); }

void Win32WindowsApi::sleep(uint32_t milliseconds) { Sleep(milliseconds); }

uint32_t Win32WindowsApi::openKey(Handle parent, const std::string& subKey, uint32_t access,
                                  Handle& key) {
    HKEY opened = nullptr;
    const LONG error = RegOpenKeyExA(toKey(parent), subKey.c_str(), 0, access, &opened);
    if (error == ERROR_SUCCESS) key = reinterpret_cast<Handle>(opened);
    return static_cast<uint32_t>(error);
}

uint32_t Win32WindowsApi::enumKey(Handle key, uint32_t index, std::span<char> name) {
    return static_cast<uint32_t>(
        RegEnumKeyA(toKey(key), index, name.data(), static_cast<DWORD>(name.size())));
}

uint32_t Win32WindowsApi::queryValue(Handle key, const std::string& valueName, uint32_t* type,
                                     std::span<uint8_t> data, uint32_t& size) {
    DWORD valueType = 0;
    DWORD valueSize = static_cast<DWORD>(data.size());
    const LONG error = RegQueryValueExA(toKey(key), valueName.c_str(), nullptr, &valueType,
                                        data.data(), &valueSize);
    if (type != nullptr) *type = valueType;
    size = valueSize;
    return static_cast<uint32_t>(error);
}

uint32_t Win32WindowsApi::closeKey(Handle key) {
    return static_cast<uint32_t>(RegCloseKey(toKey(key)));
}

uint32_t Win32WindowsApi::getDriveType(const std::string& rootPath) {
    return GetDriveTypeA(rootPath.c_str());
}

bool Win32WindowsApi::getVersionEx(uint32_t recordSize, OsVersionInfo& out) {
    OSVERSIONINFOEXA record;
    std::memset(&record, 0, sizeof record);
    if (recordSize > sizeof record) return false;
    record.dwOSVersionInfoSize = recordSize;
    if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&record))) return false;
    out = OsVersionInfo{};
    out.majorVersion = record.dwMajorVersion;
    out.minorVersion = record.dwMinorVersion;
    out.buildNumber = record.dwBuildNumber;
    out.platformId = record.dwPlatformId;
    out.csdVersion.assign(record.szCSDVersion,
                          strnlen(record.szCSDVersion, sizeof record.szCSDVersion));
    if (recordSize >= sizeof(OSVERSIONINFOEXA)) {
        out.servicePackMajor = record.wServicePackMajor;
        out.servicePackMinor = record.wServicePackMinor;
        out.suiteMask = record.wSuiteMask;
        out.productType = record.wProductType;
    }
    return true;
}

Handle Win32WindowsApi::setupDiGetClassDevs(const Guid& classGuid, uint32_t flags,
                                            uint32_t* error) {
    const auto& e = deviceSetupEntries();
    if (e.getClassDevs == nullptr) {
        if (error != nullptr) *error = ERROR_PROC_NOT_FOUND;
        return kInvalidHandle;
    }
    const GUID guid = toGuid(classGuid);
    const HANDLE set = e.getClassDevs(&guid, nullptr, nullptr, flags);
    if (set == INVALID_HANDLE_VALUE) {
        if (error != nullptr) *error = GetLastError();
        return kInvalidHandle;
    }
    return fromHandle(set);
}

DeviceSetup::Result Win32WindowsApi::setupDiEnumDeviceInfo(Handle set, uint32_t index,
                                                           DeviceInfo& out) {
    Result result;
    const auto& e = deviceSetupEntries();
    if (e.enumDeviceInfo == nullptr) {
        result.error = ERROR_PROC_NOT_FOUND;
        return result;
    }
    DevInfoData data;
    std::memset(&data, 0, sizeof data);
    data.cbSize = sizeof data;
    result.ok = e.enumDeviceInfo(toHandle(set), index, &data) != FALSE;
    if (!result.ok) {
        result.error = GetLastError();
        return result;
    }
    out.classGuid = fromGuid(data.classGuid);
    out.devInst = data.devInst;
    out.reserved = data.reserved;
    return result;
}

DeviceSetup::Result Win32WindowsApi::setupDiGetDeviceRegistryProperty(
    Handle set, const DeviceInfo& device, uint32_t property, uint32_t* type,
    std::span<uint8_t> buffer, uint32_t& requiredSize) {
    Result result;
    const auto& e = deviceSetupEntries();
    if (e.getRegistryProperty == nullptr) {
        result.error = ERROR_PROC_NOT_FOUND;
        return result;
    }
    DevInfoData data = toDevInfo(device);
    DWORD valueType = 0;
    DWORD required = 0;
    result.ok = e.getRegistryProperty(toHandle(set), &data, property, &valueType,
                                      buffer.empty() ? nullptr : buffer.data(),
                                      static_cast<DWORD>(buffer.size()), &required) != FALSE;
    if (!result.ok) result.error = GetLastError();
    if (type != nullptr) *type = valueType;
    requiredSize = required;
    return result;
}

bool Win32WindowsApi::setupDiDestroyDeviceInfoList(Handle set) {
    const auto& e = deviceSetupEntries();
    return e.destroyList != nullptr && e.destroyList(toHandle(set)) != FALSE;
}

uint32_t Win32WindowsApi::cmGetDeviceId(uint32_t devInst, std::span<char> buffer) {
    const auto& e = deviceSetupEntries();
    if (e.getDeviceId == nullptr) return kCrFailure;
    return e.getDeviceId(devInst, buffer.data(), static_cast<ULONG>(buffer.size()), 0);
}

uint32_t Win32WindowsApi::cmGetChild(uint32_t& child, uint32_t devInst) {
    const auto& e = deviceSetupEntries();
    if (e.getChild == nullptr) return kCrFailure;
    DWORD found = 0;
    const DWORD result = e.getChild(&found, devInst, 0);
    child = found;
    return result;
}

uint32_t Win32WindowsApi::cmGetSibling(uint32_t& sibling, uint32_t devInst) {
    const auto& e = deviceSetupEntries();
    if (e.getSibling == nullptr) return kCrFailure;
    DWORD found = 0;
    const DWORD result = e.getSibling(&found, devInst, 0);
    sibling = found;
    return result;
}

uint32_t Win32WindowsApi::cmReenumerateDevNode(uint32_t devInst, uint32_t flags) {
    const auto& e = deviceSetupEntries();
    if (e.reenumerate == nullptr) return kCrFailure;
    return e.reenumerate(devInst, flags);
}

bool Win32WindowsApi::multiByteToWideChar(uint32_t codePage, std::string_view text,
                                          std::u16string& wide) {
    wide.clear();
    if (text.empty()) return true;
    const int length = static_cast<int>(text.size());
    const int needed = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
    if (needed <= 0) return false;
    std::vector<wchar_t> buffer(static_cast<size_t>(needed));
    const int written =
        MultiByteToWideChar(codePage, 0, text.data(), length, buffer.data(), needed);
    if (written <= 0) return false;
    wide.assign(buffer.begin(), buffer.begin() + written);
    return true;
}

// Looked up at run time, like the library search's calls: not every kernel32 the program runs on
// need export it.
PowerStatus::Reading Win32WindowsApi::systemPowerStatus() {
    using GetSystemPowerStatusFn = BOOL(WINAPI*)(SYSTEM_POWER_STATUS*);
    const auto get =
        entry<GetSystemPowerStatusFn>(GetModuleHandleA("kernel32.dll"), "GetSystemPowerStatus");
    SYSTEM_POWER_STATUS status = {};
    Reading reading;
    if (get == nullptr || !get(&status)) return reading;
    reading.known = true;
    reading.acLineStatus = status.ACLineStatus;
    reading.batteryFlag = status.BatteryFlag;
    reading.batteryLifePercent = status.BatteryLifePercent;
    return reading;
}

// Without the library a file has no version information, as Windows says of a file without.
uint32_t Win32WindowsApi::getFileVersionInfoSize(const std::string& fileName) {
    const auto& e = fileVersionEntries();
    if (e.getSize == nullptr) return 0;
    DWORD ignored = 0;
    return e.getSize(fileName.c_str(), &ignored);
}

bool Win32WindowsApi::getFileVersionInfo(const std::string& fileName, std::span<uint8_t> block) {
    const auto& e = fileVersionEntries();
    return e.getInfo != nullptr &&
           e.getInfo(fileName.c_str(), 0, static_cast<DWORD>(block.size()), block.data()) != FALSE;
}

bool Win32WindowsApi::verQueryValue(std::span<const uint8_t> block, const std::string& subBlock,
                                    std::vector<uint8_t>& value) {
    const auto& e = fileVersionEntries();
    if (e.query == nullptr) return false;
    void* found = nullptr;
    UINT length = 0;
    if (!e.query(block.data(), subBlock.c_str(), &found, &length) || found == nullptr) {
        return false;
    }
    // Texts are counted in characters, binary values in bytes; both are one byte each here.
    const auto* first = static_cast<const uint8_t*>(found);
    const uint8_t* begin = block.data();
    const uint8_t* end = begin + block.size();
    if (first < begin || first > end || length > static_cast<size_t>(end - first)) return false;
    value.assign(first, first + length);
    const bool isText =
        subBlock.size() >= 15 && _strnicmp(subBlock.c_str(), "\\StringFileInfo", 16) == 0;
    if (isText && (value.empty() || value.back() != 0)) value.push_back(0);
    return true;
}

std::string Win32WindowsApi::loadString(uint32_t id) {
    char text[512] = {};
    const int length = LoadStringA(GetModuleHandleA(nullptr), id, text, sizeof text);
    return length > 0 ? std::string(text, static_cast<size_t>(length)) : std::string();
}

}  // namespace dw
