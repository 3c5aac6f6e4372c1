// Numbers shown through a display format, and numbers read back from text, in the
// separators of TFormatSettings.
//
// A format has up to three sections separated by ';': positive values (and all values
// when it is the only one); negative values, shown without a minus sign; zero, used
// when the value rounds to zero in the first section's format. In a section:
//   0      a digit, or 0 when the value has none there
//   #      a digit, or nothing
//   .      the decimal separator (the first one; further points are ignored)
//   ,      anywhere: group the integer digits by thousands
//   E+ E- e+ e-   scientific notation; up to four 0 after it give the exponent's
//                 least number of digits; E+ always shows the exponent's sign
//   "xx" 'xx'     literal text; any other character stands for itself
// Digits the integer placeholders cannot hold are all shown at the first one. Values are
// rounded half away from zero on their 15-significant-digit decimal form (2.675 with
// "0.00" gives "2,68"). An empty format gives the general 15-digit form; NaN and the
// infinities give "NAN", "INF" and "-INF".
#pragma once

#include <string>
#include <string_view>

#include "engine/framework/FormatSettings.h"

namespace data {

std::string FormatFloat(std::string_view format, double value, const TFormatSettings& settings);

// A number written with the locale's decimal separator, an optional sign and exponent,
// and blanks around it; the point is refused where it is not the decimal separator and
// thousands separators are refused everywhere. False when the text is not a number.
bool TryTextToFloat(std::string_view text, const TFormatSettings& settings, double& value);

}  // namespace data
