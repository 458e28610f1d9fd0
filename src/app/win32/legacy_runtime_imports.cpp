// Two functions the static runtime imports that the oldest Windows this program is for do not
// provide, answered here instead, so that the exe loads and works on Windows 95 and NT 4.0:
//
// - _fstat64 (the C++ file streams ask it for a file's size) is in msvcrt.dll from version 7.0
//   on; Windows 95 and NT 4.0 ship version 6.0, which has _fstati64.
// - CreateSemaphoreW (the runtime's locks) is on Windows 95 a stub that always fails; the
//   runtime only ever asks for an unnamed semaphore, which CreateSemaphoreA gives everywhere.
//
// The import pointers are defined under the names the runtime's references use, so the linker
// takes these and never pulls the import entries in. Only the 32-bit program needs this. The
// 64-bit one takes the semaphore the same way, so that the end-to-end runs exercise it; its
// _fstati64 is _fstat64 itself, so it keeps its own.
#if defined(__i386__)
#define DW_IMPORT_CREATE_SEMAPHORE_W "__imp__CreateSemaphoreW@16"
#elif defined(__x86_64__)
#define DW_IMPORT_CREATE_SEMAPHORE_W "__imp_CreateSemaphoreW"
#endif

#if defined(DW_IMPORT_CREATE_SEMAPHORE_W)

#include <windows.h>

#include <sys/stat.h>

#include <vector>

namespace {

#if defined(__i386__)
int __cdecl fstat64Shim(int fd, struct _stat64* out) {
    struct _stati64 in;
    if (_fstati64(fd, &in) != 0) return -1;
    out->st_dev = in.st_dev;
    out->st_ino = in.st_ino;
    out->st_mode = in.st_mode;
    out->st_nlink = in.st_nlink;
    out->st_uid = in.st_uid;
    out->st_gid = in.st_gid;
    out->st_rdev = in.st_rdev;
    out->st_size = in.st_size;
    out->st_atime = in.st_atime;
    out->st_mtime = in.st_mtime;
    out->st_ctime = in.st_ctime;
    return 0;
}
#endif

HANDLE WINAPI createSemaphoreShim(LPSECURITY_ATTRIBUTES attributes, LONG initial, LONG maximum,
                                  LPCWSTR name) {
    if (name == nullptr) return CreateSemaphoreA(attributes, initial, maximum, nullptr);
    const int size = WideCharToMultiByte(CP_ACP, 0, name, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return nullptr;
    std::vector<char> narrow(static_cast<size_t>(size));
    WideCharToMultiByte(CP_ACP, 0, name, -1, narrow.data(), size, nullptr, nullptr);
    return CreateSemaphoreA(attributes, initial, maximum, narrow.data());
}

}  // namespace

extern "C" {
#if defined(__i386__)
__attribute__((used)) void* fstat64Import __asm__("__imp___fstat64") =
    reinterpret_cast<void*>(&fstat64Shim);
#endif
__attribute__((used)) void* createSemaphoreImport __asm__(DW_IMPORT_CREATE_SEMAPHORE_W) =
    reinterpret_cast<void*>(&createSemaphoreShim);
}

#endif
