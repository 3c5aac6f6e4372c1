#include "ui/EdicionImporte.h"

#include "support/Ventanas.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

TEST(ReglaTeclaImporte, LetsInDigitsOneCommaAndBackspaceWithinTheLimit) {
  struct Caso {
    char16_t Caracter;
    const char* Texto;
    int Seleccionados;
    int Limite;
    std::optional<char16_t> Resultado;
  };
  const char16_t retroceso = CaracterRetroceso, enter = CaracterEnter;
  const Caso casos[] = {
      {u'5', "", 0, 8, u'5'},          {u'.', "12", 0, 8, u','},        {u',', "", 0, 8, u','},
      {u',', "1,5", 0, 8, std::nullopt}, {u'.', "1,5", 3, 8, std::nullopt},  // even when selected
      {u'a', "", 0, 8, std::nullopt},  {u' ', "1", 0, 8, std::nullopt}, {u'-', "1", 0, 8, std::nullopt},
      {enter, "1", 0, 8, std::nullopt}, {retroceso, "12345678", 0, 8, retroceso},
      {u'9', "12345678", 0, 8, std::nullopt}, {u'9', "12345678", 1, 8, u'9'},
      {u'9', "1.234.567,00", 0, 8, std::nullopt},  // a longer text shown by the program
      {u'5', "1234", 0, 5, u'5'},      {u'5', "12345", 0, 5, std::nullopt},
      {u'٣', "", 0, 8, std::nullopt},  // digits of other scripts are no amount
  };
  for (const Caso& caso : casos) {
    const std::optional<QChar> resultado =
        ReglaTeclaImporte(QChar(caso.Caracter), QString::fromUtf8(caso.Texto), caso.Seleccionados, caso.Limite);
    const std::optional<QChar> esperado = caso.Resultado ? std::optional<QChar>(QChar(*caso.Resultado)) : std::nullopt;
    EXPECT_EQ(resultado, esperado) << "char " << static_cast<int>(caso.Caracter) << " into \"" << caso.Texto << '"';
  }
}

TEST(ReglaTeclaEntero, BeepsAtWhatAWholeNumberCannotHold) {
  struct Caso {
    char16_t Caracter;
    TTeclaEntero Resultado;
  };
  const Caso casos[] = {
      {u'0', TTeclaEntero::Pasa},     {u'9', TTeclaEntero::Pasa},        {CaracterRetroceso, TTeclaEntero::Pasa},
      {u'+', TTeclaEntero::Sube},     {u'-', TTeclaEntero::Baja},        {u',', TTeclaEntero::Descarta},
      {27, TTeclaEntero::Descarta},   {CaracterEnter, TTeclaEntero::Pitido}, {u'.', TTeclaEntero::Pitido},
      {u'a', TTeclaEntero::Pitido},   {u' ', TTeclaEntero::Pitido},
  };
  for (const Caso& caso : casos) {
    EXPECT_EQ(ReglaTeclaEntero(QChar(caso.Caracter)), caso.Resultado) << static_cast<int>(caso.Caracter);
  }
}

}  // namespace
