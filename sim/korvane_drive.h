// A simulated KORVANE CD/DVD drive: it answers the commands the program sends, keeps the
// firmware image it is sent, and records every command it receives. What the drive saw is the
// truth of a download.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "scsi/scsi_command.h"

namespace sim {

using dw::DataDirection;

struct SenseTriple {
    uint8_t key = 0;
    uint8_t asc = 0;
    uint8_t ascq = 0;
};

// One command as the drive received it.
struct ReceivedCommand {
    std::vector<uint8_t> cdb;  // the CDB bytes as sent (6, 10 or 12)
    DataDirection direction = DataDirection::None;
    uint32_t transferLength = 0;
    uint32_t dataOutCrc = 0;  // CRC-32 of the bytes sent to the drive (0 without data out)
    bool answered = true;     // false once the drive has stopped answering

    uint8_t opcode() const { return cdb.empty() ? 0 : cdb[0]; }
};

// What happens to the nth command (from 1; 0: every one) with an opcode.
template <class T>
struct NthCommandRule {
    uint8_t opcode = 0;
    int nth = 0;
    T what{};
    bool matches(uint8_t op, int count) const { return opcode == op && (nth == 0 || nth == count); }
};

// How the drive ended a command.
struct DriveAnswer {
    bool answered = true;  // false: the drive did not answer at all (the bus timed out)
    uint8_t status = 0;    // SCSI status: 0 GOOD, 2 CHECK CONDITION
    std::array<uint8_t, 18> sense = {};  // fixed-format sense data with CHECK CONDITION
    uint8_t senseLength = 18;            // how many of those bytes the drive sends with it
    uint32_t dataInLength = 0;           // bytes delivered to the host
    uint32_t dataOutLength = 0;          // bytes taken from the host
};

class KorvaneDrive {
public:
    static constexpr uint8_t kGood = 0x00;
    static constexpr uint8_t kCheckCondition = 0x02;
    static constexpr uint32_t kMaxImageSize = 0x100000;
    static constexpr size_t kInfoBlockSize = 1024;

    KorvaneDrive(const std::string& product, const std::string& revision,
                 const std::string& vendor = "KORVANE");

    // Runs one command. `data` holds `length` bytes (may be null when length is 0).
    DriveAnswer execute(std::span<const uint8_t> cdb, DataDirection direction, uint8_t* data,
                        uint32_t length);

    // Identification as the drive answers INQUIRY (blank-padded to 8, 16 and 4 characters).
    void setVendor(const std::string& vendor);
    void setProduct(const std::string& product);
    void setRevision(const std::string& revision);
    std::string vendor() const;
    std::string product() const;
    std::string revision() const;
    uint8_t deviceType = 0x05;  // CD/DVD device
    // The 36 bytes of standard INQUIRY data the drive answers with.
    std::array<uint8_t, 36> inquiryData() const;

    bool mediumLoaded = false;
    int ejects = 0;

    // The vendor information block read by F1h; byte 49 is the interface code.
    std::vector<uint8_t> infoBlock = std::vector<uint8_t>(kInfoBlockSize, 0);
    void setInterfaceCode(uint8_t code) { infoBlock[49] = code; }

    // Memory read by E3h, by address; bytes nowhere set read as 0.
    void setMemory(uint32_t address, std::span<const uint8_t> bytes);

    // Firmware download: what WRITE BUFFER / E2h stage, and what a commit made current.
    std::vector<uint8_t> stagedImage;
    std::vector<uint8_t> committedImage;
    int commits = 0;
    bool downloadPrepared = false;  // E1h seen, E2h may follow

    // Fault rules.
    // Fails the nth (from 1) command with this opcode with CHECK CONDITION and the sense.
    void failNth(uint8_t opcode, int nth, SenseTriple sense);
    // Fails every command with this opcode.
    void failAll(uint8_t opcode, SenseTriple sense);
    // Answers the nth (from 1) command with this opcode with the status and exactly these sense
    // bytes (at most 18; none, too few, or in descriptor format), without carrying it out.
    void answerNth(uint8_t opcode, int nth, uint8_t status, std::vector<uint8_t> sense);
    // The nth (from 1) command with this opcode takes only the first `bytes` of its data out,
    // keeps them, and answers GOOD.
    void takeOnlyNth(uint8_t opcode, int nth, uint32_t bytes);
    // After `commands` more commands the drive stops answering anything.
    void stopAnsweringAfter(int commands);
    // Every command is answered with this status byte and nothing else.
    std::optional<uint8_t> forcedStatus;

    // Off, the drive keeps no record of what it receives (no CDB copies, no CRC of data out):
    // what is left is the cost of answering, for benchmarks of the host side.
    bool keepsRecords = true;
    const std::vector<ReceivedCommand>& received() const { return received_; }
    std::vector<ReceivedCommand> receivedWithOpcode(uint8_t opcode) const;
    void clearReceived() { received_.clear(); }

private:
    DriveAnswer run(std::span<const uint8_t> cdb, DataDirection direction, uint8_t* data,
                    uint32_t length);
    DriveAnswer check(SenseTriple sense);
    DriveAnswer deliver(const uint8_t* bytes, size_t count, uint8_t* data, uint32_t length);
    bool stage(uint32_t offset, const uint8_t* bytes, uint32_t count);
    void commit();

    char vendor_[8];
    char product_[16];
    char revision_[4];
    std::map<uint32_t, uint8_t> memory_;
    std::array<uint8_t, 18> lastSense_ = {};
    std::vector<NthCommandRule<SenseTriple>> faults_;
    std::vector<NthCommandRule<DriveAnswer>> answers_;
    std::vector<NthCommandRule<uint32_t>> takes_;
    uint32_t takeLimit_ = UINT32_MAX;  // what the command being run may take of its data out
    std::map<uint8_t, int> opcodeCounts_;
    std::optional<int> answersLeft_;
    std::vector<ReceivedCommand> received_;
};

}  // namespace sim
