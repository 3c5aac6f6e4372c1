#include "ui/Letras.h"

#include <QFont>
#include <QStringList>
#include <QWidget>

namespace {

const QStringList FamiliasSansSerif = {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                                       QStringLiteral("Arial"), QStringLiteral("DejaVu Sans Condensed"),
                                       QStringLiteral("Sans Serif")};
const QStringList FamiliasArial = {QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                                   QStringLiteral("Arimo"), QStringLiteral("DejaVu Sans Condensed"),
                                   QStringLiteral("Sans Serif")};

void PonFamilias(QWidget& control, const QStringList& familias) {
  QFont letra = control.font();
  letra.setFamilies(familias);
  control.setFont(letra);
}

}  // namespace

void AjustaLetras(QWidget& ventana) {
  PonFamilias(ventana, FamiliasSansSerif);
  for (QWidget* control : ventana.findChildren<QWidget*>()) {
    const QFont& letra = control->font();
    const bool pideArial = (letra.resolveMask() & QFont::FamiliesResolved) && letra.family() == QStringLiteral("Arial");
    if (pideArial) PonFamilias(*control, FamiliasArial);
  }
}
