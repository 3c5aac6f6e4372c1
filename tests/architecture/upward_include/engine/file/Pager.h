// A pager that reaches up into the table layer: the layer check must refuse it.
#pragma once
#include "engine/base/ZDBEndian.h"
#include "engine/table/ZDBTableData.h"
