#include "ui/Calcula.h"

#include "calc/Demora.h"
#include "calc/Importe.h"
#include "support/Ventanas.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const QString SinLimites = QStringLiteral("Sin Pensión Máx./Sin Tope Cotiz.");

QString Importe(double valor) {
  return QString::fromStdString(FmtImporte(valor));
}

class VentanaCalculo : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(MuestraActiva(Ventana));
    // Each test gives the focus where it wants it.
    if (QWidget* foco = QApplication::focusWidget()) foco->clearFocus();
  }

  QLineEdit& Campo(const char* nombre) { return Control<QLineEdit>(Ventana, nombre); }
  QSpinBox& Anys() { return Control<QSpinBox>(Ventana, "ENumAnys"); }
  QLabel& Etiqueta(const char* nombre) { return Control<QLabel>(Ventana, nombre); }
  QString Texto(const char* nombre) { return Etiqueta(nombre).text(); }

  // Types into a control as a user does: focus first, then the keys.
  void Teclea(const char* nombre, const QString& teclas) {
    QWidget& control = Control(Ventana, nombre);
    control.setFocus(Qt::TabFocusReason);
    QTest::keyClicks(&control, teclas);
  }
  void Pulsa(const char* nombre, Qt::Key tecla) {
    QWidget& control = Control(Ventana, nombre);
    control.setFocus(Qt::TabFocusReason);
    QTest::keyClick(&control, tecla);
  }

  TFormCalculo Ventana;
};

TEST_F(VentanaCalculo, StartsInManualModeAskingForTheLimits) {
  EXPECT_EQ(Ventana.windowTitle(), QStringLiteral("Cálculo importe tanto alzado Jubilación Demorada    v.3.0  25/5/2023"));
  EXPECT_FALSE(Ventana.ConBaseDatos());
  EXPECT_EQ(Ventana.Altura(), TFormCalculo::AlturaCorta);
  for (const char* oculto : {"LAny", "Any", "BotMax", "LCompDemora", "LCompDemora2"}) {
    EXPECT_TRUE(Control(Ventana, oculto).isHidden()) << oculto;
  }
  EXPECT_EQ(Texto("LMensaje1"), SinLimites);
  EXPECT_EQ(Texto("LMensaje2"), SinLimites);
  EXPECT_TRUE(Etiqueta("LMensaje1").isVisible());
  EXPECT_FALSE(Anys().isEnabled());
  EXPECT_EQ(Anys().value(), 1);
  EXPECT_FALSE(Control<QAction>(Ventana, "BotCalculaPU").isEnabled());
  for (const char* resultado : {"LPension", "LTA1", "LTA2", "LPensionMixto", "LAnysTA", "LBaseMax3"}) {
    EXPECT_EQ(Texto(resultado), QString()) << resultado;
  }
}

