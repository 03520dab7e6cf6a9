// Number helpers and number texts: rounding half to even, the plain number-to-text form in the
// user's decimal separator, and the reading of a number typed by the user.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace brimsal {

// Smaller / larger of two values; on equal values the second.
double MinDbl(double a, double b);
double MaxDbl(double a, double b);
int64_t MinLng(int64_t a, int64_t b);
int64_t MaxLng(int64_t a, int64_t b);
// The lowest 8 bits of a value, 0..255.
int ByteBajo(int64_t value);

// Nearest whole number, halves to the even neighbour (127.5 -> 128, 126.5 -> 126).
double RoundHalfEven(double value);

// The plain number-to-text form: at most 15 significant digits, no trailing zeros, no exponent,
// "-0" written as "0", and `decimal_separator` (one or more bytes) between the whole and the
// fractional part.
std::string NumberText(double value, std::string_view decimal_separator);
// The same with the decimal separator of the current C locale (LC_NUMERIC).
std::string NumberText(double value);
// The decimal separator of the current C locale, whole: some locales' separator is a multibyte
// character (U+066B in ps_AF). "." when the locale gives none.
std::string DecimalSeparator();

// The number a text typed by the user holds: optional blanks, a sign, digits with one decimal
// point, decimal comma or `decimal_separator`, an optional exponent. nullopt for anything else,
// and for infinities.
std::optional<double> NumberFromText(const std::string& text, std::string_view decimal_separator);
// The same with the current locale's decimal separator.
std::optional<double> NumberFromText(const std::string& text);

}  // namespace brimsal
