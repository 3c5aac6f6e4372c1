// Model-based test (support/BTreeModel.h) of a unique descending index over integer keys.
#include "tests/engine/index/support/BTreeModel.h"

namespace zdb::test::model {
namespace {

const ModelConfig Config{"UniqueDescendingIntegers", {{TZDBStorageType::Integer, 4, Values::WideIntegers, true}}, true, 128, 12};

TEST(BTreeModelTest, UniqueDescendingIntegers) { BTreeModelRun(Config).Run(); }

}  // namespace
}  // namespace zdb::test::model
