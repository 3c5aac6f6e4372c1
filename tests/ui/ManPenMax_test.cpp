// The limits maintenance window, driven through its real controls over tables in memory.
#include "ui/ManPenMax.h"

#include "calc/Importe.h"
#include "ui/Calcula.h"
#include "ui/Confirmacion.h"

#include "support/Ventanas.h"
#include "tests/store/support/LimitesMemoria.h"

#include <QDate>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

namespace {

using pruebas::TLimitesMemoria;

const TLimitesAny A2022{2022, 2819.18, 4139.40};
const TLimitesAny A2023{2023, 3059.23, 4495.50};
const TLimitesAny A2024{2024, 3175.04, 4720.50};

const QString PensionSuperior = QStringLiteral("La pensión máxima no puede ser superior al tope de cotizacion");

QColor Amarillo() {
  return QApplication::palette().color(QPalette::ToolTipBase);
}

class VentanaLimites : public ::testing::Test {
 protected:
  // Opens the window on the rows stored now, as the user sees it.
  void Abre() {
    Ventana = std::make_unique<TFormManPenMax>(nullptr, Limites);
    ASSERT_TRUE(MuestraActiva(*Ventana));
  }

  template <typename T = QWidget>
  T& De(const char* nombre) {
    return Control<T>(*Ventana, nombre);
  }
  QLineEdit& Campo(const char* nombre) { return De<QLineEdit>(nombre); }
  QSpinBox& Any() { return De<QSpinBox>("Any"); }
  QTableView& Rejilla() { return De<QTableView>("DBGrid1"); }
  bool Visible(const char* nombre) { return De(nombre).isVisibleTo(Ventana.get()); }
  bool Activo(const char* nombre) { return De(nombre).isEnabled(); }
  QColor Fondo(const char* nombre) { return De(nombre).palette().color(QPalette::Window); }
  QStringList AnysRejilla() {
    QStringList anys;
    for (int fila = 0; fila < Rejilla().model()->rowCount(); ++fila)
      anys << Rejilla().model()->index(fila, 0).data().toString();
    return anys;
  }

  void Teclea(const char* nombre, const QString& teclas) {
    QWidget& control = De(nombre);
    control.setFocus(Qt::TabFocusReason);
    QTest::keyClicks(&control, teclas);
  }
  void Pulsa(const char* nombre, Qt::Key tecla) {
    QWidget& control = De(nombre);
    control.setFocus(Qt::TabFocusReason);
    QTest::keyClick(&control, tecla);
  }
  void Clic(const char* nombre) { QTest::mouseClick(&De(nombre), Qt::LeftButton); }
  void ClicEnAny(int32_t any, bool doble = false) {
    const QStringList anys = AnysRejilla();
    const auto fila = static_cast<int>(anys.indexOf(QString::number(any)));
    ASSERT_GE(fila, 0) << any;
    Rejilla().scrollTo(Rejilla().model()->index(fila, 0));
    const QPoint donde = Rejilla().visualRect(Rejilla().model()->index(fila, 0)).center();
    QTest::mouseClick(Rejilla().viewport(), Qt::LeftButton, {}, donde);
    if (doble) QTest::mouseDClick(Rejilla().viewport(), Qt::LeftButton, {}, donde);
  }

  // Idle: no year being edited, grid and percentages usable.
  void EsperaReposo() {
    EXPECT_FALSE(Visible("BotOK"));
    EXPECT_FALSE(Visible("BotCancelar"));
    EXPECT_TRUE(Visible("BotEditar"));
    EXPECT_TRUE(Activo("BotEditar"));
    EXPECT_TRUE(Activo("BotBorrar"));
    EXPECT_TRUE(Activo("Panel4"));
    EXPECT_TRUE(Activo("PanelInferior"));
    EXPECT_TRUE(Activo("PanelSuperior"));
    EXPECT_TRUE(Activo("Panel1"));
    EXPECT_TRUE(Activo("Any"));
    EXPECT_NE(Fondo("Panel1"), Amarillo());
    EXPECT_NE(Fondo("PanelSuperior"), Amarillo());
    EXPECT_FALSE(Visible("LSoloLectura"));
  }

