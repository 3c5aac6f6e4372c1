// The read-only grid over a dataset: what it shows, and how it follows the dataset's
// moves, edits and re-reads, and hands the user's moves back.
#include "ui/ModeloRejilla.h"

#include "engine/base/ZDBLocale.h"
#include "engine/framework/DataSet.h"
#include "engine/framework/DataSource.h"
#include "support/Ventanas.h"
#include "tests/store/support/LimitesMemoria.h"

#include <QHeaderView>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using pruebas::TLimitesMemoria;

const std::vector<TColumnaRejilla> ColumnasMaximo = {
    {CampoAny, QStringLiteral("Año"), 77, {}},
    {CampoPenMax, QStringLiteral("Pen. Máx"), 85, "#,##0.00"},
    {CampoTopeCot, QStringLiteral("Tope Cot."), 85, "#,##0.00"},
};

class Rejilla : public ::testing::Test {
 protected:
  // The texts of one column, top to bottom.
  QStringList Columna(int columna) const {
    QStringList textos;
    for (int fila = 0; fila < Modelo.rowCount(); ++fila) textos << Modelo.index(fila, columna).data().toString();
    return textos;
  }
  QStringList Anys() const { return Columna(0); }
  // Years 2001, 2002 ... as many as asked.
  void AnadeAnys(int cuantos) {
    for (int i = 1; i <= cuantos; ++i) Limites.MaximoMemoria.AnadeFila({2000 + i, 1000.0 + i, 2000.0 + i});
  }

  TLimitesMemoria Limites;
  data::TDataSet& Maximo = Limites.Maximo();
  data::TDataSource Fuente{&Maximo};
  TModeloRejilla Modelo{Fuente, ColumnasMaximo};
};

