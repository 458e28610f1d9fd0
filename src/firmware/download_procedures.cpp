#include "firmware/download_procedures.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "firmware/command_builders.h"
#include "identify/identify_model.h"
#include "util/image_digest.h"

namespace dw {

namespace {

constexpr uint32_t kWriteBufferChunk = 8192;
constexpr uint32_t kVendorChunk = 32768;

// The upgrade file, read in order, with the digest of everything read so far.
class ImageReader {
public:
    explicit ImageReader(const char* path) : file_(std::fopen(path, "rb")) {}
    ~ImageReader() { close(); }
    ImageReader(const ImageReader&) = delete;
    ImageReader& operator=(const ImageReader&) = delete;

    bool isOpen() const { return file_ != nullptr; }
    void close() {
        if (file_ != nullptr) std::fclose(file_);
        file_ = nullptr;
    }

    // Reads exactly `count` bytes into `buffer`. A shorter read (the file was shortened or
    // replaced) is a failure: stale buffer bytes must never reach the drive as firmware.
    bool readChunk(uint8_t* buffer, uint32_t count) {
        if (file_ == nullptr) return false;
        const size_t n = std::fread(buffer, 1, count, file_);
        digest_.update(buffer, n);
        length_ += n;
        return n == count;
    }

    // True when what was read is, by length and digest, the file the validation accepted.
    bool matches(const FileDigest& validated) const {
        return validated.valid && validated.length == length_ && validated.digest == digest_.value();
    }

private:
    std::FILE* file_;
    ImageDigest digest_;
    uint64_t length_ = 0;
};

enum class Preparation { SenseMustSucceed, RezeroSenseEject, RezeroSense };

struct WriteBufferProcedure {
    Preparation preparation;
    uint32_t mode4Chunks;
    uint32_t lastLength;
    bool settleWait;
    bool refreshes;
};

constexpr WriteBufferProcedure k128K{Preparation::SenseMustSucceed, 15, 8192, false, true};
constexpr WriteBufferProcedure k512K{Preparation::RezeroSenseEject, 63, 8192, true, false};
constexpr WriteBufferProcedure k960K{Preparation::RezeroSense, 119, 8192, true, false};
constexpr WriteBufferProcedure k1004K{Preparation::RezeroSense, 125, 4096, true, false};

bool runWriteBufferProcedure(const WriteBufferProcedure& p, UpgradeState& state,
                             UpgradeDialog& dialog, Clock& clock) {
    ScsiTransport& transport = *state.transport;
    DeviceEntry& device = state.currentDevice;
    std::span<uint8_t> buffer(state.transferBuffer);

    ImageReader image(state.upgradeFilePath);
    if (!image.isOpen()) return false;

    switch (p.preparation) {
        case Preparation::SenseMustSucceed:
            TestUnitReady(transport, device);
            if (RequestSense(transport, device, buffer) != 1) return false;
            break;
        case Preparation::RezeroSenseEject:
            RezeroUnit(transport, device);
            RequestSense(transport, device, buffer);
            if (TestUnitReady(transport, device) == 1) EjectMedium(transport, device);
            break;
        case Preparation::RezeroSense:
            RezeroUnit(transport, device);
            RequestSense(transport, device, buffer);
            break;
    }

    for (uint32_t k = 0; k < p.mode4Chunks; ++k) {
        if (!image.readChunk(buffer.data(), kWriteBufferChunk)) return false;
        if (WriteBuffer(transport, device, 4, 0, k * kWriteBufferChunk, kWriteBufferChunk,
                        buffer) != 1) {
            return false;
        }
        if (p.refreshes) dialog.refresh();
    }

    if (!image.readChunk(buffer.data(), p.lastLength)) return false;
    // The drive keeps what the last chunk commits: it must be the image that was checked.
    if (!image.matches(state.validatedFile)) return false;
    const int32_t last = WriteBuffer(transport, device, 5, 0, p.mode4Chunks * kWriteBufferChunk,
                                     p.lastLength, buffer);
    if (p.settleWait) waitSince(clock, clock.tickCount(), kSettleWaitMs);
    if (last != 1) return false;
    image.close();
    if (p.refreshes) dialog.refresh();
    return true;
}

}  // namespace

void waitSince(Clock& clock, uint32_t start, uint32_t milliseconds) {
    for (;;) {
        const uint32_t elapsed = clock.tickCount() - start;  // modulo 2^32
        if (elapsed >= milliseconds) return;
        clock.sleep(milliseconds - elapsed);
    }
}

bool Download128K(UpgradeState& state, UpgradeDialog& dialog, Clock& clock) {
    return runWriteBufferProcedure(k128K, state, dialog, clock);
}

bool Download512K(UpgradeState& state, UpgradeDialog& dialog, Clock& clock) {
    ++state.passCounter;
    if (!runWriteBufferProcedure(k512K, state, dialog, clock)) return false;

    // Some "6025" drives take the image in two passes: revision 5a02 after the first one asks
    // for the second. Its result is the upgrade's result.
    ScsiTransport& transport = *state.transport;
    if (ModelProductId(transport, state.currentDevice).find("6025") != std::string::npos &&
        state.passCounter < 2) {
        InquiryStrings strings;
        if ((transport.inquiry(state.currentDevice, strings) & 0xFF) == 1 &&
            std::memcmp(strings.revision, "5a02", 4) == 0) {
            return Download512K(state, dialog, clock);
        }
    }
    return true;
}

bool Download960K(UpgradeState& state, UpgradeDialog& dialog, Clock& clock) {
    return runWriteBufferProcedure(k960K, state, dialog, clock);
}

bool Download1004K(UpgradeState& state, UpgradeDialog& dialog, Clock& clock) {
    return runWriteBufferProcedure(k1004K, state, dialog, clock);
}

bool Download256K(UpgradeState& state, UpgradeDialog& dialog, Clock&) {
    ScsiTransport& transport = *state.transport;
    DeviceEntry& device = state.currentDevice;
    std::span<uint8_t> buffer(state.transferBuffer);

    ImageReader image(state.upgradeFilePath);
    if (!image.isOpen()) return false;
    TestUnitReady(transport, device);
    RequestSense(transport, device, buffer);
    if (VendorPrepareDownload(transport, device) != 1) {
        image.close();
        dialog.refresh();
        return false;
    }

    for (uint32_t k = 0; k < 7; ++k) {
        if (!image.readChunk(buffer.data(), kVendorChunk)) return false;
        if (VendorWriteMemory(transport, device, 1, k * kVendorChunk, kVendorChunk, buffer) != 1) {
            return false;
        }
        dialog.refresh();
    }

    if (!image.readChunk(buffer.data(), kVendorChunk)) return false;
    if (!image.matches(state.validatedFile)) return false;
    if (VendorWriteMemory(transport, device, 0, 0x38000, kVendorChunk, buffer) != 1) return false;
    image.close();
    dialog.refresh();
    return true;
}

bool RunUpgrade(UpgradeState& state, UpgradeDialog& dialog, Clock& clock) {
    state.passCounter = 0;
    ScsiTransport& transport = *state.transport;
    if (TestUnitReady(transport, state.currentDevice) == 1) EjectMedium(transport, state.currentDevice);
    switch (state.procedureIndex) {
        case 0: return Download128K(state, dialog, clock);
        case 1: return Download256K(state, dialog, clock);
        case 2: return Download512K(state, dialog, clock);
        case 3: return Download960K(state, dialog, clock);
        case 4: return Download1004K(state, dialog, clock);
        default: return false;
    }
}

}  // namespace dw
