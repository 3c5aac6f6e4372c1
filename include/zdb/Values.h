// The public API of the ZDB engine: the values that go into key searches and fields
// (PlatformVariant) and the conversions of the engine's wide and single-byte text to and
// from UTF-8.
#pragma once

#include "engine/base/ZDBAnsiText.h"
#include "engine/base/ZDBPlatformVariant.h"
#include "engine/base/ZDBUtf8Text.h"
