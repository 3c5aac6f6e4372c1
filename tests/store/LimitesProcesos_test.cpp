// Two copies of the program on one limits file: what one saves, the other's next lookup
// finds, in both directions and for new as well as changed years; and a file that another
// program holds exclusively fails the lookups with the engine's error, without leaving
// anything stuck for when it is let go.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/base/ZDBException.h"
#include "engine/framework/DataSet.h"
#include "store/AbrirBaseDatos.h"
#include "store/LimitesZDB.h"
#include "tests/store/support/FicheroLimites.h"
#include "tests/support/ChildProcess.h"

namespace {

using zdb::testing::ScratchFolder;

const TLimitesAny A2023{2023, 3059.23, 4495.50};
const TLimitesAny A2024{2024, 3175.04, 4720.50};

// Peer replies (tests/store/peer).
constexpr long long Hecho = 0;
constexpr long long Encontrado = 1;

std::string Orden(const char* orden, const TLimitesAny& limites) {
  return std::string(orden) + " " + std::to_string(limites.Any) + " " + std::to_string(limites.PenMax) + " " +
         std::to_string(limites.TopeCot);
}

class LimitesEntreProcesos : public ::testing::Test {
 protected:
  void SetUp() override { pruebas::CreaFicheroLimites(Ruta, {A2023, A2024}, TPorcentajes{3, 4}); }

  ScratchFolder Carpeta;
  std::string Ruta = Carpeta.File(NombreBaseDatos);
  zdbtest::ChildProcess Otro{ZDB_STORE_PEER_PATH};
};

TEST_F(LimitesEntreProcesos, WhatOneSavesTheOthersNextLookupFinds) {
  ASSERT_EQ(Otro.Run("open " + Ruta), Hecho);
  TLimitesZDB limites(TLimitesZDB::CreaComponente(Ruta));

  // Both have read the file before the other writes, so nothing comes from a first read.
  EXPECT_FALSE(limites.ConsultaAny(2025).Encontrado);
  EXPECT_EQ(Otro.Run(Orden("find", A2024)), Encontrado);

  const TLimitesAny nuevo{2025, 3267.60, 4909.50};
  ASSERT_EQ(Otro.Run(Orden("save", nuevo)), Hecho);
  const TConsultaAny consulta = limites.ConsultaAny(2025);
  EXPECT_TRUE(consulta.Encontrado);
  EXPECT_EQ(consulta.Fila, nuevo);

  const TLimitesAny cambiado{2024, 3200.00, 4800.00};
  limites.AbreMaximo();
  limites.GuardaAny(cambiado);
  limites.GuardaAny({2026, 3300, 5000});
  limites.CierraMaximo();
  EXPECT_EQ(Otro.Run(Orden("find", cambiado)), Encontrado);
  EXPECT_EQ(Otro.Run(Orden("find", TLimitesAny{2026, 3300, 5000})), Encontrado);

  // And back again over a year both have read.
  const TLimitesAny otraVez{2024, 3210.00, 4810.00};
  ASSERT_EQ(Otro.Run(Orden("save", otraVez)), Hecho);
  EXPECT_EQ(limites.ConsultaAny(2024).Fila, otraVez);
  EXPECT_EQ(limites.LeePorcentajes(), (TPorcentajes{3, 4}));
}

// The maintenance window keeps "Maximo" open while another copy adds the same year: the
// save finds that row and updates it rather than adding a second one.
TEST_F(LimitesEntreProcesos, ASaveFindsTheYearAnotherCopyAddedWhileTheTableWasOpen) {
  ASSERT_EQ(Otro.Run("open " + Ruta), Hecho);
  TLimitesZDB mantenimiento(TLimitesZDB::CreaComponente(Ruta));
  mantenimiento.AbreMaximo();
  EXPECT_EQ(mantenimiento.UltimoAny(), 2024);

  ASSERT_EQ(Otro.Run(Orden("save", TLimitesAny{2025, 3267.60, 4909.50})), Hecho);
  const TLimitesAny mio{2025, 3270.00, 4910.00};
  mantenimiento.GuardaAny(mio);
  EXPECT_EQ(mantenimiento.UltimoAny(), 2025);

  std::vector<TLimitesAny> filas;
  data::TDataSet& maximo = mantenimiento.Maximo();
  for (maximo.First(); !maximo.Eof(); maximo.Next()) filas.push_back(*mantenimiento.AnyActual());
  EXPECT_EQ(filas, (std::vector<TLimitesAny>{A2023, A2024, mio}));
  mantenimiento.CierraMaximo();
  EXPECT_EQ(Otro.Run(Orden("find", mio)), Encontrado);
}

TEST_F(LimitesEntreProcesos, AFileHeldExclusivelyElsewhereFailsWithTheEnginesErrorUntilLetGo) {
  ASSERT_EQ(Otro.Run("hold " + Ruta), Hecho);
  TLimitesZDB limites(TLimitesZDB::CreaComponente(Ruta));
  for (int intento = 0; intento < 2; ++intento) {
    try {
      limites.ConsultaAny(2023);
      ADD_FAILURE() << "the lookup opened a file held exclusively elsewhere";
    } catch (const zdb::EZDBException& error) {
      EXPECT_EQ(error.NativeError(), 30364);
      EXPECT_NE(std::string(error.what()).find("being used by another process"), std::string::npos) << error.what();
    }
    EXPECT_FALSE(limites.Maximo().Active());
    EXPECT_THROW(limites.LeePorcentajes(), zdb::EZDBException);
  }

  ASSERT_EQ(Otro.Run("close"), Hecho);
  EXPECT_EQ(limites.ConsultaAny(2023).Fila, A2023);
  EXPECT_EQ(limites.LeePorcentajes(), (TPorcentajes{3, 4}));
}

}  // namespace
