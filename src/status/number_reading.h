#pragma once
// The lenient number reading behind the pressure rule, and the pressure
// arithmetic. The reading skips every blank wherever it stands, so the trace
// line " 5 1 2 CR " reads 512: a blank follows every reply character, and the
// letters of "CR " end the number.

#include <QString>
#include <QStringView>

#include <optional>

namespace tavo::status {

// Blanks are skipped anywhere. Then either "&H" or "&O" (letters in either
// case) and a hexadecimal or octal whole number, or an optional sign, digits
// with at most one decimal point among them and an optional exponent (E or D
// in either case, optional sign, digits). Reading stops at the first character
// that cannot continue the number; without a digit the value is 0. A number
// beyond the range of a double reads as an infinity.
double readNumberLeniently(QStringView text);

// To the nearest integer, an exact half to the even neighbour.
double roundHalfToEven(double value);

// Rounded half to even, or nothing when the result does not fit 16 bits
// (infinities and NaN included).
std::optional<qint16> roundToInt16(double value);

// A raw reading in hPa: the rounded raw reading times 5 in 16-bit signed
// arithmetic, then (product / 1024 - 0.204) / 0.00459 + 150, rounded. Nothing
// when the raw reading or its fivefold does not fit 16 bits.
std::optional<qint16> pressureInHectopascals(double rawReading);

// The status text of the pressure rule: "<n> hPa", or "---- hPa" when the
// reading is out of range.
QString pressureText(QStringView traceLine);

} // namespace tavo::status
