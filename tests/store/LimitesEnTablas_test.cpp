// The limits' read and write sequences over tables that keep their rows in year order.
#include "store/LimitesEnTablas.h"

#include "engine/framework/DataSet.h"
#include "engine/framework/DatabaseError.h"
#include "tests/store/support/LimitesMemoria.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace {

using pruebas::TLimitesMemoria;

const TLimitesAny A2022{2022, 2819.18, 4139.40};
const TLimitesAny A2023{2023, 3059.23, 4495.50};
const TLimitesAny A2024{2024, 3175.04, 4720.50};

std::string ErrorDe(const std::function<void()>& accion) {
  try {
    accion();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(ConsultaAny, FindsTheYearOrTheRowAnEstimateStartsFrom) {
  struct Caso {
    std::vector<TLimitesAny> Guardados;
    int32_t Any;
    bool Encontrado;
    std::optional<TLimitesAny> Fila;
  };
  const Caso casos[] = {
      {{A2022, A2023, A2024}, 2023, true, A2023},
      {{A2022, A2023, A2024}, 2025, false, A2023},  // after the last: the one before the last
      {{A2022, A2023, A2024}, 2060, false, A2023},
      {{A2022, A2023, A2024}, 2021, false, A2022},  // before the first: the first
      {{A2022, A2024}, 2023, false, A2022},         // between: the latest before it
      {{A2024}, 2030, false, A2024},
      {{}, 2023, false, std::nullopt},
  };
  for (const Caso& caso : casos) {
    TLimitesMemoria limites;
    for (const TLimitesAny& fila : caso.Guardados)
      limites.MaximoMemoria.AnadeFila({fila.Any, fila.PenMax, fila.TopeCot});
    const TConsultaAny consulta = limites.ConsultaAny(caso.Any);
    EXPECT_EQ(consulta.Encontrado, caso.Encontrado) << caso.Any;
    EXPECT_EQ(consulta.Fila, caso.Fila) << caso.Any;
    EXPECT_FALSE(limites.Maximo().Active()) << "a lookup closes the table it opened";
  }
}

TEST(ConsultaAny, LeavesATableThatWasOpenOpenAndClosesOneItOpenedAfterAFailure) {
  TLimitesMemoria limites{A2022, A2023};
  limites.AbreMaximo();
  EXPECT_TRUE(limites.ConsultaAny(2023).Encontrado);
  EXPECT_TRUE(limites.Maximo().Active());
  limites.CierraMaximo();

  limites.MaximoMemoria.FallaApertura("Table is locked");
  EXPECT_EQ(ErrorDe([&] { limites.ConsultaAny(2023); }), "Table is locked");
  EXPECT_FALSE(limites.Maximo().Active());
  EXPECT_TRUE(limites.ConsultaAny(2022).Encontrado);  // nothing stuck
  EXPECT_EQ(limites.MaximoMemoria.Aperturas(), limites.MaximoMemoria.Cierres());
}

TEST(LeePorcentajes, ReadsTheFirstRowAndClosesControl) {
  TLimitesMemoria limites;
  EXPECT_EQ(limites.LeePorcentajes(), std::nullopt);
  limites.PonPorcentajes({3, 4});
  limites.PonPorcentajes({9, 9});
  EXPECT_EQ(limites.LeePorcentajes(), (TPorcentajes{3, 4}));
  EXPECT_EQ(limites.ControlMemoria.Cierres(), 2);
  EXPECT_FALSE(limites.ControlMemoria.Active());
}

TEST(GuardaAny, UpdatesAStoredYearAndInsertsANewOneInYearOrder) {
  TLimitesMemoria limites{A2022, A2024};
  limites.AbreMaximo();
  limites.GuardaAny({2024, 3200, 4800});
  limites.GuardaAny({2023, 3059.23, 4495.5});
  EXPECT_EQ(limites.FilasMaximo(),
            (std::vector<TLimitesAny>{A2022, {2023, 3059.23, 4495.5}, {2024, 3200, 4800}}));
  EXPECT_EQ(limites.AnyActual(), (TLimitesAny{2023, 3059.23, 4495.5}));  // the saved row is current
  EXPECT_EQ(limites.BuscaAny(2024), (TLimitesAny{2024, 3200, 4800}));
  EXPECT_EQ(limites.BuscaAny(2030), std::nullopt);
  EXPECT_EQ(limites.AnyActual()->Any, 2024) << "a failed search leaves the current row";
}

TEST(GuardaAny, AFailedPostLeavesTheTableBrowsingAndUnchanged) {
  TLimitesMemoria limites{A2022};
  limites.AbreMaximo();
  for (const int32_t any : {2022, 2023}) {
    limites.MaximoMemoria.FallaGrabacion("Key violation");
    EXPECT_EQ(ErrorDe([&] { limites.GuardaAny({any, 1, 2}); }), "Key violation");
    EXPECT_EQ(limites.Maximo().State(), data::TDataSetState::dsBrowse);
    EXPECT_EQ(limites.FilasMaximo(), std::vector<TLimitesAny>{A2022});
  }
}

TEST(UltimoAnyYBorraAnyActual, WorkOnTheCurrentRow) {
  TLimitesMemoria limites{A2022, A2023, A2024};
  limites.AbreMaximo();
  EXPECT_EQ(limites.UltimoAny(), 2024);
  ASSERT_TRUE(limites.BuscaAny(2023));
  limites.BorraAnyActual();
  EXPECT_EQ(limites.AnysGuardados(), (std::vector<int32_t>{2022, 2024}));
  limites.BorraAnyActual();
  limites.BorraAnyActual();
  EXPECT_EQ(limites.UltimoAny(), std::nullopt);
  EXPECT_EQ(limites.AnyActual(), std::nullopt);
  EXPECT_NE(ErrorDe([&] { limites.BorraAnyActual(); }), "(no error)");
}

TEST(GuardaPorcentajes, CreatesTheFirstRowOfAnEmptyControlThenUpdatesIt) {
  TLimitesMemoria limites;
  limites.GuardaPorcentajes({3, 4});
  EXPECT_EQ(limites.FilasControl(), (std::vector<TPorcentajes>{TPorcentajes{3, 4}}));
  limites.GuardaPorcentajes({2.5, 3.5});
  EXPECT_EQ(limites.FilasControl(), (std::vector<TPorcentajes>{TPorcentajes{2.5, 3.5}}));
  EXPECT_EQ(limites.LeePorcentajes(), (TPorcentajes{2.5, 3.5}));

  limites.ControlMemoria.FallaGrabacion("Post refused");
  EXPECT_EQ(ErrorDe([&] { limites.GuardaPorcentajes({1, 1}); }), "Post refused");
  EXPECT_EQ(limites.ControlMemoria.State(), data::TDataSetState::dsBrowse);
  EXPECT_EQ(limites.LeePorcentajes(), (TPorcentajes{2.5, 3.5}));
}

}  // namespace
