// The yearly limits over a real database file: the lookups and the estimate's base year,
// and writes that the other window's tables see.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "engine/base/ZDBException.h"
#include "engine/dataset/ZDBDatabase.h"
#include "engine/framework/DataSet.h"
#include "engine/framework/DatabaseError.h"
#include "store/AbrirBaseDatos.h"
#include "store/LimitesZDB.h"
#include "tests/engine/table/support/TableDataTestSupport.h"
#include "tests/store/support/FicheroLimites.h"

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

// The native code of the engine exception the action raises; 0 when it raises none.
int32_t NativeErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const zdb::EZDBException& error) {
    return error.NativeError();
  }
  return 0;
}

// The text of the dataset error the action raises.
std::string DatasetErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const data::EDatabaseError& error) {
    return error.what();
  }
  return "(no error)";
}

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
  EXPECT_FALSE(mantenimiento.SoloLectura());
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

// Whatever is wrong with the file, every lookup fails with the engine's error and leaves
// nothing open; once the file is sound again the same tables work.
TEST_F(LimitesZDB, ADamagedFileFailsEveryLookupWithTheEnginesError) {
  pruebas::CreaFicheroLimites(path, {{2023, 3059.23, 4495.5}}, TPorcentajes{3, 4});
  std::string sano;
  {
    std::ifstream entrada(path, std::ios::binary);
    sano.assign(std::istreambuf_iterator<char>(entrada), {});
  }
  std::string basura(8192, '\0');
  for (size_t i = 0; i < basura.size(); ++i) basura[i] = static_cast<char>(i * 37 + 11);
  struct Case {
    const char* what;
    std::string bytes;
    int32_t code;
  };
  const Case cases[] = {
      {"garbage", basura, 10470},
      {"empty", "", 10470},
      {"header cut short", sano.substr(0, 100), 20237},
      {"pages cut short", sano.substr(0, sano.size() / 2), 20237},
  };
  const auto Write = [this](const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  };
  const auto baseDatos = TLimitesZDB::CreaComponente(path);
  TLimitesZDB limites(baseDatos);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Write(c.bytes);
    EXPECT_EQ(NativeErrorOf([&] { limites.ConsultaAny(2023); }), c.code);
    EXPECT_EQ(NativeErrorOf([&] { limites.LeePorcentajes(); }), c.code);
    EXPECT_FALSE(limites.Maximo().Active());
    EXPECT_FALSE(baseDatos->Connected());

    Write(sano);
    EXPECT_TRUE(limites.ConsultaAny(2023).Encontrado);
    baseDatos->Close();
  }
}

// A file that cannot be written opens read-only, and the store says so: the lookups work,
// every write fails with the dataset's error and leaves the table browsing and the rows as they were. The
// engine takes a file without its owner's write permission as read-only whoever opens
// it, so removing the permission works under root too.
TEST_F(LimitesZDB, AReadOnlyFileIsReadButRefusesEveryWrite) {
  const TLimitesAny a2023{2023, 3059.23, 4495.5};
  for (const bool porPermisos : {true, false}) {
    SCOPED_TRACE(porPermisos ? "file without write permission" : "component opened read-only");
    std::filesystem::remove(path);
    pruebas::CreaFicheroLimites(path, {a2023}, TPorcentajes{3, 4});
    const auto baseDatos = TLimitesZDB::CreaComponente(path);
    if (porPermisos) {
      std::filesystem::permissions(path, std::filesystem::perms::all & ~std::filesystem::perms::owner_write &
                                             ~std::filesystem::perms::group_write &
                                             ~std::filesystem::perms::others_write);
    } else {
      baseDatos->SetReadOnly(true);
    }
    TLimitesZDB limites(baseDatos);
    EXPECT_TRUE(limites.SoloLectura());
    EXPECT_EQ(limites.ConsultaAny(2023).Fila, a2023);
    EXPECT_EQ(limites.LeePorcentajes(), (TPorcentajes{3, 4}));

    limites.AbreMaximo();
    for (const auto& write : {std::function<void()>([&] { limites.GuardaAny({2024, 3175.04, 4720.5}); }),
                              std::function<void()>([&] { limites.GuardaAny({2023, 1, 2}); }),
                              std::function<void()>([&] { limites.BorraAnyActual(); }),
                              std::function<void()>([&] { limites.GuardaPorcentajes({5, 6}); })}) {
      EXPECT_EQ(DatasetErrorOf(write), "Cannot modify a read-only dataset");
      EXPECT_EQ(limites.Maximo().State(), data::TDataSetState::dsBrowse);
    }
    limites.CierraMaximo();
    EXPECT_EQ(limites.ConsultaAny(2023).Fila, a2023);
    EXPECT_FALSE(limites.ConsultaAny(2024).Encontrado);
    EXPECT_EQ(limites.LeePorcentajes(), (TPorcentajes{3, 4}));
  }
}

}  // namespace
