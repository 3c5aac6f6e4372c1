#include "engine/base/ZDBLocale.h"

#include <unicode/datefmt.h>
#include <unicode/dcfmtsym.h>
#include <unicode/dtfmtsym.h>
#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/uchar.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

#include "engine/base/ZDBAnsiText.h"

namespace zdb {
namespace {

// The ICU pattern of a date or time style, or nothing when ICU has none for the locale.
std::optional<icu::UnicodeString> PatternOf(icu::DateFormat* format) {
  std::unique_ptr<icu::DateFormat> owner(format);
  auto* simple = dynamic_cast<icu::SimpleDateFormat*>(owner.get());
  if (simple == nullptr) return std::nullopt;
  icu::UnicodeString pattern;
  simple->toPattern(pattern);
  return pattern;
}

// One field of a pattern: its letter and how many times it repeats.
struct PatternField {
  char16_t letter;
  int32_t count;
};

// Walks a pattern, calling onField for every run of a letter and onLiteral for every
// literal character outside quotes and inside them.
template <typename OnField, typename OnLiteral>
void WalkPattern(const icu::UnicodeString& pattern, OnField onField, OnLiteral onLiteral) {
  const int32_t length = pattern.length();
  bool quoted = false;
  for (int32_t i = 0; i < length;) {
    const char16_t unit = pattern.charAt(i);
    if (unit == u'\'') {
      quoted = !quoted;
      ++i;
      continue;
    }
    const bool letter = !quoted && ((unit >= u'a' && unit <= u'z') || (unit >= u'A' && unit <= u'Z'));
    if (!letter) {
      onLiteral(unit);
      ++i;
      continue;
    }
    int32_t count = 1;
    while (i + count < length && pattern.charAt(i + count) == unit) ++count;
    onField(PatternField{unit, count});
    i += count;
  }
}

// A literal usable as a separator: one printable Windows-1252 character that is not a
// digit or a blank; anything else (CJK year marks, narrow no-break spaces) is not.
std::optional<char> SeparatorOf(char16_t unit) {
  if (u_isspace(unit) || (unit >= u'0' && unit <= u'9')) return std::nullopt;
  const std::string ansi = WideToAnsi(std::u16string_view(&unit, 1));
  if (ansi.size() != 1 || ansi[0] == '?' || static_cast<unsigned char>(ansi[0]) < 0x20) return std::nullopt;
  return ansi[0];
}

void ApplyDatePattern(const icu::UnicodeString& pattern, TZDBFormatSettings& settings) {
  std::u16string order;
  std::optional<char> separator;
  WalkPattern(
      pattern,
      [&](const PatternField& field) {
        char16_t kind = 0;
        if (field.letter == u'd') {
          kind = u'd';
          settings.DayLeadingZero = field.count >= 2;
        } else if (field.letter == u'M' || field.letter == u'L') {
          kind = u'M';
          settings.MonthLeadingZero = field.count >= 2;
        } else if (field.letter == u'y' || field.letter == u'Y' || field.letter == u'u') {
          kind = u'y';
        }
        if (kind != 0 && order.find(kind) == std::u16string::npos) order += kind;
      },
      [&](char16_t unit) {
        if (!separator && !order.empty() && order.size() < 3) separator = SeparatorOf(unit);
      });
  if (order == u"dMy") settings.DateOrder = TZDBDateOrder::DayMonthYear;
  if (order == u"Mdy") settings.DateOrder = TZDBDateOrder::MonthDayYear;
  if (order == u"yMd") settings.DateOrder = TZDBDateOrder::YearMonthDay;
  if (separator) settings.DateSeparator = *separator;
}

void ApplyTimePattern(const icu::UnicodeString& pattern, TZDBFormatSettings& settings) {
  bool hourSeen = false;
  bool minuteSeen = false;
  std::optional<char> separator;
  WalkPattern(
      pattern,
      [&](const PatternField& field) {
        if (field.letter == u'H' || field.letter == u'k' || field.letter == u'h' || field.letter == u'K') {
          hourSeen = true;
          settings.TwelveHourClock = field.letter == u'h' || field.letter == u'K';
          settings.HourLeadingZero = field.count >= 2;
        } else if (field.letter == u'm') {
          minuteSeen = true;
        }
      },
      [&](char16_t unit) {
        if (!separator && hourSeen && !minuteSeen) separator = SeparatorOf(unit);
      });
  if (separator) settings.TimeSeparator = *separator;
}

std::string ToAnsi(const icu::UnicodeString& text) {
  return WideToAnsi(std::u16string_view(reinterpret_cast<const char16_t*>(text.getBuffer()),
                                        static_cast<size_t>(text.length())));
}

struct DefaultLocaleState {
  std::mutex lock;
  std::optional<TZDBFormatSettings> settings;  // of the current default locale
  std::atomic<uint64_t> generation{1};
};

DefaultLocaleState& State() {
  static DefaultLocaleState state;
  return state;
}

}  // namespace

TZDBFormatSettings FormatSettingsForLocale(const std::string& localeName) {
  const icu::Locale locale = icu::Locale::createFromName(localeName.c_str());
  TZDBFormatSettings settings;
  settings.LocaleName = locale.getName();

  UErrorCode status = U_ZERO_ERROR;
  const icu::DecimalFormatSymbols symbols(locale, status);
  if (U_SUCCESS(status)) {
    const icu::UnicodeString& decimal = symbols.getConstSymbol(icu::DecimalFormatSymbols::kDecimalSeparatorSymbol);
    if (decimal.length() == 1) {
      if (const auto separator = SeparatorOf(decimal.charAt(0))) settings.DecimalSeparator = *separator;
    }
  }
  if (auto pattern = PatternOf(icu::DateFormat::createDateInstance(icu::DateFormat::kShort, locale)))
    ApplyDatePattern(*pattern, settings);
  if (auto pattern = PatternOf(icu::DateFormat::createTimeInstance(icu::DateFormat::kMedium, locale)))
    ApplyTimePattern(*pattern, settings);

  status = U_ZERO_ERROR;
  const icu::DateFormatSymbols dateSymbols(locale, status);
  if (U_SUCCESS(status)) {
    int32_t count = 0;
    const icu::UnicodeString* amPm = dateSymbols.getAmPmStrings(count);
    if (count >= 2) {
      settings.TimeAMString = ToAnsi(amPm[0]);
      settings.TimePMString = ToAnsi(amPm[1]);
    }
  }
  return settings;
}

TZDBFormatSettings DefaultFormatSettings() {
  DefaultLocaleState& state = State();
  std::lock_guard guard(state.lock);
  if (!state.settings) state.settings = FormatSettingsForLocale(icu::Locale::getDefault().getName());
  return *state.settings;
}

std::string DefaultLocaleName() {
  DefaultLocaleState& state = State();
  std::lock_guard guard(state.lock);
  return icu::Locale::getDefault().getName();
}

uint64_t DefaultLocaleGeneration() { return State().generation.load(); }

void SetDefaultLocale(const std::string& localeName) {
  DefaultLocaleState& state = State();
  std::lock_guard guard(state.lock);
  UErrorCode status = U_ZERO_ERROR;
  icu::Locale::setDefault(icu::Locale::createFromName(localeName.c_str()), status);
  state.settings.reset();
  ++state.generation;
}

}  // namespace zdb
