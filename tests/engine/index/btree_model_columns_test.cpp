// Model-based test (support/BTreeModel.h) of a two-column index, an ascending integer and
// a descending case-insensitive text, searched on one or both columns.
#include "tests/engine/index/support/BTreeModel.h"

namespace zdb::test::model {
namespace {

const ModelConfig Config{"IntegerThenTextColumns",
                         {{TZDBStorageType::Integer, 4, Values::SmallIntegers},
                          {TZDBStorageType::String, 9, Values::ShortTexts, true, true}},
                         false,
                         256,
                         15};

TEST(BTreeModelTest, IntegerThenTextColumns) { BTreeModelRun(Config).Run(); }

}  // namespace
}  // namespace zdb::test::model
