// The limits maintenance window: the user keeps the table of yearly limits (maximum pension
// and contribution cap of each year) and the two growth percentages that estimate the years
// not entered. One year is edited at a time in the row of fields above the grid of stored
// years; the percentages in the strip at the top. Whichever of the three areas is being
// edited locks the others until the edit is confirmed or cancelled, and a locked area
// turns tooltip yellow.
//
// On a file open read-only the window only shows: every control that edits is disabled,
// and a note in the window tells the user why and whom to ask.
//
// Shown modally by the calculation window, which frees it afterwards. All reads and writes
// go through the TLimitesAnuales it is given, whose "Maximo" stays open while the window
// lives. Closing the window drops an edit that was not confirmed.
//
// Control names are the names users and tests know the controls by (objectName).
#pragma once

#include "zdb/DataSet.h"

#include <QDialog>

#include <cstdint>
#include <memory>
#include <optional>

namespace Ui {
class TFormManPenMax;
}
class QFocusEvent;
class QKeyEvent;
class QLineEdit;
class QSpinBox;
class TLimitesAnuales;
class TModeloRejilla;
struct TPorcentajes;

class TFormManPenMax : public QDialog {
  Q_OBJECT

 public:
  // Bounds of the year editor: the years a user can add.
  static constexpr int AnyMinimo = 2022;
  static constexpr int AnyMaximo = 2060;
  static constexpr int AnchoExterior = 431;
  static constexpr int AltoExterior = 324;
  // Typing limit of the percentage fields.
  static constexpr int LongitudPorcentaje = 5;
  // The note shown on a file open read-only.
  static constexpr const char* AvisoSoloLectura =
      "El fichero de límites es de solo lectura: pida a quien administre el equipo que le dé permiso de "
      "escritura.";

  TFormManPenMax(QWidget* propietario, TLimitesAnuales& limites);
  ~TFormManPenMax() override;

  // Proposes the year after the last stored one; on an empty table, this calendar year.
  void Proxany();
  void AnyChange();
  void EPenMaxChange();
  void BotOKClick();
  void BotCancelarClick();
  void BotEditarClick();
  void BotBorrarClick();
  void DBGrid1DblClick() { BotEditarClick(); }
  void EPorPMaxChange();
  void BotConfirmaPorClick();
  void BotCancelaPorClick();

 protected:
  void showEvent(QShowEvent* evento) override;
  bool eventFilter(QObject* objeto, QEvent* evento) override;

 private:
  void FormShow();
  void FormDestroy() noexcept;

  // Disables every control that edits and shows why.
  void SoloConsulta();
  // The disabling alone, again after whatever a change of the year shown enables.
  void BloqueaEdicion();
  void PonPorcentajes(const std::optional<TPorcentajes>& porcentajes);
  void TerminaPorcentajes();
  void LiberaAny();

  bool FiltraEvento(QObject* objeto, QEvent* evento);
  bool TeclaImporte(QLineEdit& campo, const QKeyEvent& tecla);
  bool TeclaAny(const QKeyEvent& tecla);
  void FocoImporte(QLineEdit& campo, const QFocusEvent& foco);

  std::unique_ptr<Ui::TFormManPenMax> ui;
  TLimitesAnuales& Limites;
  // The file refuses every write; known once the window shows.
  bool SoloLectura = false;
  data::TDataSource FuenteMaximo;
  // Declared after the source, so that it lets go of the source first.
  std::unique_ptr<TModeloRejilla> Modelo;
};
