#include "ui/Iconos.h"

#include <QFont>
#include <QPainter>
#include <QPixmap>
#include <QPolygonF>

namespace {

constexpr int Lado = 20;

QPixmap Lienzo() {
  QPixmap lienzo(Lado, Lado);
  lienzo.fill(Qt::transparent);
  return lienzo;
}

}  // namespace

QIcon IconoCreditos() {
  QPixmap lienzo = Lienzo();
  QPainter pintor(&lienzo);
  pintor.setRenderHint(QPainter::Antialiasing);
  pintor.setPen(QPen(QColor(0, 70, 150), 1));
  pintor.setBrush(QColor(40, 110, 200));
  pintor.drawEllipse(QRectF(1.5, 1.5, Lado - 3, Lado - 3));
  QFont letra(QStringLiteral("Serif"));
  letra.setBold(true);
  letra.setPixelSize(14);
  pintor.setFont(letra);
  pintor.setPen(Qt::white);
  pintor.drawText(QRect(0, 0, Lado, Lado), Qt::AlignCenter, QStringLiteral("i"));
  return QIcon(lienzo);
}

QIcon IconoImprimir() {
  QPixmap lienzo = Lienzo();
  QPainter pintor(&lienzo);
  pintor.setPen(QColor(60, 60, 60));
  pintor.setBrush(Qt::white);
  pintor.drawRect(5, 1, 9, 7);     // sheet going in
  pintor.setBrush(QColor(150, 150, 150));
  pintor.drawRect(1, 8, 17, 7);    // body
  pintor.setBrush(Qt::white);
  pintor.drawRect(5, 13, 9, 6);    // sheet coming out
  pintor.setPen(QColor(40, 160, 40));
  pintor.drawPoint(15, 10);        // power light
  pintor.setPen(QColor(120, 120, 120));
  pintor.drawLine(7, 15, 12, 15);  // printed lines
  pintor.drawLine(7, 17, 11, 17);
  return QIcon(lienzo);
}

QIcon IconoConfirmar() {
  QPixmap lienzo = Lienzo();
  QPainter pintor(&lienzo);
  pintor.setRenderHint(QPainter::Antialiasing);
  pintor.setPen(QPen(QColor(0, 140, 40), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  pintor.drawPolyline(QPolygonF({QPointF(3.5, 10.5), QPointF(8, 15), QPointF(16.5, 4.5)}));
  return QIcon(lienzo);
}

QIcon IconoCancelar() {
  QPixmap lienzo = Lienzo();
  QPainter pintor(&lienzo);
  pintor.setRenderHint(QPainter::Antialiasing);
  pintor.setPen(QPen(QColor(200, 30, 30), 3, Qt::SolidLine, Qt::RoundCap));
  pintor.drawLine(QPointF(4.5, 4.5), QPointF(15.5, 15.5));
  pintor.drawLine(QPointF(15.5, 4.5), QPointF(4.5, 15.5));
  return QIcon(lienzo);
}
