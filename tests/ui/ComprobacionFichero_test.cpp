// The start-up check of the limits file, on real files: a sound file passes without a word;
// a damaged one is reported and its repair offered, and the calculation window warns next
// to the limits whenever the program goes on with the damaged file; a file that cannot be
// written is reported without the offer.
#include "ui/ComprobacionFichero.h"
#include "ui/Calcula.h"

#include "engine/dataset/ZDBDatabase.h"
#include "engine/file/ZDBDiskPageManager.h"
#include "store/AbrirBaseDatos.h"
#include "store/LimitesZDB.h"
#include "support/Ventanas.h"
#include "tests/store/support/FicheroLimites.h"
#include "tests/support/ChildProcess.h"
#include "zdb/Check.h"
#include "zdb/Inspection.h"

#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

namespace {

namespace fs = std::filesystem;
using zdb::testing::ScratchFolder;

const TLimitesAny A2023{2023, 3059.23, 4495.50};
const TLimitesAny A2024{2024, 3175.04, 4720.50};

std::string Bytes(const std::string& ruta) {
  std::ifstream entrada(ruta, std::ios::binary);
  return {std::istreambuf_iterator<char>(entrada), {}};
}

// Sets bits in the slot map of the first record page of "Maximo" (16 bytes of it), as a bad
// sector or a stray write would: the page then claims rows in slots that never held one,
// which read as rows of zeros. The two real rows keep their slots.
void EstropeaPaginaDeFilas(const std::string& ruta) {
  int32_t pagina = -1;
  {
    zdb::TZDBFileInspector inspector(ruta, {});
    int32_t maximo = -1;
    for (const zdb::TZDBTableListRow& tabla : inspector.Tables())
      if (tabla.Name == TablaMaximo) maximo = tabla.ObjectID;
    for (int32_t n = 0; n < inspector.PageCount() && pagina < 0; ++n) {
      const zdb::TZDBPageSummary resumen = inspector.Page(n);
      if (resumen.TypeName == "TableRecord Page" && resumen.OwnerObjectID == maximo) pagina = n;
    }
  }
  ASSERT_GE(pagina, 0) << "no record page of " << TablaMaximo;
  int64_t posicion = 0;
  {
    zdb::TZDBDiskPageManager paginas;
    bool multiUsuario = false;
    bool soloLectura = true;
    paginas.OpenDatabaseFile(ruta, {}, multiUsuario, false, soloLectura);
    posicion = paginas.PageAreaStart() + int64_t{pagina} * paginas.PageSize() + paginas.PageHeaderSize();
    paginas.CloseDatabaseFile();
  }
  std::fstream fichero(ruta, std::ios::binary | std::ios::in | std::ios::out);
  std::string mapa(16, '\0');
  fichero.seekg(posicion);
  fichero.read(mapa.data(), static_cast<std::streamsize>(mapa.size()));
  for (char& octeto : mapa) octeto = static_cast<char>(octeto | 0x5a);
  fichero.seekp(posicion);
  fichero.write(mapa.data(), static_cast<std::streamsize>(mapa.size()));
}

class ComprobacionAlArrancar : public ::testing::Test {
 protected:
  void SetUp() override { Prepara(false); }

  // A new limits file, damaged when asked, and the program's component on it.
  void Prepara(bool danado) {
    BaseDatos.reset();  // one component of the name at a time
    if (fs::exists(Ruta)) {
      fs::permissions(Ruta, fs::perms::owner_write, fs::perm_options::add);
      fs::remove(Ruta);
    }
    pruebas::CreaFicheroLimites(Ruta, {A2023, A2024}, TPorcentajes{3, 4});
    if (danado) EstropeaPaginaDeFilas(Ruta);
    BaseDatos = TLimitesZDB::CreaComponente(Ruta);
  }

  // The program's start: the check, then the calculation window on the file as it is now.
  std::unique_ptr<TFormCalculo> Arranca(TEstadoFichero esperado) {
    const TEstadoFichero estado = CompruebaFicheroLimites(nullptr, *BaseDatos);
    EXPECT_EQ(estado, esperado);
    EXPECT_FALSE(BaseDatos->Connected());
    auto ventana = std::make_unique<TFormCalculo>();
    ventana->UsaBaseDatos([baseDatos = BaseDatos] { return std::make_unique<TLimitesZDB>(baseDatos); });
    ventana->AvisaFicheroDanado(estado == TEstadoFichero::Danado);
    EXPECT_TRUE(MuestraActiva(*ventana));
    return ventana;
  }

  static bool AvisoVisible(const TFormCalculo& ventana) {
    const auto& aviso = Control<QLabel>(ventana, "LAvisoFichero");
    EXPECT_EQ(aviso.text(), QString::fromUtf8(TFormCalculo::AvisoFicheroDanado));
    EXPECT_LE(aviso.fontMetrics().horizontalAdvance(aviso.text()), aviso.width()) << "the warning is cut off";
    return aviso.isVisible();
  }

  // The stored years still reach the window.
  static void EsperaLimites(TFormCalculo& ventana) {
    Control<QSpinBox>(ventana, "Any").setValue(2023);
    EXPECT_EQ(Control<QLineEdit>(ventana, "EPensionMax").text(), QStringLiteral("3.059,23"));
    EXPECT_EQ(Control<QLineEdit>(ventana, "ETopeCot").text(), QStringLiteral("4.495,50"));
  }

