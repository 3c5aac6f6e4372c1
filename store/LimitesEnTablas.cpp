#include "store/LimitesEnTablas.h"

#include "zdb/DataSet.h"

namespace {

// A table opened for one lookup is closed again on every path; one that was open already
// is left as it was.
class TTablaAbierta {
 public:
  explicit TTablaAbierta(data::TDataSet& tabla) : Tabla(tabla), LaAbre(!tabla.Active()) {
    if (LaAbre) Tabla.Open();
  }
  ~TTablaAbierta() {
    if (!LaAbre) return;
    try {
      Tabla.Close();
    } catch (...) {
      // Closing after a read cannot lose anything; the failure being reported, if any,
      // is the one that matters.
    }
  }
  TTablaAbierta(const TTablaAbierta&) = delete;
  TTablaAbierta& operator=(const TTablaAbierta&) = delete;

 private:
  data::TDataSet& Tabla;
  bool LaAbre;
};

// Drops a pending edit after a failed write, so that the table is left browsing.
void DescartaEdicion(data::TDataSet& tabla) noexcept {
  try {
    tabla.Cancel();
  } catch (...) {
    // The write's own failure is the one to report.
  }
}

TLimitesAny LeeFila(const data::TDataSet& maximo) {
  return {maximo.FieldByName(CampoAny).AsInteger(), maximo.FieldByName(CampoPenMax).AsFloat(),
          maximo.FieldByName(CampoTopeCot).AsFloat()};
}

}  // namespace

std::optional<TPorcentajes> TLimitesEnTablas::LeePorcentajes() {
  data::TDataSet& control = Control();
  const TTablaAbierta abierta(control);
  control.First();
  if (control.IsEmpty()) return std::nullopt;
  return TPorcentajes{control.FieldByName(CampoPorPMax).AsFloat(), control.FieldByName(CampoPorTCot).AsFloat()};
}

TConsultaAny TLimitesEnTablas::ConsultaAny(int32_t any) {
  data::TDataSet& maximo = Maximo();
  const TTablaAbierta abierta(maximo);
  if (BuscaClave(any)) return {true, LeeFila(maximo)};
  BuscaCercana(any);
  if (maximo.IsEmpty()) return {false, std::nullopt};
  maximo.Prior();
  if (maximo.Bof()) maximo.First();
  return {false, LeeFila(maximo)};
}

void TLimitesEnTablas::AbreMaximo() {
  Maximo().Open();
}

void TLimitesEnTablas::CierraMaximo() noexcept {
  try {
    Maximo().Close();
  } catch (...) {
    // Closing throws away the pending edit, which is what closing the window means.
  }
}

std::optional<TLimitesAny> TLimitesEnTablas::BuscaAny(int32_t any) {
  if (!BuscaClave(any)) return std::nullopt;
  return LeeFila(Maximo());
}

std::optional<int32_t> TLimitesEnTablas::UltimoAny() {
  data::TDataSet& maximo = Maximo();
  maximo.Last();
  if (maximo.IsEmpty()) return std::nullopt;
  return maximo.FieldByName(CampoAny).AsInteger();
}

std::optional<TLimitesAny> TLimitesEnTablas::AnyActual() {
  data::TDataSet& maximo = Maximo();
  maximo.CheckActive();
  if (maximo.IsEmpty()) return std::nullopt;
  return LeeFila(maximo);
}

void TLimitesEnTablas::GuardaAny(const TLimitesAny& limites) {
  data::TDataSet& maximo = Maximo();
  if (BuscaClave(limites.Any)) {
    maximo.Edit();
  } else {
    maximo.Insert();
  }
  try {
    maximo.FieldByName(CampoAny).SetAsInteger(limites.Any);
    maximo.FieldByName(CampoPenMax).SetAsFloat(limites.PenMax);
    maximo.FieldByName(CampoTopeCot).SetAsFloat(limites.TopeCot);
    maximo.Post();
  } catch (...) {
    DescartaEdicion(maximo);
    throw;
  }
}

void TLimitesEnTablas::BorraAnyActual() {
  Maximo().Delete();
}

void TLimitesEnTablas::GuardaPorcentajes(const TPorcentajes& porcentajes) {
  data::TDataSet& control = Control();
  // The table stays open afterwards, like the maintenance window's other table.
  control.Open();
  control.First();
  control.Edit();  // on an empty table this inserts the first row
  try {
    control.FieldByName(CampoPorPMax).SetAsFloat(porcentajes.PorPMax);
    control.FieldByName(CampoPorTCot).SetAsFloat(porcentajes.PorTCot);
    control.Post();
  } catch (...) {
    DescartaEdicion(control);
    throw;
  }
}
