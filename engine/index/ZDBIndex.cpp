#include "engine/index/ZDBIndex.h"

namespace zdb {

void TZDBIndex::CreateIndexTree(const TZDBIndexCursor* /*cursor*/, TZDBIndexKeyDef& definition) {
  definition_ = definition;
}

void TZDBIndex::OpenIndex(const TZDBIndexKeyDef& definition) { definition_ = definition; }

}  // namespace zdb
