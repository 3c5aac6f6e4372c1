// What the table layer needs of a connected session: its number, whether it is inside an
// explicit transaction, whether it shares the database with other processes, and the
// last value it drew from each sequence (the automatic increment counter of a field).
//
// The session components of the dataset layer derive from this class; the table layer
// only reads and records through it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zdb {

// The last value a session drew from one sequence, found by the sequence's ObjectID.
struct TZDBSessionNamedObjectSequenceValue {
  int32_t ObjectID = -1;
  std::string Name;  // at most 255 characters
  int64_t Value = 0;
};

class TZDBBaseSession {
 public:
  static constexpr int32_t NotConnected = -1;

  TZDBBaseSession() = default;
  TZDBBaseSession(const TZDBBaseSession&) = delete;
  TZDBBaseSession& operator=(const TZDBBaseSession&) = delete;
  virtual ~TZDBBaseSession() = default;

  int32_t SessionID() const { return sessionID_; }
  void SetSessionID(int32_t sessionID) { sessionID_ = sessionID; }
  bool InTransaction() const { return inTransaction_; }
  void SetInTransaction(bool inTransaction) { inTransaction_ = inTransaction; }
  // Multi-user sessions cannot fall back on the table's counter for a last value: other
  // processes may have moved it.
  virtual bool MultiUser() const { return false; }

  // Records the value as the sequence's last one, replacing an older one.
  void SetSequenceValue(int32_t objectID, std::string_view name, int64_t value);
  // The sequence's last value, or null when the session drew none.
  const TZDBSessionNamedObjectSequenceValue* FindSequenceValue(int32_t objectID) const;
  // The sequence is gone (its table was deleted): its last value goes too.
  void ForgetSequenceValue(int32_t objectID);

 private:
  int32_t sessionID_ = NotConnected;
  bool inTransaction_ = false;
  std::vector<TZDBSessionNamedObjectSequenceValue> sequenceValues_;
};

}  // namespace zdb
