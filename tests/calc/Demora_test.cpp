#include "calc/Demora.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "calc/Importe.h"

namespace {

constexpr double Inf = std::numeric_limits<double>::infinity();
const double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr int32_t Int32Min = std::numeric_limits<int32_t>::min();
constexpr int32_t Int32Max = std::numeric_limits<int32_t>::max();

TEST(XAnys, YearWordAfterACount) {
  EXPECT_EQ(XAnys(Int32Min), "");
  EXPECT_EQ(XAnys(-1), "");
  EXPECT_EQ(XAnys(0), "");
  EXPECT_EQ(XAnys(1), " año");
  EXPECT_EQ(XAnys(2), " años");
  EXPECT_EQ(XAnys(30), " años");
}

TEST(TextoAnys, PercentageAndLumpSumYearsTexts) {
  EXPECT_EQ(TextoAnysPension(3), "3 años (112%)");
  EXPECT_EQ(TextoAnysPension(0), "0 (100%)");
  EXPECT_EQ(TextoAnysPension(1), "1 año (104%)");
  EXPECT_EQ(TextoAnysPension(30), "30 años (220%)");
  EXPECT_EQ(TextoAnysPension(-1), "-1 (96%)");
  // 4 × k + 100 is beyond 32 bits at the ends of the range.
  EXPECT_EQ(TextoAnysPension(Int32Max), "2147483647 años (8589934688%)");
  EXPECT_EQ(TextoAnysPension(Int32Min), "-2147483648 (-8589934492%)");

  EXPECT_EQ(TextoAnysTA(0), "0");
  EXPECT_EQ(TextoAnysTA(1), "1 año");
  EXPECT_EQ(TextoAnysTA(5), "5 años");
}

struct PensionCaso {
  const char* Nombre;
  int32_t N;
  double X, Maxima, Tope;
  double Base, Extra;
  const char* Nota;
  const char* Texto;
};

TEST(ImpDemoraPension, PercentageOptionWithMaximumAndCeiling) {
  const PensionCaso casos[] = {
      {"no maximum, no cap", 3, 100, 0, 0, 112, 0, "", "112,00"},
      {"a maximum of 0 or less is none", 3, 100, -5, 0, 112, 0, "", "112,00"},
      {"below the maximum", 2, 300, 400, 0, 324, 0, "", "324,00"},
      {"exactly at the maximum", 2, 300, 324, 0, 324, 0, "", "324,00"},
      {"remaining points round up", 2, 300, 310, 0, 310, 15.5, "", "310,00 + 15,50 = 325,50"},
      {"whole remaining points stay", 2, 250, 260, 0, 260, 10.4, "", "260,00 + 10,40 = 270,40"},
      {"a hair above a whole point stays", 2, 250, 259.99999875, 0, 259.99999875, 259.99999875 * 4 / 100, "",
       "260,00 + 10,40 = 270,40"},
      {"clearly above a whole point rounds up", 2, 250, 259.999995, 0, 259.999995, 259.999995 * 5 / 100, "",
       "260,00 + 13,00 = 273,00"},
      {"pension above the maximum", 1, 350, 310, 0, 310, 12.4, "", "310,00 + 12,40 = 322,40"},
      {"pension at the maximum", 2, 3000, 3000, 0, 3000, 240, "", "3.000,00 + 240,00 = 3.240,00"},
      {"30 years, no maximum", 30, 1000, 0, 0, 2200, 0, "", "2.200,00"},
      {"30 years over the maximum", 30, 1000, 2000, 0, 2000, 400, "", "2.000,00 + 400,00 = 2.400,00"},
      {"no years", 0, 300, 310, 0, 300, 0, "", "300,00"},
      {"zero pension", 3, 0, 310, 4000, 0, 0, "", "0,00"},
      {"zero pension, no limits", 30, 0, 0, 0, 0, 0, "", "0,00"},
      {"ceiling above the total", 2, 3000, 3000, 4000, 3000, 240, "", "3.000,00 + 240,00 = 3.240,00"},
      {"ceiling cuts the extra", 2, 3000, 3000, 3700, 3000, 3700.0 * 12 / 14 - 3000, "(Máx.3.171,43)",
       "3.000,00 + 171,43 = 3.171,43"},
      {"ceiling below the base", 2, 3000, 3000, 2000, 3000, 2000.0 * 12 / 14 - 3000, "(Máx.1.714,29)",
       "3.000,00"},
      {"ceiling below an unlimited base", 3, 5000, 0, 3500, 5600, 3000 - 5600.0, "(Máx.3.000,00)", "5.600,00"},
      {"ceiling exactly at the total", 2, 3000, 3000, 3780, 3000, 240, "", "3.000,00 + 240,00 = 3.240,00"},
      {"negative cap is none", 2, 3000, 3000, -1, 3000, 240, "", "3.000,00 + 240,00 = 3.240,00"},
      {"huge pension", 3, 1e20, 0, 0, 1.12e20, 0, "", "112.000.000.000.000.000.000,00"},
  };
  for (const PensionCaso& c : casos) {
    SCOPED_TRACE(c.Nombre);
    TResultadoPension r = ImpDemoraPension(c.N, c.X, c.Maxima, c.Tope);
    EXPECT_DOUBLE_EQ(r.Base, c.Base);
    EXPECT_NEAR(r.Extra, c.Extra, 1e-9);
    EXPECT_EQ(r.NotaTope, c.Nota);
    EXPECT_EQ(r.Texto, c.Texto);
  }
}

// Absurd inputs must give some result and never undefined behaviour (the test build traps it).
TEST(ImpDemoraPension, AbsurdInputsStayDefined) {
  struct Caso {
    int32_t N;
    double X, Maxima, Tope;
  };
  const Caso casos[] = {
      {1, 1.7e308, DBL_MAX, 0},          // the remaining points overflow to -inf
      {Int32Max, 1000, 2000, 0},         // 4 × n beyond 32 bits
      {Int32Min, -1000, 2000, 0},        // negative points and pension
      {Int32Max, DBL_TRUE_MIN, 1e-300, 0},
      {30, DBL_TRUE_MIN, 2 * DBL_TRUE_MIN, DBL_MAX},
      {3, NaN, 310, 4000},
      {3, 300, NaN, NaN},
      {3, Inf, 310, Inf},
      {3, 300, Inf, 0},
      {3, -Inf, -Inf, -Inf},
  };
  for (const Caso& c : casos) {
    TResultadoPension r = ImpDemoraPension(c.N, c.X, c.Maxima, c.Tope);
    EXPECT_FALSE(r.Texto.empty()) << c.N << ' ' << c.X << ' ' << c.Maxima;
  }
  EXPECT_EQ(ImpDemoraPension(1, 1.7e308, DBL_MAX, 0).Base, DBL_MAX);
  EXPECT_EQ(ImpDemoraPension(3, NaN, 0, 0).Texto, "NAN");
  // 8589934488 remaining points, far past 32 bits: a 64-bit count.
  EXPECT_DOUBLE_EQ(ImpDemoraPension(Int32Max, 1000, 2000, 0).Extra, 2000.0 * 8589934488 / 100);
}

struct TACaso {
  int32_t N;
  int Banda;
  double X, Maxima;
  double Importe;
};

TEST(ImpDemoraTA, LumpSumPerBandCappedAtTheMaximum) {
  // Reference values are the exact powers rounded once to a double; a power taken in double
  // precision misses several of them by one unit in the last place.
  const TACaso exactos[] = {
      {1, BandaMenos44, 1000, 0, 6027.753175791201},
      {1, BandaDesde44, 1000, 0, 6630.528493370321},
      {1, BandaMenos44, 1234.56, 0, 6848.845999043793},
      {1, BandaMenos44, 3059.23, 0, 11870.413346447283},
      {1, BandaDesde44, 3059.23, 0, 13057.454681092011},
      {1, BandaDesde44, 2500.01, 0, 11553.80308235756},
      {1, BandaMenos44, 600.6, 0, 4425.524507869006},
      {1, BandaMenos44, 2222.22, 0, 9779.787794362237},
  };
  for (const TACaso& c : exactos) {
    EXPECT_EQ(ImpDemoraTA(c.N, c.Banda, c.X, c.Maxima), c.Importe) << c.X << " band " << c.Banda;
  }

  const TACaso casos[] = {
      {3, BandaMenos44, 1000, 0, 3 * 6027.753175791201},
      {30, BandaDesde44, 1000, 0, 30 * 6630.528493370321},
      {1, 7, 1000, 0, 6630.528493370321},  // any band but the first is the second
      {1, 0, 1000, 0, 6630.528493370321},
      {1, BandaMenos44, 5000, 3059.23, 11870.413346447283},  // capped at the maximum
      {1, BandaMenos44, 1000, 3059.23, 6027.753175791201},   // a maximum above the pension is no cap
      {1, BandaMenos44, 1000, -1, 6027.753175791201},        // a maximum of 0 or less is none
      {1, BandaDesde44, 1e20, 0, 133222766733275.48},
      {1, BandaMenos44, 0.01, 0, 5.621502785928832},
      {-1, BandaMenos44, 1000, 0, -6027.753175791201},
  };
  for (const TACaso& c : casos) {
    EXPECT_DOUBLE_EQ(ImpDemoraTA(c.N, c.Banda, c.X, c.Maxima), c.Importe) << c.N << ' ' << c.X;
  }
  EXPECT_EQ(FmtImporte(ImpDemoraTA(1, BandaMenos44, 1000, 0)), "6.027,75");
}

TEST(ImpDemoraTA, NothingToPay) {
  EXPECT_EQ(ImpDemoraTA(3, BandaMenos44, 0, 0), 0);
  EXPECT_EQ(ImpDemoraTA(3, BandaDesde44, 0, 310), 0);
  EXPECT_EQ(ImpDemoraTA(0, BandaMenos44, 1000, 0), 0);
  EXPECT_EQ(ImpDemoraTA(0, BandaMenos44, Inf, 0), 0);
  EXPECT_EQ(ImpDemoraTA(3, BandaMenos44, -1000, 0), 0);  // no real power of a negative pension
  EXPECT_EQ(ImpDemoraTA(3, BandaMenos44, -Inf, 0), 0);
  EXPECT_EQ(FmtImporte(ImpDemoraTA(3, BandaMenos44, 0, 0)), "0,00");
}

TEST(NumAnysTA, MixedSplitPaysTheUpperHalfUpToFive) {
  // Index n: years of the mixed option paid as lump sum, for n from 0 to 31.
  const int32_t esperado[] = {5, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 5, 5, 5, 5, 5,
                              5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5};
  for (int32_t n = 0; n <= 31; ++n) EXPECT_EQ(NumAnysTA(n), esperado[n]) << n;
  EXPECT_EQ(NumAnysTA(-1), 5);
  EXPECT_EQ(NumAnysTA(Int32Min), 5);
  EXPECT_EQ(NumAnysTA(Int32Max), 5);
}

TEST(Mixto, OneYearLeavesNoPercentageYears) {
  const int32_t ta = NumAnysTA(1);
  const int32_t pension = 1 - ta;
  EXPECT_EQ(TextoAnysTA(ta), "1 año");
  EXPECT_EQ(TextoAnysPension(pension), "0 (100%)");
  EXPECT_EQ(ImpDemoraPension(pension, 1500, 3059.23, 4495.5).Texto, "1.500,00");

  // Thirty years: five as lump sum, twenty-five as percentage.
  EXPECT_EQ(TextoAnysPension(30 - NumAnysTA(30)), "25 años (200%)");
  EXPECT_EQ(ImpDemoraPension(30 - NumAnysTA(30), 1000, 0, 0).Texto, "2.000,00");
}

TEST(Estimar, GrowsTheBaseYearByCompoundPercentages) {
  // Before or at the base year nothing grows.
  for (int32_t any : {2020, 2022, 2023}) {
    TEstimacion e = Estimar(any, 2023, 3059.23, 4495.5, 2, 3);
    EXPECT_EQ(e.PensionMaxima, 3059.23) << any;
    EXPECT_EQ(e.TopeCotizacion, 4495.5) << any;
  }
  TEstimacion uno = Estimar(2024, 2023, 3000, 4000, 2, 3);
  EXPECT_DOUBLE_EQ(uno.PensionMaxima, 3060);
  EXPECT_DOUBLE_EQ(uno.TopeCotizacion, 4120);

  TEstimacion tres = Estimar(2026, 2023, 3000, 4000, 2, 3);
  EXPECT_DOUBLE_EQ(tres.PensionMaxima, 3183.624);
  EXPECT_DOUBLE_EQ(tres.TopeCotizacion, 4370.908);
  EXPECT_EQ(FmtImporte(tres.PensionMaxima), "3.183,62");
  EXPECT_EQ(FmtImporte(tres.TopeCotizacion), "4.370,91");

  TEstimacion baja = Estimar(2025, 2023, 1000, 2000, -10, 0);
  EXPECT_DOUBLE_EQ(baja.PensionMaxima, 810);
  EXPECT_DOUBLE_EQ(baja.TopeCotizacion, 2000);
}

TEST(Estimar, YearsAtTheEndsOfTheRangeFinishQuickly) {
  // The span does not fit 32 bits; backwards it is no span at all.
  TEstimacion atras = Estimar(Int32Min, Int32Max, 3000, 4000, 2, 3);
  EXPECT_EQ(atras.PensionMaxima, 3000);
  EXPECT_EQ(atras.TopeCotizacion, 4000);

  TEstimacion quieto = Estimar(Int32Max, Int32Min, 3000, 4000, 0, 0);
  EXPECT_EQ(quieto.PensionMaxima, 3000);
  EXPECT_EQ(quieto.TopeCotizacion, 4000);

  TEstimacion desbordado = Estimar(Int32Max, Int32Min, 3000, 4000, 50, 50);
  EXPECT_EQ(desbordado.PensionMaxima, Inf);
  EXPECT_EQ(desbordado.TopeCotizacion, Inf);

  TEstimacion extinguido = Estimar(Int32Max, Int32Min, 3000, 4000, -100, -100);
  EXPECT_EQ(extinguido.PensionMaxima, 0);
  EXPECT_EQ(extinguido.TopeCotizacion, 0);
}

struct AvisoCaso {
  double Maxima, Tope;
  const char* Aviso;
  const char* TopeMes;
};

TEST(MensajeMaxTop, WarningAndMonthlyCeiling) {
  const AvisoCaso casos[] = {
      {0, 0, "Sin Pensión Máx./Sin Tope Cotiz.", ""},
      {3059.23, 0, "Sin Tope Cotiz.", ""},
      {0, 4000, "Sin Pensión Máx.", "(Máx.3.428,57)"},
      {3000, 4000, "", "(Máx.3.428,57)"},
      {3059.23, 4495.5, "", "(Máx.3.853,29)"},
      {3500, 4000, "Tope Cotización inferior a Pensión Máxima ", "(Máx.3.428,57)"},
      {4000.0 * 12 / 14, 4000, "", "(Máx.3.428,57)"},  // equal is not inferior
      // Below zero a maximum or cap is not in force either.
      {-1, 4000, "Sin Pensión Máx.", "(Máx.3.428,57)"},
      {3000, -1, "Sin Tope Cotiz.", ""},
      {-1, -1, "Sin Pensión Máx./Sin Tope Cotiz.", ""},
      {1e19, 1e20, "", "(Máx.85.714.285.714.285.700.000,00)"},
      {NaN, NaN, "", ""},
  };
  for (const AvisoCaso& c : casos) {
    TMensajeMaxTop m = MensajeMaxTop(c.Maxima, c.Tope);
    EXPECT_EQ(m.Aviso, c.Aviso) << c.Maxima << ' ' << c.Tope;
    EXPECT_EQ(m.TopeMes, c.TopeMes) << c.Maxima << ' ' << c.Tope;
  }
}

}  // namespace

