// The yearly limits over two tables in memory: "Maximo" ordered by year with fields any,
// PenMax and TopeCot, and "Control" with PorPMax and PorTCot. Tests seed and read the
// stored rows directly, and reach the tables to make them fail.
#pragma once

#include "store/LimitesEnTablas.h"
#include "tests/store/support/TablaMemoria.h"

#include <initializer_list>
#include <optional>
#include <vector>

namespace pruebas {

class TLimitesMemoria : public TLimitesEnTablas {
 public:
  explicit TLimitesMemoria(std::initializer_list<TLimitesAny> anys = {});

  // The rows stored now, in year order (a NULL reads as 0).
  std::vector<TLimitesAny> FilasMaximo() const;
  std::vector<int32_t> AnysGuardados() const;
  // Every stored row of "Control".
  std::vector<TPorcentajes> FilasControl() const;
  void PonPorcentajes(const TPorcentajes& porcentajes) {
    ControlMemoria.AnadeFila({porcentajes.PorPMax, porcentajes.PorTCot});
  }

  data::TDataSet& Maximo() override { return MaximoMemoria; }
  bool SoloLectura() override { return SoloLecturaMemoria; }

  // What SoloLectura answers; the tables in memory take writes whatever it says.
  bool SoloLecturaMemoria = false;

  TTablaMemoria MaximoMemoria{TablaMaximo};
  TTablaMemoria ControlMemoria{TablaControl};

 protected:
  data::TDataSet& Control() override { return ControlMemoria; }
  bool BuscaClave(int32_t any) override { return MaximoMemoria.BuscaClave(any); }
  void BuscaCercana(int32_t any) override { MaximoMemoria.BuscaCercana(any); }
};

}  // namespace pruebas
