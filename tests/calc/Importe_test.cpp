#include "calc/Importe.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <string>

namespace {

constexpr double Inf = std::numeric_limits<double>::infinity();
const double NaN = std::numeric_limits<double>::quiet_NaN();

TEST(Recorta, DropsOnlyLeadingAndTrailingSpaces) {
  EXPECT_EQ(Recorta("  a b  "), "a b");
  EXPECT_EQ(Recorta("\ta\t "), "\ta\t");
  EXPECT_EQ(Recorta("   "), "");
  EXPECT_EQ(Recorta(""), "");
}

TEST(Sustituye, ReplacesFromTheLeftWithoutOverlapOrRescan) {
  EXPECT_EQ(Sustituye("1.234.567,5", ".", ""), "1234567,5");
  EXPECT_EQ(Sustituye("aaa", "aa", "b"), "ba");
  EXPECT_EQ(Sustituye("abab", "ab", "abab"), "abababab");
  EXPECT_EQ(Sustituye("x", "x", ""), "");
  EXPECT_EQ(Sustituye("abc", "", "x"), "abc");
  EXPECT_EQ(Sustituye("Máx.", "á", "a"), "Max.");
}

struct LecturaCaso {
  const char* Texto;
  double Valor;
};

TEST(ValorNum, ReadsSpanishNotationAndNeverFails) {
  const LecturaCaso casos[] = {
      // Nothing to read.
      {"", 0}, {"   ", 0}, {"abc", 0}, {".", 0}, {",", 0}, {"-", 0}, {"+", 0},
      // Grouping points vanish, also when meant as a decimal point.
      {"1.234,5", 1234.5}, {"1.234.567,89", 1234567.89}, {"1.5", 15}, {"112,50", 112.5}, {"0,00", 0},
      // Blanks around, sign, exponent, missing digits on one side of the comma.
      {"  12,5  ", 12.5}, {" 7", 7}, {"-3,25", -3.25}, {"+3", 3}, {"1,5e3", 1500}, {"1,5E-2", 0.015},
      {"2E+2", 200}, {",5", 0.5}, {"5,", 5}, {"1E20", 1e20}, {"1,5E-7", 1.5e-7},
      // Unreadable: 0, not a partial value.
      {"1,2,3", 0}, {"12abc", 0}, {"abc12", 0}, {"1 2", 0}, {"- 5", 0}, {"--5", 0}, {"1e", 0},
      {"1e+", 0}, {"e5", 0}, {",e5", 0}, {"0x10", 0}, {"1,5 €", 0}, {"\t5", 0},
      // What the C library would read but an amount is not.
      {"inf", 0}, {"INF", 0}, {"-INF", 0}, {"nan", 0}, {"NAN", 0}, {"infinity", 0},
      // Beyond a double's range either way.
      {"1e400", 0}, {"-1e400", 0}, {"1e-400", 0}, {"1e99999999999999999999", 0},
  };
  for (const LecturaCaso& caso : casos) {
    EXPECT_EQ(ValorNum(caso.Texto), caso.Valor) << '"' << caso.Texto << '"';
  }
}

TEST(ValorNum, ReadsAVeryLongNumber) {
  std::string texto = "1" + std::string(300, '0') + ",5";
  EXPECT_DOUBLE_EQ(ValorNum(texto), 1e300);
  EXPECT_EQ(ValorNum(std::string(400, '9')), 0);  // past the largest double
}

struct FormatoCaso {
  double Valor;
  const char* Texto;
};

TEST(FmtImporte, TwoDecimalsGroupingAndHalfAwayFromZero) {
  const FormatoCaso casos[] = {
      {0, "0,00"}, {112, "112,00"}, {112.5, "112,50"}, {999, "999,00"}, {1000, "1.000,00"},
      {1234.5, "1.234,50"}, {123456, "123.456,00"}, {1234567.891, "1.234.567,89"},
      // Half a cent goes up, also where the binary fraction lies just below the half.
      {0.005, "0,01"}, {2.675, "2,68"}, {1.005, "1,01"}, {0.125, "0,13"}, {0.0049999, "0,00"},
      {999.995, "1.000,00"}, {9999999.995, "10.000.000,00"}, {123456789012.345, "123.456.789.012,35"},
      // Negative values, and the ones that round to nothing lose their sign.
      {-1234.5, "-1.234,50"}, {-0.005, "-0,01"}, {-0.125, "-0,13"}, {-0.0, "0,00"}, {-0.004, "0,00"},
      // Tiny and huge values.
      {1e-300, "0,00"}, {DBL_TRUE_MIN, "0,00"}, {1e15, "1.000.000.000.000.000,00"},
      {1e20, "100.000.000.000.000.000.000,00"}, {-1e20, "-100.000.000.000.000.000.000,00"},
      // Not amounts at all.
      {NaN, "NAN"}, {Inf, "INF"}, {-Inf, "-INF"},
  };
  for (const FormatoCaso& caso : casos) {
    EXPECT_EQ(FmtImporte(caso.Valor), caso.Texto) << caso.Valor;
  }
}

TEST(FmtImporte, LargestDoubleShowsItsFifteenDigitsThenZeros) {
  std::string texto = FmtImporte(DBL_MAX);
  EXPECT_EQ(texto.rfind("179.769.313.486.232.000.000.", 0), 0u) << texto;
  EXPECT_EQ(texto.substr(texto.size() - 7), ".000,00");
  EXPECT_EQ(texto.size(), 309u + 102u + 3u);  // digits, grouping points, ",00"
}

TEST(FmtSimple, ShortFormWithoutTrailingZeros) {
  const FormatoCaso casos[] = {
      {0, "0"}, {-0.0, "0"}, {112, "112"}, {2.5, "2,5"}, {112.5, "112,5"}, {-2.5, "-2,5"}, {100, "100"},
      {0.1, "0,1"}, {0.1 + 0.2, "0,3"}, {1234567.5, "1234567,5"}, {1e-5, "0,00001"},
      {999999999999999, "999999999999999"}, {2.0 / 3, "0,666666666666667"},
      // Past fifteen integer digits or below 0,00001: scientific, Spanish comma, bare exponent.
      {1e15, "1E15"}, {1e20, "1E20"}, {-1e20, "-1E20"}, {123456789012345678.0, "1,23456789012346E17"},
      {1e-6, "1E-6"}, {1.5e-7, "1,5E-7"}, {DBL_MAX, "1,79769313486232E308"},
      {NaN, "NAN"}, {Inf, "INF"}, {-Inf, "-INF"},
  };
  for (const FormatoCaso& caso : casos) {
    EXPECT_EQ(FmtSimple(caso.Valor), caso.Texto) << caso.Valor;
  }
}

// What a field shows must read back as the value it stands for: the windows format on losing
// focus and read again on gaining it.
TEST(Importe, TextsReadBackAsTheirValue) {
  const double valores[] = {0, 112.5, 1234567.89, -1234.5, 0.01, 1e20, 1.5e-7, 3059.23, 4495.5};
  for (double v : valores) {
    EXPECT_EQ(ValorNum(FmtSimple(v)), v) << v;
    EXPECT_DOUBLE_EQ(ValorNum(FmtImporte(v)), std::round(v * 100) / 100) << v;
  }
  // The focus cycle of a field: 112,50 -> 112,5; grouping points vanish; 0,00 becomes "0".
  EXPECT_EQ(FmtSimple(ValorNum("112,50")), "112,5");
  EXPECT_EQ(FmtSimple(ValorNum("1.234,50")), "1234,5");
  EXPECT_EQ(FmtSimple(ValorNum("0,00")), "0");
  // Texts of non-finite values read as 0 rather than as a number.
  EXPECT_EQ(ValorNum(FmtImporte(Inf)), 0);
  EXPECT_EQ(ValorNum(FmtSimple(NaN)), 0);
}

}  // namespace
