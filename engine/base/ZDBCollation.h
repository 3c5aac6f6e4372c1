// Text order: the collation of the user's default locale (ZDBLocale.h) in string-sort
// mode, where punctuation and symbols count like letters instead of being skipped.
// Case-sensitive order tells letter case apart only where the text is otherwise equal;
// case-insensitive order ignores it (accents still count).
//
// The collators are made per thread on first use and again after the default locale
// changes; the comparisons keep no other state.
#pragma once

#include <string_view>

namespace zdb {

// -1, 0, +1. Windows-1252 text; a failure of the collator raises 30045.
int CompareAnsiText(std::string_view a, std::string_view b, bool ignoreCase);
// -1, 0, +1. UTF-16 text; a failure of the collator raises 30046.
int CompareWideText(std::u16string_view a, std::u16string_view b, bool ignoreCase);

}  // namespace zdb
