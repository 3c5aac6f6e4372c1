#include "ui/Calcula.h"
#include "ui/Impresion.h"

#include "support/Ventanas.h"

#include <QDate>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QPrinter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

TEST(PintaATamanoReal, KeepsTheImagesSizeOnPaper) {
  QPixmap imagen(10, 5);
  imagen.fill(Qt::red);
  for (const int puntosPorPulgada : {96, 288, 576}) {
    const int escala = puntosPorPulgada / PuntosPorPulgadaPantalla;
    QImage papel(100, 100, QImage::Format_RGB32);
    papel.fill(Qt::white);
    papel.setDotsPerMeterX(static_cast<int>(std::lround(puntosPorPulgada / 0.0254)));
    papel.setDotsPerMeterY(papel.dotsPerMeterX());
    PintaATamanoReal(papel, imagen);
    const int ancho = 10 * escala, alto = 5 * escala;
    EXPECT_EQ(papel.pixelColor(0, 0), Qt::red) << puntosPorPulgada;
    EXPECT_EQ(papel.pixelColor(ancho - 1, alto - 1), Qt::red) << puntosPorPulgada;
    EXPECT_EQ(papel.pixelColor(ancho, 0), Qt::white) << puntosPorPulgada;
    EXPECT_EQ(papel.pixelColor(0, alto), Qt::white) << puntosPorPulgada;
  }
}

class ImprimirVentana : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Carpeta.isValid());
    ASSERT_TRUE(MuestraActiva(Ventana));
  }

  QWidget& Boton(const char* nombre) { return Control(Ventana, nombre); }
  void ClicImprimir() { QTest::mouseClick(&Control<QToolButton>(Ventana, "BotImprimir"), Qt::LeftButton); }

  // A printer that writes a PDF file and notes which buttons showed while the job started.
  std::unique_ptr<QPrinter> Pdf(const QString& fichero) {
    BotonesAlImprimir = {Boton("BotImprimir").isVisible(), Boton("BotAyuda").isVisible(),
                         Boton("BotMax").isVisible()};
    auto impresora = std::make_unique<QPrinter>(QPrinter::HighResolution);
    impresora->setOutputFormat(QPrinter::PdfFormat);
    impresora->setOutputFileName(fichero);
    return impresora;
  }

  void ExpectBotonesComoAntes() {
    EXPECT_TRUE(Boton("BotImprimir").isVisible());
    EXPECT_TRUE(Boton("BotAyuda").isVisible());
    EXPECT_TRUE(Boton("BotMax").isHidden());  // manual mode keeps it hidden
  }

  QTemporaryDir Carpeta;
  TFormCalculo Ventana;
  std::vector<bool> BotonesAlImprimir;
};

TEST_F(ImprimirVentana, PrintsOnePageWithTheWindowsImageWithoutTheButtons) {
  const QString fichero = Carpeta.filePath("ventana.pdf");
  Ventana.FijaImpresora([&] { return Pdf(fichero); });
  Control(Ventana, "EMes").setFocus();
  QTest::keyClicks(&Control(Ventana, "EMes"), "50+");
  ASSERT_EQ(Ventana.Altura(), TFormCalculo::AlturaLarga);
  TRegistroErrores errores;

  ClicImprimir();

  EXPECT_TRUE(errores.Textos.isEmpty()) << errores.Textos.join('\n').toStdString();
  EXPECT_EQ(BotonesAlImprimir, std::vector<bool>({false, false, false}));
  ExpectBotonesComoAntes();
  QFile pdf(fichero);
  ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
  const QString documento = QString::fromLatin1(pdf.readAll());
  EXPECT_TRUE(documento.startsWith("%PDF"));
  EXPECT_EQ(documento.count(QRegularExpression("/Type /Page\\b(?!s)")), 1);
  // The window's image, whole (the tall window shows the mixed option) and losslessly kept.
  const QRegularExpression imagen(QString("/Subtype /Image[^>]*/Width %1[^>]*/Height %2[^>]*/Filter /FlateDecode")
                                      .arg(Ventana.width())
                                      .arg(Ventana.height()));
  EXPECT_TRUE(documento.contains(imagen)) << Ventana.width() << 'x' << Ventana.height();
  EXPECT_FALSE(documento.contains("/DCTDecode"));
}

TEST_F(ImprimirVentana, WithoutAPrinterTheUserIsToldAndTheButtonsComeBack) {
  Ventana.FijaImpresora([] { return std::unique_ptr<QPrinter>(); });
  TRegistroErrores errores;
  ClicImprimir();
  ASSERT_EQ(errores.Textos.size(), 1);
  EXPECT_TRUE(errores.Textos.front().startsWith("No hay ninguna impresora predeterminada."));
  ExpectBotonesComoAntes();
}

// Without a printer the page is offered as a PDF: the same single page, saved where the
// user says, under a proposed name of the day in the documents folder.
TEST_F(ImprimirVentana, WithoutAPrinterThePageIsSavedAsAPdf) {
  Ventana.FijaImpresora([] { return std::unique_ptr<QPrinter>(); });
  const QString fichero = Carpeta.filePath("calculo.pdf");
  QString propuesto;
  Ventana.FijaGuardarPdf([&](QWidget*, const QString& nombre) {
    propuesto = nombre;
    return fichero;
  });
  TRegistroErrores errores;
  ClicImprimir();
  EXPECT_TRUE(errores.Textos.isEmpty()) << errores.Textos.join('\n').toStdString();
  EXPECT_TRUE(propuesto.endsWith("/Calculo-demora-" + QDate::currentDate().toString(Qt::ISODate) + ".pdf"))
      << propuesto.toStdString();
  QFile pdf(fichero);
  ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
  const QString documento = QString::fromLatin1(pdf.readAll());
  EXPECT_TRUE(documento.startsWith("%PDF"));
  EXPECT_EQ(documento.count(QRegularExpression("/Type /Page\\b(?!s)")), 1);
  ExpectBotonesComoAntes();

  // Cancelled: nothing is written and nobody is told off.
  Ventana.FijaGuardarPdf([](QWidget*, const QString&) { return QString(); });
  QFile::remove(fichero);
  ClicImprimir();
  EXPECT_TRUE(errores.Textos.isEmpty());
  EXPECT_FALSE(QFile::exists(fichero));
}

TEST_F(ImprimirVentana, APrinterThatRefusesTheJobIsReported) {
  const QString fichero = Carpeta.filePath("no-existe/ventana.pdf");
  Ventana.FijaImpresora([&] { return Pdf(fichero); });
  TRegistroErrores errores;
  ClicImprimir();
  ASSERT_EQ(errores.Textos.size(), 1);
  EXPECT_TRUE(errores.Textos.front().startsWith("No se ha podido imprimir")) << errores.Textos.front().toStdString();
  ExpectBotonesComoAntes();
  EXPECT_FALSE(QFile::exists(fichero));
}

}  // namespace
