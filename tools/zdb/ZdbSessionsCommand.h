// zdb sessions FILE: the session slots taken right now, by whichever processes hold them.
#pragma once

#include <ostream>
#include <string>

#include "zdb/Password.h"

namespace zdbtool {

// "slot_count: N", "taken_count: K", then the number of each taken slot on a line of its
// own, in order. A single-user process holds every slot. The file is opened read-only and
// shared, and the slots are looked at under the slots file's guard byte, so that the look
// never makes a process that is connecting at the same moment skip a free slot.
void SessionsCommand(const std::string& fileName, const zdb::TZDBPassword& password, std::ostream& out);

}  // namespace zdbtool
