#include "ui/ManPenMax.h"

#include "calc/Importe.h"
#include "store/LimitesAnuales.h"
#include "ui/Confirmacion.h"
#include "ui/EdicionImporte.h"
#include "ui/Errores.h"
#include "ui/Iconos.h"
#include "ui/Letras.h"
#include "ui/ModeloRejilla.h"
#include "ui_ManPenMax.h"

#include <QApplication>
#include <QDate>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QScreen>
#include <QSignalBlocker>
#include <QTimer>

#include <algorithm>
#include <initializer_list>
#include <stdexcept>

namespace {

const char* const PensionSuperiorAlTope = "La pensión máxima no puede ser superior al tope de cotizacion";
const char* const PensionEnBlanco = "Pensión Máxima en blanco";
const char* const PorcentajeTopeEnBlanco = "% Tope Cotización en blanco";
const char* const PorcentajePensionEnBlanco = "% Pensión Máxima en blanco";

QColor AmarilloBloqueo() {
  return QApplication::palette().color(QPalette::ToolTipBase);
}

QColor CaraBoton() {
  return QApplication::palette().color(QPalette::Button);
}

void Pinta(QWidget& control, QPalette::ColorRole rol, const QColor& color) {
  QPalette paleta = control.palette();
  paleta.setColor(rol, color);
  control.setPalette(paleta);
}

QString Simple(double valor) {
  return QString::fromStdString(FmtSimple(valor));
}

}  // namespace

TFormManPenMax::TFormManPenMax(QWidget* propietario, TLimitesAnuales& limites)
    : QDialog(propietario, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint),
      ui(std::make_unique<Ui::TFormManPenMax>()),
      Limites(limites),
      FuenteMaximo(&limites.Maximo()) {
  ui->setupUi(this);
  AjustaLetras(*this);
  setModal(true);
  setFixedSize(AnchoExterior, AltoExterior);
  for (QToolButton* confirma : {ui->BotConfirmaPor, ui->BotOK}) confirma->setIcon(IconoConfirmar());
  for (QToolButton* cancela : {ui->BotCancelaPor, ui->BotCancelar}) cancela->setIcon(IconoCancelar());
  ui->BotOK->hide();
  ui->BotCancelar->hide();
  ui->LSoloLectura->hide();
  Pinta(*ui->LSoloLectura, QPalette::WindowText, QColor(255, 0, 0));
  Pinta(*ui->Panel1, QPalette::Window, CaraBoton());
  Pinta(*ui->PanelSuperior, QPalette::Window, CaraBoton());

  Modelo = std::make_unique<TModeloRejilla>(
      FuenteMaximo, std::vector<TColumnaRejilla>{{CampoAny, QStringLiteral("Año"), 77, {}},
                                                 {CampoPenMax, QStringLiteral("Pen. Máx"), 85, "#,##0.00"},
                                                 {CampoTopeCot, QStringLiteral("Tope Cot."), 85, "#,##0.00"}});
  MuestraRejilla(*ui->DBGrid1, *Modelo);

  for (QObject* campo :
       std::initializer_list<QObject*>{ui->EPorPMax, ui->EPorTCot, ui->Any, ui->EPenMax, ui->ETopeCot}) {
    campo->installEventFilter(this);
  }
  connect(ui->Any, &QSpinBox::valueChanged, this, [this] { Protegido(this, [this] { AnyChange(); }); });
  for (QLineEdit* campo : {ui->EPenMax, ui->ETopeCot}) {
    connect(campo, &QLineEdit::textChanged, this, [this] { Protegido(this, [this] { EPenMaxChange(); }); });
  }
  for (QLineEdit* campo : {ui->EPorPMax, ui->EPorTCot}) {
    connect(campo, &QLineEdit::textChanged, this, [this] { Protegido(this, [this] { EPorPMaxChange(); }); });
  }
  connect(ui->BotOK, &QToolButton::clicked, this, [this] { Protegido(this, [this] { BotOKClick(); }); });
  connect(ui->BotCancelar, &QToolButton::clicked, this, [this] { Protegido(this, [this] { BotCancelarClick(); }); });
  connect(ui->BotEditar, &QPushButton::clicked, this, [this] { Protegido(this, [this] { BotEditarClick(); }); });
  connect(ui->BotBorrar, &QPushButton::clicked, this, [this] { Protegido(this, [this] { BotBorrarClick(); }); });
  connect(ui->DBGrid1, &QTableView::doubleClicked, this, [this] { Protegido(this, [this] { DBGrid1DblClick(); }); });
  connect(ui->BotConfirmaPor, &QToolButton::clicked, this,
          [this] { Protegido(this, [this] { BotConfirmaPorClick(); }); });
  connect(ui->BotCancelaPor, &QToolButton::clicked, this,
          [this] { Protegido(this, [this] { BotCancelaPorClick(); }); });
}

