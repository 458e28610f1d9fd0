#include "sim/korvane_drive.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "util/crc32.h"

namespace sim {

namespace {

void setPadded(char* field, size_t width, const std::string& text) {
    std::memset(field, ' ', width);
    std::memcpy(field, text.data(), std::min(width, text.size()));
}

uint32_t be32(std::span<const uint8_t> cdb, size_t at) {
    return uint32_t(cdb[at]) << 24 | uint32_t(cdb[at + 1]) << 16 | uint32_t(cdb[at + 2]) << 8 |
           cdb[at + 3];
}
uint32_t be24(std::span<const uint8_t> cdb, size_t at) {
    return uint32_t(cdb[at]) << 16 | uint32_t(cdb[at + 1]) << 8 | cdb[at + 2];
}
uint32_t be16(std::span<const uint8_t> cdb, size_t at) {
    return uint32_t(cdb[at]) << 8 | cdb[at + 1];
}

constexpr SenseTriple kInvalidCommand{0x05, 0x20, 0x00};
constexpr SenseTriple kInvalidField{0x05, 0x24, 0x00};
constexpr SenseTriple kAddressOutOfRange{0x05, 0x21, 0x00};
constexpr SenseTriple kSequenceError{0x05, 0x2C, 0x00};
constexpr SenseTriple kNoMedium{0x02, 0x3A, 0x00};

}  // namespace

KorvaneDrive::KorvaneDrive(const std::string& product, const std::string& revision,
                           const std::string& vendor) {
    setVendor(vendor);
    setProduct(product);
    setRevision(revision);
}

void KorvaneDrive::setVendor(const std::string& vendor) { setPadded(vendor_, 8, vendor); }
void KorvaneDrive::setProduct(const std::string& product) { setPadded(product_, 16, product); }
void KorvaneDrive::setRevision(const std::string& revision) { setPadded(revision_, 4, revision); }
std::string KorvaneDrive::vendor() const { return std::string(vendor_, 8); }
std::string KorvaneDrive::product() const { return std::string(product_, 16); }
std::string KorvaneDrive::revision() const { return std::string(revision_, 4); }

std::array<uint8_t, 36> KorvaneDrive::inquiryData() const {
    std::array<uint8_t, 36> data = {};
    data[0] = deviceType;
    data[1] = 0x80;  // removable medium
    data[2] = 0x00;
    data[3] = 0x21;  // response data format 1
    data[4] = 31;    // additional length
    std::memcpy(&data[8], vendor_, 8);
    std::memcpy(&data[16], product_, 16);
    std::memcpy(&data[32], revision_, 4);
    return data;
}

void KorvaneDrive::setMemory(uint32_t address, std::span<const uint8_t> bytes) {
    for (size_t i = 0; i < bytes.size(); ++i)
        memory_[address + static_cast<uint32_t>(i)] = bytes[i];
}

void KorvaneDrive::failNth(uint8_t opcode, int nth, SenseTriple sense) {
    faults_.push_back({opcode, nth, sense});
}
void KorvaneDrive::failAll(uint8_t opcode, SenseTriple sense) {
    faults_.push_back({opcode, 0, sense});
}
void KorvaneDrive::answerNth(uint8_t opcode, int nth, uint8_t status, std::vector<uint8_t> sense) {
    DriveAnswer answer;
    answer.status = status;
    answer.senseLength = static_cast<uint8_t>(std::min(sense.size(), answer.sense.size()));
    std::copy_n(sense.begin(), answer.senseLength, answer.sense.begin());
    answers_.push_back({opcode, nth, answer});
}
void KorvaneDrive::takeOnlyNth(uint8_t opcode, int nth, uint32_t bytes) {
    takes_.push_back({opcode, nth, bytes});
}
void KorvaneDrive::stopAnsweringAfter(int commands) { answersLeft_ = commands; }

std::vector<ReceivedCommand> KorvaneDrive::receivedWithOpcode(uint8_t opcode) const {
    std::vector<ReceivedCommand> out;
    for (const auto& c : received_) {
        if (c.opcode() == opcode) out.push_back(c);
    }
    return out;
}

DriveAnswer KorvaneDrive::execute(std::span<const uint8_t> cdb, DataDirection direction,
                                  uint8_t* data, uint32_t length) {
    ReceivedCommand record;
    if (keepsRecords) {
        record.cdb.assign(cdb.begin(), cdb.end());
        record.direction = direction;
        record.transferLength = length;
        if (direction == DataDirection::Out && data != nullptr) {
            record.dataOutCrc = dw::Crc32::of(data, length);
        }
    }

    if (answersLeft_ && *answersLeft_ <= 0) {
        record.answered = false;
        if (keepsRecords) received_.push_back(record);
        DriveAnswer silent;
        silent.answered = false;
        return silent;
    }
    if (answersLeft_) --*answersLeft_;
    if (keepsRecords) received_.push_back(std::move(record));

    if (forcedStatus) {
        DriveAnswer forced;
        forced.status = *forcedStatus;
        return forced;
    }
    if (cdb.empty()) return check(kInvalidCommand);
    const uint8_t opcode = cdb[0];
    const int count = ++opcodeCounts_[opcode];
    for (const auto& rule : faults_) {
        if (rule.matches(opcode, count)) return check(rule.what);
    }
    for (const auto& rule : answers_) {
        if (rule.matches(opcode, count)) return rule.what;
    }
    takeLimit_ = UINT32_MAX;
    for (const auto& rule : takes_) {
        if (rule.matches(opcode, count)) takeLimit_ = rule.what;
    }
    return run(cdb, direction, data, length);
}

DriveAnswer KorvaneDrive::check(SenseTriple sense) {
    DriveAnswer answer;
    answer.status = kCheckCondition;
    answer.sense[0] = 0x70;
    answer.sense[2] = sense.key;
    answer.sense[7] = 10;
    answer.sense[12] = sense.asc;
    answer.sense[13] = sense.ascq;
    lastSense_ = answer.sense;
    return answer;
}

DriveAnswer KorvaneDrive::deliver(const uint8_t* bytes, size_t count, uint8_t* data,
                                  uint32_t length) {
    DriveAnswer answer;
    const size_t n = std::min<size_t>(count, length);
    if (data != nullptr && n > 0) std::memcpy(data, bytes, n);
    answer.dataInLength = static_cast<uint32_t>(n);
    return answer;
}

bool KorvaneDrive::stage(uint32_t offset, const uint8_t* bytes, uint32_t count) {
    if (offset > kMaxImageSize || count > kMaxImageSize - offset) return false;
    if (stagedImage.size() < size_t(offset) + count) stagedImage.resize(size_t(offset) + count, 0);
    std::memcpy(stagedImage.data() + offset, bytes, count);
    return true;
}

void KorvaneDrive::commit() {
    committedImage = stagedImage;
    ++commits;
    if (committedImage.size() >= 28) {
        std::memcpy(revision_, committedImage.data() + 24, 4);
    }
}

DriveAnswer KorvaneDrive::run(std::span<const uint8_t> cdb, DataDirection direction, uint8_t* data,
                              uint32_t length) {
    const uint8_t opcode = cdb[0];
    const bool dataOut = direction == DataDirection::Out && data != nullptr;
    const bool dataIn = direction == DataDirection::In;

    switch (opcode) {
        case 0x00:  // TEST UNIT READY
            return mediumLoaded ? DriveAnswer{} : check(kNoMedium);

        case 0x01:  // REZERO UNIT
            return DriveAnswer{};

        case 0x03: {  // REQUEST SENSE: hands out the last sense data once
            if (!dataIn) return check(kInvalidField);
            std::array<uint8_t, 18> sense = lastSense_;
            if (sense[0] == 0) sense[0] = 0x70, sense[7] = 10;
            lastSense_ = {};
            return deliver(sense.data(), std::min<size_t>(sense.size(), cdb[4]), data, length);
        }

        case 0x12: {  // INQUIRY
            if (!dataIn) return check(kInvalidField);
            const auto inquiry = inquiryData();
            return deliver(inquiry.data(), std::min<size_t>(inquiry.size(), cdb[4]), data, length);
        }

        case 0x1B:  // START STOP UNIT
            if ((cdb[4] & 0x03) == 0x02) {
                mediumLoaded = false;
                ++ejects;
            } else if ((cdb[4] & 0x03) == 0x03) {
                mediumLoaded = true;
            }
            return DriveAnswer{};

        case 0x3B: {  // WRITE BUFFER
            const uint8_t mode = cdb[1] & 0x07;
            const uint32_t offset = be24(cdb, 3);
            const uint32_t parameterLength = be24(cdb, 6);
            if ((mode != 4 && mode != 5) || cdb[2] != 0) return check(kInvalidField);
            if (!dataOut || length < parameterLength) return check(kInvalidField);
            const uint32_t taken = std::min(parameterLength, takeLimit_);
            if (!stage(offset, data, taken)) return check(kAddressOutOfRange);
            if (mode == 5) commit();
            DriveAnswer answer;
            answer.dataOutLength = taken;
            return answer;
        }

        case 0xE1:  // prepare the download
            if (cdb[1] != 0x04 || cdb[2] != 0xFF) return check(kInvalidField);
            downloadPrepared = true;
            stagedImage.clear();
            return DriveAnswer{};

        case 0xE2: {  // write memory; mode byte 0 ends the download
            const uint32_t address = be32(cdb, 2);
            const uint32_t count = be32(cdb, 6);
            if (!downloadPrepared) return check(kSequenceError);
            if (!dataOut || length < count) return check(kInvalidField);
            const uint32_t taken = std::min(count, takeLimit_);
            if (!stage(address, data, taken)) return check(kAddressOutOfRange);
            if (cdb[1] == 0) {
                commit();
                downloadPrepared = false;
            }
            DriveAnswer answer;
            answer.dataOutLength = taken;
            return answer;
        }

        case 0xE3: {  // read memory
            if (!dataIn) return check(kInvalidField);
            const uint32_t address = be32(cdb, 2);
            const uint32_t count = be32(cdb, 6);
            std::vector<uint8_t> bytes(std::min<uint32_t>(count, length), 0);
            for (size_t i = 0; i < bytes.size(); ++i) {
                auto it = memory_.find(address + static_cast<uint32_t>(i));
                if (it != memory_.end()) bytes[i] = it->second;
            }
            return deliver(bytes.data(), bytes.size(), data, length);
        }

        case 0xF1: {  // vendor information block, by address (form A) or by piece (form B)
            if (!dataIn) return check(kInvalidField);
            const uint32_t count = be16(cdb, 8);
            uint32_t start;
            if (cdb[1] == 0x00) {
                start = be32(cdb, 2);
            } else if (cdb[1] == 0x01) {
                start = 256 * be16(cdb, 6);
            } else {
                return check(kInvalidField);
            }
            if (start > infoBlock.size() || count > infoBlock.size() - start) {
                return check(kAddressOutOfRange);
            }
            return deliver(infoBlock.data() + start, count, data, length);
        }

        default: return check(kInvalidCommand);
    }
}

}  // namespace sim
