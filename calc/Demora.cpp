#include "calc/Demora.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "calc/Importe.h"

namespace {

// The pension is paid in fourteen payments a year, the contribution cap in twelve.
constexpr double PagasPension = 14;
constexpr double PagasCotizacion = 12;

// Percentage points of the supplement for each year of deferral, and for a complete
// half-year after at least one (art. 210.2 a) LGSS since Real Decreto-ley 11/2024).
constexpr double PuntosPorAny = 4;
constexpr double PuntosPorSemestre = 2;
// A half-year adds half of one year's lump sum (art. 210.2 b) LGSS: "la cuantía de la
// fórmula anterior por 0,5").
constexpr double FraccionTASemestre = 0.5;

// Lump sum per year: k × (A / 500)^(20/33), k by career band.
constexpr double FactorBanda1 = 800;
constexpr double FactorBanda2 = 880;
constexpr long double DivisorAnual = 500.0L;
constexpr long double ExponenteTA = 20.0L / 33.0L;

// Rounds the remaining points up to a whole point without lifting a value a hair above a whole
// number to the next one.
constexpr double CasiUno = 0.999999;

constexpr int32_t MaxAnysTA = 5;
// From this many whole years on, the mixed option pays a half-year as percentage.
constexpr int32_t AnysMixtaSemestreEnPension = 9;

double TopeMensual(double tope) { return tope * PagasCotizacion / PagasPension; }

std::string NotaMaximo(double techo) { return "(Máx." + FmtImporte(techo) + ")"; }

// Integer part as a signed 64-bit value; NaN gives 0 and values beyond the range stop at its ends.
int64_t ParteEntera64(double v) {
  if (std::isnan(v)) return 0;
  // 2^63 is exact in a double; everything strictly inside (-2^63, 2^63) truncates safely.
  constexpr double Limite = 9223372036854775808.0;
  if (v >= Limite) return std::numeric_limits<int64_t>::max();
  if (v <= -Limite) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(v);
}

}  // namespace

std::string XAnys(int32_t k) {
  if (k <= 0) return "";
  return k == 1 ? " año" : " años";
}

TResultadoPension ImpDemoraPension(int32_t n, double x, double maxima, double tope, bool semestre) {
  const double puntos = PuntosPorAny * static_cast<double>(n) + (semestre ? PuntosPorSemestre : 0);
  const double completa = (100 + puntos) * x / 100;

  TResultadoPension r;
  if (maxima <= 0) {
    r.Base = completa;
  } else if (x > maxima) {
    // The whole supplement is worked out on the maximum and paid on top of it.
    r.Base = maxima;
    r.Extra = puntos / 100 * maxima;
  } else if (completa > maxima) {
    // The points that do not fit below the maximum are paid on top, rounded up to a whole point.
    const double margen = maxima - x;
    const double resto = puntos - margen * 100 / x;
    const int64_t enteros = ParteEntera64(resto + CasiUno);
    r.Base = maxima;
    r.Extra = maxima * static_cast<double>(enteros) / 100;
  } else {
    r.Base = completa;
  }

  // The ceiling cuts only what is paid on top; the base stays as it is.
  const double techo = TopeMensual(tope);
  if (r.Base + r.Extra > techo && techo > 0) {
    r.Extra = techo - r.Base;
    r.NotaTope = NotaMaximo(techo);
  }

  r.Texto = FmtImporte(r.Base);
  if (r.Extra > 0) {
    r.Texto += " + " + FmtImporte(r.Extra) + " = " + FmtImporte(r.Base + r.Extra);
  }
  return r;
}

