#include "firmware/download_procedures.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "firmware/command_builders.h"
#include "identify/identify_model.h"
#include "scsi/command_result.h"
#include "util/image_digest.h"

namespace dw {

namespace {

constexpr uint32_t kWriteBufferChunk = 8192;
constexpr uint32_t kVendorChunk = 32768;
constexpr uint32_t kVendorStagedChunks = 7;
// The last vendor chunk goes to this address, whatever the image's layout.
constexpr uint32_t kVendorCommitAddress = 0x38000;

enum class ChunkRead { Whole, Short, Failed };

// Whether the drive took the whole chunk of a command that came back GOOD: the residual the
// transport tells (SG_IO; none elsewhere) covers at most the `extra` bytes beyond the chunk.
bool tookWholeChunk(const ScsiTransport& transport, uint32_t extra) {
    return transport.lastResidual <= static_cast<int32_t>(extra);
}

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
    ChunkRead readChunk(uint8_t* buffer, uint32_t count) {
        if (file_ == nullptr) return ChunkRead::Failed;
        const size_t n = std::fread(buffer, 1, count, file_);
        digest_.update(buffer, n);
        length_ += n;
        if (n == count) return ChunkRead::Whole;
        return std::ferror(file_) ? ChunkRead::Failed : ChunkRead::Short;
    }

    // True when what was read is, by length and digest, the file the validation accepted.
    bool matches(const FileDigest& validated) const {
        return validated.valid && validated.length == length_ &&
               validated.digest == digest_.value();
    }

private:
    std::FILE* file_;
    ImageDigest digest_;
    uint64_t length_ = 0;
};

// Records why a download stops; every `stop...` returns false for the procedure to return.
class Stopper {
public:
    explicit Stopper(UpgradeState& state) : record_(state.download) {}

    bool command(int32_t result, int32_t chunk) { return set(why(result), chunk, result); }
    // The committing command (the last chunk) failed.
    bool committing(int32_t result, int32_t chunk) {
        set(why(result), chunk, result);
        record_.committing = true;
        return false;
    }
    bool read(ChunkRead outcome, int32_t chunk) {
        return set(outcome == ChunkRead::Failed ? DownloadStop::FileUnreadable
                                                : DownloadStop::FileShorter,
                   chunk, 0);
    }
    bool file(DownloadStop why, int32_t chunk = -1) { return set(why, chunk, 0); }
    // The drive answered GOOD but took only part of the chunk.
    bool tookPart(int32_t chunk, bool committing) {
        set(DownloadStop::DriveTookPart, chunk, 1);
        record_.committing = committing;
        return false;
    }

private:
    static DownloadStop why(int32_t result) {
        if (wasNotSent(result)) return DownloadStop::NotSent;
        if (didNotComplete(result)) return DownloadStop::NotCompleted;
        return DownloadStop::DriveRefused;
    }
    bool set(DownloadStop why, int32_t chunk, int32_t result) {
        record_ = {why, chunk, result, false};
        return false;
    }
    DownloadRecord& record_;
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
    Stopper stop(state);

    ImageReader image(state.upgradeFilePath);
    if (!image.isOpen()) return stop.file(DownloadStop::FileUnopenable);

    switch (p.preparation) {
        case Preparation::SenseMustSucceed:
            TestUnitReady(transport, device);
            if (const int32_t r = RequestSense(transport, device, buffer); r != 1) {
                return stop.command(r, -1);
            }
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
        const auto chunk = static_cast<int32_t>(k);
        if (const ChunkRead read = image.readChunk(buffer.data(), kWriteBufferChunk);
            read != ChunkRead::Whole) {
            return stop.read(read, chunk);
        }
        if (const int32_t r = WriteBuffer(transport, device, kWriteBufferDownload, kWriteBufferId,
                                          k * kWriteBufferChunk, kWriteBufferChunk, buffer);
            r != 1) {
            return stop.command(r, chunk);
        }
        if (!tookWholeChunk(transport, kWriteBufferExtra)) return stop.tookPart(chunk, false);
        if (p.refreshes) dialog.refresh();
    }

