// The deferral supplement: percentage option, lump sum, mixed split, estimate of a
// year's limits and the warning about missing or inconsistent limits. Pure functions.
#pragma once

#include <cstdint>
#include <string>

// Result of the percentage option.
struct TResultadoPension {
  double Base = 0;        // monthly pension after the option, limited by the maximum
  double Extra = 0;       // supplement paid on top of the maximum (may be negative after the ceiling)
  std::string NotaTope;   // "" or "(Máx.1.234,56)" when the contribution ceiling cut the extra
  std::string Texto;      // what the window shows: base, or "base + extra = total"
};

// Band of the lump sum: careers under 44 years 6 months, and from 44 years 6 months on.
constexpr int BandaMenos44 = 1;
constexpr int BandaDesde44 = 2;

std::string XAnys(int32_t k);
// With semestre, a complete half-year of deferral after the n whole years counts too.
TResultadoPension ImpDemoraPension(int32_t n, double x, double maxima, double tope, bool semestre = false);
// A pension of 0 or less earns no lump sum.
double ImpDemoraTA(int32_t n, int banda, double x, double maxima, bool semestre = false);
int32_t NumAnysTA(int32_t n);

// --- half-years of deferral ------------------------------------------------------------------
// Months of deferral beyond the whole years that make a complete half-year.
constexpr int32_t MesesSemestre = 6;
// The first year whose pensions count a half-year in the percentage and lump-sum options
// (art. 210.2 LGSS as Real Decreto-ley 11/2024 worded it, in force from 1 April 2025),
// and the first in the mixed option (art. 3 RD 371/2023 as RD 416/2026 worded it, in force
// from 28 August 2026).
constexpr int32_t PrimerAnySemestre = 2025;
constexpr int32_t PrimerAnySemestreMixta = 2026;

// Whether the months add a half-year to n whole years of deferral, for the year whose
// limits are used: at least one whole year, a complete half-year, and a year in which the
// law counts it (mixta: in the mixed option).
bool CuentaSemestre(int32_t n, int32_t meses, int32_t any, bool mixta = false);

// How the mixed option pays n years (and a half-year): whole years as lump sum and as
// percentage, and which of the two takes the half-year.
struct TRepartoMixta {
  int32_t AnysTA = 0;
  int32_t AnysPension = 0;
  bool SemestreTA = false;
  bool SemestrePension = false;
};
TRepartoMixta RepartoMixta(int32_t n, bool semestre);

struct TEstimacion {
  double PensionMaxima = 0;
  double TopeCotizacion = 0;
};
TEstimacion Estimar(int32_t any, int32_t anyBase, double pensionMaximaBase, double topeBase,
                    double crecimientoPensionMaxima, double crecimientoTope);

struct TMensajeMaxTop {
  std::string Aviso;    // warning shown twice in the calculation window
  std::string TopeMes;  // monthly ceiling label next to the cap field, or ""
};
// A maximum or cap of 0 or less counts as missing, as it does in the calculation.
TMensajeMaxTop MensajeMaxTop(double maxima, double tope);

// "3 años (112%)": the years text of a percentage option; with the half-year
// "2,5 años (110%)".
std::string TextoAnysPension(int32_t k, bool semestre = false);
// "3 años": the years text of a lump sum; with the half-year "2,5 años".
std::string TextoAnysTA(int32_t k, bool semestre = false);
