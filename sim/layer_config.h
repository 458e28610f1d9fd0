// The text file that describes a simulated PC's ASPI layer: its host adapters, the drives on
// them and the faults those drives have. The simulated wnaspi32.dll builds its layer from it, and
// the Windows 98 registry set-up writes the device database that matches it.
//
//   # a comment
//   support 01                               the support status, hex (default 01, complete)
//   adapters 2                               the adapter count answered (default: as listed)
//   adapter ATAPI hdc Primary IDE controller adapter id, class key, driver description
//   drive 0 1 E 1.00 DVDR   KV-829A          adapter, target, letter, revision, product
//   vendor KORVANE                           the last drive's vendor
//   interface 8                              the last drive's interface code (F1h block)
//   medium                                   the last drive has a disc in it
//   fail 3B 11 05 24 00                      fail its 11th command 3Bh with sense 05/24/00
//   fail-all 3B 05 24 00                     fail every command 3Bh
//   stop-after 40                            it stops answering after 40 commands
//   aspi-status 3B 11 82                     the layer answers its 11th command 3Bh itself with
//                                            status 82h (80, 81, 82, E0), never passing it on;
//                                            with 00 it leaves the request pending, event set
//
// The product (and the description) is the rest of the line after one blank, blanks kept.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/aspi_layer.h"
#include "sim/korvane_drive.h"

namespace sim {

// A command the drive refuses with this sense (fail, fail-all).
using FaultConfig = NthCommandRule<SenseTriple>;
// A request the ASPI layer answers itself with this status (aspi-status).
using LayerAnswerConfig = NthCommandRule<uint8_t>;

struct DriveConfig {
    int adapter = 0;
    int target = 0;
    char letter = 'D';
    std::string revision;
    std::string product;
    std::string vendor = "KORVANE";
    std::optional<uint8_t> interfaceCode;
    bool medium = false;
    std::vector<FaultConfig> faults;
    std::optional<int> stopAfter;
    std::vector<LayerAnswerConfig> layerAnswers;  // the ASPI layer's configuration only
};

struct AdapterConfig {
    std::string adapterId;
    std::string classKey;  // hdc, SCSIAdapter or Storage
    std::string description;
};

struct LayerConfig {
    uint8_t supportStatus = dw::aspi::kComplete;
    int adapterCount = -1;  // -1: the adapters listed
    std::vector<AdapterConfig> adapters;
    std::vector<DriveConfig> drives;
};

// One line about the last drive (vendor, interface, medium, fail, fail-all, stop-after), as
// the Linux PC's configuration has them too; false when it does not read.
bool parseDriveLine(const std::string& keyword, std::string_view rest, DriveConfig& drive);
// Splits off the next blank-separated word of a configuration line.
bool nextConfigWord(std::string_view& rest, std::string& word);
// Splits off "OPCODE NTH" (two hex digits, then 1 to 1,000,000) into a rule.
bool nextOpcodeAndNth(std::string_view& rest, uint8_t& opcode, int& nth);
template <class T>
bool nthCommand(std::string_view& rest, NthCommandRule<T>& rule) {
    return nextOpcodeAndNth(rest, rule.opcode, rule.nth);
}
// A drive as the configuration describes it, its faults set.
std::unique_ptr<KorvaneDrive> makeDrive(const DriveConfig& config);

// The configuration, or nothing with `error` naming the line at fault.
std::optional<LayerConfig> parseLayerConfig(std::string_view text, std::string& error);

// A layer with its drives, as a configuration describes them.
struct SimulatedLayer {
    AspiLayer layer;
    std::vector<std::unique_ptr<KorvaneDrive>> drives;  // in the order of the configuration
    std::vector<DriveConfig> placed;                    // where each of them is
};
void buildLayer(const LayerConfig& config, SimulatedLayer& out);

// One line of the command log: where the command went, what it was, and how it ended.
//   "0 1 3B cdb=3B 05 00 00 00 00 00 80 00 00 out=32768 crc=1A2B3C4D status=01"
std::string commandLogLine(int adapter, int target, const ReceivedCommand& command,
                           uint8_t aspiStatus);

}  // namespace sim
