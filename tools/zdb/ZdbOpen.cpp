#include "tools/zdb/ZdbOpen.h"

namespace zdbtool {

std::unique_ptr<zdb::TZDBFileInspector> OpenForReading(const std::string& fileName,
                                                        const zdb::TZDBPassword& password) {
  return WithPassword(password, [&](const zdb::TZDBPassword& tried) {
    return std::make_unique<zdb::TZDBFileInspector>(fileName, tried);
  });
}

}  // namespace zdbtool
