// calculo-demora: the deferral supplement calculator. Without options it shows the
// calculation window until the user closes it.
#include "ui/Aplicacion.h"
#include "ui/Calcula.h"
#include "ui/Captura.h"
#include "ui/ComprobacionFichero.h"
#include "ui/Confirmacion.h"
#include "ui/Errores.h"
#include "ui/Impresion.h"
#include "ui/ZDBQtUserPrompts.h"
#include "store/LimitesZDB.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <memory>
#include <string>

int main(int argc, char** argv) {
  CLI::App opciones{"Cálculo importe tanto alzado jubilación demorada"};
  std::string captura;
  opciones.add_option("--screenshot", captura,
                      "Show a sample calculation, write the window's image to this PNG file and exit")
      ->type_name("FILE");
  // --help has to work without a display, so it is answered before the toolkit starts; the
  // toolkit's own options (-platform, -style ...) are let through until it has taken them.
  opciones.allow_extras();
  try {
    opciones.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    return opciones.exit(error);
  }

  // A picture needs no display: unless told otherwise, draw it off screen.
  if (!captura.empty() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  TAplicacion aplicacion(argc, argv);  // takes the toolkit's options out of argv

  opciones.allow_extras(false);
  opciones.clear();
  try {
    opciones.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    return opciones.exit(error);
  }

  // The engine asks for a password or a repair in windows; a screenshot asks nobody, and
  // what would have been a message box goes to the terminal.
  const TZDBQtUserPromptsScope preguntasMotor(captura.empty());
  if (!captura.empty()) {
    CambiaConfirmar([](QWidget*, const QString&) { return false; });
    CambiaMostrarError([](QWidget*, const QString& texto) { std::fprintf(stderr, "%s\n", qPrintable(texto)); });
  }
  TFormCalculo ventana;
  ventana.FijaGuardarPdf(DialogoGuardarPdf);
  if (!ventana.RutaBaseDatos().empty()) {
    try {
      // One database component for the program; every lookup and the maintenance window
      // open their own tables on it.
      std::shared_ptr<zdb::TZDBDatabase> baseDatos = TLimitesZDB::CreaComponente(ventana.RutaBaseDatos());
      // A damaged file is mended now, or its limits carry a warning for as long as it is used.
      const TEstadoFichero estado = CompruebaFicheroLimites(nullptr, *baseDatos);
      ventana.UsaBaseDatos([baseDatos] { return std::make_unique<TLimitesZDB>(baseDatos); });
      ventana.AvisaFicheroDanado(estado == TEstadoFichero::Danado);
    } catch (const std::exception&) {
      // The file cannot be used: the user is told, and the calculator still works by hand.
      MostrarError(nullptr, TextoExcepcion(std::current_exception()));
    }
  }
  if (!captura.empty()) {
    if (CapturaEjemplo(ventana, QString::fromStdString(captura))) return 0;
    std::fprintf(stderr, "No se ha podido escribir la captura en %s\n", captura.c_str());
    return 1;
  }
  ventana.show();
  return TAplicacion::exec();
}
