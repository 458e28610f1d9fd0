// The command line's judgement of versions (newer, the same, older, or not comparable) and of
// the power (on battery or not), from the texts drives, files and sysfs give.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/power_supply.h"
#include "cli/version_order.h"
#include "sim/linux_config.h"

namespace {

using dw::cli::VersionOrder;

TEST(VersionOrder, ofTheFilesVersionAgainstTheDrives) {
    struct Case {
        const char* file;
        const char* drive;
        VersionOrder order;
    };
    const Case cases[] = {
        {"1.10", "1.00", VersionOrder::Newer},   {"1.10", "1.10", VersionOrder::Same},
        {"1.02", "1.10", VersionOrder::Older},   {"1.10", "1.9 ", VersionOrder::Newer},
        {"2.0 ", "1.99", VersionOrder::Newer},   {"1.00", "1.0 ", VersionOrder::Same},
        {" 1.1", "1.01", VersionOrder::Same},    {"5a02", "1.00", VersionOrder::Unknown},
        {"1.10", "?.??", VersionOrder::Unknown}, {"1.1a", "1.10", VersionOrder::Unknown},
        {"110 ", "1.10", VersionOrder::Unknown}, {".10 ", "1.10", VersionOrder::Unknown},
        {"1.  ", "1.00", VersionOrder::Unknown}, {"1..1", "1.00", VersionOrder::Unknown},
        {"?", "1.00", VersionOrder::Unknown},    {"1.10", "", VersionOrder::Unknown},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(dw::cli::compareVersions(c.file, c.drive), c.order)
            << "file '" << c.file << "', drive '" << c.drive << "'";
    }
}

TEST(VersionOrder, tellsWhetherTheDriveRunsTheFilesVersionAfterTheUpgrade) {
    EXPECT_EQ(dw::cli::driveRunsTheFilesVersion("1.10", "1.10"), true);
    EXPECT_EQ(dw::cli::driveRunsTheFilesVersion("1.10", "1.00"), false);
    EXPECT_EQ(dw::cli::driveRunsTheFilesVersion("5a02", "5a02"), true);
    EXPECT_EQ(dw::cli::driveRunsTheFilesVersion("5a02", "5a01"), false);
    EXPECT_EQ(dw::cli::driveRunsTheFilesVersion("?", "1.10"), std::nullopt);
}

// The supplies as the simulated PC lays them out in sysfs, read back through the seam.
bool onBattery(const std::string& lines) {
    std::string error;
    const std::optional<sim::LinuxConfig> config = sim::parseLinuxConfig(lines, error);
    EXPECT_TRUE(config) << error;
    sim::SimulatedLinux pc;
    buildLinux(*config, pc);
    return dw::cli::runsOnBattery(dw::cli::readPowerSupplies(pc.machine));
}

TEST(PowerSupply, onBatteryOnlyWithNoMainsOnlineAndASystemBatteryDischarging) {
    struct Case {
        const char* lines;
        bool onBattery;
    };
    const Case cases[] = {
        {"", false},  // a desktop without supplies in sysfs
        {"power mains online", false},
        {"power mains offline", false},
        {"power battery discharging", true},
        {"power mains offline\npower battery discharging", true},
        {"power mains online\npower battery discharging", false},
        {"power mains offline\npower battery charging", false},
        {"power mains offline\npower battery full", false},
        {"power mains offline\npower battery not-charging", false},
        {"power battery full\npower battery discharging", true},
        {"power mains offline\npower mains online\npower battery discharging", false},
        {"power device-battery discharging", false},  // a mouse's battery feeds no machine
    };
    for (const Case& c : cases) EXPECT_EQ(onBattery(c.lines), c.onBattery) << c.lines;
}

}  // namespace
