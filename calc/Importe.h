// Amount text in Spanish notation: a comma for decimals, a point between thousands.
// Texts are UTF-8.
#pragma once

#include <string>

// s without its leading and trailing blanks (the space character only).
std::string Recorta(const std::string& s);
// s with every occurrence of sought replaced, scanning from the left, never overlapping;
// an empty sought changes nothing.
std::string Sustituye(const std::string& s, const std::string& sought, const std::string& replacement);
// The amount a text stands for; points are dropped, the comma is the decimal separator,
// blanks around, a sign and an exponent are allowed, and a text that cannot be read (or lies
// beyond a double's range) counts as 0. Never fails; does not depend on the C locale.
double ValorNum(const std::string& s);
// "#,##0.00" in Spanish notation: 1234.5 -> "1.234,50"; rounds half away from zero on
// the value's 15-significant-digit decimal form, so 0.005 -> "0,01" and 2.675 -> "2,68".
// What rounds to zero shows as "0,00" without a sign; NaN and the infinities show as "NAN",
// "INF" and "-INF", which read back as 0.
std::string FmtImporte(double v);
// Short form, up to 15 significant digits, comma decimals, no grouping, no trailing
// zeros: 112 -> "112", 2.5 -> "2,5"; past 15 integer digits or below 0,00001 it turns
// scientific: 1e20 -> "1E20", 1.5e-7 -> "1,5E-7".
std::string FmtSimple(double v);
