#include "ui/Calcula.h"

#include "calc/Demora.h"
#include "calc/Importe.h"
#include "store/AbrirBaseDatos.h"
#include "store/LimitesAnuales.h"
#include "ui/Acerca.h"
#include "ui/EdicionImporte.h"
#include "ui/Errores.h"
#include "ui/Iconos.h"
#include "ui/Letras.h"
#include "ui/ManPenMax.h"
#include "ui_Calcula.h"

#include <QAction>
#include <QApplication>
#include <QDate>
#include <QSignalBlocker>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QScreen>
#include <QTimer>

#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <vector>

namespace {

// Blue of hot-tracked text, the teal of year counts and the red of warnings.
const QColor ColorResultado(0, 102, 204);
const QColor ColorAnys(0, 128, 128);
const QColor ColorAviso(255, 0, 0);

QString Texto(const std::string& utf8) {
  return QString::fromStdString(utf8);
}

void ColorTexto(QWidget* control, const QColor& color) {
  QPalette paleta = control->palette();
  paleta.setColor(QPalette::WindowText, color);
  control->setPalette(paleta);
}

// A field that the user has typed into shows the normal background, whatever it showed.
void FondoNormal(QLineEdit* campo) {
  QPalette paleta = campo->palette();
  paleta.setColor(QPalette::Base, QApplication::palette(campo).color(QPalette::Base));
  campo->setPalette(paleta);
}

// The tooltip yellow marks a limit that was estimated, not stored.
void FondoEstimacion(QLineEdit* campo) {
  QPalette paleta = campo->palette();
  paleta.setColor(QPalette::Base, QApplication::palette(campo).color(QPalette::ToolTipBase));
  campo->setPalette(paleta);
}

// The buttons stay off the printed page; each gets back the visibility it had, also when
// printing fails.
class TBotonesOcultos {
 public:
  explicit TBotonesOcultos(std::initializer_list<QWidget*> botones) {
    for (QWidget* boton : botones) {
      Ocultos.push_back({boton, boton->isHidden()});
      boton->hide();
    }
  }
  ~TBotonesOcultos() {
    for (const auto& [boton, oculto] : Ocultos) boton->setHidden(oculto);
  }
  TBotonesOcultos(const TBotonesOcultos&) = delete;
  TBotonesOcultos& operator=(const TBotonesOcultos&) = delete;

 private:
  std::vector<std::pair<QWidget*, bool>> Ocultos;
};

}  // namespace

TFormCalculo::TFormCalculo(QWidget* padre)
    : QWidget(padre, Qt::Window | Qt::MSWindowsFixedSizeDialogHint), ui(std::make_unique<Ui::TFormCalculo>()) {
  ui->setupUi(this);
  AjustaLetras(*this);
  Colorea();
  ui->BotAyuda->setIcon(IconoCreditos());
  ui->BotImprimir->setIcon(IconoImprimir());

  BotCalculaPU = new QAction(QStringLiteral("Calcular T.Alzado"), this);
  BotCalculaPU->setObjectName(QStringLiteral("BotCalculaPU"));
  addAction(BotCalculaPU);
  connect(BotCalculaPU, &QAction::triggered, this, [this] { Protegido(this, [this] { BotCalculaPUClick(); }); });

  for (QObject* campo : std::initializer_list<QObject*>{ui->EMes, ui->EAny, ui->EPensionMax, ui->ETopeCot,
                                                        ui->ENumAnys, ui->ENumMeses, ui->Any}) {
    campo->installEventFilter(this);
  }
  connect(ui->EMes, &QLineEdit::textChanged, this, [this] { Protegido(this, [this] { EMesChange(); }); });
  connect(ui->EAny, &QLineEdit::textChanged, this, [this] { Protegido(this, [this] { EAnyChange(); }); });
  connect(ui->EPensionMax, &QLineEdit::textChanged, this, [this] { Protegido(this, [this] { ELimiteChange(); }); });
  connect(ui->ETopeCot, &QLineEdit::textChanged, this, [this] { Protegido(this, [this] { ELimiteChange(); }); });
  connect(ui->ENumAnys, &QSpinBox::valueChanged, this, [this] { Protegido(this, [this] { ENumAnysChange(); }); });
  connect(ui->ENumMeses, &QSpinBox::valueChanged, this, [this] { Protegido(this, [this] { ENumMesesChange(); }); });
  connect(ui->BotImprimir, &QToolButton::clicked, this, [this] { Protegido(this, [this] { BotImprimirClick(); }); });
  connect(ui->BotAyuda, &QToolButton::clicked, this, [this] { Protegido(this, [this] { BotAyudaClick(); }); });
  connect(ui->BotMax, &QPushButton::clicked, this, [this] { Protegido(this, [this] { BotMaxClick(); }); });
  connect(ui->Any, &QSpinBox::valueChanged, this, [this] { Protegido(this, [this] { AnyChange(); }); });

  ui->LAvisoFichero->setText(QString::fromUtf8(AvisoFicheroDanado));
  ui->LAvisoFichero->hide();

  RutaBaseDatos_ = AbrirBaseDatos();
  ConBaseDatos_ = false;  // the program switches to database mode once it has a store for the file
  LimpiarPantalla();
  BotCalculaPU->setEnabled(false);
}

