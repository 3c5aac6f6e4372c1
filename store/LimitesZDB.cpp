#include "store/LimitesZDB.h"

#include "zdb/Database.h"
#include "zdb/Table.h"

#include <utility>

namespace {

std::unique_ptr<zdb::TZDBTable> NuevaTabla(const char* nombre, const char* indice) {
  auto tabla = std::make_unique<zdb::TZDBTable>();
  tabla->SetDatabaseName(NombreComponente);
  tabla->SetTableName(nombre);
  if (indice != nullptr) tabla->SetIndexName(indice);
  tabla->SetReadOnly(false);
  tabla->SetExclusive(false);
  return tabla;
}

zdb::PlatformVariant ClaveAny(int32_t any) {
  return zdb::PlatformVariant::Integral(zdb::TVarType::Integer, any);
}

}  // namespace

std::shared_ptr<zdb::TZDBDatabase> TLimitesZDB::CreaComponente(const std::string& fichero) {
  auto baseDatos = std::make_shared<zdb::TZDBDatabase>();
  baseDatos->SetDatabaseName(NombreComponente);
  baseDatos->SetDatabaseFileName(fichero);
  baseDatos->SetMultiUser(true);
  baseDatos->SetExclusive(false);
  baseDatos->SetMaxConnections(MaximoConexiones);
  return baseDatos;
}

bool FicheroSoloLectura(zdb::TZDBDatabase& baseDatos) {
  // Connecting puts in ReadOnly how the engine could open the file, which no look at the
  // file's mode bits from here could tell as well.
  baseDatos.Open();
  return baseDatos.ReadOnly();
}

TLimitesZDB::TLimitesZDB(std::shared_ptr<zdb::TZDBDatabase> baseDatos) : BaseDatos(std::move(baseDatos)) {
  TablaMax = NuevaTabla(TablaMaximo, IndiceMaximo);
  TablaCtl = NuevaTabla(TablaControl, nullptr);
}

// The tables close before the component they name goes.
TLimitesZDB::~TLimitesZDB() {
  TablaCtl.reset();
  TablaMax.reset();
}

data::TDataSet& TLimitesZDB::Maximo() {
  return *TablaMax;
}

bool TLimitesZDB::SoloLectura() {
  return FicheroSoloLectura(*BaseDatos);
}

data::TDataSet& TLimitesZDB::Control() {
  return *TablaCtl;
}

bool TLimitesZDB::BuscaClave(int32_t any) {
  return TablaMax->FindKey({ClaveAny(any)});
}

void TLimitesZDB::BuscaCercana(int32_t any) {
  TablaMax->FindNearest({ClaveAny(any)});
}
