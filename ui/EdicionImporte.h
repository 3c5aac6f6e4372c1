// Editing rules shared by the amount fields and the whole-number spin editors of every
// window: which typed characters get in, and how a field's text changes when it gains or
// loses the focus. The windows handle their own keys first and then ask these rules.
#pragma once

#include <QChar>
#include <QString>

#include <optional>

class QKeyEvent;
class QLineEdit;

// Control characters the rules name.
inline constexpr char16_t CaracterRetroceso = 8;
inline constexpr char16_t CaracterEnter = 13;

// Typing limit of an amount field (the percentage fields of the limits window allow 5).
inline constexpr int LongitudImporte = 8;

// The character a key press types, as the rules see it: Backspace is 8, Return and Enter
// are 13. Nothing for keys that type nothing (arrows, Delete, Tab), for shortcuts with
// Ctrl or Alt, and for input of several characters at once.
std::optional<QChar> CaracterTecleado(const QKeyEvent& tecla);

// What an amount field does with a typed character, given the field's current text, how
// many characters are selected (typing replaces them) and its typing limit: the character
// to let in (a point becomes a comma), or nothing when it is dropped. Enter is dropped
// after the window has acted on it; a comma is dropped when the text already has one,
// even if it is selected; anything but digits, the comma and Backspace is dropped, and so
// is a character that would make the text longer than the limit. The limit binds typing
// only: the program may show longer texts, such as 1.234.567,00.
std::optional<QChar> ReglaTeclaImporte(QChar caracter, const QString& texto, int seleccionados,
                                       int longitudMaxima = LongitudImporte);

// What a whole-number spin editor does with a typed character.
enum class TTeclaEntero {
  Pitido,    // refused by the editor itself, with a beep
  Sube,      // "+": the window raises the value
  Baja,      // "-": the window lowers the value
  Pasa,      // a digit or Backspace
  Descarta,  // dropped quietly (the comma and other control characters)
};
TTeclaEntero ReglaTeclaEntero(QChar caracter);

// Focus gained: the plain form of the value, empty when it is 0, all of it selected so
// that typing replaces it.
void ImporteGanaFoco(QLineEdit& campo);
// Focus lost: a value above 0 is shown formatted; otherwise the text stays, or the field is
// emptied when vaciaSiNoPositivo.
void ImportePierdeFoco(QLineEdit& campo, bool vaciaSiNoPositivo);

// The amount a field's text stands for (unreadable text counts as 0).
double ValorCampo(const QLineEdit& campo);
// Amount text for display.
QString TextoImporte(double valor);
