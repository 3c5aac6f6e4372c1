// How failures reach the user: an error message box over the window where they happened.
// Event handlers run their work through Protegido, so that an exception ends the handler,
// is shown, and leaves the window as it was; TAplicacion catches whatever escapes anyway.
// Tests put a recorder in place of the box so that nothing waits for a click.
#pragma once

#include <QString>

#include <exception>
#include <functional>

class QWidget;

using TMostrarError = std::function<void(QWidget* ventana, const QString& texto)>;

// Shows texto as an error over ventana (which may be null).
void MostrarError(QWidget* ventana, const QString& texto);

// Replaces what MostrarError does; an empty function restores the message box. Returns the
// one it replaces.
TMostrarError CambiaMostrarError(TMostrarError nuevo);

// The text to show for the exception being handled.
QString TextoExcepcion(const std::exception_ptr& excepcion);

// Runs trabajo; an exception it raises is shown over ventana and goes no further.
template <typename F>
void Protegido(QWidget* ventana, F&& trabajo) {
  try {
    trabajo();
  } catch (...) {
    MostrarError(ventana, TextoExcepcion(std::current_exception()));
  }
}

// Runs trabajo and ignores any failure: for the change events whose conversions and
// recalculation must never interrupt typing.
template <typename F>
void IgnoraFallos(F&& trabajo) noexcept {
  try {
    trabajo();
  } catch (...) {
  }
}
