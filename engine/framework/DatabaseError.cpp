#include "engine/framework/DatabaseError.h"

namespace data {

void Abort() { throw EAbort(); }

void DatabaseError(std::string_view message, std::string_view componentName) {
  if (componentName.empty()) throw EDatabaseError(std::string(message));
  throw EDatabaseError(std::string(componentName) + ": " + std::string(message));
}

}  // namespace data
