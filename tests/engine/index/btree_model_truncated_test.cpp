// Model-based test (support/BTreeModel.h) of a unique descending index over texts longer
// than their indexed prefix: rows whose prefixes are equal are told apart through the rows.
#include "tests/engine/index/support/BTreeModel.h"

namespace zdb::test::model {
namespace {

const ModelConfig Config{"UniqueDescendingTruncatedTexts", {{TZDBStorageType::String, 25, Values::LongPrefixes, true, false, 6}}, true, 256, 14};

TEST(BTreeModelTest, UniqueDescendingTruncatedTexts) { BTreeModelRun(Config).Run(); }

}  // namespace
}  // namespace zdb::test::model