TEST_F(VentanaCalculo, ControlsHaveTheirPlacesCaptionsAndLimits) {
  struct Lugar {
    const char* Nombre;
    int X, Y;
    const char* Texto;  // caption, or nullptr for fields
  };
  const Lugar lugares[] = {
      {"BotMax", 3, 1, "% y Tabla Máx."}, {"Label5", 129, 16, "mensual"}, {"Label6", 240, 16, "anual  (14 meses)"},
      {"Label2", 24, 48, "Pensión / BR:"}, {"EMes", 120, 40, nullptr}, {"EAny", 250, 40, nullptr},
      {"Label1", 428, 40, "Núm. años:"}, {"Label10", 438, 54, "demora"}, {"ENumAnys", 508, 37, nullptr},
      {"BotAyuda", 587, 2, nullptr}, {"BotImprimir", 584, 40, nullptr}, {"LAny", 24, 87, "Año"},
      {"Any", 59, 82, nullptr}, {"Label17", 128, 87, "Pensión máx.:"}, {"EPensionMax", 210, 82, nullptr},
      {"Label18", 347, 87, "Tope Cot."}, {"ETopeCot", 411, 82, nullptr}, {"LCompDemora", 322, 118, "Comp.Demora"},
      {"Label12", 24, 138, "Pensión: (%)"}, {"LPension", 242, 135, nullptr},
      {"Label7", 222, 188, "Cantidad T.A. s/cotizado:: "}, {"Label3", 212, 205, "Menos 44a 6 m"},
      {"Label4", 349, 204, "A partir de 44a 6 m"}, {"Label8", 24, 231, "Pago único:"},
      {"Label13", 146, 290, "Cantidad T.A. s/cotizado::"}, {"Label16", 409, 298, "Pensión"},
      {"Label14", 140, 308, "Menos 44a 6 m"}, {"Label15", 247, 308, "A partir de 44a 6 m"},
      {"LCompDemora2", 445, 320, "Comp.Demora"}, {"Label9", 27, 337, "Pago mixto:"},
      {"LPensionMixto", 351, 336, nullptr},
  };
  for (const Lugar& lugar : lugares) {
    const QWidget& control = Control(Ventana, lugar.Nombre);
    EXPECT_EQ(control.pos(), QPoint(lugar.X, lugar.Y)) << lugar.Nombre;
    if (!lugar.Texto) continue;
    const QString esperado = QString::fromUtf8(lugar.Texto);
    if (const auto* etiqueta = qobject_cast<const QLabel*>(&control)) {
      EXPECT_EQ(etiqueta->text(), esperado);
    } else {
      EXPECT_EQ(Control<QPushButton>(Ventana, lugar.Nombre).text(), esperado);
    }
  }
  // Right-aligned texts end where their column ends.
  EXPECT_EQ(Etiqueta("LMensaje1").geometry().right() + 1, 607);
  EXPECT_EQ(Etiqueta("LMensaje2").geometry().right() + 1, 606);
  EXPECT_EQ(Etiqueta("LPensionMixto").width(), 258);
  EXPECT_EQ(Campo("EMes").width(), 65);
  EXPECT_EQ(Campo("EAny").width(), 77);
  EXPECT_EQ(Ventana.width(), TFormCalculo::AnchoCliente);
  EXPECT_EQ(Control(Ventana, "BotAyuda").toolTip(), QStringLiteral("Pantalla créditos"));
  EXPECT_EQ(Control(Ventana, "BotImprimir").toolTip(), QStringLiteral("Imprimir pantalla"));
  EXPECT_EQ(Control<QSpinBox>(Ventana, "Any").minimum(), 2020);
  EXPECT_EQ(Control<QSpinBox>(Ventana, "Any").maximum(), 2099);
  EXPECT_EQ(Anys().maximum(), 30);

  struct Letra {
    const char* Nombre;
    int Puntos;
    bool Negrita;
    QColor Color;  // invalid: the window's own
  };
  const QColor azul(0, 102, 204), rojo(255, 0, 0), verdeAzulado(0, 128, 128);
  const Letra letras[] = {
      {"EMes", 10, false, {}}, {"EAny", 10, false, {}}, {"ENumAnys", 10, false, {}}, {"EPensionMax", 8, false, {}},
      {"Label2", 8, true, {}}, {"Label12", 10, true, {}}, {"Label7", 9, false, {}}, {"LPension", 12, true, azul},
      {"LTA1", 12, true, azul}, {"LTA2", 12, true, azul}, {"LTA1mixto", 10, true, azul},
      {"LTA2MIXTO", 10, true, azul}, {"LPensionMixto", 10, true, azul}, {"LAnysTA2", 8, true, verdeAzulado},
      {"LAnysMixtoPension", 8, true, verdeAzulado}, {"LMensaje1", 8, true, rojo}, {"LBaseMax", 8, false, rojo},
      {"LEstimaPPM", 8, false, rojo},
  };
  for (const Letra& letra : letras) {
    const QWidget& control = Control(Ventana, letra.Nombre);
    EXPECT_EQ(control.font().pointSize(), letra.Puntos) << letra.Nombre;
    EXPECT_EQ(control.font().bold(), letra.Negrita) << letra.Nombre;
    if (letra.Color.isValid()) {
      EXPECT_EQ(control.palette().color(QPalette::WindowText), letra.Color) << letra.Nombre;
    }
  }
  EXPECT_EQ(Etiqueta("LCompDemora").palette().color(QPalette::WindowText),
            Ventana.palette().color(QPalette::Highlight));
}

TEST_F(VentanaCalculo, TabGoesThroughTheInputsInOrder) {
  std::vector<QString> orden;
  const QStringList entradas = {"EMes", "EAny", "ENumAnys", "Any", "EPensionMax", "ETopeCot"};
  QWidget* control = &Campo("EMes");
  do {
    // Unnamed inner parts of the spin editors are in the chain too; only the inputs count.
    if (entradas.contains(control->objectName())) orden.push_back(control->objectName());
    control = control->nextInFocusChain();
  } while (control != &Campo("EMes"));
  EXPECT_EQ(orden, std::vector<QString>(entradas.begin(), entradas.end()));
}

