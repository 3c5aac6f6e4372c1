#include "tools/zdb/ZdbSessionsCommand.h"

#include <memory>

#include "tools/zdb/ZdbOpen.h"

namespace zdbtool {

void SessionsCommand(const std::string& fileName, const zdb::TZDBPassword& password, std::ostream& out) {
  const std::unique_ptr<zdb::TZDBFileInspector> file = OpenForReading(fileName, password);
  const zdb::TZDBSessionSlotsInfo slots = file->SessionSlots();
  out << "slot_count: " << slots.SlotCount << '\n' << "taken_count: " << slots.Taken.size() << '\n';
  for (int32_t slot : slots.Taken) out << slot << '\n';
  file->Close();
}

}  // namespace zdbtool
