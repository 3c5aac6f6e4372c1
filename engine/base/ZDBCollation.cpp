#include "engine/base/ZDBCollation.h"

#include <unicode/coll.h>
#include <unicode/locid.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "engine/base/ZDBAnsiText.h"
#include "engine/base/ZDBException.h"
#include "engine/base/ZDBLocale.h"

namespace zdb {
namespace {

// The two collators of this thread, for the default locale of `generation`.
struct ThreadCollators {
  uint64_t generation = 0;
  std::unique_ptr<icu::Collator> caseSensitive;
  std::unique_ptr<icu::Collator> caseInsensitive;
  UErrorCode status = U_ZERO_ERROR;  // why they are missing, when they are
};

std::unique_ptr<icu::Collator> MakeCollator(const icu::Locale& locale, UColAttributeValue strength,
                                            UErrorCode& status) {
  std::unique_ptr<icu::Collator> collator(icu::Collator::createInstance(locale, status));
  if (U_FAILURE(status)) return nullptr;
  collator->setAttribute(UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, status);
  collator->setAttribute(UCOL_STRENGTH, strength, status);
  if (U_FAILURE(status)) return nullptr;
  return collator;
}

// The collator for the current default locale, or nullptr with the reason in status.
icu::Collator* CollatorFor(bool ignoreCase, UErrorCode& status) {
  thread_local ThreadCollators collators;
  const uint64_t generation = DefaultLocaleGeneration();
  if (collators.generation != generation) {
    collators = ThreadCollators{};
    collators.generation = generation;
    icu::Locale locale = icu::Locale::createFromName(DefaultLocaleName().c_str());
    // The C locale of a bare environment (en_US_POSIX) orders code points, A-Z apart from
    // a-z, so no strength could ignore case there; the root order serves it instead.
    if (std::string_view(locale.getVariant()) == "POSIX") locale = icu::Locale::getRoot();
    collators.caseSensitive = MakeCollator(locale, UCOL_TERTIARY, collators.status);
    if (collators.caseSensitive) collators.caseInsensitive = MakeCollator(locale, UCOL_SECONDARY, collators.status);
  }
  status = collators.status;
  return ignoreCase ? collators.caseInsensitive.get() : collators.caseSensitive.get();
}

// The collator's verdict as -1, 0, +1; false when it gave none.
bool Collate(std::u16string_view a, std::u16string_view b, bool ignoreCase, int& order, int32_t& failure) {
  UErrorCode status = U_ZERO_ERROR;
  icu::Collator* collator = CollatorFor(ignoreCase, status);
  if (collator == nullptr) {
    failure = status;
    return false;
  }
  const UCollationResult result =
      collator->compare(a.data(), static_cast<int32_t>(a.size()), b.data(), static_cast<int32_t>(b.size()), status);
  if (U_FAILURE(status)) {
    failure = status;
    return false;
  }
  switch (result) {
    case UCOL_LESS:
      order = -1;
      return true;
    case UCOL_EQUAL:
      order = 0;
      return true;
    case UCOL_GREATER:
      order = 1;
      return true;
  }
  failure = static_cast<int32_t>(result);
  return false;
}

}  // namespace

int CompareAnsiText(std::string_view a, std::string_view b, bool ignoreCase) {
  int order = 0;
  int32_t failure = 0;
  if (!Collate(AnsiToWide(a), AnsiToWide(b), ignoreCase, order, failure))
    RaiseError(errors::AnsiCollationFailed, {failure});
  return order;
}

int CompareWideText(std::u16string_view a, std::u16string_view b, bool ignoreCase) {
  int order = 0;
  int32_t failure = 0;
  if (!Collate(a, b, ignoreCase, order, failure)) RaiseError(errors::WideCollationFailed);
  return order;
}

}  // namespace zdb