    const auto lastChunk = static_cast<int32_t>(p.mode4Chunks);
    if (const ChunkRead read = image.readChunk(buffer.data(), p.lastLength);
        read != ChunkRead::Whole) {
        return stop.read(read, lastChunk);
    }
    // The drive keeps what the last chunk commits: it must be the image that was checked.
    if (!image.matches(state.validatedFile)) return stop.file(DownloadStop::FileChanged, lastChunk);
    const int32_t last = WriteBuffer(transport, device, kWriteBufferDownloadAndSave, kWriteBufferId,
                                     p.mode4Chunks * kWriteBufferChunk, p.lastLength, buffer);
    const bool tookWhole = tookWholeChunk(transport, kWriteBufferExtra);
    if (p.settleWait) waitSince(clock, clock.tickCount(), kSettleWaitMs);
    if (last != 1) return stop.committing(last, lastChunk);
    if (!tookWhole) return stop.tookPart(lastChunk, true);
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

    // The second pass's result is the upgrade's result.
    ScsiTransport& transport = *state.transport;
    const std::string product = ModelProductId(transport, state.currentDevice);
    if (product.find("6025") != std::string::npos && state.passCounter < 2) {
        InquiryStrings strings;
        if ((transport.currentInquiry(state.currentDevice, strings) & 0xFF) == 1 &&
            AsksForASecondPass(product, strings.revision)) {
            return Download512K(state, dialog, clock);
        }
    }
    return true;
}

// Revision 5a02 after the first pass asks for the second.
bool AsksForASecondPass(const std::string& productId, const char* revision) {
    return productId.find("6025") != std::string::npos && std::memcmp(revision, "5a02", 4) == 0;
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
    Stopper stop(state);

    ImageReader image(state.upgradeFilePath);
    if (!image.isOpen()) return stop.file(DownloadStop::FileUnopenable);
    TestUnitReady(transport, device);
    RequestSense(transport, device, buffer);
    if (const int32_t r = VendorPrepareDownload(transport, device); r != 1) {
        image.close();
        dialog.refresh();
        return stop.command(r, -1);
    }

    for (uint32_t k = 0; k < kVendorStagedChunks; ++k) {
        const auto chunk = static_cast<int32_t>(k);
        if (const ChunkRead read = image.readChunk(buffer.data(), kVendorChunk);
            read != ChunkRead::Whole) {
            return stop.read(read, chunk);
        }
        if (const int32_t r = VendorWriteMemory(transport, device, kVendorWriteStage,
                                                k * kVendorChunk, kVendorChunk, buffer);
            r != 1) {
            return stop.command(r, chunk);
        }
        if (!tookWholeChunk(transport, 0)) return stop.tookPart(chunk, false);
        dialog.refresh();
    }

    constexpr auto kLastChunk = static_cast<int32_t>(kVendorStagedChunks);
    if (const ChunkRead read = image.readChunk(buffer.data(), kVendorChunk);
        read != ChunkRead::Whole) {
        return stop.read(read, kLastChunk);
    }
    if (!image.matches(state.validatedFile))
        return stop.file(DownloadStop::FileChanged, kLastChunk);
    if (const int32_t r = VendorWriteMemory(transport, device, kVendorWriteCommit,
                                            kVendorCommitAddress, kVendorChunk, buffer);
        r != 1) {
        return stop.committing(r, kLastChunk);
    }
    if (!tookWholeChunk(transport, 0)) return stop.tookPart(kLastChunk, true);
    image.close();
    dialog.refresh();
    return true;
}

bool RunUpgrade(UpgradeState& state, UpgradeDialog& dialog, Clock& clock) {
    state.passCounter = 0;
    state.download = {};
    ScsiTransport& transport = *state.transport;
    if (TestUnitReady(transport, state.currentDevice) == 1)
        EjectMedium(transport, state.currentDevice);
    // From here to the version read-out nobody else may talk to the drive: a command of
    // another program between two chunks can leave it unusable.
    if (transport.lockDrive(state.currentDevice, kExclusiveCallerName) == DriveLock::InUse) {
        return Stopper(state).file(DownloadStop::DriveInUse);
    }
    switch (state.procedureIndex) {
        case 0: return Download128K(state, dialog, clock);
        case 1: return Download256K(state, dialog, clock);
        case 2: return Download512K(state, dialog, clock);
        case 3: return Download960K(state, dialog, clock);
        case 4: return Download1004K(state, dialog, clock);
        default: return Stopper(state).file(DownloadStop::NoProcedure);
    }
}

}  // namespace dw