TFormManPenMax::~TFormManPenMax() {
  FormDestroy();
}

void TFormManPenMax::FormDestroy() noexcept {
  Limites.CierraMaximo();
}

void TFormManPenMax::showEvent(QShowEvent* evento) {
  QDialog::showEvent(evento);
  if (!evento->spontaneous()) Protegido(this, [this] { FormShow(); });
}

void TFormManPenMax::FormShow() {
  // The outer size is the window's with its frame, which is known once it shows.
  const QSize marco = frameGeometry().size() - geometry().size();
  setFixedSize(AnchoExterior - marco.width(), AltoExterior - marco.height());
  if (const QScreen* pantalla = screen()) move(pantalla->availableGeometry().center() - rect().center());

  Limites.AbreMaximo();
  SoloLectura = Limites.SoloLectura();
  PonPorcentajes(Limites.LeePorcentajes());
  ui->BotConfirmaPor->hide();
  ui->BotCancelaPor->hide();
  Proxany();
  ui->EPenMax->setFocus(Qt::OtherFocusReason);
  // Offering an edit that the save would refuse only loses what the user typed.
  if (SoloLectura) SoloConsulta();
}

void TFormManPenMax::SoloConsulta() {
  BloqueaEdicion();
  ui->Label6->hide();
  ui->LSoloLectura->setText(QString::fromUtf8(AvisoSoloLectura));
  ui->LSoloLectura->show();
  ui->DBGrid1->setFocus(Qt::OtherFocusReason);
}

void TFormManPenMax::BloqueaEdicion() {
  // Each control is disabled itself, so that a panel enabled again keeps them disabled.
  for (QWidget* control : std::initializer_list<QWidget*>{
           ui->EPorPMax, ui->EPorTCot, ui->BotConfirmaPor, ui->BotCancelaPor, ui->Any, ui->EPenMax, ui->ETopeCot,
           ui->BotOK, ui->BotCancelar, ui->BotEditar, ui->BotBorrar}) {
    control->setEnabled(false);
  }
  // A stored year proposed on opening shows as it would for an edit; the grid stays usable.
  ui->BotOK->hide();
  ui->BotCancelar->hide();
  ui->Panel4->setEnabled(true);
  ui->PanelSuperior->setEnabled(true);
  Pinta(*ui->Panel1, QPalette::Window, CaraBoton());
}

void TFormManPenMax::PonPorcentajes(const std::optional<TPorcentajes>& porcentajes) {
  ui->EPorPMax->setText(porcentajes ? Simple(porcentajes->PorPMax) : QString());
  ui->EPorTCot->setText(porcentajes ? Simple(porcentajes->PorTCot) : QString());
}

void TFormManPenMax::Proxany() {
  const std::optional<int32_t> ultimo = Limites.UltimoAny();
  // With no year stored yet, the year to enter first is this one.
  const int64_t propuesto = ultimo ? int64_t{*ultimo} + 1 : QDate::currentDate().year();
  {
    // The editor may have been widened to show a stored year outside its bounds; the
    // bounds come back without a lookup of whatever year they would clamp to.
    const QSignalBlocker sinAvisos(ui->Any);
    ui->Any->setRange(AnyMinimo, AnyMaximo);
  }
  ui->Any->setValue(static_cast<int>(std::clamp<int64_t>(propuesto, AnyMinimo, AnyMaximo)));
}

void TFormManPenMax::AnyChange() {
  if (const std::optional<TLimitesAny> fila = Limites.BuscaAny(ui->Any->value())) {
    ui->EPenMax->setText(TextoImporte(fila->PenMax));
    ui->ETopeCot->setText(TextoImporte(fila->TopeCot));
  } else {
    ui->EPenMax->clear();
    ui->ETopeCot->clear();
  }
  ui->BotOK->setEnabled(true);
  ui->BotCancelar->setEnabled(true);
  if (SoloLectura) BloqueaEdicion();
}

void TFormManPenMax::EPenMaxChange() {
  const bool conPension = !ui->EPenMax->text().isEmpty();
  const bool conTope = !ui->ETopeCot->text().isEmpty();
  ui->BotOK->setVisible(conPension && conTope);
  const bool libre = !conPension && !conTope;
  ui->BotCancelar->setVisible(!libre);
  ui->Panel4->setEnabled(libre);
  ui->PanelSuperior->setEnabled(libre);
  ui->BotEditar->setEnabled(libre);
  ui->BotBorrar->setEnabled(libre);
  Pinta(*ui->Panel1, QPalette::Window, libre ? CaraBoton() : AmarilloBloqueo());
  // The year's figures change with the row shown (late focus events format them too);
  // nothing may offer an edit on a file that cannot be written.
  if (SoloLectura) BloqueaEdicion();
}

