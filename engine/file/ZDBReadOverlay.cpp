#include "engine/file/ZDBReadOverlay.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace zdb {

TZDBReadOverlay::TZDBReadOverlay(int64_t fileSize, int64_t guardPosition, std::vector<uint8_t> guard)
    : fileSize_(fileSize), guardPosition_(guardPosition), guard_(std::move(guard)) {}

void TZDBReadOverlay::Add(int64_t position, std::vector<uint8_t> bytes) {
  if (bytes.empty()) return;
  ranges_[position] = std::move(bytes);
}

void TZDBReadOverlay::Apply(uint8_t* buffer, int64_t position, size_t count) const {
  const int64_t end = position + static_cast<int64_t>(count);
  // The last range that starts at or before position may reach into the buffer.
  auto range = ranges_.upper_bound(position);
  if (range != ranges_.begin()) --range;
  for (; range != ranges_.end() && range->first < end; ++range) {
    const int64_t rangeEnd = range->first + static_cast<int64_t>(range->second.size());
    const int64_t from = std::max(position, range->first);
    const int64_t to = std::min(end, rangeEnd);
    if (from >= to) continue;
    std::memcpy(buffer + (from - position), range->second.data() + (from - range->first),
                static_cast<size_t>(to - from));
  }
}

}  // namespace zdb
