#include "tests/store/support/LimitesMemoria.h"

namespace pruebas {

TLimitesMemoria::TLimitesMemoria(std::initializer_list<TLimitesAny> anys) {
  MaximoMemoria.DefineCampo(CampoAny, data::TFieldType::ftInteger);
  MaximoMemoria.DefineCampo(CampoPenMax, data::TFieldType::ftFloat);
  MaximoMemoria.DefineCampo(CampoTopeCot, data::TFieldType::ftFloat);
  MaximoMemoria.OrdenaPor(CampoAny);
  ControlMemoria.DefineCampo(CampoPorPMax, data::TFieldType::ftFloat);
  ControlMemoria.DefineCampo(CampoPorTCot, data::TFieldType::ftFloat);
  for (const TLimitesAny& any : anys) MaximoMemoria.AnadeFila({any.Any, any.PenMax, any.TopeCot});
}

std::vector<TLimitesAny> TLimitesMemoria::FilasMaximo() const {
  std::vector<TLimitesAny> anys;
  for (const auto& fila : MaximoMemoria.Filas())
    anys.push_back({static_cast<int32_t>(fila[0].value_or(0)), fila[1].value_or(0), fila[2].value_or(0)});
  return anys;
}

std::vector<int32_t> TLimitesMemoria::AnysGuardados() const {
  std::vector<int32_t> anys;
  for (const TLimitesAny& fila : FilasMaximo()) anys.push_back(fila.Any);
  return anys;
}

std::vector<TPorcentajes> TLimitesMemoria::FilasControl() const {
  std::vector<TPorcentajes> filas;
  for (const auto& fila : ControlMemoria.Filas()) filas.push_back({fila[0].value_or(0), fila[1].value_or(0)});
  return filas;
}

}  // namespace pruebas
