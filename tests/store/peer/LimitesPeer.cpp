// The other program of the multi-process store tests: another copy of the calculator's
// yearly-limits store on the same database file, worked on command. One command line in,
// one number back: 0 when done (or the answer asked for), the native code of the engine
// exception the command raised, or OtroFallo for any other failure.
//
// Commands:
//   "open PATH"   the store on the file, as the program makes it (nothing opened yet);
//   "hold PATH"   the file opened exclusively and kept open, as a program that wants it
//                 all to itself would;
//   "save YEAR PENMAX TOPECOT"  the maintenance window's save: "Maximo" opened, the year
//                 updated or inserted, "Maximo" closed;
//   "find YEAR PENMAX TOPECOT"  the calculation window's lookup: 1 when the year is stored
//                 with those amounts, else 0;
//   "close"       the store and its database component go (the file closes).
#include <cstdint>
#include <exception>
#include <iostream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>

#include "engine/base/ZDBException.h"
#include "engine/dataset/ZDBDatabase.h"
#include "store/LimitesZDB.h"

namespace {

constexpr int64_t Hecho = 0;
constexpr int64_t Encontrado = 1;
constexpr int64_t OtroFallo = 2;

class TPeer {
 public:
  void Abre(const std::string& ruta) {
    Cierra();
    BaseDatos = TLimitesZDB::CreaComponente(ruta);
    Limites = std::make_unique<TLimitesZDB>(BaseDatos);
  }

  void Retiene(const std::string& ruta) {
    Cierra();
    BaseDatos = TLimitesZDB::CreaComponente(ruta);
    BaseDatos->SetExclusive(true);
    BaseDatos->Open();
  }

  void Guarda(const TLimitesAny& limites) {
    TLimitesZDB& almacen = Almacen();
    almacen.AbreMaximo();
    try {
      almacen.GuardaAny(limites);
    } catch (...) {
      almacen.CierraMaximo();
      throw;
    }
    almacen.CierraMaximo();
  }

  bool Busca(const TLimitesAny& limites) {
    const TConsultaAny consulta = Almacen().ConsultaAny(limites.Any);
    return consulta.Encontrado && consulta.Fila == limites;
  }

  // The tables go before the component they name.
  void Cierra() {
    Limites.reset();
    BaseDatos.reset();
  }

 private:
  TLimitesZDB& Almacen() {
    if (!Limites) throw std::runtime_error("no store open");
    return *Limites;
  }

  std::shared_ptr<zdb::TZDBDatabase> BaseDatos;
  std::unique_ptr<TLimitesZDB> Limites;
};

TLimitesAny LeeLimites(std::istream& entrada) {
  TLimitesAny limites;
  entrada >> limites.Any >> limites.PenMax >> limites.TopeCot;
  if (!entrada) throw std::runtime_error("expected YEAR PENMAX TOPECOT");
  return limites;
}

int64_t Ejecuta(const std::string& linea, TPeer& peer) {
  std::istringstream entrada(linea);
  std::string orden;
  entrada >> orden;
  std::string ruta;
  if (orden == "open" || orden == "hold") std::getline(entrada >> std::ws, ruta);
  if (orden == "open") {
    peer.Abre(ruta);
    return Hecho;
  }
  if (orden == "hold") {
    peer.Retiene(ruta);
    return Hecho;
  }
  if (orden == "save") {
    peer.Guarda(LeeLimites(entrada));
    return Hecho;
  }
  if (orden == "find") return peer.Busca(LeeLimites(entrada)) ? Encontrado : Hecho;
  if (orden == "close") {
    peer.Cierra();
    return Hecho;
  }
  return OtroFallo;
}

}  // namespace

int main() {
  TPeer peer;
  std::string linea;
  while (std::getline(std::cin, linea)) {
    int64_t respuesta = Hecho;
    try {
      respuesta = Ejecuta(linea, peer);
    } catch (const zdb::EZDBException& error) {
      respuesta = error.NativeError();
    } catch (const std::exception&) {
      respuesta = OtroFallo;
    }
    std::cout << respuesta << std::endl;
  }
  return 0;
}