TFormCalculo::~TFormCalculo() = default;

void TFormCalculo::Colorea() {
  for (QWidget* resultado : {ui->LPension, ui->LTA1, ui->LTA2, ui->LTA1mixto, ui->LTA2MIXTO, ui->LPensionMixto}) {
    ColorTexto(resultado, ColorResultado);
  }
  for (QWidget* anys : {ui->LAnysTA2, ui->LAnysTA, ui->LAnysMixtoTA, ui->LAnysMixtoPension}) {
    ColorTexto(anys, ColorAnys);
  }
  for (QWidget* aviso : {ui->LMensaje1, ui->LMensaje2, ui->LBaseMax, ui->LBaseMax2, ui->LBaseMax3,
                         ui->LEstimaPPM, ui->LEstimaPTC, ui->LAvisoFichero}) {
    ColorTexto(aviso, ColorAviso);
  }
  for (QWidget* nota : {ui->LCompDemora, ui->LCompDemora2}) {
    ColorTexto(nota, palette().color(QPalette::Highlight));
  }
}

void TFormCalculo::AvisaFicheroDanado(bool danado) {
  FicheroDanado = danado;
  ui->LAvisoFichero->setVisible(ConBaseDatos_ && FicheroDanado);
}

int TFormCalculo::Altura() const {
  return frameGeometry().height();
}

void TFormCalculo::FijarAltura(int altura) {
  const int marco = frameGeometry().height() - geometry().height();
  setFixedSize(AnchoCliente, altura - marco);
}

void TFormCalculo::showEvent(QShowEvent* evento) {
  QWidget::showEvent(evento);
  if (!evento->spontaneous()) Protegido(this, [this] { FormShow(); });
}

void TFormCalculo::FormShow() {
  QString titulo = QStringLiteral("Cálculo importe tanto alzado Jubilación Demorada    v.") + Version +
                   QStringLiteral("  ") + FechaVersion;
  if (ConBaseDatos_) titulo += QStringLiteral("  (BD)");
  setWindowTitle(titulo);
  FijarAltura(AlturaCorta);
  if (const QScreen* pantalla = screen()) move(pantalla->availableGeometry().center() - rect().center());
  ui->LMensaje1->show();
  ui->LMensaje2->show();
  ui->LAny->setVisible(ConBaseDatos_);
  ui->Any->setVisible(ConBaseDatos_);
  ui->BotMax->setVisible(ConBaseDatos_);
  ui->LAvisoFichero->setVisible(ConBaseDatos_ && FicheroDanado);
  if (ConBaseDatos_) {
    {
      // One lookup for the current year, whether or not the editor already showed it.
      const QSignalBlocker sinAvisos(ui->Any);
      ui->Any->setValue(QDate::currentDate().year());
    }
    // A file that cannot be read (locked elsewhere, damaged) is reported and the window
    // opens all the same, warnings included: the user can still type the limits.
    Protegido(this, [this] {
      LeePorcentajes();
      AnyChange();
    });
  }
  MensajeMaxTop();
}

