#include "platform/win32/win32_windows_api.h"

#include <windows.h>

namespace dw {

namespace {

HANDLE toHandle(Handle h) { return reinterpret_cast<HANDLE>(h); }
Handle fromHandle(HANDLE h) { return reinterpret_cast<Handle>(h); }
HKEY toKey(Handle h) { return reinterpret_cast<HKEY>(h); }

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
                                                    std::span<uint8_t> in,
                                                    std::span<uint8_t> out) {
    IoResult result;
    DWORD returned = 0;
    const BOOL ok = DeviceIoControl(toHandle(device), code, in.empty() ? nullptr : in.data(),
                                    static_cast<DWORD>(in.size()),
                                    out.empty() ? nullptr : out.data(),
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
    return reinterpret_cast<void*>(
        GetProcAddress(reinterpret_cast<HMODULE>(module), name.c_str()));
}

bool Win32WindowsApi::freeLibrary(Handle module) {
    return FreeLibrary(reinterpret_cast<HMODULE>(module)) != FALSE;
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

}  // namespace dw