// After an edit the year editor is the user's again.
void TFormManPenMax::LiberaAny() {
  Pinta(*ui->Any, QPalette::Base, Qt::white);
  ui->Any->setEnabled(true);
}

void TFormManPenMax::BotOKClick() {
  const double pension = ValorCampo(*ui->EPenMax);
  const double tope = ValorCampo(*ui->ETopeCot);
  if (!(tope >= pension)) {
    ui->EPenMax->setFocus(Qt::OtherFocusReason);
    throw std::runtime_error(PensionSuperiorAlTope);
  }
  // A year without limits would cap every calculation at nothing; two stray Enters in the
  // empty fields must not store one.
  if (!(pension > 0)) {
    ui->EPenMax->setFocus(Qt::OtherFocusReason);
    throw std::runtime_error(PensionEnBlanco);
  }
  Limites.GuardaAny({ui->Any->value(), pension, tope});

  ui->EPenMax->clear();
  ui->ETopeCot->clear();
  ui->BotOK->hide();
  ui->BotCancelar->hide();
  LiberaAny();
  Proxany();
  ui->EPenMax->setFocus(Qt::OtherFocusReason);
  ui->PanelInferior->setEnabled(true);
  ui->PanelSuperior->setEnabled(true);
  ui->BotEditar->show();
  ui->BotBorrar->show();
}

void TFormManPenMax::BotCancelarClick() {
  ui->EPenMax->clear();
  ui->ETopeCot->clear();
  LiberaAny();
  ui->BotOK->hide();
  ui->BotCancelar->hide();
  ui->PanelInferior->setEnabled(true);
  ui->PanelSuperior->setEnabled(true);
  ui->BotEditar->show();
  ui->BotBorrar->show();
  Proxany();
  ui->EPenMax->setFocus(Qt::OtherFocusReason);
}

void TFormManPenMax::BotEditarClick() {
  if (SoloLectura) return;  // a double click on the grid still comes here
  const std::optional<TLimitesAny> fila = Limites.AnyActual();
  if (!fila) return;  // an empty table has no year to edit
  // A stored year outside the editor's bounds is still the year being edited.
  ui->Any->setRange(std::min(AnyMinimo, fila->Any), std::max(AnyMaximo, fila->Any));
  ui->Any->setValue(fila->Any);
  ui->EPenMax->setText(Simple(fila->PenMax));
  ui->ETopeCot->setText(Simple(fila->TopeCot));
  ui->BotEditar->hide();
  ui->BotBorrar->hide();
  ui->BotOK->show();
  ui->BotCancelar->show();
  ui->PanelInferior->setEnabled(false);
  ui->PanelSuperior->setEnabled(false);
  ui->Any->setEnabled(false);
  Pinta(*ui->Any, QPalette::Base, palette().color(QPalette::Midlight));
  ui->EPenMax->selectAll();
  ui->EPenMax->setFocus(Qt::OtherFocusReason);
}

void TFormManPenMax::BotBorrarClick() {
  const std::optional<TLimitesAny> fila = Limites.AnyActual();
  if (!fila) return;
  const QString pregunta = QStringLiteral("¿Quieres borrar el año ") + QString::number(fila->Any) + u'?';
  if (!Confirma(this, pregunta)) return;
  Limites.BorraAnyActual();
  Proxany();
}

void TFormManPenMax::EPorPMaxChange() {
  ui->BotConfirmaPor->show();
  ui->BotCancelaPor->show();
}

// The percentages are no longer being edited: the other areas are usable again.
void TFormManPenMax::TerminaPorcentajes() {
  ui->BotConfirmaPor->hide();
  ui->BotCancelaPor->hide();
  Pinta(*ui->PanelSuperior, QPalette::Window, CaraBoton());
  ui->Panel1->setEnabled(true);
  ui->PanelInferior->setEnabled(true);
}

void TFormManPenMax::BotConfirmaPorClick() {
  const double pension = ValorCampo(*ui->EPorPMax);
  const double tope = ValorCampo(*ui->EPorTCot);
  if (pension > 0 && tope > 0) {
    Limites.GuardaPorcentajes({pension, tope});
    TerminaPorcentajes();
    return;
  }
  if (pension != 0) {
    ui->EPorTCot->setFocus(Qt::OtherFocusReason);
    throw std::runtime_error(PorcentajeTopeEnBlanco);
  }
  ui->EPorPMax->setFocus(Qt::OtherFocusReason);
  throw std::runtime_error(PorcentajePensionEnBlanco);
}

