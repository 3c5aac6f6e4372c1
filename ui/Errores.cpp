#include "ui/Errores.h"

#include <QMessageBox>
#include <QWidget>

#include <new>
#include <utility>

namespace {

void CajaError(QWidget* ventana, const QString& texto) {
  QMessageBox::critical(ventana, QStringLiteral("Error"), texto);
}

TMostrarError& MostrarActual() {
  static TMostrarError actual = CajaError;
  return actual;
}

}  // namespace

void MostrarError(QWidget* ventana, const QString& texto) {
  MostrarActual()(ventana, texto);
}

TMostrarError CambiaMostrarError(TMostrarError nuevo) {
  if (!nuevo) nuevo = CajaError;
  return std::exchange(MostrarActual(), std::move(nuevo));
}

QString TextoExcepcion(const std::exception_ptr& excepcion) {
  try {
    std::rethrow_exception(excepcion);
  } catch (const std::bad_alloc&) {
    return QStringLiteral("Memoria insuficiente.");
  } catch (const std::exception& e) {
    return QString::fromUtf8(e.what());
  } catch (...) {
    return QStringLiteral("Error inesperado.");
  }
}
