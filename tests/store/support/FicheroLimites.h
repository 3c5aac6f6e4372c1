// A yearly-limits database file for the tests that work on a real file: "Maximo" (any
// INTEGER, PenMax and TopeCot FLOAT, index "ANY") and "Control" (PorPMax and PorTCot FLOAT)
// created through the engine, their rows written through the store's own sequences. The
// file is closed again when it is made.
//
// Header only: the window tests link this folder's support files, and only a few of them
// need a real file.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "store/LimitesZDB.h"
#include "tests/engine/table/support/TableDataTestSupport.h"

namespace pruebas {

inline void CreaFicheroLimites(const std::string& ruta, const std::vector<TLimitesAny>& anys,
                               const std::optional<TPorcentajes>& porcentajes = std::nullopt) {
  zdb::testing::CreateDatabaseFile(ruta);
  {
    zdb::testing::Connection conexion(ruta, true);
    zdb::testing::CreateMaximo(conexion);
    zdb::TZDBFieldDefs control;
    zdb::testing::AddControlFields(control);
    zdb::CreateDiskTable(conexion.Data(), conexion.session, TablaControl, control, {}, {});
  }
  TLimitesZDB limites(TLimitesZDB::CreaComponente(ruta));
  limites.AbreMaximo();
  for (const TLimitesAny& any : anys) limites.GuardaAny(any);
  limites.CierraMaximo();
  if (porcentajes) limites.GuardaPorcentajes(*porcentajes);
}

}  // namespace pruebas
