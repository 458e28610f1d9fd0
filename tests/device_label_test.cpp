// The device list labels: the first line whose test on the fresh product id holds for the bus,
// the interface check of the Serial ATA lines, and the plain label.
#include <string>

#include "identify/device_label.h"
#include "identify_bench.h"

using namespace testing_support;
using dw::BusKind;

namespace {

struct Case {
    std::string p;  // what the drive reports now, blank-padded to 16
    BusKind bus;
    int target;
    const char* label;
    const char* stored = "";  // the stored product id; "" for the same as P
    uint8_t interfaceCode = 0;
};

void expectLabels(std::initializer_list<Case> cases) {
    for (const Case& c : cases) {
        DriveBench bench(c.p, "1.00", "KORVANE", c.bus, c.stored, c.target);
        bench.drive->setInterfaceCode(c.interfaceCode);
        EXPECT_EQ(shown(dw::DeviceLabel(bench.pc.transport, bench.device)), shown(c.label))
            << "P " << shown(c.p) << " on bus " << int(c.bus) << ", stored " << shown(c.stored)
            << ", interface code " << int(c.interfaceCode);
    }
}

}  // namespace

TEST(DeviceLabel, theFirstLineThatHoldsNamesTheModel) {
    expectLabels({
        {"CD-R   KV-S37T", BusKind::Usb, 0, "ID:0   KV-S37TU"},          // line 1
        {"CD-R   KV-W3850A", BusKind::Usb, 1, "ID:1   KV-W3850U"},       // line 2
        {"CD-R   KV-S3850T", BusKind::Usb, 2, "ID:2   KV-S3850TU"},      // line 3
        {"CD-R   KV-W6025A", BusKind::Usb, 3, "ID:3   KV-W6025U"},       // line 4
        {"CD-R   KV-W5936A", BusKind::Usb, 4, "ID:4   KV-W5936U"},       // line 5
        {"CD-R   KV-309T", BusKind::Usb, 5, "ID:5  KV-309U"},            // line 6
        {"CD-R   KV-309", BusKind::Usb, 5, "ID:5  KV-309U"},             // line 6 tests "309" alone
        {"CD-R   SUPERBA", BusKind::Usb, 6, "ID:6  SUPERBA-U"},          // line 7
        {"DVDR   KV-630A", BusKind::Usb, 7, "ID:7  KV-630UF"},           // line 8
        {"DVDR   KV-630A", BusKind::Ieee1394, 7, "ID:7  KV-630UF"},      // line 8
        {"DVDR   KV-630A", BusKind::Scsi, 7, "ID:7  KV-630A"},           // line 9
        {"DVDR   KV-630UF", BusKind::Unclassified, 7, "ID:7  KV-630A"},  // line 9, any bus
        {"DVDR   KV-821A2", BusKind::Usb, 8, "ID:8  KV-821UF2"},         // line 10
        {"DVDR   KV-821A2", BusKind::Ieee1394, 8, "ID:8  KV-821UF2"},    // line 10
        {"DVDR   KV-821A", BusKind::Usb, 9, "ID:9  KV-821UF"},           // line 11
        {"DVDR   KV-821A", BusKind::Ieee1394, 9, "ID:9  KV-821UF"},      // line 11
        {"DVDR   KV-852A", BusKind::Usb, 10, "ID:10  KV-852UF"},         // line 12
        {"DVDR   KV-852A", BusKind::Ieee1394, 10, "ID:10  KV-852UF"},    // line 12
        {"DVDR   KV-825A", BusKind::Usb, 1, "ID:1  KV-825UF"},           // line 13, not probed USB
        {"DVDR   KV-825A", BusKind::Usb, 1, "ID:1  KV-825U", "DVDR   KV-825U"},  // 13, probed
        {"DVDR   KV-825A", BusKind::Ieee1394, 1, "ID:1  KV-825UF"},              // line 14
        {"DVDR   KV-829AL", BusKind::Ieee1394, 2, "ID:2  KV-829UFL"},            // line 16
        {"DVDR   KV-829AL", BusKind::Usb, 2, "ID:2  KV-829UFL"},                 // line 17
        {"DVDR   KV-829A", BusKind::Ieee1394, 3, "ID:3  KV-829UF"},              // line 18
        {"DVDR   KV-829A", BusKind::Usb, 3, "ID:3  KV-829UF"},                   // line 19
        {"CD-R   S37T6025", BusKind::Usb, 0, "ID:0   KV-S37TU"},  // line 1 before line 4
        {"DVDR   KV-630821", BusKind::Usb, 0, "ID:0  KV-630UF"},  // line 8 before line 11
        // The fresh P decides, not the stored product id.
        {"CD-R   KV-S37T", BusKind::Usb, 0, "ID:0   KV-S37TU", "DVDR   KV-829A"},
    });
}

