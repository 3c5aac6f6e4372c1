// The credits window: product name, version and date, author and web address. A click
// anywhere on it closes it; a click on the address opens it in the browser.
#pragma once

#include <QDialog>
#include <QString>

#include <memory>

namespace Ui {
class TFormAcercade;
}

class TFormAcercade : public QDialog {
  Q_OBJECT

 public:
  // The address shown in Sitio.
  static const QString SitioWeb;
  // Machines with the sibling application installed show no web link; this is where that
  // application lies (the K: drive as Linux mounts it).
  static const QString ProgramaHermanoPredeterminado;

  // version and fecha are the calculation window's, shown again each time this one shows.
  TFormAcercade(QWidget* propietario, QString version, QString fecha);
  ~TFormAcercade() override;

  void FijaProgramaHermano(QString ruta) { ProgramaHermano = std::move(ruta); }

  void SitioClick();

 protected:
  void showEvent(QShowEvent* evento) override;
  void mousePressEvent(QMouseEvent* evento) override;
  bool eventFilter(QObject* objeto, QEvent* evento) override;

 private:
  void FormShow();

  std::unique_ptr<Ui::TFormAcercade> ui;
  QString Version;
  QString FechaVersion;
  QString ProgramaHermano = ProgramaHermanoPredeterminado;
};
