#include "ui/Calcula.h"
#include "ui/Captura.h"

#include "support/Ventanas.h"

#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(CapturaEjemplo, WritesThePictureOfASampleCalculation) {
  QTemporaryDir carpeta;
  ASSERT_TRUE(carpeta.isValid());
  const QString fichero = carpeta.filePath("calculo.png");
  TFormCalculo ventana;
  ASSERT_TRUE(CapturaEjemplo(ventana, fichero));

  EXPECT_EQ(Control<QLineEdit>(ventana, "EMes").text(), "1.500,00");
  EXPECT_EQ(Control<QLineEdit>(ventana, "EAny").text(), "21.000,00");
  EXPECT_EQ(Control<QSpinBox>(ventana, "ENumAnys").value(), 3);
  EXPECT_EQ(Control<QLabel>(ventana, "LPension").text(), "1.680,00");
  EXPECT_EQ(Control<QLabel>(ventana, "LMensaje1").text(), QString());  // both limits typed
  const QImage imagen(fichero);
  EXPECT_EQ(imagen.size(), ventana.size());

  EXPECT_FALSE(CapturaEjemplo(ventana, carpeta.filePath("no-existe/calculo.png")));
}

}  // namespace
