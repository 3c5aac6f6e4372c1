#include "ui/Aplicacion.h"

#include "support/Ventanas.h"

#include <QEvent>
#include <QObject>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

// Raises from its event handler what the test asks for.
class TLanzador : public QObject {
 public:
  std::function<void()> Lanza;

  bool event(QEvent* evento) override {
    if (evento->type() == QEvent::User) Lanza();
    return QObject::event(evento);
  }
};

TEST(TAplicacion, ShowsAnExceptionFromAnEventHandlerAndGoesOn) {
  struct Caso {
    std::function<void()> Lanza;
    const char* Texto;
  };
  const Caso casos[] = {
      {[] { throw std::runtime_error("Fallo de prueba con acentos: año"); }, "Fallo de prueba con acentos: año"},
      {[] { throw 42; }, "Error inesperado."},
  };
  for (const Caso& caso : casos) {
    TRegistroErrores errores;
    TLanzador lanzador;
    lanzador.Lanza = caso.Lanza;
    QEvent evento(QEvent::User);
    EXPECT_FALSE(QApplication::sendEvent(&lanzador, &evento));
    EXPECT_EQ(errores.Textos, QStringList{QString::fromUtf8(caso.Texto)});
  }
  // The application still delivers events afterwards.
  TLanzador tranquilo;
  tranquilo.Lanza = [] {};
  QEvent evento(QEvent::User);
  EXPECT_TRUE(QApplication::sendEvent(&tranquilo, &evento));
}

}  // namespace
