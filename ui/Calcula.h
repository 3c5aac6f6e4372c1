// The calculation window, the program's main window. The user types the pension once, as a
// monthly amount or as a yearly amount in fourteen payments, picks the years of deferral,
// and reads the three ways of taking the supplement side by side: the percentage option,
// the lump sum for both career bands and the mixed option. The year's maximum pension and
// contribution cap, typed by the user, limit them. Every change recomputes everything.
//
// Control names are the names users and tests know the controls by (objectName).
#pragma once

#include "ui/Impresion.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

namespace Ui {
class TFormCalculo;
}
class QAction;
class QFocusEvent;
class QKeyEvent;
class QLineEdit;
class QSpinBox;
class TLimitesAnuales;

class TFormCalculo : public QWidget {
  Q_OBJECT

 public:
  // Outer heights of the two display states: the short one ends just below the lump sums,
  // the tall one shows the mixed option too.
  static constexpr int AlturaCorta = 300;
  static constexpr int AlturaLarga = 415;
  static constexpr int AnchoCliente = 616;
  // The hint on the mixed results while they count a half-year.
  static constexpr const char* AvisoSemestreMixta =
      "Con semestre: regla de la opción mixta para pensiones causadas desde el 28/8/2026 (RD 416/2026)";

  // The note next to the limits while they come from a file the start-up check found damaged.
  static constexpr const char* AvisoFicheroDanado = "Límites leídos de un fichero dañado: compruebe las cifras.";

  explicit TFormCalculo(QWidget* padre = nullptr);
  ~TFormCalculo() override;

  const QString Version = QStringLiteral("3.0");
  const QString FechaVersion = QStringLiteral("25/5/2023");

  // The database file found next to the executable at creation, or "".
  const std::string& RutaBaseDatos() const { return RutaBaseDatos_; }
  // Database mode: the year row, BotMax and the limits read from the store. Without it the
  // user types the maximum pension and the cap.
  bool ConBaseDatos() const { return ConBaseDatos_; }

  // Where the yearly limits come from: each opening of the maintenance window gets its own
  // (its own tables on the one database). Without it BotMax does nothing.
  using TAbreLimites = std::function<std::unique_ptr<TLimitesAnuales>()>;
  void FijaLimites(TAbreLimites abre) { AbreLimites = std::move(abre); }
  // Switches the window to database mode with this store; called before it is shown.
  void UsaBaseDatos(TAbreLimites abre) {
    AbreLimites = std::move(abre);
    ConBaseDatos_ = static_cast<bool>(AbreLimites);
  }

  // The database file is damaged and was not repaired: while the window works on it, the
  // note AvisoFicheroDanado stands next to the limits (and on the printed page).
  void AvisaFicheroDanado(bool danado);

  // Where BotImprimir prints; the default printer unless told otherwise.
  void FijaImpresora(TObtenImpresora obten) { ObtenImpresora = std::move(obten); }
  // Without a printer, the page is offered as a PDF saved where pide says; without pide,
  // the user is only told that there is no printer.
  void FijaGuardarPdf(TPideFicheroPdf pide) { PideFicheroPdf = std::move(pide); }

  // The window's outer height, title bar and borders included where the platform has them.
  int Altura() const;

  void LimpiarPantalla();
  // The recalculation: every result from the fields as they read now.
  void BotCalculaPUClick();
  void MensajeMaxTop();
  void BotImprimirClick();
  void BotAyudaClick();
  // Shows the maintenance window of the yearly limits, modally.
  void BotMaxClick();
  // The year lookup: the year's limits, or an estimate grown from an earlier year.
  void AnyChange();

 protected:
  void showEvent(QShowEvent* evento) override;
  bool eventFilter(QObject* objeto, QEvent* evento) override;

 private:
  void FormShow();
  void LeePorcentajes();
  void EMesChange();
  void EAnyChange();
  void ELimiteChange();
  void ENumAnysChange();
  void ENumMesesChange();
  // The year whose rules apply: the year of the limits in use.
  int32_t AnyReglas() const;
  // The years and the months of deferral can be changed together, or not at all.
  void HabilitaDemora(bool habilitado);
  void EliminaImportes();

  bool TeclaImporte(QLineEdit& campo, const QKeyEvent& tecla);
  bool TeclaEntero(QSpinBox& campo, const QKeyEvent& tecla);
  void FocoImporte(QLineEdit& campo, const QFocusEvent& foco);
  bool FiltraEvento(QObject* objeto, QEvent* evento);

  void FijarAltura(int altura);
  void SubeAnys();
  void BajaAnys();
  void Colorea();

  std::unique_ptr<Ui::TFormCalculo> ui;
  // The hidden command "Calcular T.Alzado": enabled exactly while the yearly amount is above
  // 0, which is when a change of the years recomputes.
  QAction* BotCalculaPU = nullptr;
  std::string RutaBaseDatos_;
  bool ConBaseDatos_ = false;
  bool FicheroDanado = false;
  TObtenImpresora ObtenImpresora = ImpresoraPredeterminada;
  TPideFicheroPdf PideFicheroPdf;
  TAbreLimites AbreLimites;
  // Yearly growth in percent of the maximum pension and of the cap, for estimates.
  double PorPMax = 0;
  double PorTCot = 0;
};
