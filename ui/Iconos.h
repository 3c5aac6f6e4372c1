// The pictures of the windows' picture buttons, drawn here so that they look
// the same whatever icon theme the desktop has.
#pragma once

#include <QIcon>

QIcon IconoCreditos();   // a round "i"
QIcon IconoImprimir();   // a small printer with a sheet
QIcon IconoConfirmar();  // a green tick
QIcon IconoCancelar();   // a red cross
