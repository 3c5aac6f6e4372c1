#include "Ventanas.h"

#include "ui/Aplicacion.h"
#include "ui/Confirmacion.h"
#include "ui/Errores.h"

#include <QTest>

#include <cstdlib>
#include <memory>

namespace {

class TEntornoAplicacion : public ::testing::Environment {
 public:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    Aplicacion = std::make_unique<TAplicacion>(Argc, Argv);
  }
  void TearDown() override { Aplicacion.reset(); }

 private:
  int Argc = 1;
  char Nombre[16] = "ui_test";
  char* Argv[2] = {Nombre, nullptr};
  std::unique_ptr<TAplicacion> Aplicacion;
};

[[maybe_unused]] ::testing::Environment* const Entorno =
    ::testing::AddGlobalTestEnvironment(new TEntornoAplicacion);

}  // namespace

TRegistroErrores::TRegistroErrores() {
  CambiaMostrarError([this](QWidget*, const QString& texto) { Textos.append(texto); });
}

TRegistroErrores::~TRegistroErrores() {
  CambiaMostrarError({});
}

TRegistroPreguntas::TRegistroPreguntas() {
  CambiaConfirmar([this](QWidget*, const QString& pregunta) {
    Preguntas.append(pregunta);
    return Respuesta;
  });
}

TRegistroPreguntas::~TRegistroPreguntas() {
  CambiaConfirmar({});
}

::testing::AssertionResult MuestraActiva(QWidget& ventana) {
  ventana.show();
  ventana.activateWindow();
  if (!QTest::qWaitForWindowActive(&ventana)) return ::testing::AssertionFailure() << "the window never became active";
  return ::testing::AssertionSuccess();
}
