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
};

}  // namespace dw
