// The engine's components for programs: the session list and its sessions, the database
// component and its connection handle, the table component, and the questions the engine
// asks the user.
#pragma once

#include "engine/dataset/ZDBDatabase.h"
#include "engine/dataset/ZDBLocalSession.h"
#include "engine/dataset/ZDBSession.h"
#include "engine/dataset/ZDBSessionList.h"
#include "engine/dataset/ZDBTable.h"
#include "engine/dataset/ZDBUserPrompts.h"
