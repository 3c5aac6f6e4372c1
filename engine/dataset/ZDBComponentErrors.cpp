#include "engine/dataset/ZDBComponentErrors.h"

#include "engine/framework/DatabaseError.h"

namespace zdb {

void RaiseDatabaseError(const std::string& text) { data::DatabaseError(text); }

void RaiseDatabaseError(const std::string& format, std::initializer_list<FormatArg> args) {
  data::DatabaseError(FormatMessage(format, args));
}

}  // namespace zdb
