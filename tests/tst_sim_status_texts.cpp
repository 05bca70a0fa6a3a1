// The virtual projector's replies as the panel reads them: each reply is
// turned into its trace line and run through the panel's status decoder,
// piece by piece as it comes off the line, so that a reply layout that the
// decoder misreads shows up here.

#include "exchange/trace.h"
#include "projector-sim/projector.h"
#include "status/decoder.h"

#include <QtTest>

using namespace tavo::sim;

namespace {

// A frame the projector gets before the query, and when.
struct Before {
    qint64 atMs;
    QByteArray frame;
};

} // namespace

Q_DECLARE_METATYPE(Before)

class TestSimStatusTexts : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void decodedText_data();
    void decodedText();
};

void TestSimStatusTexts::decodedText_data() {
    QTest::addColumn<QList<Before>>("before");
    QTest::addColumn<qint64>("atMs");
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<QString>("text");

    const QList<Before> none;
    const QList<Before> on{{0, "C00"}};
    const QList<Before> cooling{{0, "C00"}, {3000, "C01"}};

    QTest::addRow("CR0 standby") << none << qint64{0} << QByteArray("CR0") << " Stand by";
    QTest::addRow("CR0 count down") << on << qint64{1} << QByteArray("CR0") << " Count down";
    QTest::addRow("CR0 on") << on << qint64{3000} << QByteArray("CR0") << " Power ON";
    QTest::addRow("CR0 cooling") << cooling << qint64{3001} << QByteArray("CR0") << " Cooling down";

    QTest::addRow("CR1 PC1") << none << qint64{0} << QByteArray("CR1") << " Computer 1";
    QTest::addRow("CR1 PC2") << QList<Before>{{0, "C06"}} << qint64{0} << QByteArray("CR1")
                             << " Computer 2";
    QTest::addRow("CR1 video") << QList<Before>{{0, "C07"}} << qint64{0} << QByteArray("CR1")
                               << " Video";

    QTest::addRow("CR4 normal") << none << qint64{0} << QByteArray("CR4") << " Normally";
    QTest::addRow("CR3 lamp hours")
        << none << qint64{0} << QByteArray("CR3") << " 0 1 2 3 4 CR  Hour Use";

    QTest::addRow("CR6 standby") << none << qint64{0} << QByteArray("CR6")
                                 << "  S1= 0 2 5 . 0 C  ,   S2=  2 6 . 5 C , S3= 0 2 7 . 0 C";
    QTest::addRow("CR6 on") << on << qint64{3000} << QByteArray("CR6")
                            << "  S1= 0 3 5 . 5 C  ,   S2=  4 2 . 0 C , S3= 0 3 8 . 5 C";

    QTest::addRow("CRA standby") << none << qint64{0} << QByteArray("CRA") << " Stand by";
    QTest::addRow("CRA nothing muted")
        << on << qint64{3000} << QByteArray("CRA") << " Video & Audio mute OFF";
    QTest::addRow("CRA no show") << QList<Before>{{0, "C00"}, {3000, "C0D"}} << qint64{3000}
                                 << QByteArray("CRA") << " Video mute ON";
    QTest::addRow("CRA sound mute") << QList<Before>{{0, "C00"}, {3000, "C0B"}} << qint64{3000}
                                    << QByteArray("CRA") << " Audio mute ON";
    QTest::addRow("CRA both") << QList<Before>{{0, "C00"}, {3000, "C0B"}, {3000, "C0D"}}
                              << qint64{3000} << QByteArray("CRA") << " Video & Audio mute ON";

    QTest::addRow("CR9 status text")
        << on << qint64{3000} << QByteArray("CR9") << " O N   P C 1   1 2 3 4 H CR ";
    QTest::addRow("CR PRESSURE") << none << qint64{0} << QByteArray("CR PRESSURE") << "1012 hPa";

    QTest::addRow("CR7 lamps off")
        << none << qint64{0} << QByteArray("CR7") << " All OFF : 2 Lamp mode";
    QTest::addRow("CR7 lamps lit")
        << on << qint64{3000} << QByteArray("CR7") << " No1,2 ON  : 2 Lamp mode";
}

void TestSimStatusTexts::decodedText() {
    QFETCH(QList<Before>, before);
    QFETCH(qint64, atMs);
    QFETCH(QByteArray, query);
    QFETCH(QString, text);

    Projector projector;
    for (const Before& step : before)
        projector.answer(step.frame, Millis{step.atMs});
    const QByteArray reply = projector.answer(query, Millis{atMs});
    const QByteArray frame = query + '\r';

    // The status line keeps its last text while later pieces match nothing.
    QString statusLine;
    for (qsizetype received = 1; received <= reply.size(); ++received) {
        const auto decoded = tavo::status::decodeStatus(
            frame, QByteArray(), tavo::link::traceLine(reply.first(received)));
        if (decoded)
            statusLine = *decoded;
    }
    QCOMPARE(statusLine, text);
}

QTEST_GUILESS_MAIN(TestSimStatusTexts)
#include "tst_sim_status_texts.moc"
