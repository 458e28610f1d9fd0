// The model table: its order, which the prefix search relies on, and what its rows carry.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "identify/model_table.h"
#include "reference_images.h"

namespace {

std::string_view nameOf(size_t row) { return dw::ModelTable[row].productId; }

}  // namespace

TEST(ModelTable, aNameThatIsThePrefixOfAnotherStandsAfterIt) {
    size_t pairs = 0;
    for (size_t i = 0; i < dw::kModelTableRows; ++i) {
        for (size_t j = 0; j < dw::kModelTableRows; ++j) {
            if (i == j || !nameOf(j).starts_with(nameOf(i))) continue;
            ++pairs;
            EXPECT_GT(i, j) << "row " << i << " \"" << nameOf(i) << "\" would hide row " << j
                            << " \"" << nameOf(j) << "\"";
        }
    }
    // 27/28, 37/38, 41/43, 42/43, 45/47, 46/48, 51/52, 53/55, 54/57.
    EXPECT_EQ(pairs, 9u);
}

TEST(ModelTable, everyNameBeginsWithItsDeviceTypeExceptTheProgramModeRow) {
    for (size_t i = 0; i < dw::kModelTableRows; ++i) {
        const std::string_view name = nameOf(i);
        const bool typed = name.starts_with("CD-ROM ") || name.starts_with("CD-R   ") ||
                           name.starts_with("DVDR   ") || name.starts_with("DVD-ROM ");
        EXPECT_EQ(typed, i != 11) << "row " << i << " \"" << name << "\"";
    }
}

TEST(ModelTable, onlyTheFirstElevenRowsCannotBeUpgraded) {
    for (size_t i = 0; i < dw::kModelTableRows; ++i) {
        const dw::UpgradeFileIdentity& identity = dw::ModelTable[i].identity;
        const std::string_view text = identity.identText;
        if (i <= 10) {
            EXPECT_EQ(identity.identOffset, 0u) << "row " << i;
            EXPECT_EQ(identity.checksumEnd, 0u) << "row " << i;
            EXPECT_TRUE(text.empty()) << "row " << i;
        } else {
            EXPECT_NE(identity.identOffset, 0u) << "row " << i;
            EXPECT_FALSE(text.empty()) << "row " << i;
        }
    }
}

TEST(ModelTable, theSearchTakesTheFirstRowThatIsAPrefixOfTheWorkingId) {
    struct Case {
        const char* workingId;
        int row;  // -1: none
    } cases[] = {
        {"CD-R   KV-S37TU", 27},  {"CD-R   KV-S37T  ", 28},
        {"DVD-ROM KV-138A ", 43}, {"DVD-ROM KV-138A2", 42},
        {"DVDR   KV-829AL ", 54}, {"DVDR   KV-829A  ", 57},
        {"DVDR   KV-825U  ", 52}, {"*Program Mode1* ", 11},
        {"CD-ROM KV-xxTS", 17},   {"DVDR   KV-829", -1},  // shorter than every row it begins
        {"dvdr   kv-829a  ", -1}, {"", -1},
    };
    for (const auto& c : cases) {
        const dw::ModelFamily* row = dw::matchModelRow(c.workingId);
        const int found = row == nullptr ? -1 : static_cast<int>(row - dw::ModelTable);
        EXPECT_EQ(found, c.row) << "\"" << c.workingId << "\"";
    }
}

TEST(ModelTable, everyRowIsTheDocumentedRowCharacterForCharacter) {
    const auto& golden = testing_support::goldenRows();
    ASSERT_EQ(golden.size(), dw::kModelTableRows);
    for (size_t i = 0; i < golden.size(); ++i) {
        const auto& want = golden[i];
        const auto& have = dw::ModelTable[i];
        EXPECT_EQ(want.index, static_cast<int>(i)) << "tests/data/model_rows.txt is out of order";
        EXPECT_EQ(have.productId, want.name) << "row " << i;
        EXPECT_EQ(have.identity.identOffset, want.identOffset) << "row " << i << " " << want.name;
        EXPECT_EQ(have.identity.checksumEnd, want.checksumEnd) << "row " << i << " " << want.name;
        EXPECT_EQ(have.identity.identText, want.identText) << "row " << i << " " << want.name;
    }
}
