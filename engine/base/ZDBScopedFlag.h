// Sets a flag for a scope and puts the old value back on every path.
#pragma once

namespace zdb {

class TZDBScopedFlag {
 public:
  TZDBScopedFlag(bool& flag, bool value) : flag_(flag), old_(flag) { flag_ = value; }
  ~TZDBScopedFlag() { flag_ = old_; }
  TZDBScopedFlag(const TZDBScopedFlag&) = delete;
  TZDBScopedFlag& operator=(const TZDBScopedFlag&) = delete;

 private:
  bool& flag_;
  bool old_;
};

}  // namespace zdb
