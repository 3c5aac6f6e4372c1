// Yes-or-no questions to the user: a confirmation box with the buttons "&Si" and "&No".
// Like the error box (Errores.h), what asks can be replaced, so that tests answer without
// a click.
#pragma once

#include <QString>

#include <functional>
#include <memory>

class QMessageBox;
class QWidget;

// True when the user answers "&Si".
using TConfirmar = std::function<bool(QWidget* ventana, const QString& pregunta)>;

// Asks pregunta over ventana (which may be null).
bool Confirma(QWidget* ventana, const QString& pregunta);

// Replaces what Confirma does; an empty function restores the box. Returns the one it
// replaces.
TConfirmar CambiaConfirmar(TConfirmar nuevo);

// The box Confirma shows: caption "Confirmación", a question icon, "&Si" and "&No"; "&No"
// is the default and the answer of Escape, so that a stray Enter deletes nothing.
std::unique_ptr<QMessageBox> CajaConfirmacion(QWidget* ventana, const QString& pregunta);