TEST_F(VentanaCalculo, TypingAMonthlyAmountFillsTheYearlyOneAndTheResults) {
  Teclea("EMes", "50");
  EXPECT_EQ(Campo("EAny").text(), "700,00");
  EXPECT_TRUE(Anys().isEnabled());
  EXPECT_TRUE(Control<QAction>(Ventana, "BotCalculaPU").isEnabled());
  EXPECT_EQ(Texto("LPension"), "52,00");
  EXPECT_EQ(Texto("LAnysTA2"), QStringLiteral("1 año (104%)"));
  EXPECT_EQ(Texto("LAnysTA"), QStringLiteral("1 año"));
  EXPECT_EQ(Texto("LTA1"), Importe(ImpDemoraTA(1, BandaMenos44, 50, 0)));
  EXPECT_EQ(Texto("LTA2"), Importe(ImpDemoraTA(1, BandaDesde44, 50, 0)));
  EXPECT_NE(Texto("LTA1"), Texto("LTA2"));
  EXPECT_TRUE(Etiqueta("LCompDemora").isHidden());
  EXPECT_EQ(Ventana.Altura(), TFormCalculo::AlturaCorta);
  // The monthly amount is shown formatted once the user leaves it.
  Campo("EMes").clearFocus();
  EXPECT_EQ(Campo("EMes").text(), "50,00");
}

TEST_F(VentanaCalculo, TypingAYearlyAmountFillsTheMonthlyOne) {
  Teclea("EAny", "700");
  EXPECT_EQ(Campo("EMes").text(), "50,00");
  EXPECT_EQ(Texto("LPension"), "52,00");
  EXPECT_TRUE(Anys().isEnabled());
  // A monthly amount too long to type still shows in full.
  Campo("EAny").clear();
  Teclea("EAny", "99999999");
  EXPECT_EQ(Campo("EMes").text(), Importe(99999999.0 / 14));
}

TEST_F(VentanaCalculo, MoreYearsShowTheMixedOptionAndKeepWithinOneToThirty) {
  Teclea("EMes", "50+");
  EXPECT_EQ(Anys().value(), 2);
  EXPECT_EQ(Ventana.Altura(), TFormCalculo::AlturaLarga);
  EXPECT_EQ(Texto("LPension"), "54,00");
  EXPECT_EQ(Texto("LAnysTA2"), QStringLiteral("2 años (108%)"));
  EXPECT_EQ(Texto("LAnysMixtoTA"), QStringLiteral("1 año"));
  EXPECT_EQ(Texto("LAnysMixtoPension"), QStringLiteral("1 año (104%)"));
  EXPECT_EQ(Texto("LPensionMixto"), "52,00");
  EXPECT_EQ(Texto("LTA1mixto"), Importe(ImpDemoraTA(1, BandaMenos44, 50, 0)));
  EXPECT_EQ(Texto("LTA2MIXTO"), Importe(ImpDemoraTA(1, BandaDesde44, 50, 0)));

  Teclea("EAny", "-");
  EXPECT_EQ(Anys().value(), 1);
  EXPECT_EQ(Ventana.Altura(), TFormCalculo::AlturaCorta);
  EXPECT_EQ(Texto("LAnysMixtoPension"), QStringLiteral("0 (100%)"));
  Teclea("EMes", "-");
  EXPECT_EQ(Anys().value(), 1);

  Teclea("EPensionMax", QString(40, u'+'));
  EXPECT_EQ(Anys().value(), 30);
  EXPECT_EQ(Texto("LAnysTA2"), QStringLiteral("30 años (220%)"));
  EXPECT_EQ(Texto("LAnysMixtoTA"), QStringLiteral("5 años"));
  EXPECT_EQ(Texto("LAnysMixtoPension"), QStringLiteral("25 años (200%)"));
  // "+" and "-" are never typed into the field.
  EXPECT_EQ(Campo("EPensionMax").text(), QString());
}

TEST_F(VentanaCalculo, PlusWithoutAnAmountRaisesTheYearsButComputesNothing) {
  Teclea("EMes", "+");
  EXPECT_EQ(Anys().value(), 2);
  EXPECT_FALSE(Anys().isEnabled());
  EXPECT_EQ(Texto("LPension"), QString());
  EXPECT_EQ(Texto("LAnysTA2"), QString());
  EXPECT_EQ(Ventana.Altura(), TFormCalculo::AlturaCorta);
}

