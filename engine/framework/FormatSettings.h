// The number, date and time conventions that field objects show and read values with:
// the engine's locale settings plus the thousands separator of display formats.
//
// DefaultFormatSettings follows the engine's default locale (zdb::SetDefaultLocale), so
// one call switches the engine and the fields alike.
#pragma once

#include <string>

#include "engine/base/ZDBLocale.h"

namespace data {

struct TFormatSettings : zdb::TZDBFormatSettings {
  char ThousandSeparator = ',';
};

TFormatSettings FormatSettingsForLocale(const std::string& localeName);
TFormatSettings DefaultFormatSettings();

}  // namespace data
