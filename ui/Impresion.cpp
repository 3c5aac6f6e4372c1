#include "ui/Impresion.h"

#include <QPainter>
#include <QPixmap>
#include <QPrinter>
#include <QPrinterInfo>

#include <stdexcept>

std::unique_ptr<QPrinter> ImpresoraPredeterminada() {
  const QPrinterInfo predeterminada = QPrinterInfo::defaultPrinter();
  if (predeterminada.isNull()) return nullptr;
  return std::make_unique<QPrinter>(predeterminada, QPrinter::HighResolution);
}

void PintaATamanoReal(QPaintDevice& destino, const QPixmap& imagen) {
  QPainter pintor;
  if (!pintor.begin(&destino)) {
    throw std::runtime_error("No se ha podido imprimir: la impresora no acepta el trabajo.");
  }
  // Text must stay sharp on paper: no lossy compression of the image on the way to the printer.
  pintor.setRenderHint(QPainter::LosslessImageRendering);
  const QSizeF pantalla = imagen.deviceIndependentSize();
  const QRectF dibujo(0, 0, pantalla.width() * destino.logicalDpiX() / PuntosPorPulgadaPantalla,
                      pantalla.height() * destino.logicalDpiY() / PuntosPorPulgadaPantalla);
  pintor.drawPixmap(dibujo, imagen, QRectF(imagen.rect()));
  if (!pintor.end()) throw std::runtime_error("No se ha podido imprimir: el trabajo no se ha completado.");
}

void ImprimeImagen(QPrinter& impresora, const QPixmap& imagen) {
  impresora.setDocName(QStringLiteral("Cálculo demora"));
  PintaATamanoReal(impresora, imagen);
}
