// Index definitions and the index list of a table.
//
// An index has a kind (always 0 here), its key columns in order, the Unique and Primary
// flags and the page number of its B-tree root (-1 before it has one). Temporary indexes
// belong to one session's cursor and are never stored; OwnerSession and ChangeCounter are
// kept in memory only.
//
// Stored form: the definition prefix, then
//   1 IndexKind  1 Unique  1 Primary  4 column count c  4 RootPageNo
//   per column: 1 name length m, m characters of FieldName, 1 Descending,
//               1 CaseInsensitive, 4 MaxIndexedSize
// Flags are written as 0xFF for true. A list stores only its non-temporary indexes,
// preceded by their count.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/table/ZDBMetaObjectDef.h"

namespace zdb {

struct TZDBIndexColumn {
  static constexpr int32_t DefaultMaxIndexedSize = 20;

  std::string FieldName;  // at most 255 characters
  bool Descending = false;
  bool CaseInsensitive = false;
  // How many bytes of the field's value the key keeps.
  int32_t MaxIndexedSize = DefaultMaxIndexedSize;

  bool operator==(const TZDBIndexColumn&) const = default;
};

class TZDBIndexDef : public TZDBMetaObjectDef {
 public:
  static constexpr int32_t NoRootPageNo = -1;
  static constexpr int32_t NoOwnerSession = -1;
  static constexpr const char* DescendingText = "DESC";
  static constexpr const char* CaseInsensitiveText = "NO_CASE";

  uint8_t IndexKind() const { return indexKind_; }
  void SetIndexKind(uint8_t kind) { indexKind_ = kind; }
  const std::vector<TZDBIndexColumn>& Columns() const { return columns_; }
  // Field names are cut to 255 characters.
  void SetColumns(std::vector<TZDBIndexColumn> columns);
  // Columns from three parallel lists: field names; directions ("DESC" descends); cases
  // ("NO_CASE" ignores letter case). Raises 10278 when the directions, 10279 when the
  // cases are not as many as the names: "Error - different list lengths. L1 = %d, L2 = %d".
  void SetColumns(const std::vector<std::string>& fieldNames, const std::vector<std::string>& directions,
                  const std::vector<std::string>& cases);
  // Renames the column references of a field (letter case ignored).
  void RenameColumnField(std::string_view oldName, std::string_view newName);

  bool Unique() const { return unique_; }
  void SetUnique(bool unique) { unique_ = unique; }
  bool Primary() const { return primary_; }
  void SetPrimary(bool primary) { primary_ = primary; }
  int32_t RootPageNo() const { return rootPageNo_; }
  void SetRootPageNo(int32_t pageNo) { rootPageNo_ = pageNo; }
  bool Temporary() const { return temporary_; }
  void SetTemporary(bool temporary) { temporary_ = temporary; }
  int32_t OwnerSession() const { return ownerSession_; }
  void SetOwnerSession(int32_t session) { ownerSession_ = session; }
  int32_t ChangeCounter() const { return changeCounter_; }
  void SetChangeCounter(int32_t changeCounter) { changeCounter_ = changeCounter; }

  void Assign(const TZDBMetaObjectDef& source) override;
  // A loaded index is never temporary.
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) const override;

 private:
  uint8_t indexKind_ = 0;
  std::vector<TZDBIndexColumn> columns_;
  bool unique_ = false;
  bool primary_ = false;
  int32_t rootPageNo_ = NoRootPageNo;
  bool temporary_ = false;
  int32_t ownerSession_ = NoOwnerSession;
  int32_t changeCounter_ = 0;
};

class TZDBIndexDefs : public TZDBMetaObjectDefsOf<TZDBIndexDef> {
 public:
  TZDBIndexDef& InternalAddCreated() override;
  // Writes only the non-temporary indexes.
  void SaveToStream(TStream& stream) const override;
  // Replaces the definition at position (the one replaced is freed).
  virtual void SetItem(int32_t position, std::unique_ptr<TZDBIndexDef> definition);

 protected:
  const char* ClassName() const override { return "TZDBIndexDefs"; }
  std::unique_ptr<TZDBMetaObjectDef> CreateLike(const TZDBMetaObjectDef& source) const override;
};

}  // namespace zdb
