// How sessions take and give back the slots of a database's session slots file.
//
// A multi-user session holds one slot for its lifetime, and its session number is that
// slot; a process in single-user mode holds every slot, so no multi-user session can join
// while it works. All four operations hold the slots file's guard byte while they look at
// or change slot bytes; the guard is waited for with the page manager's LockRetry
// (4500 x 20 ms by default). A wait for the guard that fails is not fatal by itself: the
// operation goes on unguarded and reports the guard's release as failed at the end.
//
// Contract: no operation leaves a slot taken that its caller does not know about. When an
// operation ends in an error after it took a slot (or every slot), it gives them back
// before raising.
#pragma once

#include <cstdint>

#include "engine/file/ZDBActiveSessionsFile.h"

namespace zdb {

// The first free slot, taken: the new session's number. 20094 when every slot is taken
// (also while a single-user process holds the database); 20093 when the guard cannot be
// released (the slot is given back first).
int32_t ConnectSession(TZDBActiveSessionsFile& slots);
// Gives back the session's slot. 20095 when the slot cannot be released (it was not held
// through this file); 20096 when the guard cannot be released.
void DisconnectSession(TZDBActiveSessionsFile& slots, int32_t session);
// Takes every slot when no slot is taken by anyone (this process included) and answers
// true; false when some slot is taken, and then nothing is held. 20240 when the guard
// cannot be released (the slots are given back first).
bool ClaimAllSlots(TZDBActiveSessionsFile& slots);
// Gives back every slot taken by ClaimAllSlots. 20241 when the guard cannot be released.
void ReleaseAllSlots(TZDBActiveSessionsFile& slots);

}  // namespace zdb
