#include "ui/PanelBiselado.h"

#include <QPainter>
#include <qdrawutil.h>

TPanelBiselado::TPanelBiselado(QWidget* padre) : QFrame(padre) {
  setContentsMargins(2, 2, 2, 2);
}

void TPanelBiselado::paintEvent(QPaintEvent* evento) {
  QFrame::paintEvent(evento);
  QPainter pintor(this);
  qDrawShadePanel(&pintor, rect(), palette(), /*sunken=*/true, 1);
  qDrawShadePanel(&pintor, rect().adjusted(1, 1, -1, -1), palette(), /*sunken=*/false, 1);
}
