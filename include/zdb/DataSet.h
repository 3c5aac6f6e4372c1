// The public API of the ZDB engine: the dataset framework the table component derives
// from: datasets and their states, field objects and their text forms, data sources and
// data links for windows that show a dataset, and the framework's own errors
// (data::EDatabaseError).
#pragma once

#include "engine/framework/DataSet.h"
#include "engine/framework/DataSource.h"
#include "engine/framework/DatabaseError.h"
#include "engine/framework/FormatFloat.h"
#include "engine/framework/NumericFields.h"
