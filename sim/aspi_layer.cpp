#include "sim/aspi_layer.h"

#include <algorithm>
#include <cstring>

namespace sim {

namespace {

AspiLayer* gActive = nullptr;

constexpr uint8_t kSelectionTimeout = 0x11;  // host adapter status: target did not answer

}  // namespace

AspiLayer::AspiLayer() = default;

AspiLayer::~AspiLayer() {
    if (gActive == this) gActive = nullptr;
}

void AspiLayer::attach(KorvaneDrive& drive, int adapter, int target, int lun) {
    if (adapters.size() <= static_cast<size_t>(adapter)) adapters.resize(size_t(adapter) + 1);
    adapters[size_t(adapter)].drives[{target, lun}] = &drive;
}

void AspiLayer::answerItself(int adapter, int target, uint8_t opcode, int nth, uint8_t status) {
    ownAnswers_.push_back({adapter, target, opcode, nth, status});
}

void AspiLayer::activate() { gActive = this; }
AspiLayer* AspiLayer::active() { return gActive; }

uint32_t AspiLayer::getSupportInfo() {
    return gActive ? gActive->supportAnswer() : uint32_t(dw::aspi::kNoAspi) << 8;
}

uint32_t AspiLayer::sendCommand(void* srb) {
    return gActive ? gActive->send(srb) : dw::aspi::kNoAspi;
}

uint32_t AspiLayer::supportAnswer() const {
    const int count = supportAdapterCount >= 0 ? supportAdapterCount : int(adapters.size());
    return uint32_t(supportStatus) << 8 | (uint32_t(count) & 0xFF);
}

uint32_t AspiLayer::send(void* srb) {
    auto* bytes = static_cast<uint8_t*>(srb);
    switch (bytes[0]) {
        case dw::kScExecScsiCmd: return executeScsi(*static_cast<dw::SrbExecScsiCmd*>(srb));
        case dw::kScHaInquiry: return inquireAdapter(*static_cast<dw::SrbHaInquiry*>(srb));
        default: bytes[1] = dw::aspi::kInvalidCommand; return dw::aspi::kInvalidCommand;
    }
}

uint32_t AspiLayer::inquireAdapter(dw::SrbHaInquiry& srb) {
    AspiRequest seen;
    seen.command = srb.command;
    seen.hostAdapter = srb.hostAdapter;
    seen.flags = srb.flags;
    requests_.push_back(seen);

    if (srb.hostAdapter >= adapters.size()) {
        srb.status = dw::aspi::kInvalidAdapter;
        return srb.status;
    }
    const AspiAdapter& adapter = adapters[srb.hostAdapter];
    srb.adapterCount = static_cast<uint8_t>(adapters.size());
    srb.hostScsiId = adapter.hostScsiId;
    std::memset(srb.managerId, 0, 16);
    std::memcpy(srb.managerId, adapter.managerId.data(),
                std::min<size_t>(16, adapter.managerId.size()));
    std::memset(srb.adapterId, 0, 16);
    std::memcpy(srb.adapterId, adapter.adapterId.data(),
                std::min<size_t>(16, adapter.adapterId.size()));
    std::memcpy(srb.unique, adapter.unique, 16);
    srb.status = dw::aspi::kComplete;
    return srb.status;
}

uint32_t AspiLayer::executeScsi(dw::SrbExecScsiCmd& srb) {
    AspiRequest seen;
    seen.command = srb.command;
    seen.hostAdapter = srb.hostAdapter;
    seen.flags = srb.flags;
    seen.target = srb.target;
    seen.lun = srb.lun;
    seen.bufferLength = srb.bufferLength;
    seen.senseLength = srb.senseLength;
    seen.cdbLength = srb.cdbLength;
    seen.hadEvent = srb.postProc != nullptr;
    seen.presetStatus = srb.status;
    requests_.push_back(seen);

    Pending p{&srb, dw::aspi::kComplete, {}, nullptr, pollsBeforeCompletion};
    if (srb.flags & dw::kSrbEventNotify) p.event = srb.postProc;

    KorvaneDrive* drive = nullptr;
    if (srb.hostAdapter < adapters.size()) {
        auto& drives = adapters[srb.hostAdapter].drives;
        auto it = drives.find({srb.target, srb.lun});
        if (it != drives.end()) drive = it->second;
    }

    const OwnAnswer* own = nullptr;
    if (srb.cdbLength > 0) {
        const int nth = ++executeCounts_[{srb.hostAdapter, srb.target, srb.cdb[0]}];
        for (const OwnAnswer& a : ownAnswers_) {
            if (a.adapter == srb.hostAdapter && a.target == srb.target && a.opcode == srb.cdb[0] &&
                (a.nth == 0 || a.nth == nth) && (a.status != 0 || p.event != nullptr)) {
                own = &a;
            }
        }
    }

    if (own != nullptr && own->status == dw::aspi::kPending) {
        // Lost in the layer: the event is set, the request never completes.
        srb.status = dw::aspi::kPending;
        if (signalEvent) signalEvent(p.event);
        return dw::aspi::kPending;
    }
    if (own != nullptr) {
        p.status = own->status;
    } else if (srb.hostAdapter >= adapters.size()) {
        p.status = dw::aspi::kInvalidAdapter;
    } else if (drive == nullptr || srb.cdbLength == 0 || srb.cdbLength > 16) {
        p.status = dw::aspi::kNoDevice;
    } else {
        DataDirection direction = DataDirection::None;
        if (srb.flags & dw::kSrbDirIn) direction = DataDirection::In;
        if (srb.flags & dw::kSrbDirOut) direction = DataDirection::Out;
        const DriveAnswer answer = drive->execute(std::span<const uint8_t>(srb.cdb, srb.cdbLength),
                                                  direction, srb.bufferPointer, srb.bufferLength);
        if (!answer.answered) {
            p.status = dw::aspi::kError;
            srb.hostAdapterStatus = kSelectionTimeout;
        } else if (answer.status != KorvaneDrive::kGood) {
            p.status = dw::aspi::kError;
            srb.targetStatus = answer.status;
            std::memcpy(p.sense, answer.sense.data(), std::min<size_t>(16, srb.senseLength));
        }
    }

    if (forcedStatus) p.status = *forcedStatus;

    if (completion == Completion::Synchronous) {
        complete(p);
        return srb.status;
    }
    if (completion == Completion::Signalled) {
        complete(p);
        return p.event != nullptr ? dw::aspi::kPending : srb.status;
    }
    srb.status = dw::aspi::kPending;
    pending_.push_back(p);
    return dw::aspi::kPending;
}

void AspiLayer::complete(const Pending& p) {
    p.srb->status = p.status;
    if (p.status != dw::aspi::kComplete) {
        std::memcpy(p.srb->senseArea, p.sense, std::min<size_t>(16, p.srb->senseLength));
    }
    if (p.event != nullptr && signalEvent) signalEvent(p.event);
}

void AspiLayer::onWait(void* event) {
    for (auto it = pending_.begin(); it != pending_.end();) {
        if (it->event == event) {
            complete(*it);
            it = pending_.erase(it);
        } else {
            ++it;
        }
    }
}

void AspiLayer::onSleep() {
    for (auto it = pending_.begin(); it != pending_.end();) {
        if (it->event == nullptr && --it->pollsLeft <= 0) {
            complete(*it);
            it = pending_.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace sim
