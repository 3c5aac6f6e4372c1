#include "engine/framework/FormatFloat.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "engine/base/ZDBValueText.h"

namespace data {

namespace {

constexpr int SignificantDigits = 15;
constexpr int MaxExponentDigits = 4;

struct Element {
  enum class Kind { Zero, Hash, Point, Literal, Exponent } kind;
  std::string text;           // Literal
  char exponentLetter = 'E';  // Exponent
  bool exponentPlus = false;  // Exponent: "E+"
  int exponentDigits = 0;     // Exponent
};

struct Section {
  std::vector<Element> elements;
  bool grouping = false;
  bool scientific = false;
  int integerPlaceholders = 0;
  int integerMinimum = 0;  // placeholders from the first 0 to the point
  int decimalPlaceholders = 0;
  int decimalMinimum = 0;  // placeholders up to the last 0 after the point
};

std::vector<std::string_view> SplitSections(std::string_view format) {
  std::vector<std::string_view> sections;
  size_t start = 0;
  char quote = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    const char c = format[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == ';') {
      sections.push_back(format.substr(start, i - start));
      start = i + 1;
    }
  }
  sections.push_back(format.substr(start));
  return sections;
}

Section ParseSection(std::string_view text) {
  Section section;
  bool afterPoint = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if ((c == '0' || c == '#') && !section.scientific) {
      section.elements.push_back({c == '0' ? Element::Kind::Zero : Element::Kind::Hash, {}});
      if (afterPoint) {
        ++section.decimalPlaceholders;
        if (c == '0') section.decimalMinimum = section.decimalPlaceholders;
      } else {
        ++section.integerPlaceholders;
        if (c == '0' && section.integerMinimum == 0) section.integerMinimum = -section.integerPlaceholders;
      }
    } else if (c == '.' && !section.scientific) {
      if (!afterPoint) section.elements.push_back({Element::Kind::Point, {}});
      afterPoint = true;
    } else if (c == ',' && !section.scientific) {
      section.grouping = true;
    } else if ((c == 'E' || c == 'e') && i + 1 < text.size() && (text[i + 1] == '+' || text[i + 1] == '-') &&
               !section.scientific) {
      Element exponent{Element::Kind::Exponent, {}};
      exponent.exponentLetter = c;
      exponent.exponentPlus = text[i + 1] == '+';
      i += 1;
      while (i + 1 < text.size() && text[i + 1] == '0' && exponent.exponentDigits < MaxExponentDigits) {
        ++exponent.exponentDigits;
        ++i;
      }
      section.elements.push_back(exponent);
      section.scientific = true;
    } else if (c == '"' || c == '\'') {
      const size_t close = text.find(c, i + 1);
      const size_t end = close == std::string_view::npos ? text.size() : close;
      section.elements.push_back({Element::Kind::Literal, std::string(text.substr(i + 1, end - i - 1))});
      i = end;
    } else {
      section.elements.push_back({Element::Kind::Literal, std::string(1, c)});
    }
  }
  // integerMinimum held minus the index of the first 0; turn it into a digit count.
  if (section.integerMinimum < 0) section.integerMinimum = section.integerPlaceholders + section.integerMinimum + 1;
  return section;
}

// The 15 significant digits of a positive finite value and the decimal exponent of the
// first one (value = d.ddd... x 10^exponent).
void SignificantForm(double value, std::string& digits, int& exponent) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*e", SignificantDigits - 1, value);
  const std::string text = buffer;
  const size_t e = text.find('e');
  digits.clear();
  for (size_t i = 0; i < e; ++i)
    if (text[i] >= '0' && text[i] <= '9') digits += text[i];
  exponent = std::atoi(text.c_str() + e + 1);
}

// Adds one to a digit string; true when it overflowed (the string is then all zeros).
bool Increment(std::string& digits) {
  for (size_t i = digits.size(); i-- > 0;) {
    if (digits[i] != '9') {
      ++digits[i];
      return false;
    }
    digits[i] = '0';
  }
  return true;
}

// |value| rounded to `decimals` decimals: its integer digits (no leading zeros, empty
// for zero) and exactly `decimals` fraction digits.
void FixedDigits(double value, int decimals, std::string& integer, std::string& fraction) {
  integer.clear();
  fraction.clear();
  if (value != 0) {
    std::string digits;
    int exponent = 0;
    SignificantForm(std::fabs(value), digits, exponent);
    if (exponent >= 0) {
      const size_t integerLength = static_cast<size_t>(exponent) + 1;
      integer = digits.substr(0, std::min(integerLength, digits.size()));
      if (integer.size() < integerLength) integer.append(integerLength - integer.size(), '0');
      if (digits.size() > integerLength) fraction = digits.substr(integerLength);
    } else {
      fraction = std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
    }
  }
  const size_t wanted = static_cast<size_t>(decimals);
  if (fraction.size() > wanted) {
    const bool roundUp = fraction[wanted] >= '5';
    fraction.resize(wanted);
    if (roundUp) {
      std::string all = integer + fraction;
      if (Increment(all)) all.insert(all.begin(), '1');
      integer = all.substr(0, all.size() - wanted);
      fraction = all.substr(all.size() - wanted);
    }
  }
  fraction.append(wanted - fraction.size(), '0');
  const size_t firstNonZero = integer.find_first_not_of('0');
  integer = firstNonZero == std::string::npos ? "" : integer.substr(firstNonZero);
}

