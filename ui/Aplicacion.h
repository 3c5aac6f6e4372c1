// The application object of the calculator: any exception that a window's event handler
// lets escape ends that event only; the user sees it in an error box and the program goes on.
#pragma once

#include <QApplication>

class TAplicacion : public QApplication {
  Q_OBJECT

 public:
  TAplicacion(int& argc, char** argv);

  bool notify(QObject* receptor, QEvent* evento) override;
};
