// Printing a window's image: one page on the default printer, the image at the page's
// top-left corner at the size it has on a 96-pixels-per-inch screen.
#pragma once

#include <QPrinter>

#include <functional>
#include <memory>

class QDate;
class QPaintDevice;
class QPixmap;
class QString;
class QWidget;

// Where a print job goes. Null means there is no printer to use.
using TObtenImpresora = std::function<std::unique_ptr<QPrinter>()>;

// Asks where to save the page as a PDF, proposing a file name; empty when the user cancels.
using TPideFicheroPdf = std::function<QString(QWidget* padre, const QString& propuesto)>;

// The system's default printer, or null when the machine has none.
std::unique_ptr<QPrinter> ImpresoraPredeterminada();

// The Spanish save dialog for a PDF file.
QString DialogoGuardarPdf(QWidget* padre, const QString& propuesto);
// "Calculo-demora-2026-12-11.pdf" in the user's documents folder.
QString NombrePdfPropuesto(const QDate& dia);
// A "printer" that writes the page into a PDF file, at the resolution of a printer.
std::unique_ptr<QPrinter> ImpresoraPdf(const QString& fichero);

// Draws imagen at destino's top-left corner at the size it has on screen: its pixels times
// destino's pixels per inch over the screen's 96. Throws std::runtime_error when destino
// cannot be painted on.
void PintaATamanoReal(QPaintDevice& destino, const QPixmap& imagen);

// Prints imagen as the only page of one job. Throws std::runtime_error with the text the
// user reads when the printer cannot take the job.
void ImprimeImagen(QPrinter& impresora, const QPixmap& imagen);

// Pixels per inch of the screen that window images are measured in.
inline constexpr int PuntosPorPulgadaPantalla = 96;
