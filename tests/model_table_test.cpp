// The model table, held against the golden copy of the documented rows in tests/data/. Their
// order is what the prefix search relies on; the search itself is tried through IdentifyModel.
#include "identify/model_table.h"
#include "reference_images.h"

TEST(ModelTable, everyRowIsTheDocumentedRowCharacterForCharacter) {
    const auto& golden = testing_support::goldenRows();
    ASSERT_EQ(golden.size(), dw::kModelTableRows);
    for (size_t i = 0; i < golden.size(); ++i) {
        const auto& [index, offset, end, name, text] = golden[i];
        const auto& have = dw::ModelTable[i];
        EXPECT_EQ(std::tuple(int(i), std::string(have.productId), have.identity.identOffset,
                             have.identity.checksumEnd, std::string(have.identity.identText)),
                  std::tuple(index, name, offset, end, text));
    }
}
