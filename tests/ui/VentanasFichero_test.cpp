// The windows over a real limits file, as the program wires them: one database component,
// each window with its own tables on it. A year saved in the maintenance window, or by
// another copy of the program, is used by the calculation window's next lookup; a file
// locked elsewhere or damaged reaches the user as an error box while the calculator keeps
// working by hand; a read-only file is looked up and only shown for maintenance.
#include "ui/Calcula.h"
#include "ui/ManPenMax.h"

#include "engine/dataset/ZDBDatabase.h"
#include "store/AbrirBaseDatos.h"
#include "store/LimitesZDB.h"
#include "support/Ventanas.h"
#include "tests/support/ChildProcess.h"
#include "tests/store/support/FicheroLimites.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

namespace {

using zdb::testing::ScratchFolder;

const TLimitesAny A2023{2023, 3059.23, 4495.50};
const TLimitesAny A2024{2024, 3175.04, 4720.50};

// Peer reply (tests/store/peer): the command was done.
constexpr long long Hecho = 0;

std::string Bytes(const std::string& ruta) {
  std::ifstream entrada(ruta, std::ios::binary);
  return {std::istreambuf_iterator<char>(entrada), {}};
}

class VentanasSobreFichero : public ::testing::Test {
 protected:
  void SetUp() override {
    pruebas::CreaFicheroLimites(Ruta, {A2023, A2024}, TPorcentajes{3, 4});
    // The program's one component, made once the file is.
    BaseDatos = TLimitesZDB::CreaComponente(Ruta);
  }

  // The calculation window on the file, shown as the program shows it.
  std::unique_ptr<TFormCalculo> AbreCalculo() {
    auto ventana = std::make_unique<TFormCalculo>();
    ventana->UsaBaseDatos([baseDatos = BaseDatos] { return std::make_unique<TLimitesZDB>(baseDatos); });
    EXPECT_TRUE(MuestraActiva(*ventana));
    return ventana;
  }

  static QString Texto(const QWidget& ventana, const char* nombre) {
    if (const auto* campo = ventana.findChild<QLineEdit*>(QString::fromLatin1(nombre))) return campo->text();
    return Control<QLabel>(ventana, nombre).text();
  }
  static QSpinBox& Any(const QWidget& ventana) { return Control<QSpinBox>(ventana, "Any"); }
  static void Teclea(const QWidget& ventana, const char* nombre, const QString& teclas) {
    QWidget& campo = Control(ventana, nombre);
    campo.setFocus(Qt::TabFocusReason);
    QTest::keyClicks(&campo, teclas);
  }
  static void Pulsa(const QWidget& ventana, const char* nombre, Qt::Key tecla) {
    QWidget& campo = Control(ventana, nombre);
    campo.setFocus(Qt::TabFocusReason);
    QTest::keyClick(&campo, tecla);
  }
  // Clicks BotMax and runs enVentana on the maintenance window it opens, then closes it.
  static void ConMantenimiento(TFormCalculo& calculo, const std::function<void(QWidget&)>& enVentana) {
    bool abierta = false;
    QTimer::singleShot(0, [&] {
      QWidget* modal = QApplication::activeModalWidget();
      if (modal == nullptr) return;
      abierta = true;
      enVentana(*modal);
      modal->close();
    });
    Control<QAbstractButton>(calculo, "BotMax").click();
    EXPECT_TRUE(abierta) << "the maintenance window did not open";
  }

