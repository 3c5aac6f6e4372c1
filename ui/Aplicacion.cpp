#include "ui/Aplicacion.h"

#include "ui/Errores.h"

#include <exception>

TAplicacion::TAplicacion(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QStringLiteral("calculo-demora"));
}

bool TAplicacion::notify(QObject* receptor, QEvent* evento) {
  try {
    return QApplication::notify(receptor, evento);
  } catch (...) {
    MostrarError(activeWindow(), TextoExcepcion(std::current_exception()));
    return false;
  }
}
