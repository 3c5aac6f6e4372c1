// Model-based test (support/BTreeModel.h) of a case-insensitive index that is not unique,
// over short texts in both letter cases.
#include "tests/engine/index/support/BTreeModel.h"

namespace zdb::test::model {
namespace {

const ModelConfig Config{"CaseInsensitiveTexts", {{TZDBStorageType::String, 13, Values::ShortTexts, false, true}}, false, 256, 13};

TEST(BTreeModelTest, CaseInsensitiveTexts) { BTreeModelRun(Config).Run(); }

}  // namespace
}  // namespace zdb::test::model
