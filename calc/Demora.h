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
TResultadoPension ImpDemoraPension(int32_t n, double x, double maxima, double tope);
// A pension of 0 or less earns no lump sum.
double ImpDemoraTA(int32_t n, int banda, double x, double maxima);
int32_t NumAnysTA(int32_t n);

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

// "3 años (112%)": the years text of a percentage option.
std::string TextoAnysPension(int32_t k);
// "3 años": the years text of a lump sum.
std::string TextoAnysTA(int32_t k);
