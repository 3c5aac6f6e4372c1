#include "calc/Importe.h"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace {

// Significant digits of every amount text: what a double holds reliably in decimal.
constexpr int DigitosSignificativos = 15;

// A finite double as its 15-significant-digit decimal form: value = 0.d1d2...d15 × 10^(Exponente + 1),
// i.e. the first digit stands at the place 10^Exponente.
struct FormaDecimal {
  bool Negativo = false;
  std::string Digitos;  // exactly DigitosSignificativos digits; all '0' for zero
  int Exponente = 0;
};

FormaDecimal Descompone(double v) {
  // "-d.dddddddddddddde-ddd" fits easily; to_chars never looks at the locale.
  char buffer[64];
  auto [fin, error] = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::scientific,
                                    DigitosSignificativos - 1);
  (void)error;  // cannot overflow this buffer for a finite double
  std::string_view texto(buffer, static_cast<std::size_t>(fin - buffer));

  FormaDecimal forma;
  if (!texto.empty() && texto.front() == '-') {
    forma.Negativo = true;
    texto.remove_prefix(1);
  }
  std::size_t posE = texto.find('e');
  for (char c : texto.substr(0, posE)) {
    if (c != '.') forma.Digitos.push_back(c);
  }
  std::string_view exponente = texto.substr(posE + 1);
  if (!exponente.empty() && exponente.front() == '+') exponente.remove_prefix(1);
  std::from_chars(exponente.data(), exponente.data() + exponente.size(), forma.Exponente);
  return forma;
}

bool TodoCeros(const std::string& digitos) {
  return digitos.find_first_not_of('0') == std::string::npos;
}

// Adds one unit in the last place of a string of decimal digits, carrying as far as needed.
void SumaUno(std::string& digitos) {
  for (auto it = digitos.rbegin(); it != digitos.rend(); ++it) {
    if (*it != '9') {
      ++*it;
      return;
    }
    *it = '0';
  }
  digitos.insert(digitos.begin(), '1');
}

// NaN and the infinities cannot be amounts; they get a short text that reads back as 0.
std::string TextoNoFinito(double v) {
  if (std::isnan(v)) return "NAN";
  return v < 0 ? "-INF" : "INF";
}

// "1234567" -> "1.234.567".
std::string AgrupaMiles(const std::string& entero) {
  std::string resultado;
  std::size_t primerGrupo = entero.size() % 3 == 0 ? 3 : entero.size() % 3;
  resultado.append(entero, 0, primerGrupo);
  for (std::size_t i = primerGrupo; i < entero.size(); i += 3) {
    resultado.push_back('.');
    resultado.append(entero, i, 3);
  }
  return resultado;
}

bool EsDigito(char c) { return c >= '0' && c <= '9'; }

// Reads [sign] digits [',' digits] [('e'|'E') [sign] digits] with blanks around it; at least one
// digit before the exponent. Returns nothing for any other text.
std::optional<double> LeeNumero(const std::string& texto) {
  const std::string limpio = Recorta(texto);

  // The same number in the notation std::from_chars reads: '.' for decimals, no leading '+'.
  std::string numero;
  std::size_t i = 0;
  if (i < limpio.size() && (limpio[i] == '+' || limpio[i] == '-')) {
    if (limpio[i] == '-') numero.push_back('-');
    ++i;
  }
  std::size_t digitosMantisa = 0;
  while (i < limpio.size() && EsDigito(limpio[i])) {
    numero.push_back(limpio[i++]);
    ++digitosMantisa;
  }
  if (i < limpio.size() && limpio[i] == ',') {
    numero.push_back('.');
    ++i;
    while (i < limpio.size() && EsDigito(limpio[i])) {
      numero.push_back(limpio[i++]);
      ++digitosMantisa;
    }
  }
  if (digitosMantisa == 0) return std::nullopt;
  if (i < limpio.size() && (limpio[i] == 'e' || limpio[i] == 'E')) {
    numero.push_back('e');
    ++i;
    if (i < limpio.size() && (limpio[i] == '+' || limpio[i] == '-')) numero.push_back(limpio[i++]);
    std::size_t digitosExponente = 0;
    while (i < limpio.size() && EsDigito(limpio[i])) {
      numero.push_back(limpio[i++]);
      ++digitosExponente;
    }
    if (digitosExponente == 0) return std::nullopt;
  }
  if (i != limpio.size()) return std::nullopt;

  // Beyond a double's range the text is unreadable; below it, it is zero: 0 either way.
  double valor = 0;
  auto [fin, error] = std::from_chars(numero.data(), numero.data() + numero.size(), valor);
  if (error != std::errc() || fin != numero.data() + numero.size()) return std::nullopt;
  return valor;
}

}  // namespace

