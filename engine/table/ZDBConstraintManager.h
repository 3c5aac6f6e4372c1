// TZDBBaseConstraintManager: the constraints of one open table and the check of a row
// against them before it is stored.
//
// CheckConstraints tests the constraints in list order and stops at the first one the
// row violates: not null (30026; its field missing 30024), check bounds (30029 below
// MinValue, 30030 above MaxValue; field missing 30028; a NULL value and NULL bounds are
// not checked), unique (30320) and primary key (every column NULL 30330, duplicate
// 30319). The two key kinds are tested only when uniqueness is checked; unique only on a
// table with rows. For an update a key counts as taken only when it changed. Other
// constraint types: 30036 "Not implemented yet".
//
// The manager holds no lock: the table data's lock is held around every call.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/base/ZDBStream.h"
#include "engine/index/ZDBRecordID.h"
#include "engine/table/ZDBConstraintDef.h"

namespace zdb {

class TZDBBaseFieldManager;
class TZDBBaseIndexManager;
class TZDBIndexDef;

// What the check needs of the table beside the definitions.
struct TZDBConstraintContext {
  const TZDBBaseFieldManager* Fields = nullptr;
  TZDBBaseIndexManager* Indexes = nullptr;
  int64_t RecordCount = 0;
};

class TZDBBaseConstraintManager {
 public:
  TZDBBaseConstraintManager() = default;
  TZDBBaseConstraintManager(const TZDBBaseConstraintManager&) = delete;
  TZDBBaseConstraintManager& operator=(const TZDBBaseConstraintManager&) = delete;
  virtual ~TZDBBaseConstraintManager() = default;

  const TZDBConstraintDefs& ConstraintDefs() const { return constraintDefs_; }
  TZDBConstraintDefs& MutableConstraintDefs() { return constraintDefs_; }

  // The stored list (ZDBConstraintDef.h).
  void LoadConstraintDefs(TStream& stream) { constraintDefs_.LoadFromStream(stream); }
  void SaveConstraintDefs(TStream& stream) const { constraintDefs_.SaveToStream(stream); }

  // False (or the violation raised, with raiseErrors) when the row breaks a constraint.
  // oldRecordBuffer: the row before an update (null for an insert).
  bool CheckConstraints(const TZDBConstraintContext& context, int32_t session, const uint8_t* recordBuffer,
                        bool checkUniqueness, bool raiseErrors, const TZDBRecordID& recordID, bool isInsert,
                        const uint8_t* oldRecordBuffer);

  // The primary-key or unique constraint that an index added by AddIndex brings:
  // "C_PK" or "C_Unique", then "$" and the column's field name for each column. Answers
  // the new constraint's ObjectID.
  int32_t AddConstraintForIndex(const TZDBIndexDef& index, std::string_view tableName, int32_t objectID,
                                const TZDBBaseFieldManager& fields);
  // Removes the first primary-key or unique constraint enforced by the index; false when
  // there is none.
  bool DropConstraintForIndex(int32_t indexObjectID);
  // Field references by name follow a field's new name.
  void RenameField(std::string_view oldName, std::string_view newName);

 private:
  TZDBConstraintDefs constraintDefs_;
};

}  // namespace zdb
