#include "engine/table/ZDBBaseSession.h"

#include "engine/table/ZDBMetaStream.h"

namespace zdb {

void TZDBBaseSession::SetSequenceValue(int32_t objectID, std::string_view name, int64_t value) {
  for (TZDBSessionNamedObjectSequenceValue& sequence : sequenceValues_) {
    if (sequence.ObjectID == objectID) {
      sequence.Name = ToShortName(name);
      sequence.Value = value;
      return;
    }
  }
  sequenceValues_.push_back({objectID, ToShortName(name), value});
}

void TZDBBaseSession::ForgetSequenceValue(int32_t objectID) {
  std::erase_if(sequenceValues_,
                [objectID](const TZDBSessionNamedObjectSequenceValue& sequence) { return sequence.ObjectID == objectID; });
}

const TZDBSessionNamedObjectSequenceValue* TZDBBaseSession::FindSequenceValue(int32_t objectID) const {
  for (const TZDBSessionNamedObjectSequenceValue& sequence : sequenceValues_)
    if (sequence.ObjectID == objectID) return &sequence;
  return nullptr;
}

}  // namespace zdb
