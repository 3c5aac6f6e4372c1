// The start-up check of the limits file: before the program reads a limit from it, the
// engine's integrity check walks the file (a few pages, milliseconds). A damaged file is
// reported in Spanish, with what the check found, and its repair offered: the repair copies
// what can be read into a new file and keeps the damaged one beside it. A file that this
// process cannot write is only reported, since no repaired copy could take its place.
//
// Questions go through Confirma and messages through MostrarError, which tests replace.
#pragma once

#include <QString>
#include <QStringList>

class QWidget;
namespace zdb {
class TZDBDatabase;
}

enum class TEstadoFichero {
  Sano,      // the check found nothing (or could not open the file: the program's own open says why)
  Reparado,  // it was damaged and the repair left a sound file in its place
  Danado,    // it is damaged still: every limit read from it needs a warning
};

// Checks the file of baseDatos, offers its repair and repairs it when the user accepts.
// The component is left disconnected.
TEstadoFichero CompruebaFicheroLimites(QWidget* ventana, zdb::TZDBDatabase& baseDatos);

// The texts the user reads, built in one place so that tests find them.
namespace textos_fichero {
// The damage found, one problem a line (a long list ends with how many more there are).
QString Danado(const QString& fichero, const QStringList& problemas);
inline constexpr const char* OfreceReparar =
    "¿Quiere repararlo ahora? Se copiará a un fichero nuevo todo lo que se pueda leer y el fichero dañado se "
    "guardará aparte. Si no lo repara, compruebe las cifras de los límites antes de usarlas.";
inline constexpr const char* NoSePuedeReparar =
    "No se puede reparar porque el fichero es de solo lectura: pida a quien administre el equipo que lo repare o "
    "que le dé permiso de escritura. Compruebe las cifras de los límites antes de usarlas.";
inline constexpr const char* ReparacionFallida =
    "No se ha podido reparar el fichero de límites; sigue como estaba. Compruebe las cifras de los límites antes "
    "de usarlas.";
inline constexpr const char* ReparacionIncompleta =
    "El fichero de límites se ha reparado, pero no todo se ha podido recuperar. Revise los años en «% y Tabla "
    "Máx.».";
}  // namespace textos_fichero