  // What the user reads first about a damaged file: its name and the first problem found.
  QString Danado() const {
    const zdb::TZDBFileCheckReport informe = zdb::CheckDatabaseFile(Ruta, {});
    EXPECT_FALSE(informe.Clean());
    QStringList problemas;
    for (const std::string& problema : informe.Problems) problemas << QString::fromStdString(problema);
    return textos_fichero::Danado(QString::fromStdString(Ruta), problemas);
  }

  ScratchFolder Carpeta;
  std::string Ruta = Carpeta.File(NombreBaseDatos);
  std::string Copia = Ruta + ".bak";
  std::shared_ptr<zdb::TZDBDatabase> BaseDatos;
  TRegistroErrores Errores;
  TRegistroPreguntas Preguntas;
};

TEST_F(ComprobacionAlArrancar, ASoundFileIsUsedWithoutAWord) {
  const std::string antes = Bytes(Ruta);
  const std::unique_ptr<TFormCalculo> calculo = Arranca(TEstadoFichero::Sano);
  EXPECT_EQ(Preguntas.Preguntas, QStringList());
  EXPECT_EQ(Errores.Textos, QStringList());
  EXPECT_FALSE(AvisoVisible(*calculo));
  EsperaLimites(*calculo);
  EXPECT_EQ(Bytes(Ruta), antes);
}

// Accepted, the repair puts a sound file in place, keeps the damaged one beside it, and
// the program goes on without a warning; what the repair could not save, if anything, the
// user is told.
TEST_F(ComprobacionAlArrancar, ADamagedFileIsRepairedWhenTheUserAccepts) {
  Prepara(true);
  const std::string danado = Bytes(Ruta);
  const QString pregunta = Danado() + QStringLiteral("\n\n") + QString::fromUtf8(textos_fichero::OfreceReparar);
  Preguntas.Respuesta = true;
  const std::unique_ptr<TFormCalculo> calculo = Arranca(TEstadoFichero::Reparado);
  EXPECT_EQ(Preguntas.Preguntas, QStringList{pregunta});
  EXPECT_TRUE(zdb::CheckDatabaseFile(Ruta, {}).Clean());
  EXPECT_EQ(Bytes(Copia), danado);
  if (BaseDatos->LastRepairReport().Complete()) {
    EXPECT_EQ(Errores.Textos, QStringList());
  } else {
    ASSERT_EQ(Errores.Textos.size(), 1);
    EXPECT_TRUE(Errores.Textos[0].startsWith(QString::fromUtf8(textos_fichero::ReparacionIncompleta)));
  }
  EXPECT_FALSE(AvisoVisible(*calculo));
  EsperaLimites(*calculo);
}

// Whenever the program goes on with the damaged file (the user declines, the file cannot
// be written, the repair fails) the file is left as it was and the limits read from it
// carry the warning; a file that cannot be written is not offered the repair at all.
TEST_F(ComprobacionAlArrancar, ADamagedFileLeftAsItIsIsWarnedAboutNextToTheLimits) {
  zdbtest::ChildProcess otro{ZDB_STORE_PEER_PATH};
  const struct {
    const char* Que;
    std::function<void()> Prepara;
    bool Respuesta;
    bool Pregunta;      // the repair is offered
    const char* Error;  // how the message after the offer starts; nullptr: none
  } casos[] = {
      {"declined", [] {}, false, true, nullptr},
      {"read-only file",
       [this] {
         fs::permissions(Ruta, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                         fs::perm_options::remove);
       },
       true, false, nullptr},
      {"open in another copy of the program",
       [&] {
         EXPECT_EQ(otro.Run("open " + Ruta), 0);
         EXPECT_EQ(otro.Run("find 2023 3059.23 4495.5"), 1);  // its component keeps the file open
       },
       true, true, textos_fichero::ReparacionFallida},
  };
  for (const auto& caso : casos) {
    SCOPED_TRACE(caso.Que);
    Prepara(true);
    caso.Prepara();
    Preguntas.Preguntas.clear();
    Errores.Textos.clear();
    Preguntas.Respuesta = caso.Respuesta;
    const QString danado = Danado();
    const std::string antes = Bytes(Ruta);

    const std::unique_ptr<TFormCalculo> calculo = Arranca(TEstadoFichero::Danado);
    if (caso.Pregunta) {
      EXPECT_EQ(Preguntas.Preguntas,
                QStringList{danado + QStringLiteral("\n\n") + QString::fromUtf8(textos_fichero::OfreceReparar)});
    } else {
      EXPECT_EQ(Preguntas.Preguntas, QStringList());
      EXPECT_EQ(Errores.Textos,
                QStringList{danado + QStringLiteral("\n\n") + QString::fromUtf8(textos_fichero::NoSePuedeReparar)});
    }
    if (caso.Error) {
      ASSERT_EQ(Errores.Textos.size(), 1);
      EXPECT_TRUE(Errores.Textos[0].startsWith(QString::fromUtf8(caso.Error))) << Errores.Textos[0].toStdString();
    } else if (caso.Pregunta) {
      EXPECT_EQ(Errores.Textos, QStringList());
    }
    EXPECT_TRUE(AvisoVisible(*calculo));
    EsperaLimites(*calculo);
    EXPECT_EQ(Bytes(Ruta), antes);
    EXPECT_FALSE(fs::exists(Copia));
    if (caso.Error != nullptr) {
      EXPECT_EQ(otro.Run("close"), 0);
    }
  }
}

}  // namespace
