// The typed readings of status replies: every code row of the panel's tables
// has a meaning, and a reply that does not fit its query's format is
// malformed, never a value.

#include "status/reading.h"
#include "status/tables.h"

#include <QTest>

using namespace tavo::status;

class TestReadings : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everyTableCodeHasAMeaning();
    void reads_data();
    void reads();
};

// The code and its panel text come from the panel's tables; the reading must
// give a token and, in words, that very text without its surrounding blanks.
void TestReadings::everyTableCodeHasAMeaning() {
    int checked = 0;
    for (const StatusQuery& query : statusQueries()) {
        if (!query.table)
            continue;
        const QByteArray code = QByteArrayView(query.code).toByteArray();
        for (const StatusCode& row : query.table->codes) {
            const QByteArray reply = QByteArrayView(row.head).toByteArray().replace(' ', "") + '\r';
            const Reading reading = readingOf(code, reply);
            QVERIFY2(reading.isValue(), qPrintable(code + ": " + reply));
            QVERIFY(!reading.token.isEmpty());
            QCOMPARE(reading.words(), QString::fromLatin1(row.text).simplified());
            ++checked;
        }
        QCOMPARE(qsizetype(readQueryOf(code)->meanings.size()),
                 qsizetype(query.table->codes.size()));
    }
    QCOMPARE(checked, 13 + 4 + 4 + 6 + 8);
}

void TestReadings::reads_data() {
    QTest::addColumn<QByteArray>("code");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("value"); // empty: malformed
    QTest::addColumn<QString>("words");

    const auto row = [](const char* name, const char* code, QByteArray reply, const char* value,
                        const char* words) {
        QTest::addRow("%s", name) << QByteArray(code) << reply << QString::fromUtf8(value)
                                  << QString::fromUtf8(words);
    };
    row("standby", "CR0", "80\r", "standby", "Stand by");
    row("power failure", "CR0", "10\r", "power-failure", "Power Fail");
    row("bytes after the carriage return ignored", "CR0", "00\r\x15zz", "on", "Power ON");
    row("code with noise before its carriage return", "CR0", "00?\r", "", "");
    row("lower-case code", "CRA", "ff\r", "", "");
    row("lamp hours", "CR3", "01234\r", "1234", "1234 h");
    row("lamp hours with a letter", "CR3", "01a34\r", "", "");
    row("lamp hours with a stray digit", "CR3", "701234\r", "", "");
    row("temperature with a stray minus sign", "CR6", "-025.0,026.5,027.0\r", "", "");
    row("temperatures", "CR6", "025.0,026.5,027.0\r", "25.0 26.5 27.0",
        "S1 25.0 °C, S2 26.5 °C, S3 27.0 °C");
    row("temperatures, one missing", "CR6", "025.0,026.5\r", "", "");
    row("temperatures with noise", "CR6", "025.0,0?6.5,027.0\r", "", "");
    row("pressure", "CR PRESSURE", "852\r", "1012", "1012 hPa");
    row("pressure beyond the sensor", "CR PRESSURE", "1024\r", "", "");
    row("status text", "CR9", "ON PC1 1234H\r", "ON PC1 1234H", "ON PC1 1234H");
    row("status text with a control character", "CR9", QByteArray("ON\x01\r"), "", "");
    row("empty status text", "CR9", "\r", "", "");
    row("input terminal", "CR INPUT", "VIDEO YPBPR\r", "video-component", "video-component");
    row("fan speed", "CR FANSPEED", "NOR\r", "normal", "normal");
    row("unknown lamp mode", "CR LAMPMODE", "TURBO\r", "", "");
    row("flood", "CR0", "   f l o o d", "", "");
    row("no query", "C00", "\x06", "", "");
}

void TestReadings::reads() {
    QFETCH(QByteArray, code);
    QFETCH(QByteArray, reply);
    QFETCH(QString, value);
    QFETCH(QString, words);
    const Reading reading = readingOf(code, reply);
    QCOMPARE(reading.isValue(), !value.isEmpty());
    QCOMPARE(reading.problem.isEmpty(), !value.isEmpty());
    QCOMPARE(reading.valueText(), value);
    QCOMPARE(reading.words(), words);
}

QTEST_GUILESS_MAIN(TestReadings)
#include "tst_readings.moc"
