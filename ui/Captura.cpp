#include "ui/Captura.h"

#include "ui/Calcula.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPixmap>

namespace {

// Window systems activate a window asynchronously; focus, and so typing, needs it active.
void EsperaActiva(QWidget& ventana) {
  ventana.activateWindow();
  const QDeadlineTimer limite(2000);
  while (!ventana.isActiveWindow() && !limite.hasExpired()) {
    QApplication::processEvents(QEventLoop::AllEvents, 50);
  }
}

Qt::Key CodigoTecla(QChar caracter) {
  if (caracter >= u'0' && caracter <= u'9') return static_cast<Qt::Key>(Qt::Key_0 + (caracter.unicode() - u'0'));
  switch (caracter.unicode()) {
    case u',': return Qt::Key_Comma;
    case u'+': return Qt::Key_Plus;
    case u'\r': return Qt::Key_Return;
    default: return Qt::Key_unknown;
  }
}

// Each key goes through the application like a real one, window rules included.
void Teclea(QWidget& campo, const QString& texto) {
  campo.setFocus(Qt::TabFocusReason);
  for (const QChar caracter : texto) {
    QKeyEvent pulsa(QEvent::KeyPress, CodigoTecla(caracter), Qt::NoModifier, QString(caracter));
    QApplication::sendEvent(&campo, &pulsa);
    QKeyEvent suelta(QEvent::KeyRelease, CodigoTecla(caracter), Qt::NoModifier, QString(caracter));
    QApplication::sendEvent(&campo, &suelta);
  }
}

template <typename T>
T& Control(TFormCalculo& ventana, const char* nombre) {
  return *ventana.findChild<T*>(QString::fromLatin1(nombre));
}

}  // namespace

bool CapturaEjemplo(TFormCalculo& ventana, const QString& fichero) {
  ventana.show();
  EsperaActiva(ventana);
  Teclea(Control<QLineEdit>(ventana, "EMes"), QStringLiteral("1500++"));
  // With the database the year's own limits are already there; by hand, the sample's.
  if (!ventana.ConBaseDatos()) {
    Teclea(Control<QLineEdit>(ventana, "EPensionMax"), QStringLiteral("3058,81"));
    Teclea(Control<QLineEdit>(ventana, "ETopeCot"), QStringLiteral("4495,5"));
  }
  // Leaving the last field formats it, and a picture with no field in focus reads cleaner.
  if (QWidget* foco = QApplication::focusWidget()) foco->clearFocus();
  QApplication::processEvents();
  return ventana.grab().save(fichero, "PNG");
}