TEST_F(Rejilla, ShowsEveryRowInSpanishNotationWhateverTheLocale) {
  const std::string localeAnterior = zdb::DefaultLocaleName();
  zdb::SetDefaultLocale("en_US");
  Limites.MaximoMemoria.AnadeFila({2023, 3059.23, 1234567.891});
  Limites.MaximoMemoria.AnadeFila({2022, 0.005, std::nullopt});
  Limites.MaximoMemoria.AnadeFila({2024, 112, -4720.5});
  Limites.AbreMaximo();
  EXPECT_EQ(Anys(), (QStringList{"2022", "2023", "2024"}));
  EXPECT_EQ(Columna(1), (QStringList{"0,01", "3.059,23", "112,00"}));
  EXPECT_EQ(Columna(2), (QStringList{"", "1.234.567,89", "-4.720,50"}));  // NULL shows empty
  zdb::SetDefaultLocale(localeAnterior);

  for (int columna = 0; columna < 3; ++columna) {
    EXPECT_EQ(Modelo.headerData(columna, Qt::Horizontal).toString(), ColumnasMaximo[columna].Titulo);
    EXPECT_EQ(Modelo.headerData(columna, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>(),
              Qt::AlignCenter);
    EXPECT_EQ(Modelo.index(0, columna).data(Qt::TextAlignmentRole).value<Qt::Alignment>(),
              Qt::AlignRight | Qt::AlignVCenter);
    EXPECT_FALSE(Modelo.flags(Modelo.index(0, columna)) & Qt::ItemIsEditable);
  }
  EXPECT_FALSE(Modelo.setData(Modelo.index(0, 1), "1"));
  EXPECT_EQ(Modelo.index(3, 0).data(), QVariant());
}

TEST_F(Rejilla, KeepsEveryRowHoweverManyAndWhateverTheActiveOne) {
  AnadeAnys(60);
  Limites.AbreMaximo();
  EXPECT_EQ(Modelo.rowCount(), 60);
  Maximo.Last();
  EXPECT_EQ(Modelo.FilaActiva(), 59);
  EXPECT_EQ(Anys().front(), "2001");
  EXPECT_EQ(Anys().back(), "2060");

  // Another writer adds rows; a re-read shows them all.
  Limites.MaximoMemoria.AnadeFila({2061, 1, 2});
  Limites.MaximoMemoria.AnadeFila({2062, 1, 2});
  Maximo.Refresh();
  EXPECT_EQ(Modelo.rowCount(), 62);
  EXPECT_EQ(Anys().back(), "2062");

  Limites.MaximoMemoria.VaciaFilas();
  Maximo.Refresh();
  EXPECT_EQ(Modelo.rowCount(), 0);
  EXPECT_EQ(Modelo.FilaActiva(), -1);
}

TEST_F(Rejilla, FollowsEditsInsertsDeletesAndClosing) {
  AnadeAnys(3);
  EXPECT_EQ(Modelo.rowCount(), 0);  // closed
  Limites.AbreMaximo();
  ASSERT_EQ(Anys(), (QStringList{"2001", "2002", "2003"}));

  Limites.GuardaAny({2002, 2500, 4000.5});
  EXPECT_EQ(Columna(2), (QStringList{"2.001,00", "4.000,50", "2.003,00"}));
  EXPECT_EQ(Modelo.FilaActiva(), 1);

  Maximo.Insert();  // a row being inserted shows where it goes
  EXPECT_EQ(Modelo.rowCount(), 4);
  EXPECT_EQ(Anys(), (QStringList{"2001", "", "2002", "2003"}));
  Maximo.FieldByName(CampoAny).SetAsInteger(1999);
  EXPECT_EQ(Modelo.index(1, 0).data().toString(), "1999");  // typed values show at once
  Maximo.Cancel();
  EXPECT_EQ(Anys(), (QStringList{"2001", "2002", "2003"}));

  Limites.GuardaAny({2000, 1, 2});
  EXPECT_EQ(Anys(), (QStringList{"2000", "2001", "2002", "2003"}));
  EXPECT_EQ(Modelo.FilaActiva(), 0);
  Limites.BuscaAny(2003);
  Limites.BorraAnyActual();
  EXPECT_EQ(Anys(), (QStringList{"2000", "2001", "2002"}));

  Limites.CierraMaximo();
  EXPECT_EQ(Modelo.rowCount(), 0);
  Limites.AbreMaximo();
  EXPECT_EQ(Modelo.rowCount(), 3);
}

TEST_F(Rejilla, TheViewsCurrentRowIsTheDatasetsActiveRecord) {
  AnadeAnys(30);
  Limites.AbreMaximo();
  QTableView vista;
  vista.resize(296, 150);
  MuestraRejilla(vista, Modelo);
  ASSERT_TRUE(MuestraActiva(vista));
  EXPECT_TRUE(vista.verticalHeader()->isHidden());
  EXPECT_EQ(vista.editTriggers(), QAbstractItemView::NoEditTriggers);
  EXPECT_EQ(vista.columnWidth(0), 77);
  EXPECT_EQ(vista.columnWidth(2), 85);
  EXPECT_EQ(vista.currentIndex().row(), 0);

  // The dataset moves: the grid follows, and scrolls to keep the row in sight.
  Maximo.Last();
  EXPECT_EQ(vista.currentIndex().row(), 29);
  EXPECT_TRUE(vista.viewport()->rect().intersects(vista.visualRect(vista.currentIndex())));
  EXPECT_EQ(vista.selectionModel()->selectedRows().size(), 1);
  Limites.BuscaAny(2010);
  EXPECT_EQ(vista.currentIndex().row(), 9);

  // The user moves in the grid: the dataset follows.
  vista.setFocus();
  QTest::keyClick(&vista, Qt::Key_Down);
  EXPECT_EQ(Maximo.FieldByName(CampoAny).AsInteger(), 2011);
  vista.scrollToTop();
  const QModelIndex segunda = Modelo.index(1, 1);
  QTest::mouseClick(vista.viewport(), Qt::LeftButton, {}, vista.visualRect(segunda).center());
  EXPECT_EQ(Maximo.FieldByName(CampoAny).AsInteger(), 2002);
  EXPECT_EQ(Limites.AnyActual()->Any, 2002);

  // Saving a new year makes its row the current one, in year order.
  Limites.GuardaAny({2000, 1, 2});
  EXPECT_EQ(vista.currentIndex().row(), 0);
  EXPECT_EQ(vista.currentIndex().data().toString(), "2000");
}

TEST(RejillaSinFuente, OutlivesItsSourceAndDataset) {
  auto limites = std::make_unique<TLimitesMemoria>(std::initializer_list<TLimitesAny>{{2022, 1, 2}});
  auto fuente = std::make_unique<data::TDataSource>(&limites->Maximo());
  TModeloRejilla modelo(*fuente, ColumnasMaximo);
  limites->AbreMaximo();
  EXPECT_EQ(modelo.rowCount(), 1);
  limites.reset();
  EXPECT_EQ(modelo.rowCount(), 0);
  fuente.reset();
  EXPECT_EQ(modelo.rowCount(), 0);
  EXPECT_EQ(modelo.FilaActiva(), -1);
  modelo.IrAFila(0);  // nothing to move
}

}  // namespace
