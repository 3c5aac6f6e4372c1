// A new, empty database file from plain settings: the prologue and the system files, with
// SlotCount session slots, encrypted when the password is not empty. An existing file of
// that name is replaced; a creation that fails takes its half-made file away. The limits
// of the page size and extent are those of the file layout (ZDBFileLayout.h).
#pragma once

#include <cstdint>
#include <limits>
#include <string>

#include "engine/base/ZDBPassword.h"
#include "engine/file/ZDBFileLayout.h"

namespace zdb {

inline constexpr int32_t DefaultNewFileSlotCount = 500;
// Every table's lock region takes 12 bytes a slot; beyond this a region would not fit
// the 32-bit size of an internal file.
inline constexpr int32_t NewFileLockBytesPerSlot = 12;
inline constexpr int32_t MaxNewFileSlotCount = std::numeric_limits<int32_t>::max() / NewFileLockBytesPerSlot;

struct TZDBNewFileSettings {
  uint16_t PageSize = layout::DefaultPageSize;
  uint16_t PagesPerExtent = layout::DefaultPagesPerExtent;
  int32_t SlotCount = DefaultNewFileSlotCount;
  TZDBPassword Password;
};

void CreateDatabaseFile(const std::string& fileName, const TZDBNewFileSettings& settings);

}  // namespace zdb