TEST_F(VentanaCalculo, DeleteInEitherAmountClearsEverything) {
  for (const char* campo : {"EMes", "EAny"}) {
    Teclea("EMes", "3000++");
    Teclea("EPensionMax", "2000");
    ASSERT_FALSE(Etiqueta("LCompDemora").isHidden());
    ASSERT_FALSE(Texto("LPension").isEmpty());
    Pulsa(campo, Qt::Key_Delete);
    EXPECT_EQ(Campo("EMes").text(), QString()) << campo;
    EXPECT_EQ(Campo("EAny").text(), QString()) << campo;
    for (const char* resultado : {"LPension", "LTA1", "LTA2", "LPensionMixto", "LTA1mixto", "LAnysTA", "LAnysTA2",
                                  "LAnysMixtoTA", "LAnysMixtoPension", "LMensaje1", "LMensaje2", "LBaseMax"}) {
      EXPECT_EQ(Texto(resultado), QString()) << campo << ' ' << resultado;
    }
    EXPECT_EQ(Anys().value(), 1);
    EXPECT_FALSE(Anys().isEnabled());
    EXPECT_FALSE(Control<QAction>(Ventana, "BotCalculaPU").isEnabled());
    EXPECT_TRUE(Etiqueta("LCompDemora").isHidden());
    EXPECT_EQ(Ventana.Altura(), TFormCalculo::AlturaCorta);
    Campo("EPensionMax").clear();
  }
}

TEST_F(VentanaCalculo, AmountFieldsLetInOnlyAnAmount) {
  struct Caso {
    const char* Campo;
    const char* Teclas;
    const char* Texto;
  };
  const Caso casos[] = {
      {"EMes", "1.5", "1,5"},           {"EMes", ".5", ",5"},
      {"EMes", "1,2,3", "1,23"},        {"EMes", "1.2.3", "1,23"},
      {"EMes", "1a2 b3*x", "123"},      {"EMes", "123456789", "12345678"},
      {"EAny", "7,5e3", "7,53"},        {"EPensionMax", "3.059,23", "3,05923"},
      {"ETopeCot", "12345678,", "12345678"},
  };
  for (const Caso& caso : casos) {
    QLineEdit& campo = Campo(caso.Campo);
    campo.clear();
    Teclea(caso.Campo, QString::fromUtf8(caso.Teclas));
    EXPECT_EQ(campo.text(), QString::fromUtf8(caso.Texto)) << caso.Campo << " <- " << caso.Teclas;
  }

  // A comma is refused while the text has one, even when typing would replace it.
  QLineEdit& campo = Campo("ETopeCot");
  campo.setText("1,5");
  campo.setFocus(Qt::TabFocusReason);
  campo.selectAll();
  QTest::keyClicks(&campo, ",");
  EXPECT_EQ(campo.text(), "1,5");
  QTest::keyClicks(&campo, "7");
  EXPECT_EQ(campo.text(), "7");
  QTest::keyClick(&campo, Qt::Key_Backspace);
  EXPECT_EQ(campo.text(), QString());
}

TEST_F(VentanaCalculo, EnterRecomputesMovesOnOrDoesNothing) {
  // A monthly amount set by the program computes nothing until Enter.
  Campo("EMes").setText("100");
  EXPECT_EQ(Texto("LPension"), QString());
  Pulsa("EMes", Qt::Key_Return);
  EXPECT_EQ(Texto("LPension"), "104,00");
  EXPECT_EQ(Campo("EMes").text(), "100");

  Pulsa("EPensionMax", Qt::Key_Return);
  EXPECT_TRUE(Campo("ETopeCot").hasFocus());
  Teclea("ETopeCot", "5");
  QTest::keyClick(&Campo("ETopeCot"), Qt::Key_Enter);
  EXPECT_TRUE(Campo("ETopeCot").hasFocus());
  EXPECT_EQ(Campo("ETopeCot").text(), "5");
}

