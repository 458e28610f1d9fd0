// A simulated ASPI for Win32 layer: host adapters with drives, the support query and the
// request blocks. Its two entry points are real function pointers, as the library's are; they
// reach the layer that is active at the moment (one per process, as with the real library).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "platform/scsi_structures.h"
#include "sim/korvane_drive.h"

namespace sim {

struct AspiAdapter {
    std::string managerId = "ASPI for WIN32";
    std::string adapterId = "ATAPI";
    uint8_t hostScsiId = 7;
    uint8_t unique[16] = {};
    std::map<std::pair<int, int>, KorvaneDrive*> drives;  // by (target, LUN)
};

// One request the layer received, as it arrived.
struct AspiRequest {
    uint8_t command = 0;
    uint8_t hostAdapter = 0;
    uint8_t flags = 0;
    uint8_t target = 0;
    uint8_t lun = 0;
    uint32_t bufferLength = 0;
    uint8_t senseLength = 0;
    uint8_t cdbLength = 0;
    bool hadEvent = false;
    uint8_t presetStatus = 0;
};

class AspiLayer {
public:
    enum class Completion {
        Synchronous,  // the call completes the request and returns its status
        Deferred,     // the call returns pending; completion comes at the event wait or polls
        // The request completes within the call, but a request with an event is answered
        // pending and its event set, as a library that works on a thread of its own answers.
        Signalled,
    };

    AspiLayer();
    ~AspiLayer();
    AspiLayer(const AspiLayer&) = delete;
    AspiLayer& operator=(const AspiLayer&) = delete;

    std::vector<AspiAdapter> adapters;
    // Bits 8..15 of the support answer; bits 0..7 are the adapter count unless overridden.
    uint8_t supportStatus = dw::aspi::kComplete;
    int supportAdapterCount = -1;  // -1: the number of adapters
    Completion completion = Completion::Synchronous;
    int pollsBeforeCompletion = 3;  // deferred requests without an event
    // Every execute request completes with this status, whatever its drive answered.
    std::optional<uint8_t> forcedStatus;
    // The layer answers the nth (from 1; 0: every) execute request with this opcode to the
    // device at (adapter, target) itself, without passing it to the drive: with `status` (80h
    // invalid command, 81h invalid adapter, 82h no device, E0h invalid request block), or, with
    // status 0, it leaves the request pending and sets its event, as a layer that lost it does.
    // (A request without an event is then passed on as usual: a program polling it would wait
    // for ever.)
    void answerItself(int adapter, int target, uint8_t opcode, int nth, uint8_t status);

    void attach(KorvaneDrive& drive, int adapter, int target, int lun = 0);

    // Makes this the layer the entry points reach.
    void activate();
    static AspiLayer* active();

    static uint32_t getSupportInfo();
    static uint32_t sendCommand(void* srb);

    // Called by the host: an event wait on `event` (completes what was posted to it), a sleep
    // (one poll step for requests without an event).
    void onWait(void* event);
    void onSleep();
    // How the layer signals an event of the host.
    std::function<void(void* event)> signalEvent;

    const std::vector<AspiRequest>& requests() const { return requests_; }
    int pendingRequests() const { return static_cast<int>(pending_.size()); }

private:
    uint32_t supportAnswer() const;
    uint32_t send(void* srb);
    uint32_t executeScsi(dw::SrbExecScsiCmd& srb);
    uint32_t inquireAdapter(dw::SrbHaInquiry& srb);

    struct Pending {
        dw::SrbExecScsiCmd* srb;
        uint8_t status;
        uint8_t sense[16];
        void* event;
        int pollsLeft;
    };
    void complete(const Pending& p);

    std::vector<Pending> pending_;
    std::vector<AspiRequest> requests_;
    struct OwnAnswer {
        int adapter, target;
        uint8_t opcode;
        int nth;
        uint8_t status;
    };
    std::vector<OwnAnswer> ownAnswers_;
    std::map<std::tuple<int, int, uint8_t>, int> executeCounts_;  // by adapter, target, opcode
};

}  // namespace sim
