// The public API of the ZDB engine: the table component, a dataset over one table of a
// database component (DatabaseName, TableName, IndexName), with key search (FindKey),
// browsing (First, Next, Eof), the editing cycle (Edit, Insert, Post, Cancel, Delete; the
// engine's row checks raise EZDBEngineError with codes -1 .. -13) and the operations on the
// table as a whole (EmptyTable, DeleteTable, RenameTable, AddIndex, DeleteIndex,
// RenameField).
#pragma once

#include "engine/dataset/ZDBEngineError.h"
#include "engine/dataset/ZDBTable.h"
#include "zdb/DataSet.h"
#include "zdb/Values.h"
