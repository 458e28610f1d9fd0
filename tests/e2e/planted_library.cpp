// A library planted beside the program under the name of a system library, so that an
// end-to-end run can tell whether the program took the system folder's library instead.
//
// As setupapi.dll, cfgmgr32.dll or rpcrt4.dll (which setupapi.dll imports) it leaves
// NAME.loaded in its own folder when anything loads it. As version.dll (DW_PLANTED_VERSION) it
// leaves version.dll.used when the program's three version functions are called through it: Wine's
// own user32 imports version.dll, so under a native override Wine loads the planted one for user32
// whatever the program does; its wide functions, the ones user32 calls, answer "no version
// information" and leave no mark.
#include <windows.h>

#include <cstring>

namespace {

HINSTANCE gInstance = nullptr;

void leaveMark(const char* suffix) {
    char path[MAX_PATH + 16] = {};
    const DWORD length = GetModuleFileNameA(gInstance, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    std::strcat(path, suffix);
    const HANDLE mark = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (mark != INVALID_HANDLE_VALUE) CloseHandle(mark);
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    gInstance = instance;
#if !defined(DW_PLANTED_VERSION)
    leaveMark(".loaded");
#endif
    return TRUE;
}

#if defined(DW_PLANTED_VERSION)
__declspec(dllexport) DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR, LPDWORD) {
    leaveMark(".used");
    return 0;
}
__declspec(dllexport) BOOL WINAPI GetFileVersionInfoA(LPCSTR, DWORD, DWORD, LPVOID) {
    leaveMark(".used");
    return FALSE;
}
__declspec(dllexport) BOOL WINAPI VerQueryValueA(LPCVOID, LPCSTR, LPVOID*, PUINT) {
    leaveMark(".used");
    return FALSE;
}
__declspec(dllexport) DWORD WINAPI GetFileVersionInfoSizeW(LPCWSTR, LPDWORD) { return 0; }
__declspec(dllexport) BOOL WINAPI GetFileVersionInfoW(LPCWSTR, DWORD, DWORD, LPVOID) {
    return FALSE;
}
__declspec(dllexport) BOOL WINAPI VerQueryValueW(LPCVOID, LPCWSTR, LPVOID*, PUINT) { return FALSE; }
#endif

}  // extern "C"