double ImpDemoraTA(int32_t n, int banda, double x, double maxima, bool semestre) {
  if (n == 0 && !semestre) return 0;  // no years, no lump sum (even for an amount that is not finite)
  const double mensual = (maxima < x && maxima > 0) ? maxima : x;
  const double anual = mensual * PagasPension;
  // A power of 0 is 0, and that of a negative pension has no meaning: no lump sum either way.
  if (anual <= 0) return 0;
  const double factor = banda == BandaMenos44 ? FactorBanda1 : FactorBanda2;
  const long double potencia = std::pow(static_cast<long double>(anual) / DivisorAnual, ExponenteTA);
  const double porAny = static_cast<double>(factor * potencia);
  return static_cast<double>(n) * porAny + (semestre ? FraccionTASemestre * porAny : 0);
}

int32_t NumAnysTA(int32_t n) {
  if (n == 1) return 1;
  if (n >= 2 && n <= 9) return n - n / 2;
  return MaxAnysTA;
}

bool CuentaSemestre(int32_t n, int32_t meses, int32_t any, bool mixta) {
  return n >= 1 && meses >= MesesSemestre && any >= (mixta ? PrimerAnySemestreMixta : PrimerAnySemestre);
}

TRepartoMixta RepartoMixta(int32_t n, bool semestre) {
  TRepartoMixta r;
  r.AnysTA = NumAnysTA(n);
  r.AnysPension = n - r.AnysTA;
  if (!semestre) return r;
  // Art. 3 RD 371/2023 as RD 416/2026 words it: up to 8 years and a half the half-year
  // goes to the lump sum; from 9 years on the lump sum is 5 years and the half-year goes
  // to the percentage.
  if (n < AnysMixtaSemestreEnPension) {
    r.SemestreTA = true;
  } else {
    r.SemestrePension = true;
  }
  return r;
}

TEstimacion Estimar(int32_t any, int32_t anyBase, double pensionMaximaBase, double topeBase,
                    double crecimientoPensionMaxima, double crecimientoTope) {
  const int64_t pasos = static_cast<int64_t>(any) - static_cast<int64_t>(anyBase);
  TEstimacion e{pensionMaximaBase, topeBase};
  for (int64_t i = 0; i < pasos; ++i) {
    const double pm = crecimientoPensionMaxima / 100 * e.PensionMaxima + e.PensionMaxima;
    const double tc = crecimientoTope / 100 * e.TopeCotizacion + e.TopeCotizacion;
    // Each year depends only on the one before: once neither changes, no later year does.
    if (pm == e.PensionMaxima && tc == e.TopeCotizacion) break;
    e.PensionMaxima = pm;
    e.TopeCotizacion = tc;
  }
  return e;
}

TMensajeMaxTop MensajeMaxTop(double maxima, double tope) {
  // A maximum or cap of 0 or less is not in force; say so for either.
  const std::string sinMaxima = maxima <= 0 ? "Sin Pensión Máx." : "";
  const std::string sinTope = tope <= 0 ? "Sin Tope Cotiz." : "";

  TMensajeMaxTop m;
  if (sinMaxima.empty()) {
    m.Aviso = sinTope;
  } else if (!sinTope.empty()) {
    m.Aviso = sinMaxima + "/" + sinTope;
  } else {
    m.Aviso = sinMaxima;
  }

  const double techo = TopeMensual(tope);
  if (techo > 0) m.TopeMes = NotaMaximo(techo);
  if (maxima > 0 && techo > 0 && maxima > techo) m.Aviso = "Tope Cotización inferior a Pensión Máxima ";
  return m;
}

std::string TextoAnysPension(int32_t k, bool semestre) {
  // In floating point: 4 × k + 100 cannot overflow there.
  const double puntos = PuntosPorAny * static_cast<double>(k) + (semestre ? PuntosPorSemestre : 0);
  return TextoAnysTA(k, semestre) + " (" + FmtSimple(puntos + 100) + "%)";
}

std::string TextoAnysTA(int32_t k, bool semestre) {
  // "2,5 años" fits where "2 años y 6 meses" would not: the labels have the room of
  // "30 años (220%)".
  if (semestre) return std::to_string(k) + ",5 años";
  return std::to_string(k) + XAnys(k);
}