void TFormManPenMax::BotCancelaPorClick() {
  PonPorcentajes(Limites.LeePorcentajes());
  TerminaPorcentajes();
}

// --- Keys and focus ---------------------------------------------------------------------

bool TFormManPenMax::TeclaImporte(QLineEdit& campo, const QKeyEvent& tecla) {
  const std::optional<QChar> caracter = CaracterTecleado(tecla);
  if (!caracter) return false;
  const bool porcentaje = &campo == ui->EPorPMax || &campo == ui->EPorTCot;
  if (porcentaje) {
    // Typing a percentage starts editing them, which locks the year row.
    EPorPMaxChange();
    Pinta(*ui->PanelSuperior, QPalette::Window, AmarilloBloqueo());
    ui->Panel1->setEnabled(false);
  }

  bool consumido = false;
  if (*caracter == QChar(CaracterEnter)) {
    consumido = true;
    if (&campo == ui->EPenMax) {
      ui->ETopeCot->setFocus(Qt::TabFocusReason);
    } else if (&campo == ui->ETopeCot) {
      Protegido(this, [this] { BotOKClick(); });
    } else if (&campo == ui->EPorPMax) {
      ui->EPorTCot->setFocus(Qt::TabFocusReason);
    } else {
      Protegido(this, [this] { BotConfirmaPorClick(); });
    }
  } else {
    const int limite = porcentaje ? LongitudPorcentaje : LongitudImporte;
    const std::optional<QChar> admitido =
        ReglaTeclaImporte(*caracter, campo.text(), static_cast<int>(campo.selectedText().size()), limite);
    if (!admitido) {
      consumido = true;
    } else if (*admitido != *caracter) {
      campo.insert(QString(*admitido));
      consumido = true;
    }
  }

  if (&campo == ui->EPorPMax) {
    ui->Panel1->setEnabled(false);
    ui->PanelInferior->setEnabled(false);
  }
  return consumido;
}

bool TFormManPenMax::TeclaAny(const QKeyEvent& tecla) {
  const std::optional<QChar> caracter = CaracterTecleado(tecla);
  if (!caracter) return false;
  switch (ReglaTeclaEntero(*caracter)) {
    case TTeclaEntero::Pitido:
      QApplication::beep();
      return true;
    case TTeclaEntero::Sube:
      ui->Any->setValue(ui->Any->value() + 1);
      return true;
    case TTeclaEntero::Baja:
      ui->Any->setValue(ui->Any->value() - 1);
      return true;
    case TTeclaEntero::Pasa:
      return false;
    case TTeclaEntero::Descarta:
      return true;
  }
  return true;
}

void TFormManPenMax::FocoImporte(QLineEdit& campo, const QFocusEvent& foco) {
  // Switching windows or opening a context menu leaves the field's text alone.
  if (foco.reason() == Qt::ActiveWindowFocusReason || foco.reason() == Qt::PopupFocusReason) return;
  if (foco.gotFocus()) {
    IgnoraFallos([&campo] { ImporteGanaFoco(campo); });
    // A click places the cursor after the focus arrives; select once it has.
    if (foco.reason() == Qt::MouseFocusReason) QTimer::singleShot(0, &campo, [&campo] { campo.selectAll(); });
  } else {
    IgnoraFallos([&campo] { ImportePierdeFoco(campo, /*vaciaSiNoPositivo=*/false); });
  }
}

bool TFormManPenMax::FiltraEvento(QObject* objeto, QEvent* evento) {
  auto* campo = qobject_cast<QLineEdit*>(objeto);
  switch (evento->type()) {
    case QEvent::KeyPress:
      if (objeto == ui->Any) return TeclaAny(*static_cast<QKeyEvent*>(evento));
      if (campo) return TeclaImporte(*campo, *static_cast<QKeyEvent*>(evento));
      return false;
    case QEvent::FocusIn:
    case QEvent::FocusOut:
      if (campo == ui->EPenMax || campo == ui->ETopeCot) FocoImporte(*campo, *static_cast<QFocusEvent*>(evento));
      return false;
    default:
      return false;
  }
}

bool TFormManPenMax::eventFilter(QObject* objeto, QEvent* evento) {
  bool consumido = false;
  Protegido(this, [&] { consumido = FiltraEvento(objeto, evento); });
  return consumido || QDialog::eventFilter(objeto, evento);
}
