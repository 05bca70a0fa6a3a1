// The lenient number reading and the pressure arithmetic of the pressure rule.

#include "status/number_reading.h"

#include <QTest>

#include <cmath>
#include <limits>

using namespace tavo::status;

namespace {

constexpr double infinity = std::numeric_limits<double>::infinity();

void readingRow(const char* name, const QString& text, double expected) {
    QTest::addRow("%s", name) << text << expected;
}

void roundingRow(const char* name, double value, double expected) {
    QTest::addRow("%s", name) << value << expected;
}

void int16Row(const char* name, double value, bool fits, int expected) {
    QTest::addRow("%s", name) << value << fits << expected;
}

void pressureRow(const char* name, const QString& traceLine, const QString& expected) {
    QTest::addRow("%s", name) << traceLine << expected;
}

} // namespace

class TestNumberReading : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void readsNumber_data();
    void readsNumber();
    void readsOutOfRange_data();
    void readsOutOfRange();
    void roundsHalfToEven_data();
    void roundsHalfToEven();
    void roundsToInt16_data();
    void roundsToInt16();
    void showsPressure_data();
    void showsPressure();
};

void TestNumberReading::readsNumber_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");

    readingRow("whole number", "512", 512.0);
    readingRow("trace line of a reply", " 5 1 2 CR ", 512.0);
    readingRow("blanks inside the digits", "1 2  3", 123.0);
    readingRow("leading blanks", "   42", 42.0);
    readingRow("plus sign", "+7", 7.0);
    readingRow("minus sign", "-7", -7.0);
    readingRow("blank between sign and digits", "- 7", -7.0);
    readingRow("negative trace line", " - 1 2 CR ", -12.0);
    readingRow("two signs", "--5", 0.0);
    readingRow("sign after digits ends the number", "5-3", 5.0);
    readingRow("sign without digits", "-", 0.0);
    readingRow("sign before letters", "+CR", 0.0);
    readingRow("leading decimal point", ".5", 0.5);
    readingRow("negative leading decimal point", "-.25", -0.25);
    readingRow("trailing decimal point", "5.", 5.0);
    readingRow("decimal fraction", "12.75", 12.75);
    readingRow("blanks around the decimal point", " 1 2 . 7 5 ", 12.75);
    readingRow("second decimal point ends the number", "1.2.3", 1.2);
    readingRow("lone decimal point", ".", 0.0);
    readingRow("exponent E", "1.5E3", 1500.0);
    readingRow("exponent e", "1.5e3", 1500.0);
    readingRow("exponent D", "2D2", 200.0);
    readingRow("exponent d", "2d2", 200.0);
    readingRow("exponent with minus", "2d-2", 0.02);
    readingRow("exponent with plus", "2E+2", 200.0);
    readingRow("blanks inside the exponent", " 2 E - 1 ", 0.2);
    readingRow("exponent after trailing point", "5.E1", 50.0);
    readingRow("exponent letter without digits", "5E", 5.0);
    readingRow("exponent sign without digits", "5E+", 5.0);
    readingRow("exponent letter then CR", " 5 E CR ", 5.0);
    readingRow("second exponent letter ends the number", "2E1E1", 20.0);
    readingRow("point after exponent ends the number", "2E1.5", 20.0);
    readingRow("exponent without mantissa digits", "E5", 0.0);
    readingRow("point and exponent without digits", ".E5", 0.0);
    readingRow("zero with large exponent", "0E99999999999", 0.0);
    readingRow("hexadecimal upper case", "&H1F", 31.0);
    readingRow("hexadecimal lower case", "&h1f", 31.0);
    readingRow("hexadecimal mixed case", "&h1F", 31.0);
    readingRow("octal upper case", "&O17", 15.0);
    readingRow("octal lower case", "&o17", 15.0);
    readingRow("hexadecimal with blanks", " & H 1 F ", 31.0);
    readingRow("hexadecimal takes the C of CR", " & H 1 F CR ", 508.0);
    readingRow("hexadecimal above 16 bits", "&HFFFF", 65535.0);
    readingRow("hexadecimal without digits", "&H", 0.0);
    readingRow("hexadecimal ended by G", "&H1G", 1.0);
    readingRow("hexadecimal point ends the number", "&H1.8", 1.0);
    readingRow("octal ended by 8", "&O178", 15.0);
    readingRow("ampersand without base letter", "&17", 0.0);
    readingRow("sign before ampersand", "-&H10", 0.0);
    readingRow("sign after base letter", "&H-10", 0.0);
    readingRow("text after the number", "12abc", 12.0);
    readingRow("letters only", "abc", 0.0);
    readingRow("empty text", "", 0.0);
    readingRow("blanks only", "   ", 0.0);
    readingRow("acknowledgement before digits", " ACK 5 1 2 CR ", 0.0);
    readingRow("twelve digits", "123456789012", 123456789012.0);
    readingRow("leading zeros", "000.5", 0.5);
    readingRow("far right of the point, large exponent", "0.00000000001E319", 1e308);
    readingRow("many digits, negative exponent", "12500E-4", 1.25);
    readingRow("digits after CR on a long trace line", " 5 1 2 CR " + QString(" 9").repeated(65000),
               512.0);
    readingRow("leading zeros past 400 places",
               QStringLiteral("0.%1E400").arg(QString(399, u'0') + u'1'), 1.0);
}