// --- half-years of deferral -------------------------------------------------------------------

namespace {

// The yearly lump sum of a pension of 1.500 € a month, band 1, as the ministry publishes it.
constexpr double LumpSumYear1500 = 7706.86;

TEST(Semestre, CountsFromOneWholeYearAndSixMonthsInTheYearsOfTheLaw) {
  const struct {
    int32_t anys;
    int32_t meses;
    int32_t any;
    bool mixta;
    bool cuenta;
  } cases[] = {
      {2, 7, 2026, false, true},  {1, 6, 2026, false, true},  {2, 5, 2026, false, false},
      {0, 11, 2026, false, false}, {2, 6, 2024, false, false}, {2, 6, 2025, false, true},
      {2, 6, 2025, true, false},   {2, 6, 2026, true, true},   {30, 11, 2030, true, true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(CuentaSemestre(c.anys, c.meses, c.any, c.mixta), c.cuenta)
        << c.anys << " years " << c.meses << " months in " << c.any << (c.mixta ? " (mixed)" : "");
}

TEST(Semestre, PercentageOptionAddsTwoPoints) {
  // 1.500 € with 2 years: 120 € a month more; 2 years and 7 months: 10 %; 1 year and 6: 6 %.
  EXPECT_DOUBLE_EQ(ImpDemoraPension(2, 1500, 0, 0).Base, 1620);
  EXPECT_DOUBLE_EQ(ImpDemoraPension(2, 1500, 0, 0, true).Base, 1650);
  EXPECT_DOUBLE_EQ(ImpDemoraPension(1, 1500, 0, 0, true).Base, 1590);
  // The rest of the rule is as for whole years: x = 300, M = 310, 2½ years: h = 10 − 3,33…,
  // rounded up to 7 points on top of the maximum.
  const TResultadoPension capped = ImpDemoraPension(2, 300, 310, 0, true);
  EXPECT_DOUBLE_EQ(capped.Base, 310);
  EXPECT_DOUBLE_EQ(capped.Extra, 310 * 7.0 / 100);
  EXPECT_EQ(TextoAnysPension(2, true), "2,5 años (110%)");
  EXPECT_EQ(TextoAnysPension(1, true), "1,5 años (106%)");
  EXPECT_EQ(TextoAnysPension(2, false), "2 años (108%)");
}

TEST(Semestre, LumpSumAddsHalfAYear) {
  EXPECT_NEAR(ImpDemoraTA(1, BandaMenos44, 1500, 0), LumpSumYear1500, 0.005);
  EXPECT_NEAR(ImpDemoraTA(2, BandaMenos44, 1500, 0), 15413.72, 0.005);
  EXPECT_DOUBLE_EQ(ImpDemoraTA(2, BandaDesde44, 1500, 0, true), 2.5 * ImpDemoraTA(1, BandaDesde44, 1500, 0));
  EXPECT_EQ(ImpDemoraTA(0, BandaMenos44, 0, 0, true), 0);
  EXPECT_EQ(TextoAnysTA(2, true), "2,5 años");
  EXPECT_EQ(TextoAnysTA(1, false), "1 año");
}

TEST(Semestre, MixedOptionGivesTheHalfYearToTheLumpSumUpToEightAndAHalf) {
  const struct {
    int32_t anys;
    bool semestre;
    TRepartoMixta reparto;
  } cases[] = {
      {2, false, {1, 1, false, false}}, {2, true, {1, 1, true, false}},  {5, true, {3, 2, true, false}},
      {8, true, {4, 4, true, false}},   {9, false, {5, 4, false, false}}, {9, true, {5, 4, false, true}},
      {12, true, {5, 7, false, true}},  {1, true, {1, 0, true, false}},
  };
  for (const auto& c : cases) {
    const TRepartoMixta r = RepartoMixta(c.anys, c.semestre);
    EXPECT_EQ(r.AnysTA, c.reparto.AnysTA) << c.anys;
    EXPECT_EQ(r.AnysPension, c.reparto.AnysPension) << c.anys;
    EXPECT_EQ(r.SemestreTA, c.reparto.SemestreTA) << c.anys;
    EXPECT_EQ(r.SemestrePension, c.reparto.SemestrePension) << c.anys;
  }
}

}  // namespace