void TFormCalculo::LeePorcentajes() {
  const std::unique_ptr<TLimitesAnuales> limites = AbreLimites();
  const std::optional<TPorcentajes> porcentajes = limites->LeePorcentajes();
  PorPMax = porcentajes ? porcentajes->PorPMax : 0;
  PorTCot = porcentajes ? porcentajes->PorTCot : 0;
}

void TFormCalculo::AnyChange() {
  if (!ConBaseDatos_) return;
  const int32_t any = ui->Any->value();
  const TConsultaAny consulta = AbreLimites()->ConsultaAny(any);
  if (consulta.Encontrado && consulta.Fila) {
    ui->EPensionMax->setText(QString::fromStdString(FmtImporte(consulta.Fila->PenMax)));
    ui->ETopeCot->setText(QString::fromStdString(FmtImporte(consulta.Fila->TopeCot)));
    FondoNormal(ui->EPensionMax);
    FondoNormal(ui->ETopeCot);
    ui->LEstimaPTC->clear();
    ui->LEstimaPPM->clear();
  } else if (consulta.Fila) {
    const TEstimacion estimacion =
        Estimar(any, consulta.Fila->Any, consulta.Fila->PenMax, consulta.Fila->TopeCot, PorPMax, PorTCot);
    ui->EPensionMax->setText(QString::fromStdString(FmtImporte(estimacion.PensionMaxima)));
    ui->ETopeCot->setText(QString::fromStdString(FmtImporte(estimacion.TopeCotizacion)));
    FondoEstimacion(ui->EPensionMax);
    FondoEstimacion(ui->ETopeCot);
    ui->LEstimaPTC->setText(QString::fromStdString(FmtSimple(PorTCot)) + QStringLiteral("% anual"));
    ui->LEstimaPPM->setText(QString::fromStdString(FmtSimple(PorPMax)) + QStringLiteral("% anual"));
  } else {
    // No year stored at all: nothing to show or grow from; the user types the limits.
    ui->EPensionMax->clear();
    ui->ETopeCot->clear();
    FondoNormal(ui->EPensionMax);
    FondoNormal(ui->ETopeCot);
    ui->LEstimaPTC->clear();
    ui->LEstimaPPM->clear();
  }
  IgnoraFallos([this] { BotCalculaPUClick(); });
}

void TFormCalculo::LimpiarPantalla() {
  for (QLabel* resultado : {ui->LTA1, ui->LTA2, ui->LPension, ui->LTA1mixto, ui->LTA2MIXTO, ui->LPensionMixto,
                            ui->LAnysTA, ui->LAnysTA2, ui->LAnysMixtoTA, ui->LAnysMixtoPension, ui->LMensaje1,
                            ui->LMensaje2, ui->LEstimaPTC, ui->LEstimaPPM, ui->LBaseMax, ui->LBaseMax2}) {
    resultado->clear();
  }
  FijarAltura(AlturaCorta);
  HabilitaDemora(false);
  ui->ENumAnys->setValue(1);
  ui->ENumMeses->setValue(0);
  ui->LCompDemora->hide();
  ui->LCompDemora2->hide();
}

