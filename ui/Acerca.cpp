#include "ui/Acerca.h"

#include "ui/Errores.h"
#include "ui/Letras.h"
#include "ui_Acerca.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QMouseEvent>
#include <QScreen>
#include <QUrl>

#include <stdexcept>

const QString TFormAcercade::SitioWeb = QStringLiteral("https://zelmarot.example");
const QString TFormAcercade::ProgramaHermanoPredeterminado = QStringLiteral("/mnt/k/quorix/quorix.exe");

TFormAcercade::TFormAcercade(QWidget* propietario, QString version, QString fecha)
    : QDialog(propietario, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint),
      ui(std::make_unique<Ui::TFormAcercade>()),
      Version(std::move(version)),
      FechaVersion(std::move(fecha)) {
  ui->setupUi(this);
  AjustaLetras(*this);
  setFixedSize(size());
  ui->VersionProg->setText(Version);
  ui->Fecha->setText(FechaVersion);
  QPalette enlace = ui->Sitio->palette();
  enlace.setColor(QPalette::WindowText, Qt::blue);
  ui->Sitio->setPalette(enlace);
  ui->Sitio->setCursor(Qt::PointingHandCursor);
  ui->Sitio->installEventFilter(this);
}

TFormAcercade::~TFormAcercade() = default;

void TFormAcercade::FormShow() {
  ui->Sitio->setText(SitioWeb);
  ui->Sitio->setVisible(!QFileInfo::exists(ProgramaHermano));
  ui->VersionProg->setText(Version);
  ui->Fecha->setText(FechaVersion);
  if (const QScreen* pantalla = screen()) move(pantalla->availableGeometry().center() - rect().center());
}

void TFormAcercade::SitioClick() {
  if (!QDesktopServices::openUrl(QUrl(ui->Sitio->text()))) {
    throw std::runtime_error("No se ha podido abrir la dirección " + ui->Sitio->text().toStdString() + ".");
  }
}

void TFormAcercade::showEvent(QShowEvent* evento) {
  QDialog::showEvent(evento);
  if (!evento->spontaneous()) Protegido(this, [this] { FormShow(); });
}

// Labels pass their clicks on, so this takes a click on the panel or anywhere on the window.
void TFormAcercade::mousePressEvent(QMouseEvent* evento) {
  evento->accept();
  close();
}

bool TFormAcercade::eventFilter(QObject* objeto, QEvent* evento) {
  if (objeto != ui->Sitio) return QDialog::eventFilter(objeto, evento);
  if (evento->type() == QEvent::MouseButtonPress) return true;  // the address is no place to close
  if (evento->type() == QEvent::MouseButtonRelease) {
    const auto* raton = static_cast<QMouseEvent*>(evento);
    if (raton->button() == Qt::LeftButton && ui->Sitio->rect().contains(raton->position().toPoint())) {
      Protegido(this, [this] { SitioClick(); });
    }
    return true;
  }
  return QDialog::eventFilter(objeto, evento);
}
