// The public API of the ZDB engine: its errors. Every failure the engine reports is an
// EZDBException carrying the engine's code (NativeError), its text (what) and its kind
// (Kind: locked, damaged, wrong password, not found, bad argument, I/O ...). Callers that
// act on a failure ask its kind, or whether it is one entry of the table (Is), never a
// number; zdb::errors names every entry and AllErrors lists them.
#pragma once

#include "engine/base/ZDBErrors.h"
#include "engine/base/ZDBException.h"
