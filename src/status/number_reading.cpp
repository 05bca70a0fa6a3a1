#include "status/number_reading.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace tavo::status {
namespace {

constexpr char16_t endOfText = u'\0';

// Walks the text as if every blank had been taken out. Only the characters
// the number needs are looked at: a trace line may hold far more after it.
class BlankSkippingCursor {
public:
    explicit BlankSkippingCursor(QStringView text) : text_(text) {}

    // The next character that is not a blank; endOfText at the end (a NUL in
    // the text cannot continue a number either).
    char16_t peek() {
        while (pos_ < text_.size() && text_[pos_] == u' ') {
            ++pos_;
        }
        return pos_ < text_.size() ? text_[pos_].unicode() : endOfText;
    }

    void advance() { ++pos_; }

    bool take(char16_t upperCaseLetter) {
        const char16_t c = peek();
        if (c == upperCaseLetter || c == upperCaseLetter + (u'a' - u'A')) {
            advance();
            return true;
        }
        return false;
    }

private:
    QStringView text_;
    qsizetype pos_ = 0;
};

int digitValue(char16_t c) {
    if (c >= u'0' && c <= u'9') {
        return c - u'0';
    }
    if (c >= u'A' && c <= u'F') {
        return c - u'A' + 10;
    }
    if (c >= u'a' && c <= u'f') {
        return c - u'a' + 10;
    }
    return -1;
}

bool isDecimalDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

// Digits of the base, without sign. Accumulating in a double overflows to an
// infinity instead of wrapping.
double readWholeNumber(BlankSkippingCursor& cursor, int base) {
    double value = 0;
    for (int digit = digitValue(cursor.peek()); digit >= 0 && digit < base;
         digit = digitValue(cursor.peek())) {
        value = value * base + digit;
        cursor.advance();
    }
    return value;
}

// Exponents beyond this are out of range whatever the mantissa, which has far
// fewer digits; capping keeps the arithmetic below from overflowing.
constexpr long exponentLimit = 10'000'000;

long readExponent(BlankSkippingCursor& cursor) {
    const bool negative = cursor.peek() == u'-';
    if (negative || cursor.peek() == u'+') {
        cursor.advance();
    }
    long exponent = 0;
    for (char16_t c = cursor.peek(); isDecimalDigit(c); c = cursor.peek()) {
        exponent = std::min(exponent * 10 + (c - u'0'), exponentLimit);
        cursor.advance();
    }
    return negative ? -exponent : exponent;
}

// Decimal exponent of the leading non-zero digit of "ddd.ddd"; the mantissa
// holds at least one such digit.
long leadingDigitExponent(const std::string& mantissa) {
    const auto point = std::min(mantissa.find('.'), mantissa.size());
    const auto leading = mantissa.find_first_not_of("0.");
    return leading < point ? long(point - leading) - 1 : long(point) - long(leading);
}

double readDecimalNumber(BlankSkippingCursor& cursor) {
    const bool negative = cursor.peek() == u'-';
    if (negative || cursor.peek() == u'+') {
        cursor.advance();
    }
    std::string mantissa;
    bool hasPoint = false;
    for (char16_t c = cursor.peek(); isDecimalDigit(c) || (c == u'.' && !hasPoint);
         c = cursor.peek()) {
        hasPoint = hasPoint || c == u'.';
        mantissa.push_back(char(c));
        cursor.advance();
    }
    // Zero whatever the exponent; also keeps the out-of-range test below to
    // mantissas with a non-zero digit.
    if (mantissa.find_first_not_of("0.") == std::string::npos) {
        return 0;
    }
    const long exponent = (cursor.take(u'E') || cursor.take(u'D')) ? readExponent(cursor) : 0;

    const std::string number = mantissa + 'e' + std::to_string(exponent);
    double value = 0;
    const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        value = leadingDigitExponent(mantissa) + exponent > 0
                    ? std::numeric_limits<double>::infinity()
                    : 0.0;
    }
    return negative ? -value : value;
}

} // namespace

double readNumberLeniently(QStringView text) {
    BlankSkippingCursor cursor(text);
    if (cursor.peek() != u'&') {
        return readDecimalNumber(cursor);
    }
    cursor.advance();
    if (cursor.take(u'H')) {
        return readWholeNumber(cursor, 16);
    }
    if (cursor.take(u'O')) {
        return readWholeNumber(cursor, 8);
    }
    return 0;
}

double roundHalfToEven(double value) {
    if (!std::isfinite(value)) {
        return value;
    }
    const double below = std::floor(value);
    const double fraction = value - below;
    if (fraction < 0.5) {
        return below;
    }
    if (fraction > 0.5) {
        return below + 1;
    }
    return std::fmod(below, 2) == 0 ? below : below + 1;
}

std::optional<qint16> roundToInt16(double value) {
    const double rounded = roundHalfToEven(value);
    // Converting a value outside the range is undefined; NaN fails both tests.
    if (!(rounded >= std::numeric_limits<qint16>::min() &&
          rounded <= std::numeric_limits<qint16>::max())) {
        return std::nullopt;
    }
    return qint16(rounded);
}

std::optional<qint16> pressureInHectopascals(double rawReading) {
    const std::optional<qint16> raw = roundToInt16(rawReading);
    if (!raw) {
        return std::nullopt;
    }
    // The product is taken in 16 bits: a fivefold outside them is an overflow.
    const int fivefold = *raw * 5;
    if (fivefold < std::numeric_limits<qint16>::min() ||
        fivefold > std::numeric_limits<qint16>::max()) {
        return std::nullopt;
    }
    return roundToInt16((fivefold / 1024.0 - 0.204) / 0.00459 + 150);
}

QString pressureText(QStringView traceLine) {
    const std::optional<qint16> hectopascals =
        pressureInHectopascals(readNumberLeniently(traceLine));
    return (hectopascals ? QString::number(*hectopascals) : QStringLiteral("----")) +
           QStringLiteral(" hPa");
}

} // namespace tavo::status