void TFormCalculo::BotCalculaPUClick() {
  const int32_t n = ui->ENumAnys->value();
  const double x = ValorCampo(*ui->EMes);
  const double maxima = ValorCampo(*ui->EPensionMax);
  const double tope = ValorCampo(*ui->ETopeCot);
  const bool semestre = CuentaSemestre(n, ui->ENumMeses->value(), AnyReglas());
  const bool semestreMixta = CuentaSemestre(n, ui->ENumMeses->value(), AnyReglas(), /*mixta=*/true);

  FijarAltura(n == 1 ? AlturaCorta : AlturaLarga);

  const TResultadoPension pension = ImpDemoraPension(n, x, maxima, tope, semestre);
  ui->LPension->setText(Texto(pension.Texto));
  ui->LBaseMax->setText(Texto(pension.NotaTope));
  ui->LCompDemora->setVisible(ui->LPension->text().contains(u'+'));
  ui->LAnysTA2->setText(Texto(TextoAnysPension(n, semestre)));
  ui->LAnysTA->setText(Texto(TextoAnysTA(n, semestre)));
  ui->LTA1->setText(TextoImporte(ImpDemoraTA(n, BandaMenos44, x, maxima, semestre)));
  ui->LTA2->setText(TextoImporte(ImpDemoraTA(n, BandaDesde44, x, maxima, semestre)));

  const TRepartoMixta reparto = RepartoMixta(n, semestreMixta);
  ui->LAnysMixtoPension->setText(Texto(TextoAnysPension(reparto.AnysPension, reparto.SemestrePension)));
  ui->LAnysMixtoTA->setText(Texto(TextoAnysTA(reparto.AnysTA, reparto.SemestreTA)));
  ui->LTA1mixto->setText(TextoImporte(ImpDemoraTA(reparto.AnysTA, BandaMenos44, x, maxima, reparto.SemestreTA)));
  ui->LTA2MIXTO->setText(TextoImporte(ImpDemoraTA(reparto.AnysTA, BandaDesde44, x, maxima, reparto.SemestreTA)));

  const TResultadoPension mixto = ImpDemoraPension(reparto.AnysPension, x, maxima, tope, reparto.SemestrePension);
  ui->LPensionMixto->setText(Texto(mixto.Texto));
  ui->LBaseMax2->setText(Texto(mixto.NotaTope));
  ui->LCompDemora2->setVisible(ui->LPensionMixto->text().contains(u'+'));
  // The mixed option counts half-years only for pensions from the day RD 416/2026 took effect.
  const QString aviso = semestreMixta ? QString::fromUtf8(AvisoSemestreMixta) : QString();
  for (QWidget* resultado : {ui->LAnysMixtoTA, ui->LAnysMixtoPension, ui->LTA1mixto, ui->LTA2MIXTO, ui->LPensionMixto})
    resultado->setToolTip(aviso);
}

int32_t TFormCalculo::AnyReglas() const {
  // The year whose limits are used; by hand, the current one.
  return ConBaseDatos_ ? ui->Any->value() : QDate::currentDate().year();
}

void TFormCalculo::HabilitaDemora(bool habilitado) {
  ui->ENumAnys->setEnabled(habilitado);
  ui->ENumMeses->setEnabled(habilitado);
}

void TFormCalculo::MensajeMaxTop() {
  const TMensajeMaxTop mensaje = ::MensajeMaxTop(ValorCampo(*ui->EPensionMax), ValorCampo(*ui->ETopeCot));
  ui->LMensaje1->setText(Texto(mensaje.Aviso));
  ui->LMensaje2->setText(Texto(mensaje.Aviso));
  ui->LBaseMax3->setText(Texto(mensaje.TopeMes));
}

// Typing a monthly amount fills in the yearly one; a change made by the program only
// decides whether the years can be changed.
void TFormCalculo::EMesChange() {
  if (ui->EMes->hasFocus()) {
    IgnoraFallos([this] {
      const double mensual = ValorCampo(*ui->EMes);
      if (mensual > 0) {
        ui->EAny->setText(TextoImporte(mensual * 14));
      } else {
        ui->EAny->clear();
      }
    });
    IgnoraFallos([this] { BotCalculaPUClick(); });
  }
  HabilitaDemora(!ui->EMes->text().isEmpty());
}

