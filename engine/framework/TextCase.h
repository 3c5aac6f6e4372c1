// Names of fields and datasets are Windows-1252 text compared without regard to letter
// case, accented letters included ("AÑO" names the field "año").
#pragma once

#include <string_view>

namespace data {

bool SameText(std::string_view a, std::string_view b);

}  // namespace data
