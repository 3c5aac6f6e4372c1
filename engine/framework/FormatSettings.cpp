#include "engine/framework/FormatSettings.h"

#include <unicode/dcfmtsym.h>
#include <unicode/locid.h>

#include <cstdint>
#include <mutex>

#include "engine/base/ZDBAnsiText.h"

namespace data {

namespace {

constexpr char NoBreakSpace = '\xA0';

// The locale's grouping separator as one Windows-1252 character; the narrow no-break
// space some locales use has no such character and becomes the plain no-break space.
char GroupingSeparatorOf(const std::string& localeName, char fallback) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::DecimalFormatSymbols symbols(icu::Locale::createFromName(localeName.c_str()), status);
  if (U_FAILURE(status)) return fallback;
  const icu::UnicodeString& grouping = symbols.getConstSymbol(icu::DecimalFormatSymbols::kGroupingSeparatorSymbol);
  if (grouping.length() != 1) return fallback;
  const char16_t unit = grouping.charAt(0);
  if (unit == u'\u202F' || unit == u'\u00A0') return NoBreakSpace;
  const std::string ansi = zdb::WideToAnsi(std::u16string_view(&unit, 1));
  return ansi.size() == 1 && ansi[0] != '?' ? ansi[0] : fallback;
}

}  // namespace

TFormatSettings FormatSettingsForLocale(const std::string& localeName) {
  TFormatSettings settings;
  static_cast<zdb::TZDBFormatSettings&>(settings) = zdb::FormatSettingsForLocale(localeName);
  const char fallback = settings.DecimalSeparator == ',' ? '.' : ',';
  settings.ThousandSeparator = GroupingSeparatorOf(localeName, fallback);
  // A separator equal to the decimal one would make amounts unreadable.
  if (settings.ThousandSeparator == settings.DecimalSeparator) settings.ThousandSeparator = fallback;
  return settings;
}

TFormatSettings DefaultFormatSettings() {
  static std::mutex mutex;
  static uint64_t generation = 0;
  static bool computed = false;
  static TFormatSettings settings;
  const std::lock_guard lock(mutex);
  const uint64_t current = zdb::DefaultLocaleGeneration();
  if (!computed || generation != current) {
    settings = FormatSettingsForLocale(zdb::DefaultLocaleName());
    generation = current;
    computed = true;
  }
  return settings;
}

}  // namespace data