void TestNumberReading::readsNumber() {
    QFETCH(QString, text);
    QFETCH(double, expected);

    QCOMPARE(readNumberLeniently(text), expected);
}

// Beyond the range of a double a reading is an infinity (or zero when it is
// too small), never a wrapped or undefined value.
void TestNumberReading::readsOutOfRange_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");

    readingRow("huge exponent", "1E999", infinity);
    readingRow("huge negative number", "-1D999", -infinity);
    readingRow("tiny number", "1E-999", 0.0);
    readingRow("400 digits", u'1' + QString(400, u'0'), infinity);
    readingRow("mantissa digits push past the limit", "1000E306", infinity);
    readingRow("400 digits outweigh a negative exponent", u'1' + QString(400, u'0') + "E-50",
               infinity);
    readingRow("400 zeros outweigh a positive exponent", "0." + QString(400, u'0') + "1E50", 0.0);
    readingRow("point pulls below the limit", "0.001E-322", 0.0);
    readingRow("exponent of 20 digits", "1E99999999999999999999", infinity);
    readingRow("negative exponent of 20 digits", "1E-99999999999999999999", 0.0);
    readingRow("300 hexadecimal digits", "&H" + QString(300, u'F'), infinity);
    readingRow("400 octal digits", "&O" + QString(400, u'7'), infinity);
    readingRow("trace line of 32767 digits", QString(" 9").repeated(32767) + " CR ", infinity);
}

void TestNumberReading::readsOutOfRange() {
    QFETCH(QString, text);
    QFETCH(double, expected);

    QCOMPARE(readNumberLeniently(text), expected);
}

void TestNumberReading::roundsHalfToEven_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("expected");

    roundingRow("0.5 to 0", 0.5, 0.0);
    roundingRow("1.5 to 2", 1.5, 2.0);
    roundingRow("2.5 to 2", 2.5, 2.0);
    roundingRow("3.5 to 4", 3.5, 4.0);
    roundingRow("-0.5 to 0", -0.5, 0.0);
    roundingRow("-1.5 to -2", -1.5, -2.0);
    roundingRow("-2.5 to -2", -2.5, -2.0);
    roundingRow("2.4 down", 2.4, 2.0);
    roundingRow("2.6 up", 2.6, 3.0);
    roundingRow("-2.4 up", -2.4, -2.0);
    roundingRow("-2.6 down", -2.6, -3.0);
    roundingRow("just below a half", 0.49999999999999994, 0.0);
    roundingRow("whole number kept", 7.0, 7.0);
    roundingRow("large value kept", 1e300, 1e300);
    roundingRow("infinity kept", infinity, infinity);
}

void TestNumberReading::roundsHalfToEven() {
    QFETCH(double, value);
    QFETCH(double, expected);

    QCOMPARE(roundHalfToEven(value), expected);
}

