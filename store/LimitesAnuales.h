// The yearly limits as the windows see them: the maximum pension and contribution cap of
// each year (table "Maximo", one row per year in year order) and the two yearly growth
// percentages that estimate the years not entered (first row of table "Control").
//
// Each window owns one TLimitesAnuales, and with it its own table objects on the one
// database. The calculation window uses the lookups, which open a table and close it again;
// the maintenance window keeps "Maximo" open between AbreMaximo and CierraMaximo, shows it
// in its grid and writes through it. Failures of the tables reach the caller as the
// exceptions the tables raise; nothing is retried.
#pragma once

#include <cstdint>
#include <optional>

namespace data {
class TDataSet;
}

// Names in the database file.
inline constexpr const char* TablaMaximo = "Maximo";
inline constexpr const char* IndiceMaximo = "ANY";
inline constexpr const char* TablaControl = "Control";
inline constexpr const char* CampoAny = "any";
inline constexpr const char* CampoPenMax = "PenMax";
inline constexpr const char* CampoTopeCot = "TopeCot";
inline constexpr const char* CampoPorPMax = "PorPMax";
inline constexpr const char* CampoPorTCot = "PorTCot";

// One row of "Maximo".
struct TLimitesAny {
  int32_t Any = 0;
  double PenMax = 0;   // maximum monthly pension
  double TopeCot = 0;  // monthly contribution cap

  bool operator==(const TLimitesAny&) const = default;
};

// The row of "Control": yearly growth in percent.
struct TPorcentajes {
  double PorPMax = 0;  // of the maximum pension
  double PorTCot = 0;  // of the contribution cap

  bool operator==(const TPorcentajes&) const = default;
};

// What the year lookup found: the year's own row, or else the row that an estimate starts
// from; no row at all when "Maximo" is empty.
struct TConsultaAny {
  bool Encontrado = false;
  std::optional<TLimitesAny> Fila;
};

class TLimitesAnuales {
 public:
  virtual ~TLimitesAnuales() = default;

  // The percentages of the first row of "Control"; none when the table has no row.
  virtual std::optional<TPorcentajes> LeePorcentajes() = 0;

  // The year's row, found by exact key search. When there is none, the row an estimate
  // starts from: the nearest key search lands on the first year at least as late (or on
  // the last row), then one row back, or the first row when there is none before. So a
  // year between stored years gets the latest one before it, a year after the last gets
  // the one before the last, a year before the first gets the first.
  virtual TConsultaAny ConsultaAny(int32_t any) = 0;

  // Whether every write would be refused because the file is open read-only: the engine
  // opened it so (the process may not write the file), or the component was asked to. Asks
  // the open file, connecting to it when needed.
  virtual bool SoloLectura() = 0;

  // --- The maintenance window's table, open between these two --------------------------
  virtual void AbreMaximo() = 0;
  // Ends any edit without saving. Never fails.
  virtual void CierraMaximo() noexcept = 0;
  // "Maximo" in year order, for the grid; its current row is the grid's.
  virtual data::TDataSet& Maximo() = 0;

  // Exact key search: the year's row becomes the current one; when the year is not
  // stored the current row stays where it was.
  virtual std::optional<TLimitesAny> BuscaAny(int32_t any) = 0;
  // The last stored year (the current row moves to it); none when the table is empty.
  virtual std::optional<int32_t> UltimoAny() = 0;
  // The current row; none when the table is empty.
  virtual std::optional<TLimitesAny> AnyActual() = 0;
  // Updates the year's row, or inserts one when the year is new.
  virtual void GuardaAny(const TLimitesAny& limites) = 0;
  // Deletes the current row.
  virtual void BorraAnyActual() = 0;
  // Writes the first row of "Control", creating it when the table is empty.
  virtual void GuardaPorcentajes(const TPorcentajes& porcentajes) = 0;
};
