// The words and the code for the sense data of a failed command.
#include "scsi/sense_text.h"
#include "sim/string_resources.h"
#include "test_support.h"

// The whole key byte counts (0x25: the ILI bit with key 5). The text is the transport's, with
// nothing left after it of a longer earlier one.
TEST(SenseText, everyKeyAndCodeGetsItsWordsAndTheWholeSixDigitCode) {
    const std::pair<uint32_t, const char*> cases[] = {
        {0x000000, "Unspecified error"},
        {0x020401, "Reading of TOC in progress"},
        {0x011701, "Recovered error"},
        {0x030200, "Unable to seek to requested position"},
        {0x023A00, "No disc in drive"},
        {0x031105, "Uncorrectable read error"},
        {0x023A02, "No disc in drive"},
        {0x037201, "Error writing Lead-In"},
        {0x023A03, "Drive not ready"},
        {0x056400, "Illegal mode for this track"},
        {0x031100, "Medium error"},
        {0x062900, "Drive reset occurred"},
        {0x044700, "Bus error"},
        {0x044701, "Hardware error"},
        {0x252400, "Unspecified error"},
        {0x052C00, "Illegal request"},
        {0x062800, "Unit attention"},
        {0x030C09, "Buffer underrun"},
        {0x031106, "Uncorrectable read error"},
        {0x037202, "Error writing Lead-Out"},
        {0x037303, "Power calibration failed"},
        {0x052000, "Invalid command"},
        {0x052100, "Address out of range"},
        {0x052102, "Invalid address"},
        {0x052400, "Invalid parameter"},
        {0x052500, "Unit not supported"},
        {0x052600, "Invalid field in parameter list"},
        {0x072700, "Unspecified error"},
        {0x0B0000, "Command aborted"},
        {0x0C0000, "Unspecified error"},
        {0xFFFFFF, "Unspecified error"},
    };
    sim::Machine machine;
    dw::ScsiTransport transport(machine);
    sim::ProgramStrings strings;
    for (const auto& [code, words] : cases) {
        dw::DeviceEntry device;
        device.sense[2] = code >> 16;
        device.sense[12] = code >> 8;
        device.sense[13] = code;
        char text[dw::kErrorTextSize] = {};
        std::snprintf(text, sizeof text, "%s (code %06X)", words, code);
        const char* shown = dw::SenseText(transport, device, strings);
        EXPECT_EQ(std::string(shown, sizeof text), std::string(text, sizeof text)) << text;
        EXPECT_EQ(shown, transport.errorText);
    }
}

// Sense data counts as far as the system wrote it: 8 bytes at least, with a response code of 70h
// to 73h (bit 7, VALID, aside). Where the system does not tell how much (ASPI, pass-through),
// all 14 bytes count as before. Descriptor format (72h, 73h) has its key in the low half of byte
// 1, its ASC and ASCQ in bytes 2 and 3; fixed format its whole key byte 2, ASC and ASCQ in 12, 13.
TEST(SenseText, senseCountsAsFarAsWrittenAndEachFormatIsReadAtItsOwnOffsets) {
    const struct {
        std::vector<uint8_t> bytes;
        int32_t written;
        bool has;
        uint32_t code;
    } cases[] = {
        {{0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x24, 0x01}, 18, true, 0x052401},
        {{0xF1, 0, 0x25, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x24, 0x00}, 14, true, 0x252400},
        {{0x70, 0, 0x05, 0, 0, 0, 0, 0}, 8, true, 0x050000},  // ASC and ASCQ not written
        {{0x70, 0, 0x05, 0, 0, 0}, 6, false, 0x050000},
        {{0x72, 0xF5, 0x24, 0x00, 0, 0, 0, 0}, 8, true, 0x052400},
        {{0xF3, 0x06, 0x29, 0x02, 0, 0, 0, 0}, 8, true, 0x062902},
        {{0x72, 0x05, 0x24}, 3, false, 0x052400},
        {{0x00, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x24}, 18, false, 0x052400},
        {{0x7F, 0, 0x05, 0, 0, 0, 0, 10}, 18, false, 0x050000},
        {{}, 0, false, 0},
        {{0x00, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x24}, -1, true, 0x052400},  // not told
        {{0x72, 0x05, 0x24, 0x00}, -1, true, 0x052400},
    };
    for (const auto& c : cases) {
        dw::DeviceEntry device;
        std::copy(c.bytes.begin(), c.bytes.end(), device.sense);
        device.senseWritten = c.written;
        EXPECT_EQ(dw::HasSenseData(device), c.has) << &c - cases;
        EXPECT_EQ(dw::SenseCode(device), c.code) << &c - cases;
    }
}