std::string Recorta(const std::string& s) {
  std::size_t inicio = s.find_first_not_of(' ');
  if (inicio == std::string::npos) return {};
  std::size_t fin = s.find_last_not_of(' ');
  return s.substr(inicio, fin - inicio + 1);
}

std::string Sustituye(const std::string& s, const std::string& sought, const std::string& replacement) {
  if (sought.empty()) return s;  // nothing to find; avoids an endless scan
  std::string resultado;
  std::size_t desde = 0;
  for (std::size_t pos = s.find(sought); pos != std::string::npos; pos = s.find(sought, desde)) {
    resultado.append(s, desde, pos - desde);
    resultado.append(replacement);
    desde = pos + sought.size();
  }
  resultado.append(s, desde, std::string::npos);
  return resultado;
}

double ValorNum(const std::string& s) {
  std::string texto = Recorta(s).empty() ? std::string("0") : s;
  // Grouping points vanish; the fields never let a decimal point through (they type a comma).
  texto = Sustituye(texto, ".", "");
  return LeeNumero(texto).value_or(0.0);
}

std::string FmtImporte(double v) {
  if (!std::isfinite(v)) return TextoNoFinito(v);
  FormaDecimal forma = Descompone(v);

  // Digits from the first significant one down to the cents, rounded half away from zero on the
  // decimal digits themselves, so that 2.675 (2.67499999... in binary) still gives 2,68.
  std::string centimos;
  int cuantos = forma.Exponente + 3;
  if (cuantos >= 0) {
    if (cuantos >= DigitosSignificativos) {
      centimos = forma.Digitos;
      centimos.append(static_cast<std::size_t>(cuantos - DigitosSignificativos), '0');
    } else {
      centimos = forma.Digitos.substr(0, static_cast<std::size_t>(cuantos));
      if (forma.Digitos[static_cast<std::size_t>(cuantos)] >= '5') SumaUno(centimos);
    }
  }
  if (centimos.size() < 3) centimos.insert(0, 3 - centimos.size(), '0');

  std::string entero = centimos.substr(0, centimos.size() - 2);
  std::size_t primero = entero.find_first_not_of('0');
  entero = primero == std::string::npos ? "0" : entero.substr(primero);

  std::string texto;
  // A value that rounds to nothing (negative zero included) is plain 0,00.
  if (forma.Negativo && !TodoCeros(centimos)) texto.push_back('-');
  texto += AgrupaMiles(entero);
  texto.push_back(',');
  texto.append(centimos, centimos.size() - 2, 2);
  return texto;
}

std::string FmtSimple(double v) {
  if (!std::isfinite(v)) return TextoNoFinito(v);
  if (v == 0) return "0";  // negative zero too
  FormaDecimal forma = Descompone(v);

  std::string significativos = forma.Digitos.substr(0, forma.Digitos.find_last_not_of('0') + 1);
  std::string texto = forma.Negativo ? "-" : "";
  int e = forma.Exponente;
  if (e >= DigitosSignificativos || e < -5) {
    // Too long for plain digits: d,dddE-dd, the exponent without a plus sign or leading zeros.
    texto.push_back(significativos[0]);
    if (significativos.size() > 1) {
      texto.push_back(',');
      texto.append(significativos, 1, std::string::npos);
    }
    texto.push_back('E');
    texto += std::to_string(e);
  } else if (e >= 0) {
    std::size_t enteros = static_cast<std::size_t>(e) + 1;
    if (significativos.size() <= enteros) {
      texto += significativos;
      texto.append(enteros - significativos.size(), '0');
    } else {
      texto.append(significativos, 0, enteros);
      texto.push_back(',');
      texto.append(significativos, enteros, std::string::npos);
    }
  } else {
    texto += "0,";
    texto.append(static_cast<std::size_t>(-e - 1), '0');
    texto += significativos;
  }
  return texto;
}
