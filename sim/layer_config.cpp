#include "sim/layer_config.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace sim {

namespace {

// Splits off the next blank-separated word; the rest keeps everything after one blank.
bool nextWord(std::string_view& rest, std::string& word) {
    size_t start = 0;
    while (start < rest.size() && (rest[start] == ' ' || rest[start] == '\t')) ++start;
    size_t end = start;
    while (end < rest.size() && rest[end] != ' ' && rest[end] != '\t') ++end;
    if (start == end) return false;
    word.assign(rest.substr(start, end - start));
    rest = rest.substr(end < rest.size() ? end + 1 : end);
    return true;
}

bool number(const std::string& word, int base, long low, long high, long& value) {
    if (word.empty()) return false;
    char* end = nullptr;
    value = std::strtol(word.c_str(), &end, base);
    return *end == '\0' && value >= low && value <= high;
}

bool byteHex(const std::string& word, uint8_t& value) {
    long v = 0;
    if (word.size() > 2 || !number(word, 16, 0, 255, v)) return false;
    value = static_cast<uint8_t>(v);
    return true;
}

bool senseWords(std::string_view& rest, SenseTriple& sense) {
    std::string k, a, q;
    return nextWord(rest, k) && nextWord(rest, a) && nextWord(rest, q) && byteHex(k, sense.key) &&
           byteHex(a, sense.asc) && byteHex(q, sense.ascq);
}

std::string_view trimEnd(std::string_view text) {
    while (!text.empty() && (text.back() == '\r' || text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

// One line into the configuration; false when it does not read.
bool parseLine(std::string_view line, LayerConfig& config) {
    std::string_view rest = line;
    std::string keyword;
    if (!nextWord(rest, keyword) || keyword[0] == '#') return true;
    DriveConfig* drive = config.drives.empty() ? nullptr : &config.drives.back();
    std::string word;
    long value = 0;

    if (keyword == "support") {
        return nextWord(rest, word) && byteHex(word, config.supportStatus);
    }
    if (keyword == "adapters") {
        if (!nextWord(rest, word) || !number(word, 10, 0, 255, value)) return false;
        config.adapterCount = static_cast<int>(value);
        return true;
    }
    if (keyword == "adapter") {
        AdapterConfig adapter;
        if (!nextWord(rest, adapter.adapterId) || !nextWord(rest, adapter.classKey)) return false;
        adapter.description.assign(rest);
        config.adapters.push_back(adapter);
        return true;
    }
    if (keyword == "drive") {
        DriveConfig d;
        std::string adapter, target, letter;
        if (!nextWord(rest, adapter) || !nextWord(rest, target) || !nextWord(rest, letter) ||
            !nextWord(rest, d.revision)) {
            return false;
        }
        if (!number(adapter, 10, 0, long(config.adapters.size()) - 1, value)) return false;
        d.adapter = static_cast<int>(value);
        if (!number(target, 10, 0, 15, value)) return false;
        d.target = static_cast<int>(value);
        if (letter.size() != 1 || !std::isalpha(static_cast<unsigned char>(letter[0])))
            return false;
        d.letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter[0])));
        d.product.assign(rest);
        if (d.product.empty() || d.product.size() > 16 || d.revision.size() > 4) return false;
        config.drives.push_back(d);
        return true;
    }
    // The rest describe the last drive.
    if (drive == nullptr) return false;
    if (keyword == "aspi-status") {
        LayerAnswerConfig answer;
        if (!nthCommand(rest, answer) || !nextWord(rest, word) || !byteHex(word, answer.what)) {
            return false;
        }
        const uint8_t s = answer.what;
        if (s != dw::aspi::kPending && s != dw::aspi::kInvalidCommand &&
            s != dw::aspi::kInvalidAdapter && s != dw::aspi::kNoDevice &&
            s != dw::aspi::kInvalidSrb) {
            return false;
        }
        drive->layerAnswers.push_back(answer);
        return true;
    }
    return parseDriveLine(keyword, rest, *drive);
}

}  // namespace