  TLimitesMemoria Limites{A2022, A2023, A2024};
  TRegistroErrores Errores;
  TRegistroPreguntas Preguntas;
  std::unique_ptr<TFormManPenMax> Ventana;
};

TEST_F(VentanaLimites, ControlsHaveTheirPlacesCaptionsAndHints) {
  Limites.PonPorcentajes({3, 4});
  Abre();
  EXPECT_EQ(Ventana->windowTitle(), QStringLiteral("Incrementos % y Pensión Máxima/Tope Cot."));
  EXPECT_EQ(Ventana->frameGeometry().size(), QSize(431, 324));
  EXPECT_TRUE(Ventana->isModal());
  EXPECT_EQ(De("PanelSuperior").geometry(), QRect(0, 0, Ventana->width(), 57));
  EXPECT_EQ(De("Panel1").geometry(), QRect(0, 57, Ventana->width(), 72));
  EXPECT_EQ(De("PanelInferior").y(), 129);
  EXPECT_EQ(De("PanelInferior").height(), Ventana->height() - 129);
  EXPECT_EQ(De("Panel4").geometry(), QRect(0, 0, 296, De("PanelInferior").height()));

  struct Lugar {
    const char* Nombre;
    int X, Y;
    const char* Texto;  // caption or hint; nullptr: none to check
  };
  const Lugar lugares[] = {
      {"Label4", 16, 8, "% estimado P.Máx"},  {"Label5", 136, 8, "% estimado Tope Cot."},
      {"EPorPMax", 34, 24, nullptr},          {"EPorTCot", 160, 24, nullptr},
      {"BotConfirmaPor", 298, 19, "Confirmar datos"}, {"BotCancelaPor", 352, 19, "Cancelar datros"},
      {"Label1", 32, 15, "Año"},              {"Label2", 104, 16, "Pensión Máx"},
      {"Label3", 200, 16, "Tope Cot."},       {"Any", 16, 32, nullptr},
      {"EPenMax", 88, 32, nullptr},           {"ETopeCot", 194, 32, nullptr},
      {"BotOK", 298, 34, "Confirmar datos"},  {"BotCancelar", 352, 35, "Cancelar datros"},
  };
  for (const Lugar& lugar : lugares) {
    const QWidget& control = De(lugar.Nombre);
    EXPECT_EQ(control.pos(), QPoint(lugar.X, lugar.Y)) << lugar.Nombre;
    if (!lugar.Texto) continue;
    const QString esperado = QString::fromUtf8(lugar.Texto);
    if (const auto* etiqueta = qobject_cast<const QLabel*>(&control)) {
      EXPECT_EQ(etiqueta->text(), esperado);
    } else {
      EXPECT_EQ(control.toolTip(), esperado) << lugar.Nombre;
      EXPECT_FALSE(qobject_cast<const QToolButton*>(&control)->icon().isNull()) << lugar.Nombre;
    }
  }
  EXPECT_EQ(Campo("EPorPMax").width(), 54);
  EXPECT_EQ(Campo("EPorTCot").width(), 51);
  EXPECT_EQ(Campo("EPenMax").width(), 89);
  EXPECT_EQ(Campo("ETopeCot").width(), 89);
  EXPECT_EQ(Any().minimum(), 2022);
  EXPECT_EQ(Any().maximum(), 2060);
  EXPECT_EQ(De<QPushButton>("BotEditar").text(), "Editar");
  EXPECT_EQ(De("BotEditar").toolTip(), QStringLiteral("Editar año"));
  EXPECT_EQ(De<QPushButton>("BotBorrar").text(), "Borrar");
  EXPECT_EQ(De("BotBorrar").toolTip(), QStringLiteral("Borrar año"));
  EXPECT_EQ(De<QLabel>("Label6").text(), "Doble click edita");
  EXPECT_TRUE(De("Panel2").geometry().left() >= 296);

  const QHeaderView& titulos = *Rejilla().horizontalHeader();
  const QStringList esperados = {QStringLiteral("Año"), QStringLiteral("Pen. Máx"), QStringLiteral("Tope Cot.")};
  for (int columna = 0; columna < 3; ++columna) {
    EXPECT_EQ(Rejilla().model()->headerData(columna, Qt::Horizontal).toString(), esperados[columna]);
    EXPECT_EQ(titulos.sectionSize(columna), columna == 0 ? 77 : 85);
  }
  EXPECT_EQ(AnysRejilla(), (QStringList{"2022", "2023", "2024"}));
  EXPECT_EQ(Rejilla().model()->index(1, 1).data().toString(), "3.059,23");
  EXPECT_EQ(Rejilla().model()->index(1, 2).data().toString(), "4.495,50");
}

TEST_F(VentanaLimites, OpensOnTheYearAfterTheLastWithThePercentages) {
  Limites.PonPorcentajes({3, 4.5});
  Abre();
  EXPECT_EQ(Any().value(), 2025);
  EXPECT_EQ(Campo("EPenMax").text(), "");
  EXPECT_EQ(Campo("ETopeCot").text(), "");
  EXPECT_EQ(Campo("EPorPMax").text(), "3");
  EXPECT_EQ(Campo("EPorTCot").text(), "4,5");
  EXPECT_FALSE(Visible("BotConfirmaPor"));
  EXPECT_FALSE(Visible("BotCancelaPor"));
  EXPECT_EQ(QApplication::focusWidget(), &Campo("EPenMax"));
  EXPECT_TRUE(Limites.Maximo().Active());
  EXPECT_FALSE(Limites.ControlMemoria.Active());
  EsperaReposo();
  EXPECT_EQ(Errores.Textos, QStringList());

  // Closing the window closes the table.
  Ventana.reset();
  EXPECT_FALSE(Limites.Maximo().Active());
}

TEST_F(VentanaLimites, OpensOnTheLastYearTheEditorAllowsWithItsValues) {
  Limites.MaximoMemoria.AnadeFila({2060, 5000.5, 7000});
  Abre();
  EXPECT_EQ(Any().value(), 2060);
  EXPECT_EQ(Campo("ETopeCot").text(), "7.000,00");
  // Focus went to EPenMax, which shows the plain form while it is being typed in.
  EXPECT_EQ(Campo("EPenMax").text(), "5000,5");
  EXPECT_TRUE(Visible("BotOK"));
  EXPECT_TRUE(Visible("BotCancelar"));
  EXPECT_FALSE(Activo("Panel4"));
}

TEST_F(VentanaLimites, AnEmptyTableProposesThisYear) {
  Limites.MaximoMemoria.VaciaFilas();
  Abre();
  EXPECT_EQ(Any().value(), std::clamp(QDate::currentDate().year(), 2022, 2060));
  EXPECT_EQ(Errores.Textos, QStringList());
  EXPECT_EQ(Campo("EPorPMax").text(), "");  // no row in "Control" either
  EsperaReposo();

  // Nothing to edit or delete.
  Clic("BotEditar");
  Clic("BotBorrar");
  EXPECT_EQ(Preguntas.Preguntas, QStringList());
  EsperaReposo();

  // The first year saved makes the next one the proposal.
  const int32_t primero = Any().value();
  Teclea("EPenMax", "3000");
  Teclea("ETopeCot", "4000");
  Pulsa("ETopeCot", Qt::Key_Return);
  EXPECT_EQ(Limites.FilasMaximo(), (std::vector<TLimitesAny>{{primero, 3000, 4000}}));
  EXPECT_EQ(Any().value(), std::min(primero + 1, 2060));
}

TEST_F(VentanaLimites, TypingAYearLocksTheGridAndThePercentages) {
  Abre();
  Teclea("EPenMax", "3");
  EXPECT_FALSE(Visible("BotOK"));  // both amounts are needed
  EXPECT_TRUE(Visible("BotCancelar"));
  EXPECT_FALSE(Activo("Panel4"));
  EXPECT_FALSE(Activo("PanelSuperior"));
  EXPECT_FALSE(Activo("BotEditar"));
  EXPECT_FALSE(Activo("BotBorrar"));
  EXPECT_EQ(Fondo("Panel1"), Amarillo());
  Teclea("ETopeCot", "4");
  EXPECT_TRUE(Visible("BotOK"));

  // Emptying both fields unlocks everything.
  Campo("ETopeCot").clear();
  EXPECT_FALSE(Visible("BotOK"));
  Campo("EPenMax").clear();
  EsperaReposo();

  // Cancelling throws the typed amounts away.
  Teclea("EPenMax", "3");
  Clic("BotCancelar");
  EXPECT_EQ(Campo("EPenMax").text(), "");
  EXPECT_EQ(Any().value(), 2025);
  EXPECT_EQ(QApplication::focusWidget(), &Campo("EPenMax"));
  EsperaReposo();
  EXPECT_EQ(Limites.AnysGuardados(), (std::vector<int32_t>{2022, 2023, 2024}));
}

TEST_F(VentanaLimites, ConfirmingAYearSavesItAndProposesTheNext) {
  Abre();
  Teclea("EPenMax", "3267.6");
  Pulsa("EPenMax", Qt::Key_Return);
  EXPECT_EQ(QApplication::focusWidget(), &Campo("ETopeCot"));
  EXPECT_EQ(Campo("EPenMax").text(), "3.267,60");  // formatted on leaving
  QTest::keyClicks(&Campo("ETopeCot"), "4909,5");
  Pulsa("ETopeCot", Qt::Key_Return);
  EXPECT_EQ(Errores.Textos, QStringList());
  EXPECT_EQ(Limites.FilasMaximo().back(), (TLimitesAny{2025, 3267.6, 4909.5}));
  EXPECT_EQ(AnysRejilla().back(), "2025");
  EXPECT_EQ(Rejilla().model()->index(3, 1).data().toString(), "3.267,60");
  EXPECT_EQ(Any().value(), 2026);
  EXPECT_EQ(Campo("EPenMax").text(), "");
  EXPECT_EQ(Campo("ETopeCot").text(), "");
  EXPECT_EQ(QApplication::focusWidget(), &Campo("EPenMax"));
  EsperaReposo();

  // BotOK does the same; a year already stored is overwritten.
  Any().setValue(2023);
  EXPECT_EQ(Campo("EPenMax").text(), "3.059,23");
  Campo("ETopeCot").setText("5000");
  Clic("BotOK");
  EXPECT_EQ(Limites.FilasMaximo()[1], (TLimitesAny{2023, 3059.23, 5000}));
  EXPECT_EQ(Limites.FilasMaximo().size(), 4U);
}

TEST_F(VentanaLimites, AYearIsRefusedWithTheFocusOnTheOffendingField) {
  struct Caso {
    const char* Pension;
    const char* Tope;
    QString Error;  // empty: saved
  };
  const Caso casos[] = {
      {"5000", "4000", PensionSuperior},
      {"", "4000", QStringLiteral("Pensión Máxima en blanco")},
      {"", "", QStringLiteral("Pensión Máxima en blanco")},  // two stray Enters store nothing
      {"4000", "", PensionSuperior},
      {"4000", "4000", {}},
  };
  for (const Caso& caso : casos) {
    Abre();
    Errores.Textos.clear();
    Campo("EPenMax").setText(caso.Pension);
    Campo("ETopeCot").setText(caso.Tope);
    Pulsa("ETopeCot", Qt::Key_Return);
    if (caso.Error.isEmpty()) {
      EXPECT_EQ(Errores.Textos, QStringList());
      EXPECT_EQ(Limites.FilasMaximo().back(), (TLimitesAny{2025, 4000, 4000}));
      continue;
    }
    EXPECT_EQ(Errores.Textos, QStringList{caso.Error}) << caso.Pension << " / " << caso.Tope;
    EXPECT_EQ(QApplication::focusWidget(), &Campo("EPenMax"));
    EXPECT_EQ(Limites.AnysGuardados(), (std::vector<int32_t>{2022, 2023, 2024}));
    EXPECT_EQ(Any().value(), 2025);
    EXPECT_EQ(ValorNum(Campo("ETopeCot").text().toStdString()), ValorNum(caso.Tope));
  }
}

TEST_F(VentanaLimites, EditingAGridRowLocksTheYearAndGivesItBackAfterwards) {
  Abre();
  ClicEnAny(2023);
  EXPECT_EQ(Limites.AnyActual()->Any, 2023);
  Clic("BotEditar");
  EXPECT_EQ(Any().value(), 2023);
  EXPECT_FALSE(Activo("Any"));
  EXPECT_EQ(Any().palette().color(QPalette::Base), Ventana->palette().color(QPalette::Midlight));
  EXPECT_EQ(Campo("EPenMax").text(), "3059,23");
  EXPECT_EQ(Campo("ETopeCot").text(), "4495,5");
  EXPECT_EQ(Campo("EPenMax").selectedText(), "3059,23");
  EXPECT_EQ(QApplication::focusWidget(), &Campo("EPenMax"));
  EXPECT_TRUE(Visible("BotOK"));
  EXPECT_TRUE(Visible("BotCancelar"));
  EXPECT_FALSE(Visible("BotEditar"));
  EXPECT_FALSE(Visible("BotBorrar"));
  EXPECT_FALSE(Activo("PanelInferior"));
  EXPECT_FALSE(Activo("PanelSuperior"));

  QTest::keyClicks(&Campo("EPenMax"), "3100");  // replaces the selected text
  Clic("BotOK");
  EXPECT_EQ(Limites.FilasMaximo()[1], (TLimitesAny{2023, 3100, 4495.5}));
  EXPECT_EQ(Any().value(), 2025);
  EXPECT_EQ(Any().palette().color(QPalette::Base), QColor(Qt::white));
  EsperaReposo();

  // A double click edits too; cancelling leaves the row as it was.
  ClicEnAny(2022, /*doble=*/true);
  EXPECT_EQ(Any().value(), 2022);
  EXPECT_EQ(Campo("ETopeCot").text(), "4139,4");
  Clic("BotCancelar");
  EXPECT_EQ(Limites.FilasMaximo()[0], A2022);
  EXPECT_EQ(Any().value(), 2025);
  EsperaReposo();
}

TEST_F(VentanaLimites, AStoredYearOutsideTheEditorsBoundsIsEditedAsItself) {
  Limites.MaximoMemoria.AnadeFila({2019, 2659.41, 4070.10});
  Abre();
  ClicEnAny(2019);
  Clic("BotEditar");
  EXPECT_EQ(Any().value(), 2019);
  EXPECT_EQ(Campo("EPenMax").text(), "2659,41");
  Clic("BotOK");
  EXPECT_EQ(Limites.FilasMaximo().front(), (TLimitesAny{2019, 2659.41, 4070.10}));
  EXPECT_EQ(Limites.FilasMaximo()[1], A2022);
  EXPECT_EQ(Any().minimum(), 2022);
  EXPECT_EQ(Any().value(), 2025);
}

TEST_F(VentanaLimites, DeletingAsksFirst) {
  Abre();
  ClicEnAny(2023);
  Preguntas.Respuesta = false;
  Clic("BotBorrar");
  EXPECT_EQ(Preguntas.Preguntas, QStringList{QStringLiteral("¿Quieres borrar el año 2023?")});
  EXPECT_EQ(Limites.AnysGuardados(), (std::vector<int32_t>{2022, 2023, 2024}));

  Preguntas.Respuesta = true;
  Clic("BotBorrar");
  EXPECT_EQ(Limites.AnysGuardados(), (std::vector<int32_t>{2022, 2024}));
  EXPECT_EQ(AnysRejilla(), (QStringList{"2022", "2024"}));
  EXPECT_EQ(Any().value(), 2025);

  // Deleting the last year proposes it again.
  ClicEnAny(2024);
  Clic("BotBorrar");
  EXPECT_EQ(Any().value(), 2023);
  EXPECT_EQ(Errores.Textos, QStringList());
}

TEST_F(VentanaLimites, EngineFailuresAreShownAndTheEditStays) {
  Abre();
  Teclea("EPenMax", "3000");
  Teclea("ETopeCot", "4000");
  Limites.MaximoMemoria.FallaGrabacion("Record is locked");
  Clic("BotOK");
  EXPECT_EQ(Errores.Textos, QStringList{"Record is locked"});
  EXPECT_EQ(Campo("ETopeCot").text(), "4000");
  EXPECT_TRUE(Visible("BotOK"));
  EXPECT_EQ(Limites.Maximo().State(), data::TDataSetState::dsBrowse);
  Clic("BotOK");  // the second try goes through
  EXPECT_EQ(Limites.FilasMaximo().back(), (TLimitesAny{2025, 3000, 4000}));

  Errores.Textos.clear();
  Preguntas.Respuesta = true;
  Limites.MaximoMemoria.FallaBorrado("Table is read-only");
  Clic("BotBorrar");
  EXPECT_EQ(Errores.Textos, QStringList{"Table is read-only"});
  EXPECT_EQ(Limites.FilasMaximo().size(), 4U);
}

TEST_F(VentanaLimites, AWindowWhoseTableCannotOpenStillCloses) {
  Limites.MaximoMemoria.FallaApertura("File is locked");
  Abre();
  EXPECT_EQ(Errores.Textos, QStringList{"File is locked"});
  EXPECT_EQ(Rejilla().model()->rowCount(), 0);
  Ventana.reset();
}

// On a file open read-only the window shows the years and the percentages, offers no edit
// at all and says why, whether it opens on a new year or on a stored one.
TEST_F(VentanaLimites, AReadOnlyFileIsShownWithEveryEditDisabledAndTheReason) {
  struct Caso {
    const char* Que;
    std::optional<TLimitesAny> Ultimo;  // a stored last year the window opens on
    QStringList Anys;
  };
  const Caso casos[] = {
      {"opening on a new year", std::nullopt, {"2022", "2023", "2024"}},
      {"opening on a stored year", TLimitesAny{2060, 5000.5, 7000}, {"2022", "2023", "2024", "2060"}},
  };
  Limites.PonPorcentajes({3, 4.5});
  Limites.SoloLecturaMemoria = true;
  for (const Caso& caso : casos) {
    SCOPED_TRACE(caso.Que);
    if (caso.Ultimo) Limites.MaximoMemoria.AnadeFila({caso.Ultimo->Any, caso.Ultimo->PenMax, caso.Ultimo->TopeCot});
    const std::vector<TLimitesAny> antes = Limites.FilasMaximo();
    Abre();
    EXPECT_EQ(AnysRejilla(), caso.Anys);
    EXPECT_EQ(Campo("EPorPMax").text(), "3");
    EXPECT_EQ(Campo("EPorTCot").text(), "4,5");
    for (const char* edita : {"EPorPMax", "EPorTCot", "BotConfirmaPor", "BotCancelaPor", "Any", "EPenMax", "ETopeCot",
                              "BotOK", "BotCancelar", "BotEditar", "BotBorrar"}) {
      EXPECT_FALSE(Activo(edita)) << edita;
    }
    EXPECT_FALSE(Visible("BotOK"));
    EXPECT_FALSE(Visible("BotCancelar"));
    EXPECT_TRUE(Activo("DBGrid1"));
    EXPECT_NE(Fondo("Panel1"), Amarillo());
    EXPECT_FALSE(Visible("Label6"));  // "Doble click edita" would promise an edit
    const auto& aviso = De<QLabel>("LSoloLectura");
    EXPECT_TRUE(aviso.isVisible());
    EXPECT_EQ(aviso.text(), QString::fromUtf8(TFormManPenMax::AvisoSoloLectura));
    EXPECT_LE(aviso.heightForWidth(aviso.width()), aviso.height()) << "the note is cut off";

    // A double click on a row starts no edit either; nothing was written or asked.
    ClicEnAny(2023, /*doble=*/true);
    EXPECT_FALSE(Visible("BotOK"));
    EXPECT_FALSE(Activo("EPenMax"));
    EXPECT_EQ(Limites.FilasMaximo(), antes);
    EXPECT_EQ(Preguntas.Preguntas, QStringList());
    EXPECT_EQ(Errores.Textos, QStringList());
    Ventana.reset();
  }
}

TEST_F(VentanaLimites, TypingAPercentageLocksTheYearRow) {
  Limites.PonPorcentajes({3, 4});
  Abre();
  Teclea("EPorPMax", "5");
  EXPECT_TRUE(Visible("BotConfirmaPor"));
  EXPECT_TRUE(Visible("BotCancelaPor"));
  EXPECT_EQ(Fondo("PanelSuperior"), Amarillo());
  EXPECT_FALSE(Activo("Panel1"));
  EXPECT_FALSE(Activo("PanelInferior"));
  Pulsa("EPorPMax", Qt::Key_Return);
  EXPECT_EQ(QApplication::focusWidget(), &Campo("EPorTCot"));

  // Cancelling brings the stored percentages back.
  Clic("BotCancelaPor");
  EXPECT_EQ(Campo("EPorPMax").text(), "3");
  EXPECT_FALSE(Visible("BotConfirmaPor"));
  EXPECT_FALSE(Visible("BotCancelaPor"));
  EsperaReposo();

  // Even a refused character starts the edit; in the cap's field the grid stays usable.
  Teclea("EPorTCot", "x");
  EXPECT_EQ(Campo("EPorTCot").text(), "4");
  EXPECT_FALSE(Activo("Panel1"));
  EXPECT_TRUE(Activo("PanelInferior"));
  EXPECT_TRUE(Visible("BotConfirmaPor"));
}

TEST_F(VentanaLimites, ConfirmingPercentagesSavesThemOrNamesTheBlankOne) {
  struct Caso {
    const char* Pension;
    const char* Tope;
    QString Error;
    const char* Foco;
  };
  const Caso casos[] = {
      {"3", "0", QStringLiteral("% Tope Cotización en blanco"), "EPorTCot"},
      {"3", "", QStringLiteral("% Tope Cotización en blanco"), "EPorTCot"},
      {"", "", QStringLiteral("% Pensión Máxima en blanco"), "EPorPMax"},
      {"0", "4", QStringLiteral("% Pensión Máxima en blanco"), "EPorPMax"},
  };
  Abre();  // "Control" has no row
  for (const Caso& caso : casos) {
    Errores.Textos.clear();
    Campo("EPorPMax").setText(caso.Pension);
    Campo("EPorTCot").setText(caso.Tope);
    Clic("BotConfirmaPor");
    EXPECT_EQ(Errores.Textos, QStringList{caso.Error}) << caso.Pension << " / " << caso.Tope;
    EXPECT_EQ(QApplication::focusWidget(), &Campo(caso.Foco));
    EXPECT_TRUE(Visible("BotConfirmaPor"));
  }
  EXPECT_EQ(Limites.FilasControl(), std::vector<TPorcentajes>{});

  Errores.Textos.clear();
  Campo("EPorPMax").clear();
  Teclea("EPorPMax", "2.5");
  Campo("EPorTCot").clear();
  Teclea("EPorTCot", "3,5");
  Pulsa("EPorTCot", Qt::Key_Return);
  EXPECT_EQ(Errores.Textos, QStringList());
  EXPECT_EQ(Limites.FilasControl(), (std::vector<TPorcentajes>{{2.5, 3.5}}));
  EXPECT_FALSE(Visible("BotConfirmaPor"));
  EsperaReposo();
}

TEST_F(VentanaLimites, KeysFollowTheAmountAndYearRules) {
  Abre();
  struct Caso {
    const char* Campo;
    const char* Teclas;
    const char* Texto;
  };
  // Percentages first: a year being typed would lock them.
  const Caso casos[] = {
      {"EPorPMax", "123456", "12345"}, {"EPorTCot", "1..5", "1,5"},    {"EPenMax", "12.5,3", "12,53"},
      {"EPenMax", "1a2-3+", "123"},    {"ETopeCot", "123456789", "12345678"},
  };
  for (const Caso& caso : casos) {
    if (std::string(caso.Campo) == "EPenMax") Clic("BotCancelaPor");
    Campo(caso.Campo).clear();
    Teclea(caso.Campo, caso.Teclas);
    EXPECT_EQ(Campo(caso.Campo).text(), caso.Texto) << caso.Campo << " " << caso.Teclas;
  }
  Clic("BotCancelar");
  EsperaReposo();

  Teclea("Any", "+");
  EXPECT_EQ(Any().value(), 2026);
  Teclea("Any", "--a,");
  EXPECT_EQ(Any().value(), 2024);
  EXPECT_EQ(Campo("EPenMax").text(), "3.175,04");  // each change looks the year up
  Any().setValue(2060);
  Teclea("Any", "+");
  EXPECT_EQ(Any().value(), 2060);
  EXPECT_EQ(Errores.Textos, QStringList());
}

TEST(Confirmacion, AsksWithSiAndNoAndNoIsTheSafeAnswer) {
  const std::unique_ptr<QMessageBox> caja = CajaConfirmacion(nullptr, QStringLiteral("¿Quieres borrar el año 2023?"));
  EXPECT_EQ(caja->windowTitle(), QStringLiteral("Confirmación"));
  EXPECT_EQ(caja->text(), QStringLiteral("¿Quieres borrar el año 2023?"));
  EXPECT_EQ(caja->icon(), QMessageBox::Question);
  QStringList botones;
  for (QAbstractButton* boton : caja->buttons()) botones << boton->text();
  botones.sort();
  EXPECT_EQ(botones, (QStringList{"&No", "&Si"}));
  EXPECT_EQ(caja->defaultButton()->text(), "&No");
  EXPECT_EQ(caja->escapeButton()->text(), "&No");

  // The real box, answered by a click on each button.
  for (const char* respuesta : {"&Si", "&No"}) {
    QTimer::singleShot(0, [respuesta] {
      for (QWidget* ventana : QApplication::topLevelWidgets()) {
        auto* abierta = qobject_cast<QMessageBox*>(ventana);
        if (abierta == nullptr || !abierta->isVisible()) continue;
        for (QAbstractButton* boton : abierta->buttons())
          if (boton->text() == respuesta) boton->click();
      }
    });
    EXPECT_EQ(Confirma(nullptr, "?"), respuesta == std::string("&Si")) << respuesta;
  }
}

TEST(VentanaCalculoConLimites, BotMaxOpensTheMaintenanceWindowModally) {
  TFormCalculo calculo;
  int aperturas = 0;
  calculo.FijaLimites([&aperturas] {
    ++aperturas;
    return std::make_unique<TLimitesMemoria>(std::initializer_list<TLimitesAny>{A2022});
  });
  QString titulo;
  QTimer::singleShot(0, [&titulo] {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      titulo = modal->windowTitle();
      modal->close();
    }
  });
  calculo.BotMaxClick();
  EXPECT_EQ(aperturas, 1);
  EXPECT_EQ(titulo, QStringLiteral("Incrementos % y Pensión Máxima/Tope Cot."));
}

}  // namespace
