// The yearly limits over a real database file: the lookups and the estimate's base year,
// and writes that the other window's tables see.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/data/DataSet.h"
#include "store/AbrirBaseDatos.h"
#include "store/LimitesZDB.h"
#include "tests/engine/table/support/TableDataTestSupport.h"

namespace {

using zdb::testing::Connection;
using zdb::testing::ScratchFolder;

// A file with "Maximo" holding the years (each year's amounts derive from it: PenMax
// year + 0.25, TopeCot year * 2 + 0.5) and an empty "Control".
class LimitesZDB : public ::testing::Test {
 protected:
  void MakeFile(const std::vector<int32_t>& years) {
    zdb::testing::CreateDatabaseFile(path);
    Connection connection(path, true);
    zdb::testing::CreateMaximo(connection);
    zdb::TZDBFieldDefs control;
    zdb::testing::AddControlFields(control);
    zdb::CreateDiskTable(connection.Data(), connection.session, TablaControl, control, {}, {});
    zdb::TZDBTableCursor cursor(connection.session, TablaMaximo);
    zdb::TZDBOpenTable maximo(connection.Data(), cursor);
    for (int32_t year : years) zdb::testing::InsertYear(maximo, year);
  }

  static TLimitesAny Stored(int32_t year) { return {year, year + 0.25, year * 2 + 0.5}; }

  ScratchFolder folder;
  std::string path = folder.File(NombreBaseDatos);
};

TEST_F(LimitesZDB, FindsTheYearOrTheRowAnEstimateStartsFrom) {
  struct Case {
    std::vector<int32_t> stored;
    int32_t year;
    bool found;
    int32_t from;
  };
  const Case cases[] = {
      {{2024, 2022, 2023}, 2023, true, 2023},
      {{2024, 2022, 2023}, 2025, false, 2023},  // after the last: the one before it
      {{2024, 2022, 2023}, 2021, false, 2022},  // before the first: the first
      {{2022, 2024}, 2023, false, 2022},        // between: the latest before it
      {{2022}, 2030, false, 2022},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.year);
    std::filesystem::remove(path);
    MakeFile(c.stored);
    TLimitesZDB limites(TLimitesZDB::CreaComponente(path));
    const TConsultaAny consulta = limites.ConsultaAny(c.year);
    EXPECT_EQ(consulta.Encontrado, c.found);
    EXPECT_EQ(consulta.Fila, Stored(c.from));
    EXPECT_FALSE(limites.Maximo().Active());  // the lookup closes its table again
  }
}

TEST_F(LimitesZDB, EmptyTablesGiveNothing) {
  MakeFile({});
  TLimitesZDB limites(TLimitesZDB::CreaComponente(path));
  const TConsultaAny consulta = limites.ConsultaAny(2023);
  EXPECT_FALSE(consulta.Encontrado);
  EXPECT_EQ(consulta.Fila, std::nullopt);
  EXPECT_EQ(limites.LeePorcentajes(), std::nullopt);
}

TEST_F(LimitesZDB, SavedYearsAndPercentagesReachTheOtherWindowsTables) {
  MakeFile({2022, 2024});
  const auto baseDatos = TLimitesZDB::CreaComponente(path);
  TLimitesZDB mantenimiento(baseDatos);
  mantenimiento.AbreMaximo();
  mantenimiento.GuardaAny({2024, 3175.04, 4720.5});  // existing year: updated
  mantenimiento.GuardaAny({2023, 3059.23, 4495.5});  // new year: inserted in year order
  mantenimiento.GuardaPorcentajes({3.0, 4.0});       // empty "Control": its first row
  EXPECT_EQ(mantenimiento.UltimoAny(), 2024);

  std::vector<int32_t> years;
  data::TDataSet& maximo = mantenimiento.Maximo();
  for (maximo.First(); !maximo.Eof(); maximo.Next()) years.push_back(maximo.FieldByName("ANY").AsInteger());
  EXPECT_EQ(years, (std::vector<int32_t>{2022, 2023, 2024}));

  TLimitesZDB calculo(baseDatos);  // the other window's tables
  for (const TLimitesAny& guardado : {TLimitesAny{2023, 3059.23, 4495.5}, TLimitesAny{2024, 3175.04, 4720.5}}) {
    const TConsultaAny consulta = calculo.ConsultaAny(guardado.Any);
    EXPECT_TRUE(consulta.Encontrado);
    EXPECT_EQ(consulta.Fila, guardado);
  }
  EXPECT_EQ(calculo.LeePorcentajes(), (TPorcentajes{3.0, 4.0}));
  mantenimiento.CierraMaximo();
}

}  // namespace
