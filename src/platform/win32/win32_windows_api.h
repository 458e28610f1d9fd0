// The seam over the real Windows calls.
#pragma once

#include "platform/windows_api.h"

namespace dw {

class Win32WindowsApi : public WindowsApi {
public:
    OpenResult createFile(const std::string& name, uint32_t access, uint32_t share,
                          uint32_t disposition, uint32_t flags) override;
    IoResult deviceIoControl(Handle device, uint32_t code, std::span<uint8_t> in,
                             std::span<uint8_t> out) override;
    bool closeHandle(Handle handle) override;

    Handle loadLibrary(const std::string& name) override;
    void* getProcAddress(Handle module, const std::string& name) override;
    bool freeLibrary(Handle module) override;
    Call setDefaultDllDirectories(uint32_t directoryFlags) override;
    Call setDllDirectory(const std::string& path) override;
    std::string moduleFileName() override;

    Handle createEvent(bool manualReset, bool initiallySignalled) override;
    bool resetEvent(Handle event) override;
    uint32_t waitForSingleObject(Handle event, uint32_t milliseconds) override;
    bool closeEvent(Handle event) override;

    uint32_t tickCount() override;
    void sleep(uint32_t milliseconds) override;

    uint32_t openKey(Handle parent, const std::string& subKey, uint32_t access,
                     Handle& key) override;
    uint32_t enumKey(Handle key, uint32_t index, std::span<char> name) override;
    uint32_t queryValue(Handle key, const std::string& valueName, uint32_t* type,
                        std::span<uint8_t> data, uint32_t& size) override;
    uint32_t closeKey(Handle key) override;

    uint32_t getDriveType(const std::string& rootPath) override;
    bool getVersionEx(uint32_t recordSize, OsVersionInfo& out) override;

    using DeviceSetup::setupDiGetClassDevs;
    Handle setupDiGetClassDevs(const Guid& classGuid, uint32_t flags, uint32_t* error) override;
    Result setupDiEnumDeviceInfo(Handle set, uint32_t index, DeviceInfo& out) override;
    Result setupDiGetDeviceRegistryProperty(Handle set, const DeviceInfo& device, uint32_t property,
                                            uint32_t* type, std::span<uint8_t> buffer,
                                            uint32_t& requiredSize) override;
    bool setupDiDestroyDeviceInfoList(Handle set) override;

    uint32_t cmGetDeviceId(uint32_t devInst, std::span<char> buffer) override;
    uint32_t cmGetChild(uint32_t& child, uint32_t devInst) override;
    uint32_t cmGetSibling(uint32_t& sibling, uint32_t devInst) override;
    uint32_t cmReenumerateDevNode(uint32_t devInst, uint32_t flags) override;

    bool multiByteToWideChar(uint32_t codePage, std::string_view text,
                             std::u16string& wide) override;

    uint32_t getFileVersionInfoSize(const std::string& fileName) override;
    bool getFileVersionInfo(const std::string& fileName, std::span<uint8_t> block) override;
    bool verQueryValue(std::span<const uint8_t> block, const std::string& subBlock,
                       std::vector<uint8_t>& value) override;

    Reading systemPowerStatus() override;

    std::string loadString(uint32_t id) override;
};

}  // namespace dw
