// The check of status texts that the fuzz targets and the soak run rely on:
// it must take every text the decoder gives and refuse texts it cannot give,
// or those runs would pass whatever the decoder did.

#include "exchange/trace.h"
#include "status/decoder.h"
#include "status/tables.h"
#include "support/status_texts.h"

#include <QTest>

using tavo::test::statusTextProblem;

class TestStatusTexts : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void takesEveryTableText();
    void takesDecodedText_data();
    void takesDecodedText();
    void refuses_data();
    void refuses();
};

// Each code of each table, through the decoder, as the reply would come.
void TestStatusTexts::takesEveryTableText() {
    int checked = 0;
    for (const tavo::status::StatusQuery& query : tavo::status::statusQueries()) {
        if (!query.table)
            continue;
        const QByteArray frame = QByteArray(query.code.data(), qsizetype(query.code.size())) + '\r';
        for (const tavo::status::StatusCode& code : query.table->codes) {
            const QString trace = QString::fromLatin1(code.head) + QStringLiteral(" CR ");
            const std::optional<QString> text = tavo::status::decodeStatus(frame, {}, trace);
            QVERIFY2(text, qPrintable(trace));
            QCOMPARE(statusTextProblem(frame, {}, trace, *text), QString());
            ++checked;
        }
    }
    QCOMPARE(checked, 13 + 4 + 4 + 6 + 8);
}

void TestStatusTexts::takesDecodedText_data() {
    QTest::addColumn<QByteArray>("prefix");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QByteArray>("reply");

    QTest::addRow("lamp hours") << QByteArray() << QByteArray("CR3\r") << QByteArray("01234\r");
    QTest::addRow("lamp hours far longer than the field")
        << QByteArray() << QByteArray("CR3\r") << QByteArray(200, '7');
    QTest::addRow("lamp hours, control characters first") << QByteArray() << QByteArray("CR3\r")
                                                          << QByteArray("\x02\x00"
                                                                        "12\r",
                                                                        5);
    QTest::addRow("sensors") << QByteArray() << QByteArray("CR6\r")
                             << QByteArray("035.5,042.0,038.5\r");
    QTest::addRow("sensors, short reply") << QByteArray() << QByteArray("CR6\r") << QByteArray("0");
    QTest::addRow("sensors far longer than the fields")
        << QByteArray() << QByteArray("CR6\r") << QByteArray(500, '9');
    QTest::addRow("status text copied")
        << QByteArray() << QByteArray("CR9\r") << QByteArray("ON PC1 1234H\r");
    QTest::addRow("pressure") << QByteArray() << QByteArray("CR PRESSURE\r") << QByteArray("852\r");
    QTest::addRow("pressure that overflows")
        << QByteArray() << QByteArray("CR PRESSURE\r") << QByteArray("99999\r");
    QTest::addRow("negative pressure")
        << QByteArray() << QByteArray("CR PRESSURE\r") << QByteArray("-6553\r");
    QTest::addRow("power with a command prefix")
        << QByteArray("@") << QByteArray("@CR0\r") << QByteArray("00\r");
}

void TestStatusTexts::takesDecodedText() {
    QFETCH(QByteArray, prefix);
    QFETCH(QByteArray, frame);
    QFETCH(QByteArray, reply);

    const QString trace = tavo::link::traceLine(reply);
    const std::optional<QString> text = tavo::status::decodeStatus(frame, prefix, trace);
    QVERIFY(text);
    QCOMPARE(statusTextProblem(frame, prefix, trace, *text), QString());
}

void TestStatusTexts::refuses_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("trace");
    QTest::addColumn<QString>("text");

    QTest::addRow("after a command") << QByteArray("C00\r") << " ACK "
                                     << " Power ON";
    QTest::addRow("after a query without its carriage return") << QByteArray("CR0") << " 0 0 CR "
                                                               << " Power ON";
    QTest::addRow("from another query's table") << QByteArray("CR1\r") << " 0 0 CR "
                                                << " Power ON";
    QTest::addRow("a table text with its blank lost") << QByteArray("CR0\r") << " 0 0 CR "
                                                      << "Power ON";
    QTest::addRow("lamp hours of another trace") << QByteArray("CR3\r") << " 0 1 2 CR "
                                                 << " 9 9 9 CR  Hour Use";
    QTest::addRow("lamp hours without the unit") << QByteArray("CR3\r") << " 0 1 CR "
                                                 << " 0 1 CR ";
    QTest::addRow("lamp hours beyond 19 characters")
        << QByteArray("CR3\r") << QString(" 1").repeated(25)
        << QString(" 1").repeated(20) + " Hour Use";
    QTest::addRow("sensors without their words") << QByteArray("CR6\r") << " 0 3 5 CR "
                                                 << " 0 3 5 CR ";
    QTest::addRow("sensor field beyond 10 characters")
        << QByteArray("CR6\r") << " 0 3 5 . 5 , 0 4 2 . 0 , 0 3 8 . 5 CR "
        << "  S1= 0 3 5 . 5 , C  ,   S2=  4 2 . 0 C , S3= 0 3 8 . 5 C";
    QTest::addRow("status text other than the trace") << QByteArray("CR9\r") << " O N CR "
                                                      << " O F F CR ";
    QTest::addRow("pressure beyond 16 bits") << QByteArray("CR PRESSURE\r") << " 1 CR "
                                             << "40000 hPa";
    QTest::addRow("pressure without its unit") << QByteArray("CR PRESSURE\r") << " 1 CR "
                                               << "1012";
    QTest::addRow("pressure of three dashes") << QByteArray("CR PRESSURE\r") << " 1 CR "
                                              << "--- hPa";
}

void TestStatusTexts::refuses() {
    QFETCH(QByteArray, frame);
    QFETCH(QString, trace);
    QFETCH(QString, text);

    const QString problem = statusTextProblem(frame, {}, trace, text);
    QVERIFY2(!problem.isEmpty(), qPrintable(text));
    // The problem names the text, so a failed run says what it saw.
    QVERIFY2(problem.contains(text), qPrintable(problem));
}

QTEST_GUILESS_MAIN(TestStatusTexts)
#include "tst_status_texts.moc"
