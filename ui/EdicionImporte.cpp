#include "ui/EdicionImporte.h"

#include "calc/Importe.h"

#include <QKeyEvent>
#include <QLineEdit>

std::optional<QChar> CaracterTecleado(const QKeyEvent& tecla) {
  switch (tecla.key()) {
    case Qt::Key_Backspace: return QChar(CaracterRetroceso);
    case Qt::Key_Return:
    case Qt::Key_Enter: return QChar(CaracterEnter);
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return std::nullopt;  // focus moves; nothing is typed
    default: break;
  }
  if (tecla.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return std::nullopt;
  const QString texto = tecla.text();
  if (texto.size() != 1) return std::nullopt;
  return texto.front();
}

std::optional<QChar> ReglaTeclaImporte(QChar caracter, const QString& texto, int seleccionados,
                                       int longitudMaxima) {
  if (caracter == u'.') caracter = u',';
  if (caracter == u',' && texto.contains(u',')) return std::nullopt;
  if (caracter == QChar(CaracterRetroceso)) return caracter;
  const bool digito = caracter >= u'0' && caracter <= u'9';
  if (!digito && caracter != u',') return std::nullopt;  // Enter included: the window has used it
  if (texto.size() - seleccionados + 1 > longitudMaxima) return std::nullopt;
  return caracter;
}

TTeclaEntero ReglaTeclaEntero(QChar caracter) {
  if (caracter >= u'0' && caracter <= u'9') return TTeclaEntero::Pasa;
  if (caracter == u'+') return TTeclaEntero::Sube;
  if (caracter == u'-') return TTeclaEntero::Baja;
  if (caracter == QChar(CaracterRetroceso)) return TTeclaEntero::Pasa;
  if (caracter == QChar(CaracterEnter)) return TTeclaEntero::Pitido;
  if (caracter == u',' || caracter.unicode() < 32) return TTeclaEntero::Descarta;
  return TTeclaEntero::Pitido;
}

double ValorCampo(const QLineEdit& campo) {
  return ValorNum(campo.text().toStdString());
}

QString TextoImporte(double valor) {
  return QString::fromStdString(FmtImporte(valor));
}

void ImporteGanaFoco(QLineEdit& campo) {
  const QString simple = QString::fromStdString(FmtSimple(ValorCampo(campo)));
  campo.setText(simple == u"0" ? QString() : simple);
  campo.selectAll();
}

void ImportePierdeFoco(QLineEdit& campo, bool vaciaSiNoPositivo) {
  const double valor = ValorCampo(campo);
  if (valor > 0) {
    campo.setText(TextoImporte(valor));
  } else if (vaciaSiNoPositivo) {
    campo.clear();
  }
}
