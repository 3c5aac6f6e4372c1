// A picture of the calculation window at work, for machines without a display and for the
// documentation: a sample calculation is typed in key by key, as a user would, and the
// window's image is written to a PNG file.
#pragma once

#include <QString>

class TFormCalculo;

// Shows ventana, types the sample in (1.500,00 a month, 3 years, a maximum pension and a
// cap) and writes the window's image to fichero. Returns false when the file cannot be
// written.
bool CapturaEjemplo(TFormCalculo& ventana, const QString& fichero);
