// The Windows seam's calls where there is no Windows: each fails as a missing facility would.
#include "platform/no_windows.h"

namespace dw {

DeviceIo::OpenResult NoWindows::createFile(const std::string&, uint32_t, uint32_t, uint32_t,
                                           uint32_t) {
    return {kInvalidHandle, winerr::kFileNotFound};
}

DeviceIo::IoResult NoWindows::deviceIoControl(Handle, uint32_t, std::span<uint8_t>,
                                              std::span<uint8_t>) {
    return {false, 0, winerr::kInvalidHandle};
}

uint32_t NoWindows::openKey(Handle, const std::string&, uint32_t, Handle& key) {
    key = 0;
    return winerr::kFileNotFound;
}

Handle NoWindows::setupDiGetClassDevs(const Guid&, uint32_t, uint32_t* error) {
    if (error != nullptr) *error = winerr::kInvalidFunction;
    return kInvalidHandle;
}

DeviceSetup::Result NoWindows::setupDiEnumDeviceInfo(Handle, uint32_t, DeviceInfo&) {
    return {false, winerr::kNoMoreItems};
}

DeviceSetup::Result NoWindows::setupDiGetDeviceRegistryProperty(Handle, const DeviceInfo&, uint32_t,
                                                                uint32_t*, std::span<uint8_t>,
                                                                uint32_t&) {
    return {false, winerr::kInvalidHandle};
}

}  // namespace dw
