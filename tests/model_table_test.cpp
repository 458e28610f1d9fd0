// The model table, held against the golden copy of the documented rows in tests/data/. Their
// order is what the prefix search relies on; the search itself is tried through IdentifyModel.
#include "identify/model_table.h"
#include "reference_images.h"

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