bool parseDriveLine(const std::string& keyword, std::string_view rest, DriveConfig& config) {
    DriveConfig* drive = &config;
    std::string word;
    long value = 0;
    if (keyword == "vendor") {
        drive->vendor.assign(rest);
        return !drive->vendor.empty() && drive->vendor.size() <= 8;
    }
    if (keyword == "interface") {
        uint8_t code = 0;
        if (!nextWord(rest, word) || !byteHex(word, code)) return false;
        drive->interfaceCode = code;
        return true;
    }
    if (keyword == "medium") {
        drive->medium = true;
        return true;
    }
    if (keyword == "fail" || keyword == "fail-all") {
        FaultConfig fault;
        const bool read = keyword == "fail" ? nthCommand(rest, fault)
                                            : nextWord(rest, word) && byteHex(word, fault.opcode);
        if (!read || !senseWords(rest, fault.what)) return false;
        drive->faults.push_back(fault);
        return true;
    }
    if (keyword == "stop-after") {
        if (!nextWord(rest, word) || !number(word, 10, 0, 1000000, value)) return false;
        drive->stopAfter = static_cast<int>(value);
        return true;
    }
    return false;
}

bool nextConfigWord(std::string_view& rest, std::string& word) { return nextWord(rest, word); }

bool nextOpcodeAndNth(std::string_view& rest, uint8_t& opcode, int& nth) {
    std::string word;
    long value = 0;
    if (!nextWord(rest, word) || !byteHex(word, opcode) || !nextWord(rest, word) ||
        !number(word, 10, 1, 1000000, value)) {
        return false;
    }
    nth = static_cast<int>(value);
    return true;
}

std::unique_ptr<KorvaneDrive> makeDrive(const DriveConfig& d) {
    auto drive = std::make_unique<KorvaneDrive>(d.product, d.revision, d.vendor);
    if (d.interfaceCode) drive->setInterfaceCode(*d.interfaceCode);
    drive->mediumLoaded = d.medium;
    for (const FaultConfig& f : d.faults) {
        if (f.nth == 0) {
            drive->failAll(f.opcode, f.what);
        } else {
            drive->failNth(f.opcode, f.nth, f.what);
        }
    }
    if (d.stopAfter) drive->stopAnsweringAfter(*d.stopAfter);
    return drive;
}

std::optional<LayerConfig> parseLayerConfig(std::string_view text, std::string& error) {
    LayerConfig config;
    int lineNumber = 0;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = trimEnd(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++lineNumber;
        if (!parseLine(line, config)) {
            error = "line " + std::to_string(lineNumber) + ": " + std::string(line);
            return std::nullopt;
        }
    }
    return config;
}

void buildLayer(const LayerConfig& config, SimulatedLayer& out) {
    out.layer.supportStatus = config.supportStatus;
    out.layer.supportAdapterCount = config.adapterCount;
    out.layer.adapters.assign(config.adapters.size(), AspiAdapter{});
    for (size_t i = 0; i < config.adapters.size(); ++i) {
        out.layer.adapters[i].adapterId = config.adapters[i].adapterId;
    }
    out.drives.clear();
    out.placed = config.drives;
    for (const DriveConfig& d : config.drives) {
        auto drive = makeDrive(d);
        out.layer.attach(*drive, d.adapter, d.target);
        for (const LayerAnswerConfig& a : d.layerAnswers) {
            out.layer.answerItself(d.adapter, d.target, a.opcode, a.nth, a.what);
        }
        out.drives.push_back(std::move(drive));
    }
}

std::string commandLogLine(int adapter, int target, const ReceivedCommand& command,
                           uint8_t aspiStatus) {
    char head[32];
    std::snprintf(head, sizeof head, "%d %d %02X cdb=", adapter, target, command.opcode());
    std::string line = head;
    for (size_t i = 0; i < command.cdb.size(); ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, i == 0 ? "%02X" : " %02X", command.cdb[i]);
        line += byte;
    }
    char tail[80];
    const char* direction = command.direction == DataDirection::Out  ? "out"
                            : command.direction == DataDirection::In ? "in"
                                                                     : "none";
    std::snprintf(tail, sizeof tail, " %s=%u crc=%08X status=%02X%s", direction,
                  static_cast<unsigned>(command.transferLength),
                  static_cast<unsigned>(command.dataOutCrc), aspiStatus,
                  command.answered ? "" : " unanswered");
    return line + tail;
}

}  // namespace sim
