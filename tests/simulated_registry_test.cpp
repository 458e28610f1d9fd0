// The simulated registry grants what a key was opened for and nothing more, as Windows does, so
// a scan that opens a key with too few rights fails here as it would on a real PC.
#include <gtest/gtest.h>

#include "sim/machine.h"

using dw::Registry;
namespace winerr = dw::winerr;

TEST(SimulatedRegistry, aKeyAnswersOnlyWhatItWasOpenedFor) {
    struct Case {
        const char* what;
        uint32_t access;
        uint32_t enumerated;  // RegEnumKeyA of subkey 0
        uint32_t queried;     // RegQueryValueExA of a value that exists
    } cases[] = {
        {"query only", Registry::kQueryValue, winerr::kAccessDenied, winerr::kSuccess},
        {"enumerate only", Registry::kEnumerateSubKeys, winerr::kSuccess, winerr::kAccessDenied},
        {"query and enumerate", Registry::kQueryValue | Registry::kEnumerateSubKeys,
         winerr::kSuccess, winerr::kSuccess},
        {"KEY_READ", Registry::kRead, winerr::kSuccess, winerr::kSuccess},
        {"KEY_ALL_ACCESS", Registry::kAllAccess, winerr::kSuccess, winerr::kSuccess},
        {"no rights", 0, winerr::kAccessDenied, winerr::kAccessDenied},
    };
    for (const auto& c : cases) {
        sim::Machine machine;
        machine.setRegistryString(Registry::kLocalMachine, "Enum\\SCSI", "Class", "CDROM");
        machine.addRegistryKey(Registry::kLocalMachine, "Enum\\SCSI\\KORVANE");
        dw::Handle key = 0;
        ASSERT_EQ(machine.openKey(Registry::kLocalMachine, "Enum\\SCSI", c.access, key),
                  winerr::kSuccess)
            << c.what;
        char name[32] = {};
        EXPECT_EQ(machine.enumKey(key, 0, name), c.enumerated) << c.what;
        if (c.enumerated == winerr::kSuccess) {
            EXPECT_STREQ(name, "KORVANE") << c.what;
        }
        uint32_t size = 0;
        EXPECT_EQ(machine.queryValue(key, "Class", nullptr, {}, size), c.queried) << c.what;
        uint8_t value[16] = {};
        size = sizeof value;
        EXPECT_EQ(machine.queryValue(key, "Class", nullptr, value, size), c.queried) << c.what;
        // A subkey can be opened through any key; its rights are its own.
        dw::Handle sub = 0;
        EXPECT_EQ(machine.openKey(key, "KORVANE", Registry::kRead, sub), winerr::kSuccess)
            << c.what;
        EXPECT_EQ(machine.enumKey(sub, 0, name), winerr::kNoMoreItems) << c.what;
        machine.closeKey(sub);
        machine.closeKey(key);
        EXPECT_EQ(machine.openKeyCount(), 0) << c.what;
    }
}

TEST(SimulatedRegistry, thePredefinedRootsAllowEverything) {
    sim::Machine machine;
    machine.addRegistryKey(Registry::kDynData, "Config Manager");
    char name[32] = {};
    EXPECT_EQ(machine.enumKey(Registry::kDynData, 0, name), winerr::kSuccess);
    EXPECT_STREQ(name, "Config Manager");
}
