#include "ui/Confirmacion.h"

#include <QMessageBox>
#include <QPushButton>

#include <utility>

namespace {

bool PreguntaEnCaja(QWidget* ventana, const QString& pregunta) {
  const std::unique_ptr<QMessageBox> caja = CajaConfirmacion(ventana, pregunta);
  caja->exec();
  QAbstractButton* pulsado = caja->clickedButton();
  return pulsado != nullptr && caja->buttonRole(pulsado) == QMessageBox::YesRole;
}

TConfirmar& ConfirmarActual() {
  static TConfirmar actual = PreguntaEnCaja;
  return actual;
}

}  // namespace

std::unique_ptr<QMessageBox> CajaConfirmacion(QWidget* ventana, const QString& pregunta) {
  auto caja = std::make_unique<QMessageBox>(QMessageBox::Question, QStringLiteral("Confirmación"), pregunta,
                                            QMessageBox::NoButton, ventana);
  caja->addButton(QStringLiteral("&Si"), QMessageBox::YesRole);
  QPushButton* no = caja->addButton(QStringLiteral("&No"), QMessageBox::NoRole);
  caja->setDefaultButton(no);
  caja->setEscapeButton(no);
  return caja;
}

bool Confirma(QWidget* ventana, const QString& pregunta) {
  return ConfirmarActual()(ventana, pregunta);
}

TConfirmar CambiaConfirmar(TConfirmar nuevo) {
  if (!nuevo) nuevo = PreguntaEnCaja;
  return std::exchange(ConfirmarActual(), std::move(nuevo));
}