TEST_F(VentanaCalculo, FocusShowsThePlainValueAndLeavingFormatsIt) {
  struct Caso {
    const char* Campo;
    const char* Antes;      // set by the program
    const char* AlEntrar;   // after gaining focus, all selected
    const char* Teclas;     // typed then
    const char* AlSalir;    // after losing focus
  };
  const Caso casos[] = {
      {"EMes", "112,50", "112,5", "", "112,50"},
      {"EMes", "1.234.567,8", "1234567,8", "", "1.234.567,80"},
      {"EMes", "0,00", "", "", ""},
      {"EMes", "", "", "0", ""},           // the monthly amount is emptied when not above 0
      {"EAny", "", "", "0", "0"},          // the yearly one keeps its text
      {"EAny", "abc", "", "14", "14,00"},
      {"EPensionMax", "3.059,23", "3.059,23", "", "3.059,23"},  // only selected on entering
      {"EPensionMax", "", "", "3000", "3.000,00"},
      {"ETopeCot", "", "", "0", "0"},
  };
  for (const Caso& caso : casos) {
    QLineEdit& campo = Campo(caso.Campo);
    campo.setText(QString::fromUtf8(caso.Antes));
    campo.setFocus(Qt::TabFocusReason);
    EXPECT_EQ(campo.text(), QString::fromUtf8(caso.AlEntrar)) << caso.Campo << " <- " << caso.Antes;
    EXPECT_EQ(campo.selectedText(), campo.text()) << caso.Campo << " <- " << caso.Antes;
    QTest::keyClicks(&campo, QString::fromUtf8(caso.Teclas));
    campo.clearFocus();
    EXPECT_EQ(campo.text(), QString::fromUtf8(caso.AlSalir)) << caso.Campo << " <- " << caso.Antes;
  }
  // Switching to another window changes nothing.
  QLineEdit& campo = Campo("EMes");
  campo.setText("112,50");
  QFocusEvent entra(QEvent::FocusIn, Qt::ActiveWindowFocusReason);
  QApplication::sendEvent(&campo, &entra);
  EXPECT_EQ(campo.text(), "112,50");
}

TEST_F(VentanaCalculo, LimitsCapTheResultsAndExplainWhy) {
  Teclea("EPensionMax", "3000");
  EXPECT_EQ(Texto("LMensaje1"), QStringLiteral("Sin Tope Cotiz."));
  Teclea("ETopeCot", "2000");
  EXPECT_EQ(Texto("LMensaje1"), QStringLiteral("Tope Cotización inferior a Pensión Máxima "));
  EXPECT_EQ(Texto("LMensaje2"), Texto("LMensaje1"));
  EXPECT_EQ(Texto("LBaseMax3"), QStringLiteral("(Máx.1.714,29)"));

  // Past the maximum the supplement is paid on top of it.
  Campo("ETopeCot").setText("5000");
  EXPECT_EQ(Texto("LMensaje1"), QString());
  Teclea("EMes", "2900++");
  EXPECT_EQ(Texto("LPension"), "3.000,00 + 270,00 = 3.270,00");
  EXPECT_FALSE(Etiqueta("LCompDemora").isHidden());
  EXPECT_EQ(Texto("LBaseMax"), QString());
  EXPECT_EQ(Texto("LPensionMixto"), "3.000,00 + 30,00 = 3.030,00");
  EXPECT_FALSE(Etiqueta("LCompDemora2").isHidden());

  // A ceiling below the maximum cuts the extra away and says so.
  Teclea("ETopeCot", "3000");
  EXPECT_EQ(Texto("LPension"), "3.000,00");
  EXPECT_TRUE(Etiqueta("LCompDemora").isHidden());
  EXPECT_EQ(Texto("LBaseMax"), QStringLiteral("(Máx.2.571,43)"));
  EXPECT_EQ(Texto("LBaseMax2"), QStringLiteral("(Máx.2.571,43)"));
}

TEST_F(VentanaCalculo, TypingALimitDropsTheEstimateMark) {
  for (const auto& [campo, nota] : {std::pair{"EPensionMax", "LEstimaPPM"}, std::pair{"ETopeCot", "LEstimaPTC"}}) {
    QLineEdit& limite = Campo(campo);
    QPalette estimado = limite.palette();
    estimado.setColor(QPalette::Base, estimado.color(QPalette::ToolTipBase));
    limite.setPalette(estimado);
    Etiqueta(nota).setText("2,5% anual");

    Teclea(campo, "x");  // refused: still an estimate
    EXPECT_EQ(Texto(nota), "2,5% anual") << campo;
    Teclea(campo, "1");
    EXPECT_EQ(Texto(nota), QString()) << campo;
    EXPECT_EQ(limite.palette().color(QPalette::Base), QApplication::palette(&limite).color(QPalette::Base)) << campo;
  }
}