void TestNumberReading::roundsToInt16_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("fits");
    QTest::addColumn<int>("expected");

    int16Row("zero", 0.0, true, 0);
    int16Row("half to even", 2.5, true, 2);
    int16Row("largest", 32767.0, true, 32767);
    int16Row("rounds down to the largest", 32767.4, true, 32767);
    int16Row("half above the largest rounds out", 32767.5, false, 0);
    int16Row("half below the largest rounds to even", 32766.5, true, 32766);
    int16Row("one above the largest", 32768.0, false, 0);
    int16Row("smallest", -32768.0, true, -32768);
    int16Row("half below the smallest rounds to it", -32768.5, true, -32768);
    int16Row("beyond half below the smallest", -32768.6, false, 0);
    int16Row("one below the smallest", -32769.0, false, 0);
    int16Row("2 to the 16th does not wrap", 65536.0, false, 0);
    int16Row("huge", 1e300, false, 0);
    int16Row("infinity", infinity, false, 0);
    int16Row("negative infinity", -infinity, false, 0);
    int16Row("NaN", std::numeric_limits<double>::quiet_NaN(), false, 0);
}

void TestNumberReading::roundsToInt16() {
    QFETCH(double, value);
    QFETCH(bool, fits);
    QFETCH(int, expected);

    const std::optional<qint16> rounded = roundToInt16(value);
    QCOMPARE(rounded.has_value(), fits);
    if (fits) {
        QCOMPARE(int(*rounded), expected);
    }
}

void TestNumberReading::showsPressure_data() {
    QTest::addColumn<QString>("traceLine");
    QTest::addColumn<QString>("expected");

    pressureRow("reading 0", " 0 CR ", "106 hPa");
    pressureRow("reading 512", " 5 1 2 CR ", "650 hPa");
    pressureRow("reading 852", " 8 5 2 CR ", "1012 hPa");
    pressureRow("reading 1023", " 1 0 2 3 CR ", "1194 hPa");
    pressureRow("lone carriage return", " CR ", "106 hPa");
    pressureRow("acknowledgement first", " ACK 5 1 2 CR ", "106 hPa");
    pressureRow("reading 2.5 rounds to 2", "2.5", "108 hPa");
    pressureRow("reading 3.5 rounds to 4", "3.5", "110 hPa");
    pressureRow("negative reading", " - 5 CR ", "100 hPa");
    pressureRow("negative result", "-1000", "-958 hPa");
    pressureRow("hexadecimal reading", "&H1F", "139 hPa");
    pressureRow("6553 fits after the fivefold", "6553", "7077 hPa");
    pressureRow("6553.4 rounds to 6553", "6553.4", "7077 hPa");
    pressureRow("6552.5 rounds to 6552", "6552.5", "7076 hPa");
    pressureRow("6553.5 rounds to 6554 and overflows", "6553.5", "---- hPa");
    pressureRow("6554 overflows after the fivefold", "6554", "---- hPa");
    pressureRow("-6553 fits after the fivefold", "-6553", "-6865 hPa");
    pressureRow("-6554 overflows after the fivefold", "-6554", "---- hPa");
    pressureRow("32767 fits, its fivefold does not", "32767", "---- hPa");
    pressureRow("32768 does not fit", "32768", "---- hPa");
    pressureRow("-32768 fits, its fivefold does not", "-32768", "---- hPa");
    pressureRow("-32769 does not fit", "-32769", "---- hPa");
    pressureRow("65535 does not wrap to -1", "&HFFFF", "---- hPa");
    pressureRow("65536 does not wrap to 0", "65536", "---- hPa");
    pressureRow("huge exponent", " 1 E 9 9 9 CR ", "---- hPa");
    pressureRow("tiny reading", "1E-999", "106 hPa");
}

void TestNumberReading::showsPressure() {
    QFETCH(QString, traceLine);
    QFETCH(QString, expected);

    QCOMPARE(pressureText(traceLine), expected);
}

QTEST_GUILESS_MAIN(TestNumberReading)
#include "tst_number_reading.moc"
