// The public API of the ZDB engine: the database component and the sessions it belongs to.
//
// A TZDBDatabase names one database file (DatabaseFileName) under a DatabaseName that the
// table components of its session refer to. Open connects (asking through the installed
// TZDBUserPrompts for a password or a repair when the file needs one), Close disconnects;
// StartTransaction, Commit and Rollback span every table of the connection. Failures are
// EZDBException (the engine's code and text) or data::EDatabaseError (misuse).
#pragma once

#include "engine/base/ZDBException.h"
#include "engine/dataset/ZDBDatabase.h"
#include "engine/dataset/ZDBSession.h"
