#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "engine/base/ZDBUtf8Text.h"

namespace zdb {
namespace {

TEST(Utf8Text, WellFormedTextDecodesToItsCodeUnitsAndBackByteForByte) {
  struct Case {
    const char* utf8;
    std::u16string wide;
  };
  const Case cases[] = {
      {"", u""},
      {"any", u"any"},
      {"\xC3\xB1", u"\u00F1"},              // two bytes
      {"\xE2\x82\xAC", u"\u20AC"},          // three bytes
      {"\xF0\x9F\x98\x80", u"\U0001F600"},  // four bytes: a surrogate pair
      {"\xF4\x8F\xBF\xBF", u"\U0010FFFF"},  // the last code point
      {"\xC2\x80", u"\u0080"},              // the smallest two-byte form
      {"\xEF\xBF\xBF", u"\uFFFF"},
  };
  for (const Case& c : cases) {
    std::u16string wide;
    ASSERT_TRUE(Utf8ToWide(c.utf8, wide)) << c.utf8;
    EXPECT_EQ(wide, c.wide) << c.utf8;
    EXPECT_EQ(WideToUtf8(wide), c.utf8);
  }
}

TEST(Utf8Text, MalformedOverlongAndSurrogateFormsAreNoText) {
  const char* const cases[] = {
      "\x80",              // a continuation byte alone
      "\xC3",              // a lead byte cut short
      "\xE2\x82",          // three-byte form cut short
      "\xC3\x28",          // a lead byte followed by no continuation
      "\xC0\xAF",          // overlong '/'
      "\xE0\x80\xAF",      // overlong '/' in three bytes
      "\xF0\x82\x82\xAC",  // overlong euro sign
      "\xED\xA0\x80",      // a high surrogate
      "\xED\xBF\xBF",      // a low surrogate
      "\xF4\x90\x80\x80",  // beyond U+10FFFF
      "\xF8\x88\x80\x80\x80",
      "ok\xFF",
  };
  for (const char* text : cases) {
    std::u16string wide = u"left over";
    EXPECT_FALSE(Utf8ToWide(text, wide)) << "byte 0x" << std::hex << (static_cast<unsigned>(text[0]) & 0xFF);
  }
}

TEST(Utf8Text, LoneSurrogatesBecomeTheReplacementCharacter) {
  EXPECT_EQ(WideToUtf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");
  EXPECT_EQ(WideToUtf8(std::u16string{u'a', u'\xDC00', u'b'}), "a\xEF\xBF\xBD" "b");
  // A high surrogate at the end has no partner to pair with.
  EXPECT_EQ(WideToUtf8(std::u16string{u'a', u'\xD83D'}), "a\xEF\xBF\xBD");
}

TEST(Utf8Text, SingleByteTextGoesThroughWindows1252) {
  EXPECT_EQ(Utf8ToAnsi("Pensi\xC3\xB3n \xE2\x82\xAC"), "Pensi\xF3n \x80");
  EXPECT_EQ(AnsiToUtf8("Pensi\xF3n \x80"), "Pensi\xC3\xB3n \xE2\x82\xAC");
  // Text that is not UTF-8, and a character Windows-1252 lacks, are refused by name.
  struct Case {
    const char* utf8;
    const char* message;
  };
  const Case refused[] = {
      {"a\xC3", "'a\xC3' is not UTF-8"},
      {"\xE4\xB8\xAD", "'\xE4\xB8\xAD' has characters without a single-byte form"},
  };
  for (const Case& c : refused) {
    try {
      Utf8ToAnsi(c.utf8);
      ADD_FAILURE() << c.message;
    } catch (const std::runtime_error& error) {
      EXPECT_STREQ(error.what(), c.message);
    }
  }
}

}  // namespace
}  // namespace zdb
