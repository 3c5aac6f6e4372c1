// Sets a value (a flag, a pointer) for a scope and puts the old value back on every path.
#pragma once

namespace zdb {

template <typename T>
class TZDBScopedValue {
 public:
  TZDBScopedValue(T& value, T scoped) : value_(value), old_(value) { value_ = scoped; }
  ~TZDBScopedValue() { value_ = old_; }
  TZDBScopedValue(const TZDBScopedValue&) = delete;
  TZDBScopedValue& operator=(const TZDBScopedValue&) = delete;

 private:
  T& value_;
  T old_;
};

using TZDBScopedFlag = TZDBScopedValue<bool>;

}  // namespace zdb
