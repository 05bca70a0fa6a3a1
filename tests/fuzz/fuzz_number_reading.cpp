// The lenient number reading behind the pressure text, over any text (the
// input as Latin-1, and as UTF-16 when it has an even length): blanks never
// change the value, rounding stays within half a unit and ties go to even,
// 16-bit results fit 16 bits, and the pressure text agrees with the
// arithmetic.

#include "fuzz_support.h"
#include "status/number_reading.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

using namespace tavo::status;

bool sameValue(double a, double b) {
    return a == b || (std::isnan(a) && std::isnan(b));
}

void checkRounding(double value) {
    const double rounded = roundHalfToEven(value);
    if (!std::isfinite(value)) {
        FUZZ_CHECK(sameValue(rounded, value), QString::number(value));
        return;
    }
    const double off = std::fabs(rounded - value);
    FUZZ_CHECK(rounded == std::floor(rounded), QString::number(value, 'g', 17));
    FUZZ_CHECK(off <= 0.5, QString::number(value, 'g', 17));
    FUZZ_CHECK(off != 0.5 || std::fmod(rounded, 2) == 0, QString::number(value, 'g', 17));

    const std::optional<qint16> small = roundToInt16(value);
    const bool fits = rounded >= std::numeric_limits<qint16>::min() &&
                      rounded <= std::numeric_limits<qint16>::max();
    FUZZ_CHECK(small.has_value() == fits, QString::number(value, 'g', 17));
    FUZZ_CHECK(!small || *small == rounded, QString::number(value, 'g', 17));
}

void checkText(QStringView text) {
    const double value = readNumberLeniently(text);
    FUZZ_CHECK(!std::isnan(value), text.toString());

    QString withoutBlanks = text.toString();
    withoutBlanks.remove(QLatin1Char(' '));
    const double unblanked = readNumberLeniently(withoutBlanks);
    FUZZ_CHECK(sameValue(unblanked, value), QStringLiteral("\"%1\" reads %2, without blanks %3")
                                                .arg(text.toString())
                                                .arg(value, 0, 'g', 17)
                                                .arg(unblanked, 0, 'g', 17));

    checkRounding(value);

    const std::optional<qint16> hectopascals = pressureInHectopascals(value);
    const std::optional<qint16> raw = roundToInt16(value);
    FUZZ_CHECK(!hectopascals || (raw && std::abs(*raw * 5) <= std::numeric_limits<qint16>::max()),
               text.toString());
    const QString expected =
        (hectopascals ? QString::number(*hectopascals) : QStringLiteral("----")) +
        QStringLiteral(" hPa");
    const QString shown = pressureText(text);
    FUZZ_CHECK(shown == expected,
               QStringLiteral("\"%1\" shows \"%2\"").arg(text.toString(), shown));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    checkText(QString::fromLatin1(bytes));
    if (size % 2 == 0) {
        // Copied: the input need not be aligned for 16-bit units.
        QString wide(qsizetype(size / 2), Qt::Uninitialized);
        std::memcpy(wide.data(), data, size);
        checkText(wide);
    }
    return 0;
}
