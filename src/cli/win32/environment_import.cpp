// GetEnvironmentVariableW, which the runtime's getopt_long asks (for POSIXLY_CORRECT), is on
// Windows 95 a stub that always fails: drivewright-cli.exe answers it here through
// GetEnvironmentVariableA, which every Windows it is for has, so that it neither imports the
// stub nor depends on how it fails. Defined under the import pointer's name, as the dialog's
// runtime shims are (src/app/win32/legacy_runtime_imports.cpp).
#if defined(__i386__)
#define DW_IMPORT_GET_ENVIRONMENT_VARIABLE_W "__imp__GetEnvironmentVariableW@12"
#elif defined(__x86_64__)
#define DW_IMPORT_GET_ENVIRONMENT_VARIABLE_W "__imp_GetEnvironmentVariableW"
#endif

#if defined(DW_IMPORT_GET_ENVIRONMENT_VARIABLE_W)

#include <windows.h>

#include <vector>

namespace {

DWORD WINAPI getEnvironmentVariableShim(LPCWSTR name, LPWSTR value, DWORD size) {
    const int nameSize = WideCharToMultiByte(CP_ACP, 0, name, -1, nullptr, 0, nullptr, nullptr);
    if (nameSize <= 0) return 0;
    std::vector<char> narrowName(static_cast<size_t>(nameSize));
    WideCharToMultiByte(CP_ACP, 0, name, -1, narrowName.data(), nameSize, nullptr, nullptr);
    const DWORD needed = GetEnvironmentVariableA(narrowName.data(), nullptr, 0);
    if (needed == 0) return 0;
    std::vector<char> narrow(needed);
    const DWORD length = GetEnvironmentVariableA(narrowName.data(), narrow.data(), needed);
    if (length == 0 || length >= needed) return 0;
    const int wide = MultiByteToWideChar(CP_ACP, 0, narrow.data(), -1, nullptr, 0);
    if (wide <= 0) return 0;
    // As the real call: the size needed, with its terminator, when the buffer is too small.
    if (value == nullptr || size < static_cast<DWORD>(wide)) return static_cast<DWORD>(wide);
    MultiByteToWideChar(CP_ACP, 0, narrow.data(), -1, value, wide);
    return static_cast<DWORD>(wide - 1);
}

}  // namespace

extern "C" {
__attribute__((used)) void* getEnvironmentVariableImport __asm__(
    DW_IMPORT_GET_ENVIRONMENT_VARIABLE_W) = reinterpret_cast<void*>(&getEnvironmentVariableShim);
}

#endif