TEST(DeviceLabel, withoutALineTheLabelIsPFromItsEighthCharacter) {
    expectLabels({
        {"DVDR   KV-829A", BusKind::Atapi, 3, "ID:3  KV-829A  "},   // trailing blanks kept
        {"DVD-ROM KV-138A", BusKind::Atapi, 1, "ID:1   KV-138A "},  // eight-character type
        {"*Program Mode1*", BusKind::Atapi, 2, "ID:2  m Mode1* "},
        {"CD-R   SUPERBA", BusKind::Atapi, 0, "ID:0  SUPERBA  "},
        {"DVDR   KV-821A2", BusKind::Atapi, 4, "ID:4  KV-821A2 "},
        {"DVDR   KV-825A", BusKind::Scsi, 4, "ID:4  KV-825A  "},
        {"CD-R   KV-S37T", BusKind::Scsi, 4, "ID:4  KV-S37T  "},
        // P ends inside the device-type part: nothing is left, nothing outside P is read.
        {std::string("DVDR\0", 5), BusKind::Atapi, 6, "ID:6  "},
        {std::string("CD-ROMX\0", 8), BusKind::Atapi, 6, "ID:6  "},
        {std::string("CD-ROM X\0", 9), BusKind::Atapi, 6, "ID:6  X"},
        {std::string("\0", 1), BusKind::Atapi, 6, "ID:6  "},
    });
}

TEST(DeviceLabel, onSerialAtaTheDriveMustConfirmItsInterface) {
    expectLabels({
        {"DVDR   KV-825A", BusKind::SerialAta, 4, "ID:4  KV-825SA", "", 1},
        {"DVDR   KV-825A", BusKind::SerialAta, 4, "ID:4  KV-825SA", "", 5},
        {"DVDR   KV-825A", BusKind::SerialAta, 4, "ID:4  KV-825A  ", "", 8},
        {"DVDR   KV-825A", BusKind::SerialAta, 4, "ID:4  KV-825A  ", "", 0},
        {"DVDR   KV-829A", BusKind::SerialAta, 4, "ID:4  KV-829SA", "", 1},
        {"DVDR   KV-829A", BusKind::SerialAta, 4, "ID:4  KV-829SA", "", 5},
        {"DVDR   KV-829A", BusKind::SerialAta, 4, "ID:4  KV-829A  ", "", 2},
        {"DVDR   KV-829AL", BusKind::SerialAta, 4, "ID:4  KV-829SA", "", 1},
    });
}

TEST(DeviceLabel, theInterfaceCheckReadsTheFirst128BytesOnlyForTheSerialAtaLines) {
    struct Probe {
        const char* p;
        BusKind bus;
        const char* cdb;  // "" when no F1h may be sent
    } probes[] = {
        {"DVDR   KV-825A", BusKind::SerialAta, "F1 00 00 00 00 00 00 00 00 80 00 00"},
        {"DVDR   KV-829A", BusKind::SerialAta, "F1 01 00 00 00 00 00 00 00 80 00 00"},
        {"DVDR   KV-825A", BusKind::Usb, ""},
        {"DVDR   KV-829A", BusKind::Atapi, ""},
        {"DVDR   KV-821A", BusKind::SerialAta, ""},
    };
    for (const auto& c : probes) {
        DriveBench bench(c.p, "1.00", "KORVANE", c.bus);
        dw::DeviceLabel(bench.pc.transport, bench.device);
        const auto sent = bench.drive->receivedWithOpcode(0xF1);
        if (c.cdb[0] == '\0') {
            EXPECT_TRUE(sent.empty()) << c.p;
        } else {
            ASSERT_EQ(sent.size(), 1u) << c.p;
            EXPECT_EQ(hex(sent[0].cdb), c.cdb) << c.p;
        }
    }
}

TEST(DeviceLabel, aFailingInterfaceCheckGivesThePlainLabel) {
    DriveBench bench("DVDR   KV-829A", "1.00", "KORVANE", BusKind::SerialAta, "", 2);
    bench.drive->setInterfaceCode(1);
    bench.drive->failAll(0xF1, {0x05, 0x20, 0x00});
    EXPECT_EQ(shown(dw::DeviceLabel(bench.pc.transport, bench.device)), shown("ID:2  KV-829A  "));
}

TEST(DeviceLabel, aFailedInquiryLeavesPEmpty) {
    // A USB drive answers INQUIRY through its letter; here the drive does not answer at all.
    DriveBench bench("DVDR   KV-829A", "1.00", "KORVANE", BusKind::Usb, "", 5);
    bench.drive->stopAnsweringAfter(0);
    EXPECT_EQ(shown(dw::DeviceLabel(bench.pc.transport, bench.device)), shown("ID:5  "));

    // Nothing at the address the record names.
    DriveBench absent("DVDR   KV-825A", "1.00", "KORVANE", BusKind::SerialAta, "", 1);
    absent.device.targetId = 9;
    EXPECT_EQ(shown(dw::DeviceLabel(absent.pc.transport, absent.device)), shown("ID:9  "));
    EXPECT_EQ(absent.sent(0xF1), 0u);
}
