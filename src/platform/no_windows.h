// The Windows seam where there is no Windows (the Linux back end): every facility is absent and
// every call fails as a missing one would. Nothing of Windows is imitated; the transport holds
// one only because its Windows requests are written against the seam.
#pragma once

#include "platform/windows_api.h"

namespace dw {

class NoWindows : public WindowsApi {
public:
    OpenResult createFile(const std::string&, uint32_t, uint32_t, uint32_t, uint32_t) override;
    IoResult deviceIoControl(Handle, uint32_t, std::span<uint8_t>, std::span<uint8_t>) override;
    bool closeHandle(Handle) override { return false; }
    Handle loadLibrary(const std::string&) override { return 0; }
    void* getProcAddress(Handle, const std::string&) override { return nullptr; }
    bool freeLibrary(Handle) override { return false; }
    Call setDefaultDllDirectories(uint32_t) override { return Call::NotExported; }
    Call setDllDirectory(const std::string&) override { return Call::NotExported; }
    std::string moduleFileName() override { return {}; }
    Handle createEvent(bool, bool) override { return 0; }
    bool resetEvent(Handle) override { return false; }
    uint32_t waitForSingleObject(Handle, uint32_t) override { return kWaitFailed; }
    bool closeEvent(Handle) override { return false; }
    uint32_t tickCount() override { return 0; }
    void sleep(uint32_t) override {}
    uint32_t openKey(Handle, const std::string&, uint32_t, Handle&) override;
    uint32_t enumKey(Handle, uint32_t, std::span<char>) override { return winerr::kInvalidHandle; }
    uint32_t queryValue(Handle, const std::string&, uint32_t*, std::span<uint8_t>,
                        uint32_t&) override {
        return winerr::kInvalidHandle;
    }
    uint32_t closeKey(Handle) override { return winerr::kInvalidHandle; }
    uint32_t getDriveType(const std::string&) override { return kNoRootDir; }
    bool getVersionEx(uint32_t, OsVersionInfo&) override { return false; }
    Handle setupDiGetClassDevs(const Guid&, uint32_t, uint32_t* error) override;
    Result setupDiEnumDeviceInfo(Handle, uint32_t, DeviceInfo&) override;
    Result setupDiGetDeviceRegistryProperty(Handle, const DeviceInfo&, uint32_t, uint32_t*,
                                            std::span<uint8_t>, uint32_t&) override;
    bool setupDiDestroyDeviceInfoList(Handle) override { return false; }
    uint32_t cmGetDeviceId(uint32_t, std::span<char>) override { return kCrNoSuchDevnode; }
    uint32_t cmGetChild(uint32_t&, uint32_t) override { return kCrNoSuchDevnode; }
    uint32_t cmGetSibling(uint32_t&, uint32_t) override { return kCrNoSuchDevnode; }
    uint32_t cmReenumerateDevNode(uint32_t, uint32_t) override { return kCrNoSuchDevnode; }
    bool multiByteToWideChar(uint32_t, std::string_view, std::u16string&) override { return false; }
    uint32_t getFileVersionInfoSize(const std::string&) override { return 0; }
    bool getFileVersionInfo(const std::string&, std::span<uint8_t>) override { return false; }
    bool verQueryValue(std::span<const uint8_t>, const std::string&,
                       std::vector<uint8_t>&) override {
        return false;
    }
    std::string loadString(uint32_t) override { return {}; }
    Reading systemPowerStatus() override { return {}; }
};

}  // namespace dw
