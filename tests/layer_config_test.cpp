// The text that configures the simulated ASPI library: what it accepts, the layer it builds and
// what it refuses, and the Linux PC's lines of the same kind. (Its command log lines are read
// by the end-to-end scenarios' checks.)
#include <gtest/gtest.h>

#include <cerrno>

#include "sim/layer_config.h"
#include "sim/linux_config.h"

TEST(LayerConfig, readsAdaptersDrivesAndTheirFaultsAndBuildsTheLayer) {
    std::string error;
    const auto config = sim::parseLayerConfig(
        "# two drives\nadapter ESDI_506 hdc Primary IDE controller (dual fifo)\r\n"
        "drive 0 0 e 1.00 DVDR   KV-829A\n  fail 3B 11 05 24 00\n  stop-after 40\n"
        "drive 0 1 F 1.04 CD-R   KV-W6025A  \n  vendor OTHERCO\n  interface 8\n  medium\n"
        "  fail-all E2 05 20 00\n",
        error);
    ASSERT_TRUE(config) << error;
    EXPECT_EQ(config->adapters.at(0).description, "Primary IDE controller (dual fifo)");
    const auto& [first, second] = std::tie(config->drives.at(0), config->drives.at(1));
    EXPECT_EQ(first.letter, 'E');
    EXPECT_EQ(first.product + "|" + second.product, "DVDR   KV-829A|CD-R   KV-W6025A");
    EXPECT_EQ(first.faults.at(0).nth, 11);
    EXPECT_EQ(first.faults[0].what.asc, 0x24);
    EXPECT_EQ(second.faults.at(0).nth, 0);
    sim::SimulatedLayer built;
    sim::buildLayer(*config, built);
    EXPECT_EQ(built.layer.adapters.at(0).drives.at({1, 0}), built.drives.at(1).get());
    EXPECT_EQ(built.drives.at(1)->vendor(), "OTHERCO ");
    EXPECT_EQ(built.drives.at(1)->infoBlock[49], 8);
    EXPECT_TRUE(built.drives.at(1)->mediumLoaded && !built.drives.at(0)->mediumLoaded);
}

TEST(LayerConfig, refusesWhatItCannotReadAndNamesTheLine) {
    // Each text fails on its last line, after as many of these lines as it says.
    const char* const before[] = {"adapter A hdc x", "drive 0 0 E 1 KV"};
    const std::vector<const char*> cases[] = {
        {"drive 0 0 E 1.00 KV", "fail 3B 1 05 24 00", "support 1FF", "frobnicate"},
        {"drive 1 0 E 1.00 KV", "drive 0 16 E 1.00 KV", "drive 0 0 EE 1.00 KV", "drive 0 0 E 1.00",
         "drive 0 0 E 1.000 KV", "drive 0 0 E 1.00 ABCDEFGHIJKLMNOPQ"},
        {"fail 3B 0 05 24 00", "fail 3B 1 05 24", "fail 3G 1 05 24 00", "fail 13B 1 05 24 00",
         "stop-after -1"},
    };
    for (size_t lines = 0; lines < 3; ++lines) {
        for (const char* last : cases[lines]) {
            std::string text, error;
            for (size_t i = 0; i < lines; ++i) text += std::string(before[i]) + "\n";
            EXPECT_FALSE(sim::parseLayerConfig(text + last, error)) << last;
            EXPECT_EQ(error.rfind("line " + std::to_string(lines + 1) + ":", 0), 0u) << error;
        }
    }
}

// The requests the ASPI layer answers itself, and the Linux PC's commands whose answer is lost
// after the drive took them: read, and refused when they name what neither gives.
TEST(LayerConfig, readsTheLayersOwnAnswersAndTheLostAnswersOfTheLinuxPc) {
    std::string error;
    const auto layer = sim::parseLayerConfig(
        "adapter A hdc x\ndrive 0 0 E 1.00 KV\naspi-status 3B 11 82\naspi-status E2 8 00", error);
    ASSERT_TRUE(layer) << error;
    const auto& answers = layer->drives.at(0).layerAnswers;
    EXPECT_EQ(std::tuple(answers.at(0).opcode, answers[0].nth, answers[0].what, answers.at(1).nth),
              std::tuple(0x3B, 11, 0x82, 8));
    const auto pc = sim::parseLinuxConfig(
        "drive sata 0 0 0 0 sg0 sr0 1.00 KV\nlost 3B 126 DID_RESET\nlost E2 8 DRIVER_TIMEOUT\n"
        "lost 3B 2 ENODEV",
        error);
    ASSERT_TRUE(pc) << error;
    const auto& lost = pc->drives.at(0).lost;
    EXPECT_EQ(std::tuple(lost.at(0).opcode, lost[0].nth, lost[0].what.hostStatus,
                         lost.at(1).what.driverStatus, lost.at(2).what.error),
              std::tuple(0x3B, 126, 8, 6, ENODEV));
    for (const char* last : {"aspi-status 3B 11 04", "aspi-status 3B 0 82", "aspi-status 3B 11"}) {
        EXPECT_FALSE(
            sim::parseLayerConfig(std::string("adapter A hdc x\ndrive 0 0 E 1 KV\n") + last, error))
            << last;
    }
    for (const char* last :
         {"lost 3B 126 DID_NOTHING", "lost 3B 0 EIO", "lost 3B 126", "lost 3B", "takes 3B 0 4096",
          "takes 3B 1", "link dev/cdrom sr0", "link /dev/cdrom", "bad-read /x -1 EIO"}) {
        EXPECT_FALSE(
            sim::parseLinuxConfig(std::string("drive sata 0 0 0 0 sg0 sr0 1 KV\n") + last, error))
            << last;
    }
}
