// A panel with two bevels: a lowered outer edge around a raised inner one, the classic
// look of a credits box.
#pragma once

#include <QFrame>

class TPanelBiselado : public QFrame {
  Q_OBJECT

 public:
  explicit TPanelBiselado(QWidget* padre = nullptr);

 protected:
  void paintEvent(QPaintEvent* evento) override;
};
