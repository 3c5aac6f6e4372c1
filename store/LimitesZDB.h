// The yearly limits in the database file: the component "Zelmarot" bound to the file, and
// the two tables "Maximo" (in year order by its index "ANY") and "Control" on it. The
// sequences themselves are TLimitesEnTablas'; this class supplies the tables and the key
// searches on the year.
//
// The process has one component, which the tables find by its name in the default session;
// each window's instance owns its own two tables on it. The component works multi-user, so
// copies of the program may share the file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "store/LimitesEnTablas.h"

namespace zdb {
class TZDBDatabase;
class TZDBTable;
}  // namespace zdb

// The database component's name, which the tables refer to.
inline constexpr const char* NombreComponente = "Zelmarot";
// The most connections the file admits.
inline constexpr int32_t MaximoConexiones = 500;

// Whether the engine opened the component's file read-only; connects the component when
// it is not connected (it then stays connected, as after any table's open).
bool FicheroSoloLectura(zdb::TZDBDatabase& baseDatos);

class TLimitesZDB : public TLimitesEnTablas {
 public:
  // The process's one component for the file: multi-user, not exclusive. Nothing is opened
  // until a sequence needs a table.
  static std::shared_ptr<zdb::TZDBDatabase> CreaComponente(const std::string& fichero);

  // Tables on the component, which they keep alive.
  explicit TLimitesZDB(std::shared_ptr<zdb::TZDBDatabase> baseDatos);
  ~TLimitesZDB() override;
  TLimitesZDB(const TLimitesZDB&) = delete;
  TLimitesZDB& operator=(const TLimitesZDB&) = delete;

  data::TDataSet& Maximo() override;
  bool SoloLectura() override;

 protected:
  data::TDataSet& Control() override;
  bool BuscaClave(int32_t any) override;
  void BuscaCercana(int32_t any) override;

 private:
  std::shared_ptr<zdb::TZDBDatabase> BaseDatos;
  std::unique_ptr<zdb::TZDBTable> TablaMax;
  std::unique_ptr<zdb::TZDBTable> TablaCtl;
};
