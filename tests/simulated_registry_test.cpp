// The simulated registry grants what a key was opened for and nothing more, as Windows does, so
// a scan that opens a key with too few rights fails here as it would on a real PC.
#include <gtest/gtest.h>

#include "sim/machine.h"

using dw::Registry;

TEST(SimulatedRegistry, aKeyAnswersOnlyWhatItWasOpenedFor) {
    constexpr uint32_t kOk = dw::winerr::kSuccess, kDenied = dw::winerr::kAccessDenied;
    // The rights asked for, and how RegEnumKeyA of subkey 0 and RegQueryValueExA of a value
    // that exists end.
    const uint32_t cases[][3] = {{Registry::kQueryValue, kDenied, kOk},
                                 {Registry::kEnumerateSubKeys, kOk, kDenied},
                                 {Registry::kRead, kOk, kOk},
                                 {0, kDenied, kDenied}};
    for (const auto& [access, enumerated, queried] : cases) {
        sim::Machine pc;
        pc.setRegistryString(Registry::kLocalMachine, "Enum\\SCSI", "Class", "CDROM");
        pc.addRegistryKey(Registry::kLocalMachine, "Enum\\SCSI\\KORVANE");
        dw::Handle key = 0, sub = 0;
        ASSERT_EQ(pc.openKey(Registry::kLocalMachine, "Enum\\SCSI", access, key), kOk);
        char name[32] = {};
        uint8_t value[16] = {};
        uint32_t size = sizeof value;
        EXPECT_EQ(pc.enumKey(key, 0, name), enumerated) << access;
        EXPECT_STREQ(name, enumerated == kOk ? "KORVANE" : "") << access;
        EXPECT_EQ(pc.queryValue(key, "Class", nullptr, value, size), queried) << access;
        // A subkey can be opened through any key; its rights are its own.
        EXPECT_EQ(pc.openKey(key, "KORVANE", Registry::kRead, sub), kOk) << access;
        EXPECT_EQ(pc.enumKey(sub, 0, name), dw::winerr::kNoMoreItems) << access;
        pc.closeKey(sub);
        pc.closeKey(key);
        EXPECT_EQ(pc.openKeyCount(), 0) << access;
    }
}
