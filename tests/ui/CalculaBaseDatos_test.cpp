#include "ui/Calcula.h"

#include "calc/Demora.h"
#include "calc/Importe.h"
#include "support/Ventanas.h"
#include "tests/store/support/LimitesMemoria.h"

#include <QDate>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include <gtest/gtest.h>

#include <memory>

namespace {

const TLimitesAny Limites2022{2022, 2819.18, 4139.40};
const TLimitesAny Limites2024{2024, 3175.04, 4720.50};
const TPorcentajes Crecimiento{3.0, 4.5};

std::unique_ptr<pruebas::TLimitesMemoria> Almacen() {
  auto limites = std::make_unique<pruebas::TLimitesMemoria>(std::initializer_list<TLimitesAny>{Limites2022, Limites2024});
  limites->PonPorcentajes(Crecimiento);
  return limites;
}

QString Importe(double valor) {
  return QString::fromStdString(FmtImporte(valor));
}

class VentanaConBaseDatos : public ::testing::Test {
 protected:
  void SetUp() override {
    Ventana.UsaBaseDatos([] { return Almacen(); });
    ASSERT_TRUE(MuestraActiva(Ventana));
  }

  QLineEdit& Campo(const char* nombre) { return Control<QLineEdit>(Ventana, nombre); }
  QString Texto(const char* nombre) { return Control<QLabel>(Ventana, nombre).text(); }
  QSpinBox& Any() { return Control<QSpinBox>(Ventana, "Any"); }

  TFormCalculo Ventana;
};

TEST_F(VentanaConBaseDatos, ShowsTheYearRowAndLooksUpTheCurrentYear) {
  EXPECT_TRUE(Ventana.ConBaseDatos());
  EXPECT_TRUE(Ventana.windowTitle().endsWith(QStringLiteral("  (BD)")));
  for (const char* visible : {"LAny", "Any", "BotMax"}) EXPECT_FALSE(Control(Ventana, visible).isHidden()) << visible;
  EXPECT_EQ(Any().value(), QDate::currentDate().year());
  EXPECT_FALSE(Campo("EPensionMax").text().isEmpty());
}

TEST_F(VentanaConBaseDatos, AStoredYearShowsItsOwnLimits) {
  Any().setValue(2024);
  EXPECT_EQ(Campo("EPensionMax").text(), Importe(Limites2024.PenMax));
  EXPECT_EQ(Campo("ETopeCot").text(), Importe(Limites2024.TopeCot));
  EXPECT_EQ(Texto("LEstimaPPM"), QString());
  EXPECT_EQ(Texto("LEstimaPTC"), QString());
}

TEST_F(VentanaConBaseDatos, AMissingYearIsEstimatedWithTheGrowthPercentages) {
  Any().setValue(2024);
  Any().setValue(2026);
  const TConsultaAny consulta = Almacen()->ConsultaAny(2026);
  ASSERT_FALSE(consulta.Encontrado);
  ASSERT_TRUE(consulta.Fila);
  const TEstimacion estimacion = Estimar(2026, consulta.Fila->Any, consulta.Fila->PenMax, consulta.Fila->TopeCot,
                                         Crecimiento.PorPMax, Crecimiento.PorTCot);
  EXPECT_EQ(Campo("EPensionMax").text(), Importe(estimacion.PensionMaxima));
  EXPECT_EQ(Campo("ETopeCot").text(), Importe(estimacion.TopeCotizacion));
  EXPECT_EQ(Texto("LEstimaPPM"), QStringLiteral("3% anual"));
  EXPECT_EQ(Texto("LEstimaPTC"), QStringLiteral("4,5% anual"));

  // Back on a stored year the estimate marks go.
  Any().setValue(2022);
  EXPECT_EQ(Campo("EPensionMax").text(), Importe(Limites2022.PenMax));
  EXPECT_EQ(Texto("LEstimaPPM"), QString());
}

}  // namespace
