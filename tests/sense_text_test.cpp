// The words and the code for the sense data of a failed command.
#include "scsi/sense_text.h"
#include "sim/string_resources.h"
#include "test_support.h"

namespace {

dw::DeviceEntry withSense(uint8_t key, uint8_t asc, uint8_t ascq) {
    dw::DeviceEntry e;
    e.sense[0] = 0x70;
    e.sense[2] = key;
    e.sense[12] = asc;
    e.sense[13] = ascq;
    return e;
}

struct SenseCase {
    uint8_t key, asc, ascq;
    const char* message;
};

const SenseCase kCases[] = {
    {0x00, 0x00, 0x00, "Unspecified error (code 000000)"},
    {0x01, 0x17, 0x01, "Recovered error (code 011701)"},
    {0x02, 0x04, 0x01, "Reading of TOC in progress (code 020401)"},
    {0x02, 0x04, 0x02, "Drive not ready (code 020402)"},
    {0x02, 0x3A, 0x00, "No disc in drive (code 023A00)"},
    {0x02, 0x3A, 0x01, "No disc in drive (code 023A01)"},
    {0x02, 0x3A, 0x02, "No disc in drive (code 023A02)"},
    {0x02, 0x3A, 0x03, "Drive not ready (code 023A03)"},
    {0x03, 0x02, 0x00, "Unable to seek to requested position (code 030200)"},
    {0x03, 0x0C, 0x09, "Buffer underrun (code 030C09)"},
    {0x03, 0x11, 0x05, "Uncorrectable read error (code 031105)"},
    {0x03, 0x11, 0x06, "Uncorrectable read error (code 031106)"},
    {0x03, 0x11, 0x00, "Medium error (code 031100)"},
    {0x03, 0x72, 0x01, "Error writing Lead-In (code 037201)"},
    {0x03, 0x72, 0x02, "Error writing Lead-Out (code 037202)"},
    {0x03, 0x73, 0x03, "Power calibration failed (code 037303)"},
    {0x04, 0x47, 0x00, "Bus error (code 044700)"},
    {0x04, 0x47, 0x01, "Hardware error (code 044701)"},
    {0x05, 0x20, 0x00, "Invalid command (code 052000)"},
    {0x05, 0x21, 0x00, "Address out of range (code 052100)"},
    {0x05, 0x21, 0x02, "Invalid address (code 052102)"},
    {0x05, 0x24, 0x00, "Invalid parameter (code 052400)"},
    {0x05, 0x25, 0x00, "Unit not supported (code 052500)"},
    {0x05, 0x26, 0x00, "Invalid field in parameter list (code 052600)"},
    {0x05, 0x64, 0x00, "Illegal mode for this track (code 056400)"},
    {0x05, 0x2C, 0x00, "Illegal request (code 052C00)"},
    {0x06, 0x29, 0x00, "Drive reset occurred (code 062900)"},
    {0x06, 0x28, 0x00, "Unit attention (code 062800)"},
    {0x07, 0x27, 0x00, "Unspecified error (code 072700)"},
    {0x0A, 0x00, 0x00, "Unspecified error (code 0A0000)"},
    {0x0B, 0x4E, 0x00, "Command aborted (code 0B4E00)"},
    {0x0B, 0x00, 0x00, "Command aborted (code 0B0000)"},
    {0x0C, 0x00, 0x00, "Unspecified error (code 0C0000)"},
    {0x25, 0x24, 0x00, "Unspecified error (code 252400)"},  // ILI bit with key 5
    {0xFF, 0xFF, 0xFF, "Unspecified error (code FFFFFF)"},
};

}  // namespace

TEST(SenseText, everyKeyAndCodeGetsItsWordsAndSixDigitCode) {
    sim::Machine machine;
    dw::ScsiTransport transport(machine);
    sim::ProgramStrings strings;
    for (const auto& c : kCases) {
        const auto device = withSense(c.key, c.asc, c.ascq);
        EXPECT_STREQ(dw::SenseText(transport, device, strings), c.message);
        EXPECT_EQ(dw::SenseText(transport, device, strings), transport.errorText);
    }
}

TEST(SenseText, aDeviceThatNeverFailedIsUnspecified) {
    sim::Machine machine;
    dw::ScsiTransport transport(machine);
    sim::ProgramStrings strings;
    dw::DeviceEntry fresh;
    EXPECT_STREQ(dw::SenseText(transport, fresh, strings), "Unspecified error (code 000000)");
}

TEST(SenseText, aLongerEarlierMessageLeavesNoTail) {
    sim::Machine machine;
    dw::ScsiTransport transport(machine);
    sim::ProgramStrings strings;
    dw::SenseText(transport, withSense(0x03, 0x02, 0x00), strings);
    dw::SenseText(transport, withSense(0x04, 0x47, 0x00), strings);
    EXPECT_STREQ(transport.errorText, "Bus error (code 044700)");
    EXPECT_EQ(transport.errorText[sizeof "Bus error (code 044700)"], '\0');
}

TEST(SenseText, codeTakesTheWholeKeyByte) {
    EXPECT_EQ(dw::SenseCode(withSense(0x25, 0x24, 0x00)), 0x252400u);
    EXPECT_EQ(dw::SenseCode(withSense(0x05, 0x24, 0x01)), 0x052401u);
}
