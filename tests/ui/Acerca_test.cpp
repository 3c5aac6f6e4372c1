#include "ui/Acerca.h"
#include "ui/Calcula.h"

#include "support/Ventanas.h"

#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

// Takes the addresses handed to the browser.
class TNavegador : public QObject {
  Q_OBJECT

 public:
  explicit TNavegador(const QString& esquema) : Esquema(esquema) { QDesktopServices::setUrlHandler(Esquema, this, "Abre"); }
  ~TNavegador() override { QDesktopServices::unsetUrlHandler(Esquema); }

  QList<QUrl> Abiertas;

 public slots:
  void Abre(const QUrl& direccion) { Abiertas.append(direccion); }

 private:
  QString Esquema;
};

class VentanaAcerca : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(Carpeta.isValid()); }

  QString Texto(const QWidget& ventana, const char* nombre) { return Control<QLabel>(ventana, nombre).text(); }

  QTemporaryDir Carpeta;
};

TEST_F(VentanaAcerca, ShowsProductVersionDateAndTheWebAddress) {
  TFormAcercade acerca(nullptr, "3.0", "25/5/2023");
  acerca.FijaProgramaHermano(Carpeta.filePath("quorix.exe"));
  ASSERT_TRUE(MuestraActiva(acerca));
  EXPECT_EQ(acerca.windowTitle(), "Acerca de ...");
  EXPECT_EQ(acerca.size(), QSize(328, 141));
  EXPECT_EQ(Texto(acerca, "ProductName"), QStringLiteral("Cálculo importe tanto alzado jubilación demorada"));
  EXPECT_EQ(Texto(acerca, "Label5"), QStringLiteral("Versión: "));
  EXPECT_EQ(Texto(acerca, "VersionProg"), "3.0");
  EXPECT_EQ(Texto(acerca, "Label1"), "Fecha:");
  EXPECT_EQ(Texto(acerca, "Fecha"), "25/5/2023");
  EXPECT_FALSE(Texto(acerca, "LabelAutor").isEmpty());
  EXPECT_EQ(Texto(acerca, "Sitio"), TFormAcercade::SitioWeb);
  EXPECT_TRUE(Control(acerca, "Sitio").isVisible());
  EXPECT_TRUE(Control(acerca, "Sitio").font().underline());
  EXPECT_EQ(Control(acerca, "VersionProg").font().pointSize(), 10);
  EXPECT_EQ(Control(acerca, "Panel1").geometry(), acerca.rect());
}

TEST_F(VentanaAcerca, WhereTheSiblingProgramIsInstalledThereIsNoWebLink) {
  const QString hermano = Carpeta.filePath("quorix.exe");
  QFile(hermano).open(QIODevice::WriteOnly);
  TFormAcercade acerca(nullptr, "3.0", "25/5/2023");
  acerca.FijaProgramaHermano(hermano);
  ASSERT_TRUE(MuestraActiva(acerca));
  EXPECT_TRUE(Control(acerca, "Sitio").isHidden());
}

TEST_F(VentanaAcerca, AClickOnTheAddressOpensItAndAnyOtherClickCloses) {
  TNavegador navegador(QUrl(TFormAcercade::SitioWeb).scheme());
  TFormAcercade acerca(nullptr, "3.0", "25/5/2023");
  acerca.FijaProgramaHermano(Carpeta.filePath("quorix.exe"));
  ASSERT_TRUE(MuestraActiva(acerca));

  QTest::mouseClick(&Control(acerca, "Sitio"), Qt::LeftButton);
  EXPECT_EQ(navegador.Abiertas, QList<QUrl>{QUrl(TFormAcercade::SitioWeb)});
  EXPECT_TRUE(acerca.isVisible());

  for (const char* donde : {"Panel1", "ProductName"}) {
    ASSERT_TRUE(MuestraActiva(acerca));
    QTest::mouseClick(&Control(acerca, donde), Qt::LeftButton);
    EXPECT_FALSE(acerca.isVisible()) << donde;
  }
}

TEST_F(VentanaAcerca, TheCreditsButtonOpensItModallyWithTheWindowsVersion) {
  TFormCalculo calculo;
  ASSERT_TRUE(MuestraActiva(calculo));
  QString version, fecha;
  bool modal = false;
  QTimer::singleShot(0, [&] {
    QWidget* abierta = QApplication::activeModalWidget();
    if (auto* acerca = qobject_cast<TFormAcercade*>(abierta)) {
      modal = acerca->isModal();
      version = Control<QLabel>(*acerca, "VersionProg").text();
      fecha = Control<QLabel>(*acerca, "Fecha").text();
      acerca->close();
    }
  });
  QTest::mouseClick(&Control<QToolButton>(calculo, "BotAyuda"), Qt::LeftButton);
  EXPECT_TRUE(modal);
  EXPECT_EQ(version, calculo.Version);
  EXPECT_EQ(fecha, calculo.FechaVersion);
  EXPECT_EQ(calculo.findChild<TFormAcercade*>(), nullptr);  // freed once closed
}

}  // namespace

#include "Acerca_test.moc"