TEST_F(VentanaCalculo, YearEditorsTakeDigitsAndPlusMinusOnly) {
  Teclea("EMes", "50");
  QSpinBox& anys = Anys();
  Teclea("ENumAnys", "+");
  EXPECT_EQ(anys.value(), 2);
  EXPECT_EQ(Ventana.Altura(), TFormCalculo::AlturaLarga);
  Teclea("ENumAnys", ",x-");
  EXPECT_EQ(anys.value(), 1);
  EXPECT_EQ(anys.text(), "1");
  Pulsa("ENumAnys", Qt::Key_Return);
  EXPECT_EQ(anys.value(), 1);
  anys.selectAll();
  QTest::keyClicks(&anys, "12");
  EXPECT_EQ(anys.value(), 12);
  EXPECT_EQ(Texto("LAnysTA2"), QStringLiteral("12 años (148%)"));
  Pulsa("ENumAnys", Qt::Key_Delete);
  EXPECT_EQ(anys.value(), 1);
  EXPECT_EQ(Texto("LAnysTA"), QStringLiteral("1 año"));

  QSpinBox& any = Control<QSpinBox>(Ventana, "Any");
  any.setValue(2099);
  QTest::keyClicks(&any, "+");
  EXPECT_EQ(any.value(), 2099);
  QTest::keyClicks(&any, "--a,");
  EXPECT_EQ(any.value(), 2097);
}

}  // namespace

namespace {

// A complete half-year after at least one whole year adds 2 points and half a yearly lump
// sum; by hand, the rules of the current year apply (the mixed option counts it since
// 2026). Without months every result is what whole years give.
TEST_F(VentanaCalculo, MonthsOfDeferralAddAHalfYearAsTheLawCountsIt) {
  QSpinBox& meses = Control<QSpinBox>(Ventana, "ENumMeses");
  EXPECT_FALSE(meses.isEnabled());
  EXPECT_EQ(meses.value(), 0);
  EXPECT_EQ(meses.maximum(), 11);
  EXPECT_EQ(Texto("LMeses"), QStringLiteral("meses"));
  QWidget* siguiente = Anys().nextInFocusChain();
  while (siguiente->parentWidget() == &Anys()) siguiente = siguiente->nextInFocusChain();  // its own editor
  EXPECT_EQ(siguiente, &meses) << "next in tab order after the years";

  Teclea("EMes", "1500");
  EXPECT_TRUE(meses.isEnabled());
  Teclea("ENumAnys", "+");
  EXPECT_EQ(Texto("LAnysTA2"), QStringLiteral("2 años (108%)"));
  for (int mes = 0; mes < 5; ++mes) Pulsa("ENumMeses", Qt::Key_Up);
  EXPECT_EQ(Texto("LAnysTA2"), QStringLiteral("2 años (108%)")) << "5 months are no half-year";
  Pulsa("ENumMeses", Qt::Key_Up);
  Teclea("ENumMeses", "+");
  EXPECT_EQ(meses.value(), 7);
  EXPECT_EQ(Texto("LAnysTA2"), QStringLiteral("2,5 años (110%)"));
  EXPECT_EQ(Texto("LPension"), Importe(1650));
  EXPECT_EQ(Texto("LAnysTA"), QStringLiteral("2,5 años"));
  EXPECT_EQ(Texto("LTA1"), Importe(ImpDemoraTA(2, BandaMenos44, 1500, 0, true)));
  EXPECT_EQ(Texto("LAnysMixtoTA"), QStringLiteral("1,5 años"));
  EXPECT_EQ(Texto("LAnysMixtoPension"), QStringLiteral("1 año (104%)"));
  EXPECT_EQ(Texto("LTA2MIXTO"), Importe(ImpDemoraTA(1, BandaDesde44, 1500, 0, true)));
  EXPECT_FALSE(Etiqueta("LTA1mixto").toolTip().isEmpty());

  Pulsa("ENumMeses", Qt::Key_Delete);
  EXPECT_EQ(meses.value(), 0);
  EXPECT_EQ(Texto("LAnysTA2"), QStringLiteral("2 años (108%)"));
  EXPECT_EQ(Texto("LPension"), Importe(1620));
  EXPECT_EQ(Texto("LAnysMixtoTA"), QStringLiteral("1 año"));
  EXPECT_TRUE(Etiqueta("LTA1mixto").toolTip().isEmpty());

  // Clearing the amounts clears the months with the years.
  Pulsa("ENumMeses", Qt::Key_Up);
  Pulsa("EMes", Qt::Key_Delete);
  EXPECT_FALSE(meses.isEnabled());
  EXPECT_EQ(meses.value(), 0);
}

}  // namespace
