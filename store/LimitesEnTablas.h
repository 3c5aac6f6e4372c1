// The yearly limits' read and write sequences written once over two datasets: "Maximo",
// ordered by its index on the year, and "Control". A subclass owns the two datasets and
// supplies the key searches on the year, which the plain dataset does not have.
//
// A lookup opens the table it needs when it is closed and closes it again afterwards, on
// every path; a table found open stays open. A write that fails leaves no edit pending.
#pragma once

#include "store/LimitesAnuales.h"

#include <cstdint>
#include <optional>

class TLimitesEnTablas : public TLimitesAnuales {
 public:
  std::optional<TPorcentajes> LeePorcentajes() override;
  TConsultaAny ConsultaAny(int32_t any) override;

  void AbreMaximo() override;
  void CierraMaximo() noexcept override;

  std::optional<TLimitesAny> BuscaAny(int32_t any) override;
  std::optional<int32_t> UltimoAny() override;
  std::optional<TLimitesAny> AnyActual() override;
  void GuardaAny(const TLimitesAny& limites) override;
  void BorraAnyActual() override;
  void GuardaPorcentajes(const TPorcentajes& porcentajes) override;

 protected:
  virtual data::TDataSet& Control() = 0;
  // Exact search on the year in the open "Maximo": true and the row made current when the
  // year is stored, false with the current row left alone otherwise.
  virtual bool BuscaClave(int32_t any) = 0;
  // Nearest search: the first row whose year is at least any, or the last row when there is
  // none (an empty table stays empty).
  virtual void BuscaCercana(int32_t any) = 0;
};
