#include "ui/ComprobacionFichero.h"

#include "store/LimitesZDB.h"
#include "ui/Confirmacion.h"
#include "ui/Errores.h"
#include "zdb/Check.h"
#include "zdb/Database.h"
#include "zdb/Errors.h"
#include "zdb/Repair.h"

#include <exception>
#include <optional>
#include <string>
#include <vector>

namespace {

// More lines than this make a box taller than the screen and say no more to the user.
constexpr qsizetype ProblemasMostrados = 6;

QString Texto(const std::string& utf8) {
  return QString::fromStdString(utf8);
}

QStringList Lineas(const std::vector<std::string>& lineas) {
  QStringList resultado;
  for (const std::string& linea : lineas) resultado << Texto(linea);
  return resultado;
}

// What the check found: nothing when the file is sound, or when it cannot be checked for a
// reason that is not damage (locked, a password, no access), which the program's own open
// then reports as it always has.
std::optional<QStringList> ProblemasDelFichero(const zdb::TZDBDatabase& baseDatos) {
  try {
    const zdb::TZDBFileCheckReport informe = zdb::CheckDatabaseFile(
        baseDatos.DatabaseFileName(), zdb::TZDBPassword{baseDatos.Password(), baseDatos.EncryptionAlgorithm()});
    if (informe.Clean()) return std::nullopt;
    return Lineas(informe.Problems);
  } catch (const zdb::EZDBException& error) {
    if (error.Kind() != zdb::TZDBErrorKind::Damaged) return std::nullopt;
    return QStringList{Texto(error.what())};
  }
}

// The component connects and disconnects without asking the user anything: the question
// about this file is ours to ask.
class TSinPreguntas {
 public:
  explicit TSinPreguntas(zdb::TZDBDatabase& baseDatos) : BaseDatos(baseDatos), Antes(baseDatos.SilentMode()) {
    BaseDatos.SetSilentMode(true);
  }
  ~TSinPreguntas() { BaseDatos.SetSilentMode(Antes); }
  TSinPreguntas(const TSinPreguntas&) = delete;
  TSinPreguntas& operator=(const TSinPreguntas&) = delete;

 private:
  zdb::TZDBDatabase& BaseDatos;
  bool Antes;
};

// Whether the engine opens the file read-only. A file too damaged to open is offered the
// repair all the same: the repair itself refuses a file it cannot write, and says so.
bool SoloLectura(zdb::TZDBDatabase& baseDatos) {
  const TSinPreguntas sinPreguntas(baseDatos);
  bool soloLectura = false;
  try {
    soloLectura = FicheroSoloLectura(baseDatos);
  } catch (const std::exception&) {
  }
  baseDatos.Close();
  return soloLectura;
}

// Repairs the file; false when it was not replaced, after telling the user why.
bool Repara(QWidget* ventana, zdb::TZDBDatabase& baseDatos) {
  bool reemplazado = false;
  QString porQue;
  {
    // The engine's own warning is in English; the user gets ours, with its lines.
    const TSinPreguntas sinPreguntas(baseDatos);
    try {
      reemplazado = baseDatos.Repair();
      porQue = Texto(baseDatos.LastRepairReport().Failure);
    } catch (...) {
      porQue = TextoExcepcion(std::current_exception());
    }
  }
  const zdb::TZDBRepairReport& informe = baseDatos.LastRepairReport();
  if (!reemplazado) {
    QString texto = QString::fromUtf8(textos_fichero::ReparacionFallida);
    if (!porQue.isEmpty()) texto += QStringLiteral("\n\n") + porQue;
    MostrarError(ventana, texto);
    return false;
  }
  if (!informe.Complete()) {
    MostrarError(ventana, QString::fromUtf8(textos_fichero::ReparacionIncompleta) + QStringLiteral("\n\n") +
                              Lineas(informe.Lines()).join(u'\n'));
  }
  return true;
}

}  // namespace

QString textos_fichero::Danado(const QString& fichero, const QStringList& problemas) {
  QStringList mostrados = problemas.mid(0, ProblemasMostrados);
  if (problemas.size() > ProblemasMostrados)
    mostrados << QStringLiteral("… y %1 problemas más.").arg(problemas.size() - ProblemasMostrados);
  return QStringLiteral("El fichero de límites %1 está dañado:\n\n").arg(fichero) + mostrados.join(u'\n');
}

TEstadoFichero CompruebaFicheroLimites(QWidget* ventana, zdb::TZDBDatabase& baseDatos) {
  const std::optional<QStringList> problemas = ProblemasDelFichero(baseDatos);
  if (!problemas) return TEstadoFichero::Sano;
  const QString danado = textos_fichero::Danado(Texto(baseDatos.DatabaseFileName()), *problemas);

  if (SoloLectura(baseDatos)) {
    MostrarError(ventana, danado + QStringLiteral("\n\n") + QString::fromUtf8(textos_fichero::NoSePuedeReparar));
    return TEstadoFichero::Danado;
  }
  if (!Confirma(ventana, danado + QStringLiteral("\n\n") + QString::fromUtf8(textos_fichero::OfreceReparar))) {
    // The engine would ask again, in its own words, on a file left half-written.
    baseDatos.OnNeedRepair = [](zdb::TZDBDatabase&) { return false; };
    return TEstadoFichero::Danado;
  }
  if (!Repara(ventana, baseDatos)) return TEstadoFichero::Danado;

  // Whatever the repair could not mend is still damage, and the user is told what it is.
  if (const std::optional<QStringList> quedan = ProblemasDelFichero(baseDatos)) {
    MostrarError(ventana, textos_fichero::Danado(Texto(baseDatos.DatabaseFileName()), *quedan));
    return TEstadoFichero::Danado;
  }
  return TEstadoFichero::Reparado;
}