void TFormCalculo::EAnyChange() {
  const double anual = ValorCampo(*ui->EAny);
  if (ui->EAny->hasFocus() && anual > 0) {
    IgnoraFallos([this, anual] {
      ui->EMes->setText(TextoImporte(anual / 14));
      BotCalculaPUClick();
    });
  }
  BotCalculaPU->setEnabled(anual > 0);
  HabilitaDemora(!ui->EAny->text().isEmpty());
}

void TFormCalculo::ELimiteChange() {
  MensajeMaxTop();
  BotCalculaPUClick();
}

void TFormCalculo::ENumAnysChange() {
  if (!BotCalculaPU->isEnabled()) return;
  ui->LBaseMax->clear();
  ui->LBaseMax2->clear();
  IgnoraFallos([this] { BotCalculaPUClick(); });
  const int32_t n = ui->ENumAnys->value();
  const bool semestre = CuentaSemestre(n, ui->ENumMeses->value(), AnyReglas());
  ui->LAnysTA2->clear();
  ui->LAnysTA->clear();
  IgnoraFallos([this, n, semestre] {
    ui->LAnysTA2->setText(Texto(TextoAnysPension(n, semestre)));
    ui->LAnysTA->setText(Texto(TextoAnysTA(n, semestre)));
  });
}

// The months count exactly as the years do.
void TFormCalculo::ENumMesesChange() { ENumAnysChange(); }

void TFormCalculo::EliminaImportes() {
  ui->EMes->clear();
  ui->EAny->clear();
  LimpiarPantalla();
}

void TFormCalculo::SubeAnys() {
  ui->ENumAnys->setValue(ui->ENumAnys->value() + 1);
}

void TFormCalculo::BajaAnys() {
  if (ui->ENumAnys->value() > 1) ui->ENumAnys->setValue(ui->ENumAnys->value() - 1);
}

bool TFormCalculo::TeclaImporte(QLineEdit& campo, const QKeyEvent& tecla) {
  const bool importePension = &campo == ui->EMes || &campo == ui->EAny;
  if (tecla.key() == Qt::Key_Delete && importePension) {
    EliminaImportes();
    return true;
  }
  const std::optional<QChar> caracter = CaracterTecleado(tecla);
  if (!caracter) return false;

  if (*caracter == u'+') {
    SubeAnys();
    return true;
  }
  if (*caracter == u'-') {
    BajaAnys();
    return true;
  }
  if (*caracter == QChar(CaracterEnter)) {
    if (importePension) {
      BotCalculaPUClick();
    } else if (&campo == ui->EPensionMax) {
      ui->ETopeCot->setFocus(Qt::TabFocusReason);
    }
  }

  const std::optional<QChar> admitido =
      ReglaTeclaImporte(*caracter, campo.text(), static_cast<int>(campo.selectedText().size()));
  if (!admitido) return true;
  // A limit typed by the user is no longer an estimate.
  if (&campo == ui->EPensionMax) {
    ui->LEstimaPPM->clear();
    FondoNormal(ui->EPensionMax);
  } else if (&campo == ui->ETopeCot) {
    ui->LEstimaPTC->clear();
    FondoNormal(ui->ETopeCot);
  }
  if (*admitido == *caracter) return false;  // the field types it as it is
  campo.insert(QString(*admitido));
  return true;
}

