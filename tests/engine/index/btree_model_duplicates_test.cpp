// Model-based test (support/BTreeModel.h) of an ascending index that is not unique,
// over integer keys with many duplicates and NULLs.
#include "tests/engine/index/support/BTreeModel.h"

namespace zdb::test::model {
namespace {

const ModelConfig Config{"IntegersWithManyDuplicates", {{TZDBStorageType::Integer, 4, Values::SmallIntegers}}, false, 128, 11};

TEST(BTreeModelTest, IntegersWithManyDuplicates) { BTreeModelRun(Config).Run(); }

}  // namespace
}  // namespace zdb::test::model