// |value| with `significant` digits: the digits and the exponent of the first one.
void ScientificDigits(double value, int significant, std::string& digits, int& exponent) {
  if (value == 0) {
    digits.assign(static_cast<size_t>(significant), '0');
    exponent = 0;
    return;
  }
  std::string all;
  SignificantForm(std::fabs(value), all, exponent);
  const size_t wanted = static_cast<size_t>(significant);
  if (all.size() > wanted) {
    const bool roundUp = all[wanted] >= '5';
    all.resize(wanted);
    if (roundUp && Increment(all)) {
      all.insert(all.begin(), '1');
      all.pop_back();
      ++exponent;
    }
  }
  all.append(wanted - std::min(wanted, all.size()), '0');
  digits = all;
}

// Emits the section with the digits already rounded: integer digits (no leading zeros),
// fraction digits, and for scientific notation the exponent.
std::string Emit(const Section& section, std::string integer, std::string fraction, int exponent,
                 const TFormatSettings& settings) {
  if (integer.size() < static_cast<size_t>(section.integerMinimum))
    integer.insert(0, static_cast<size_t>(section.integerMinimum) - integer.size(), '0');
  while (fraction.size() > static_cast<size_t>(section.decimalMinimum) && fraction.back() == '0') fraction.pop_back();

  std::string out;
  const bool group = section.grouping && !section.scientific;
  auto emitDigit = [&](size_t place) {  // place: power of ten of the digit
    out += integer[integer.size() - 1 - place];
    if (group && place > 0 && place % 3 == 0) out += settings.ThousandSeparator;
  };
  auto emitAllIntegers = [&] {
    for (size_t place = integer.size(); place-- > 0;) emitDigit(place);
  };

  int integerLeft = section.integerPlaceholders;
  size_t decimalIndex = 0;
  bool afterPoint = false;
  bool integersDone = section.integerPlaceholders == 0 && integer.empty();
  for (const Element& element : section.elements) {
    switch (element.kind) {
      case Element::Kind::Zero:
      case Element::Kind::Hash:
        if (!afterPoint) {
          const size_t place = static_cast<size_t>(--integerLeft);
          if (integerLeft + 1 == section.integerPlaceholders)  // the first placeholder takes the overflow
            for (size_t p = integer.size(); p-- > place + 1;) emitDigit(p);
          if (place < integer.size()) emitDigit(place);
          if (integerLeft == 0) integersDone = true;
        } else {
          if (decimalIndex < fraction.size()) out += fraction[decimalIndex];
          ++decimalIndex;
        }
        break;
      case Element::Kind::Point:
        if (!integersDone) {
          emitAllIntegers();
          integersDone = true;
        }
        if (!fraction.empty()) out += settings.DecimalSeparator;
        afterPoint = true;
        break;
      case Element::Kind::Exponent: {
        if (!integersDone) {
          emitAllIntegers();
          integersDone = true;
        }
        out += element.exponentLetter;
        if (exponent < 0) {
          out += '-';
        } else if (element.exponentPlus) {
          out += '+';
        }
        std::string digits = std::to_string(std::abs(exponent));
        if (digits.size() < static_cast<size_t>(element.exponentDigits))
          digits.insert(0, static_cast<size_t>(element.exponentDigits) - digits.size(), '0');
        out += digits;
        break;
      }
      case Element::Kind::Literal:
        out += element.text;
        break;
    }
  }
  if (!integersDone) emitAllIntegers();
  return out;
}

// The section's text for |value|; `zero` tells whether it rounded to zero.
std::string FormatSection(const Section& section, double value, const TFormatSettings& settings, bool& zero) {
  if (section.scientific) {
    const int integerDigits = std::max(1, section.integerPlaceholders);
    std::string digits;
    int exponent = 0;
    ScientificDigits(value, integerDigits + section.decimalPlaceholders, digits, exponent);
    zero = digits.find_first_not_of('0') == std::string::npos;
    std::string integer = digits.substr(0, static_cast<size_t>(integerDigits));
    const size_t firstNonZero = integer.find_first_not_of('0');
    integer = firstNonZero == std::string::npos ? "" : integer.substr(firstNonZero);
    const int shownExponent = zero ? 0 : exponent - (integerDigits - 1);
    return Emit(section, integer, digits.substr(static_cast<size_t>(integerDigits)), shownExponent, settings);
  }
  std::string integer, fraction;
  FixedDigits(value, section.decimalPlaceholders, integer, fraction);
  zero = integer.empty() && fraction.find_first_not_of('0') == std::string::npos;
  return Emit(section, integer, fraction, 0, settings);
}

}  // namespace

std::string FormatFloat(std::string_view format, double value, const TFormatSettings& settings) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (format.empty()) return zdb::FormatFloat(value, settings);

  const std::vector<std::string_view> sections = SplitSections(format);
  const bool negative = value < 0;
  const bool ownNegative = negative && sections.size() >= 2 && !sections[1].empty();
  const Section chosen = ParseSection(ownNegative ? sections[1] : sections[0]);
  bool zero = false;
  std::string text = FormatSection(chosen, value, settings, zero);
  if (zero) {
    // What rounds to zero takes the zero section, else the first one, never a sign.
    const bool ownZero = sections.size() >= 3 && !sections[2].empty();
    bool unused = false;
    return FormatSection(ParseSection(ownZero ? sections[2] : sections[0]), 0.0, settings, unused);
  }
  return negative && !ownNegative ? "-" + text : text;
}

bool TryTextToFloat(std::string_view text, const TFormatSettings& settings, double& value) {
  if (text.find(settings.ThousandSeparator) != std::string_view::npos) return false;
  std::string normalised(text);
  if (settings.DecimalSeparator != '.') {
    if (normalised.find('.') != std::string::npos) return false;
    std::replace(normalised.begin(), normalised.end(), settings.DecimalSeparator, '.');
  }
  return zdb::TryParseFloat(normalised, value);
}

}  // namespace data
