#include "ui/Impresion.h"

#include <QDate>
#include <QDir>
#include <QFileDialog>
#include <QPainter>
#include <QPixmap>
#include <QPrinter>
#include <QPrinterInfo>
#include <QStandardPaths>

#include <stdexcept>

std::unique_ptr<QPrinter> ImpresoraPredeterminada() {
  const QPrinterInfo predeterminada = QPrinterInfo::defaultPrinter();
  if (predeterminada.isNull()) return nullptr;
  return std::make_unique<QPrinter>(predeterminada, QPrinter::HighResolution);
}

QString DialogoGuardarPdf(QWidget* padre, const QString& propuesto) {
  return QFileDialog::getSaveFileName(padre, QStringLiteral("Guardar como PDF"), propuesto,
                                      QStringLiteral("Documentos PDF (*.pdf)"));
}

QString NombrePdfPropuesto(const QDate& dia) {
  QString carpeta = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (carpeta.isEmpty()) carpeta = QDir::homePath();
  return QDir(carpeta).filePath(QStringLiteral("Calculo-demora-%1.pdf").arg(dia.toString(Qt::ISODate)));
}

std::unique_ptr<QPrinter> ImpresoraPdf(const QString& fichero) {
  auto impresora = std::make_unique<QPrinter>(QPrinter::HighResolution);
  impresora->setOutputFormat(QPrinter::PdfFormat);
  impresora->setOutputFileName(fichero);
  return impresora;
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