  ScratchFolder Carpeta;
  std::string Ruta = Carpeta.File(NombreBaseDatos);
  std::shared_ptr<zdb::TZDBDatabase> BaseDatos;
  TRegistroErrores Errores;
};

TEST_F(VentanasSobreFichero, AYearAddedInTheMaintenanceWindowIsUsedAtOnce) {
  const std::unique_ptr<TFormCalculo> calculo = AbreCalculo();
  Any(*calculo).setValue(2025);
  EXPECT_EQ(Texto(*calculo, "LEstimaPPM"), QStringLiteral("3% anual"));  // an estimate until it is stored

  ConMantenimiento(*calculo, [](QWidget& mantenimiento) {
    EXPECT_EQ(Any(mantenimiento).value(), 2025);
    Teclea(mantenimiento, "EPenMax", QStringLiteral("3267,6"));
    Teclea(mantenimiento, "ETopeCot", QStringLiteral("4909,5"));
    Pulsa(mantenimiento, "ETopeCot", Qt::Key_Return);
    EXPECT_EQ(Any(mantenimiento).value(), 2026);
  });
  EXPECT_EQ(Errores.Textos, QStringList());
  EXPECT_EQ(Any(*calculo).value(), 2025);
  EXPECT_EQ(Texto(*calculo, "EPensionMax"), QStringLiteral("3.267,60"));
  EXPECT_EQ(Texto(*calculo, "ETopeCot"), QStringLiteral("4.909,50"));
  EXPECT_EQ(Texto(*calculo, "LEstimaPPM"), QString());
  EXPECT_EQ(Texto(*calculo, "LEstimaPTC"), QString());
}

// The half-year follows the law of the year whose limits are used: nothing before 2025,
// the percentage and lump-sum options from 2025, the mixed option too from 2026, where its
// results say for which pensions.
TEST_F(VentanasSobreFichero, TheMonthsCountAsTheLawOfTheWindowsYearSays) {
  const std::unique_ptr<TFormCalculo> calculo = AbreCalculo();
  Teclea(*calculo, "EMes", QStringLiteral("1500"));
  Teclea(*calculo, "ENumAnys", QStringLiteral("+"));
  Teclea(*calculo, "ENumMeses", QStringLiteral("+++++++"));
  const struct {
    int any;
    const char* porcentaje;
    const char* mixtoTA;
    bool aviso;
  } casos[] = {
      {2024, "2 años (108%)", "1 año", false},
      {2025, "2,5 años (110%)", "1 año", false},
      {2026, "2,5 años (110%)", "1,5 años", true},
  };
  for (const auto& caso : casos) {
    Any(*calculo).setValue(caso.any);
    EXPECT_EQ(Texto(*calculo, "LAnysTA2"), QString::fromUtf8(caso.porcentaje)) << caso.any;
    EXPECT_EQ(Texto(*calculo, "LAnysMixtoTA"), QString::fromUtf8(caso.mixtoTA)) << caso.any;
    EXPECT_EQ(Control<QLabel>(*calculo, "LPensionMixto").toolTip().isEmpty(), !caso.aviso) << caso.any;
  }
  EXPECT_EQ(Errores.Textos, QStringList());
}

TEST_F(VentanasSobreFichero, AYearAnotherCopySavesIsUsedByTheNextLookup) {
  zdbtest::ChildProcess otro{ZDB_STORE_PEER_PATH};
  ASSERT_EQ(otro.Run("open " + Ruta), Hecho);
  const std::unique_ptr<TFormCalculo> calculo = AbreCalculo();
  Any(*calculo).setValue(2025);
  EXPECT_EQ(Texto(*calculo, "LEstimaPPM"), QStringLiteral("3% anual"));

  // Saved while the user has the maintenance window open: closing it looks the year up.
  ConMantenimiento(*calculo, [&otro](QWidget&) { EXPECT_EQ(otro.Run("save 2025 3267.6 4909.5"), Hecho); });
  EXPECT_EQ(Texto(*calculo, "EPensionMax"), QStringLiteral("3.267,60"));
  EXPECT_EQ(Texto(*calculo, "LEstimaPPM"), QString());

  // Saved at any other time: the next change of year finds it.
  ASSERT_EQ(otro.Run("save 2024 3200 4800"), Hecho);
  Any(*calculo).setValue(2024);
  EXPECT_EQ(Texto(*calculo, "EPensionMax"), QStringLiteral("3.200,00"));
  EXPECT_EQ(Texto(*calculo, "ETopeCot"), QStringLiteral("4.800,00"));
  EXPECT_EQ(Errores.Textos, QStringList());
}

// A file the window cannot use is reported with the engine's text, once per attempt, and
// the window goes on: it computes with limits typed by hand, and uses the file again as
// soon as it is usable.
TEST_F(VentanasSobreFichero, ALockedOrDamagedFileIsReportedAndTheCalculatorStillWorks) {
  zdbtest::ChildProcess otro{ZDB_STORE_PEER_PATH};
  std::string sano;
  {
    std::ifstream entrada(Ruta, std::ios::binary);
    sano.assign(std::istreambuf_iterator<char>(entrada), {});
  }
  const auto Escribe = [this](const std::string& bytes) {
    std::ofstream(Ruta, std::ios::binary | std::ios::trunc) << bytes;
  };
  struct Caso {
    const char* Que;
    std::function<void()> Estropea;
    std::function<void()> Arregla;
    const char* Error;  // how the engine's text ends
  };
  const Caso casos[] = {
      {"held exclusively by another program", [&] { EXPECT_EQ(otro.Run("hold " + Ruta), Hecho); },
       [&] { EXPECT_EQ(otro.Run("close"), Hecho); }, "being used by another process. - Native error: 30364"},
      {"damaged", [&] { Escribe(std::string(4096, 'x')); }, [&] { Escribe(sano); },
       "Invalid file format. Found signature: 'xxxxxxxxxxxxxxxx', expected: 'ZDBPAGEDDATABASE' - Native error: 10470"},
  };
  for (const Caso& caso : casos) {
    SCOPED_TRACE(caso.Que);
    Errores.Textos.clear();
    caso.Estropea();
    const std::unique_ptr<TFormCalculo> calculo = AbreCalculo();
    ASSERT_EQ(Errores.Textos.size(), 1);
    EXPECT_TRUE(Errores.Textos[0].endsWith(QString::fromUtf8(caso.Error))) << Errores.Textos[0].toStdString();
    EXPECT_TRUE(calculo->isVisible());
    EXPECT_EQ(Texto(*calculo, "LMensaje1"), QStringLiteral("Sin Pensión Máx./Sin Tope Cotiz."));

    Teclea(*calculo, "EMes", QStringLiteral("50"));
    EXPECT_EQ(Texto(*calculo, "EAny"), QStringLiteral("700,00"));
    EXPECT_EQ(Texto(*calculo, "LPension"), QStringLiteral("52,00"));
    Teclea(*calculo, "EPensionMax", QStringLiteral("3000"));
    Teclea(*calculo, "ETopeCot", QStringLiteral("4000"));
    EXPECT_EQ(Texto(*calculo, "LMensaje1"), QString());

    // Each lookup tries again and says why it failed; the typed limits stay.
    Any(*calculo).setValue(2023);
    EXPECT_EQ(Errores.Textos.size(), 2);
    EXPECT_EQ(Texto(*calculo, "EPensionMax"), QStringLiteral("3.000,00"));
    EXPECT_EQ(Texto(*calculo, "LPension"), QStringLiteral("52,00"));

    // So does the maintenance window, which still closes.
    ConMantenimiento(*calculo, [](QWidget&) {});
    EXPECT_GE(Errores.Textos.size(), 3);
    for (const QString& texto : Errores.Textos)
      EXPECT_TRUE(texto.endsWith(QString::fromUtf8(caso.Error))) << texto.toStdString();
    const qsizetype fallos = Errores.Textos.size();

    caso.Arregla();
    Any(*calculo).setValue(2024);
    EXPECT_EQ(Errores.Textos.size(), fallos);
    EXPECT_EQ(Texto(*calculo, "EPensionMax"), QStringLiteral("3.175,04"));
    BaseDatos->Close();
  }
}

// A file the program cannot write: the years are looked up, and the maintenance window
// shows the stored years with every edit disabled and the reason, as the engine opened the
// file. The engine takes a file without its owner's write permission as read-only whoever
// opens it, root included; a component opened read-only stands for any other cause.
TEST_F(VentanasSobreFichero, AReadOnlyFileIsLookedUpAndOnlyShownForMaintenance) {
  namespace fs = std::filesystem;
  // The component first: the file itself stays writable for the case after it.
  const struct {
    const char* Que;
    std::function<void()> HazloSoloLectura;
  } casos[] = {
      {"component opened read-only", [this] { BaseDatos->SetReadOnly(true); }},
      {"file without write permission",
       [this] {
         BaseDatos->Close();
         BaseDatos->SetReadOnly(false);
         fs::permissions(Ruta, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                         fs::perm_options::remove);
       }},
  };
  for (const auto& caso : casos) {
    SCOPED_TRACE(caso.Que);
    caso.HazloSoloLectura();
    const std::string antes = Bytes(Ruta);
    const std::unique_ptr<TFormCalculo> calculo = AbreCalculo();
    Any(*calculo).setValue(2023);
    EXPECT_EQ(Texto(*calculo, "EPensionMax"), QStringLiteral("3.059,23"));

    ConMantenimiento(*calculo, [](QWidget& mantenimiento) {
      const auto& rejilla = Control<QTableView>(mantenimiento, "DBGrid1");
      ASSERT_EQ(rejilla.model()->rowCount(), 2);
      EXPECT_EQ(rejilla.model()->index(1, 0).data().toString(), QStringLiteral("2024"));
      EXPECT_EQ(Texto(mantenimiento, "EPorPMax"), QStringLiteral("3"));
      for (const char* edita : {"EPorPMax", "EPorTCot", "BotConfirmaPor", "Any", "EPenMax", "ETopeCot", "BotOK",
                                "BotEditar", "BotBorrar"}) {
        EXPECT_FALSE(Control(mantenimiento, edita).isEnabled()) << edita;
      }
      EXPECT_TRUE(Control(mantenimiento, "LSoloLectura").isVisible());
      EXPECT_EQ(Texto(mantenimiento, "LSoloLectura"), QString::fromUtf8(TFormManPenMax::AvisoSoloLectura));
    });
    EXPECT_EQ(Errores.Textos, QStringList());
    Any(*calculo).setValue(2024);
    EXPECT_EQ(Texto(*calculo, "EPensionMax"), QStringLiteral("3.175,04"));
    EXPECT_EQ(Bytes(Ruta), antes);
    EXPECT_FALSE(fs::exists(Ruta + "-journal"));
  }
}

}  // namespace
