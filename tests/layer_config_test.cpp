// The text that configures the simulated ASPI library: what it accepts, what it refuses, the
// layer it builds and the lines of its command log.
#include <gtest/gtest.h>

#include "sim/layer_config.h"

namespace {

const char kTwoDrives[] =
    "# two drives\n"
    "adapter ESDI_506 hdc Primary IDE controller (dual fifo)\r\n"
    "drive 0 0 e 1.00 DVDR   KV-829A\n"
    "  fail 3B 11 05 24 00\n"
    "  stop-after 40\n"
    "drive 0 1 F 1.04 CD-R   KV-W6025A  \n"
    "  vendor OTHERCO\n"
    "  interface 8\n"
    "  medium\n"
    "  fail-all E2 05 20 00\n";

}  // namespace

TEST(LayerConfig, readsAdaptersDrivesAndTheirFaults) {
    std::string error;
    const auto config = sim::parseLayerConfig(kTwoDrives, error);
    ASSERT_TRUE(config) << error;
    ASSERT_EQ(config->adapters.size(), 1u);
    EXPECT_EQ(config->adapters[0].adapterId, "ESDI_506");
    EXPECT_EQ(config->adapters[0].classKey, "hdc");
    EXPECT_EQ(config->adapters[0].description, "Primary IDE controller (dual fifo)");
    ASSERT_EQ(config->drives.size(), 2u);

    const auto& first = config->drives[0];
    EXPECT_EQ(first.letter, 'E');
    EXPECT_EQ(first.product, "DVDR   KV-829A");  // inner blanks kept
    EXPECT_EQ(first.revision, "1.00");
    ASSERT_EQ(first.faults.size(), 1u);
    EXPECT_EQ(first.faults[0].opcode, 0x3B);
    EXPECT_EQ(first.faults[0].nth, 11);
    EXPECT_EQ(first.faults[0].sense.asc, 0x24);
    EXPECT_EQ(first.stopAfter, 40);
    EXPECT_FALSE(first.medium);

    const auto& second = config->drives[1];
    EXPECT_EQ(second.target, 1);
    EXPECT_EQ(second.product, "CD-R   KV-W6025A");  // trailing blanks dropped
    EXPECT_EQ(second.vendor, "OTHERCO");
    EXPECT_EQ(second.interfaceCode, 8);
    EXPECT_TRUE(second.medium);
    ASSERT_EQ(second.faults.size(), 1u);
    EXPECT_EQ(second.faults[0].nth, 0);
}

TEST(LayerConfig, refusesWhatItCannotReadAndNamesTheLine) {
    const struct {
        const char* text;
        const char* line;
    } cases[] = {
        {"drive 0 0 E 1.00 DVDR   KV-829A", "line 1"},                      // no adapter 0
        {"adapter A hdc x\ndrive 1 0 E 1.00 KV", "line 2"},                 // adapter out of range
        {"adapter A hdc x\ndrive 0 16 E 1.00 KV", "line 2"},                // target out of range
        {"adapter A hdc x\ndrive 0 0 EE 1.00 KV", "line 2"},                // no single letter
        {"adapter A hdc x\ndrive 0 0 E 1.00", "line 2"},                    // no product
        {"adapter A hdc x\ndrive 0 0 E 1.00 ABCDEFGHIJKLMNOPQ", "line 2"},  // 17 characters
        {"adapter A hdc x\ndrive 0 0 E 1.000 KV", "line 2"},                // 5-character revision
        {"fail 3B 1 05 24 00", "line 1"},                                   // no drive yet
        {"adapter A hdc x\ndrive 0 0 E 1 KV\nfail 3B 0 05 24 00", "line 3"},   // nth from 1
        {"adapter A hdc x\ndrive 0 0 E 1 KV\nfail 3B 1 05 24", "line 3"},      // short sense
        {"adapter A hdc x\ndrive 0 0 E 1 KV\nfail 3G 1 05 24 00", "line 3"},   // not hex
        {"adapter A hdc x\ndrive 0 0 E 1 KV\nfail 13B 1 05 24 00", "line 3"},  // not a byte
        {"adapter A hdc x\ndrive 0 0 E 1 KV\nstop-after -1", "line 3"},
        {"support 1FF", "line 1"},
        {"frobnicate", "line 1"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(sim::parseLayerConfig(c.text, error)) << c.text;
        EXPECT_EQ(error.rfind(std::string(c.line) + ":", 0), 0u) << c.text << " -> " << error;
    }
}

TEST(LayerConfig, theBuiltLayerAnswersWithItsDrivesAndFaults) {
    std::string error;
    const auto config = sim::parseLayerConfig(kTwoDrives, error);
    ASSERT_TRUE(config);
    sim::SimulatedLayer built;
    sim::buildLayer(*config, built);
    ASSERT_EQ(built.layer.adapters.size(), 1u);
    EXPECT_EQ(built.layer.adapters[0].adapterId, "ESDI_506");
    ASSERT_EQ(built.drives.size(), 2u);
    EXPECT_EQ(built.layer.adapters[0].drives.at({1, 0}), built.drives[1].get());
    EXPECT_EQ(built.drives[1]->vendor(), "OTHERCO ");
    EXPECT_EQ(built.drives[1]->infoBlock[49], 8);

    // The 11th WRITE BUFFER of the first drive fails with the configured sense.
    sim::KorvaneDrive& drive = *built.drives[0];
    std::vector<uint8_t> chunk(8192);
    const uint8_t cdb[10] = {0x3B, 0x04, 0, 0, 0, 0, 0, 0x20, 0, 0};
    for (int i = 1; i <= 11; ++i) {
        const auto answer = drive.execute(cdb, sim::DataDirection::Out, chunk.data(), 8192);
        EXPECT_EQ(answer.status, i == 11 ? 2 : 0) << i;
        if (i == 11) {
            EXPECT_EQ(answer.sense[12], 0x24);
        }
    }
}

TEST(LayerConfig, aLogLineShowsWhereWhatAndHowItEnded) {
    sim::ReceivedCommand command;
    command.cdb = {0x3B, 0x05, 0x00, 0x0F, 0xA0, 0x00, 0x00, 0x10, 0x00, 0x00};
    command.direction = sim::DataDirection::Out;
    command.transferLength = 4100;
    command.dataOutCrc = 0x1A2B3C4D;
    EXPECT_EQ(sim::commandLogLine(0, 1, command, 1),
              "0 1 3B cdb=3B 05 00 0F A0 00 00 10 00 00 out=4100 crc=1A2B3C4D status=01");
    command.answered = false;
    command.direction = sim::DataDirection::None;
    command.transferLength = 0;
    command.cdb = {0x00, 0, 0, 0, 0, 0};
    command.dataOutCrc = 0;
    EXPECT_EQ(sim::commandLogLine(2, 15, command, 4),
              "2 15 00 cdb=00 00 00 00 00 00 none=0 crc=00000000 status=04 unanswered");
}
