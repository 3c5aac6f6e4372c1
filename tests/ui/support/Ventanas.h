// What the window tests share: the application object (created once per test program, with
// the offscreen platform unless another is chosen), recorders that take the place of the
// error box and of the confirmation box, and a way to reach controls by name.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

#include <gtest/gtest.h>

#include <ostream>
#include <stdexcept>
#include <string>

// Failures show texts as text.
inline void PrintTo(const QString& texto, std::ostream* salida) {
  *salida << '"' << texto.toStdString() << '"';
}

// While alive, error messages are recorded here instead of shown in a box.
class TRegistroErrores {
 public:
  TRegistroErrores();
  ~TRegistroErrores();
  TRegistroErrores(const TRegistroErrores&) = delete;
  TRegistroErrores& operator=(const TRegistroErrores&) = delete;

  QStringList Textos;
};

// While alive, confirmation questions are written down and answered with Respuesta.
class TRegistroPreguntas {
 public:
  TRegistroPreguntas();
  ~TRegistroPreguntas();
  TRegistroPreguntas(const TRegistroPreguntas&) = delete;
  TRegistroPreguntas& operator=(const TRegistroPreguntas&) = delete;

  QStringList Preguntas;
  bool Respuesta = false;
};

// Shows ventana and waits until it is the active window, so that focus works as on a desktop.
::testing::AssertionResult MuestraActiva(QWidget& ventana);

// The child of ventana named nombre; fails the test when there is none.
template <typename T = QWidget>
T& Control(const QWidget& ventana, const char* nombre) {
  T* control = ventana.findChild<T*>(QString::fromLatin1(nombre));
  if (!control) throw std::runtime_error(std::string("no control named ") + nombre);
  return *control;
}
