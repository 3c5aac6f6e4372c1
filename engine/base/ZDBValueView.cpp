#include "engine/base/ZDBValueView.h"

#include <bit>

namespace zdb {

std::u16string TZDBValueView::WideText() const {
  const size_t maxUnits = size_ == UnknownSize ? SIZE_MAX : static_cast<size_t>(std::max(size_, 0)) / 2;
  std::u16string text;
  for (size_t i = 0; i < maxUnits; ++i) {
    const char16_t unit = le::GetU16(data_ + 2 * i);
    if (unit == 0) break;
    text += unit;
  }
  return text;
}

float TZDBValueView::Single() const { return std::bit_cast<float>(le::GetU32(Fixed<4>().data())); }

}  // namespace zdb