bool TFormCalculo::TeclaEntero(QSpinBox& campo, const QKeyEvent& tecla) {
  if (tecla.key() == Qt::Key_Delete && &campo == ui->ENumAnys) {
    campo.setValue(1);
    return true;
  }
  if (tecla.key() == Qt::Key_Delete && &campo == ui->ENumMeses) {
    campo.setValue(0);
    return true;
  }
  const std::optional<QChar> caracter = CaracterTecleado(tecla);
  if (!caracter) return false;
  switch (ReglaTeclaEntero(*caracter)) {
    case TTeclaEntero::Pitido:
      QApplication::beep();
      return true;
    case TTeclaEntero::Sube:
      if (&campo == ui->ENumAnys) {
        SubeAnys();
      } else {
        campo.setValue(campo.value() + 1);
      }
      return true;
    case TTeclaEntero::Baja:
      if (&campo == ui->ENumAnys) {
        BajaAnys();
      } else {
        campo.setValue(campo.value() - 1);
      }
      return true;
    case TTeclaEntero::Pasa:
      return false;
    case TTeclaEntero::Descarta:
      return true;
  }
  return true;
}

void TFormCalculo::FocoImporte(QLineEdit& campo, const QFocusEvent& foco) {
  // Switching windows or opening a context menu leaves the field's text alone.
  if (foco.reason() == Qt::ActiveWindowFocusReason || foco.reason() == Qt::PopupFocusReason) return;
  const bool importePension = &campo == ui->EMes || &campo == ui->EAny;
  if (foco.gotFocus()) {
    if (importePension) {
      IgnoraFallos([&campo] { ImporteGanaFoco(campo); });
    } else {
      campo.selectAll();
    }
    // A click places the cursor after the focus arrives; select once it has.
    if (foco.reason() == Qt::MouseFocusReason) QTimer::singleShot(0, &campo, [&campo] { campo.selectAll(); });
  } else {
    IgnoraFallos([this, &campo] { ImportePierdeFoco(campo, /*vaciaSiNoPositivo=*/&campo == ui->EMes); });
  }
}

bool TFormCalculo::FiltraEvento(QObject* objeto, QEvent* evento) {
  auto* campo = qobject_cast<QLineEdit*>(objeto);
  auto* entero = qobject_cast<QSpinBox*>(objeto);
  switch (evento->type()) {
    case QEvent::KeyPress:
      if (campo) return TeclaImporte(*campo, *static_cast<QKeyEvent*>(evento));
      if (entero) return TeclaEntero(*entero, *static_cast<QKeyEvent*>(evento));
      return false;
    case QEvent::FocusIn:
    case QEvent::FocusOut:
      if (campo) FocoImporte(*campo, *static_cast<QFocusEvent*>(evento));
      return false;
    default:
      return false;
  }
}

bool TFormCalculo::eventFilter(QObject* objeto, QEvent* evento) {
  bool consumido = false;
  Protegido(this, [&] { consumido = FiltraEvento(objeto, evento); });
  return consumido || QWidget::eventFilter(objeto, evento);
}

void TFormCalculo::BotImprimirClick() {
  const TBotonesOcultos ocultos{ui->BotImprimir, ui->BotAyuda, ui->BotMax};
  std::unique_ptr<QPrinter> impresora = ObtenImpresora ? ObtenImpresora() : nullptr;
  if (!impresora && PideFicheroPdf) {
    // Advisers hand the result over as a PDF as often as on paper.
    const QString fichero = PideFicheroPdf(this, NombrePdfPropuesto(QDate::currentDate()));
    if (fichero.isEmpty()) return;
    impresora = ImpresoraPdf(fichero);
  }
  if (!impresora) {
    throw std::runtime_error(
        "No hay ninguna impresora predeterminada. Instale una impresora o elija una como predeterminada y "
        "vuelva a intentarlo.");
  }
  ImprimeImagen(*impresora, grab());
}

void TFormCalculo::BotAyudaClick() {
  TFormAcercade acerca(this, Version, FechaVersion);
  acerca.exec();
}

void TFormCalculo::BotMaxClick() {
  if (!AbreLimites) return;
  const std::unique_ptr<TLimitesAnuales> limites = AbreLimites();
  if (!limites) return;
  {
    TFormManPenMax mantenimiento(this, *limites);
    mantenimiento.exec();
  }
  if (ConBaseDatos_) {
    LeePorcentajes();
    AnyChange();
  }
}
