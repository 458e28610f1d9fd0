// The error text of any sense bytes: always a text, bounded, ending in its code.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "devices/device_entry.h"
#include "fuzz_support.h"
#include "scsi/sense_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::PassThroughPc pc;
    dw::DeviceEntry device;
    std::memcpy(device.sense, data, size < sizeof device.sense ? size : sizeof device.sense);
    const char* text = dw::SenseText(pc.transport, device, pc.machine);
    FUZZ_REQUIRE(text != nullptr);
    const std::string message(text);
    FUZZ_REQUIRE(message.size() < 512);
    char code[16];
    std::snprintf(code, sizeof code, " (code %06lX)",
                  static_cast<unsigned long>(dw::SenseCode(device)));
    FUZZ_REQUIRE(message.size() >= std::strlen(code) &&
                 message.compare(message.size() - std::strlen(code), std::string::npos, code) == 0);
    return 0;
}
