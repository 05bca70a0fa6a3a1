// The tavo-ctl program against the virtual projector program, as the README
// shows it: every name once through a script, power on and waiting for the
// end of the count down, --until running out, a hold key repeated, JSON per
// frame, and a projector that is silent or late.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include "commands/names.h"

namespace {

constexpr int kTimeoutMs = 20'000;

QString program(const char* path) {
    return QCoreApplication::applicationDirPath() + QLatin1String(path);
}

struct Ran {
    int exitCode = -1;
    QStringList out;
    QString err;
};

} // namespace

class TestSimCtl : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void everyNameReachesTheProjector();
    void powerOnThenWaitForPowerOn();
    void untilRunsOut_data();
    void untilRunsOut();
    void holdKeyRepeated();
    void jsonObjectPerFrame();
    void projectorMisbehaves_data();
    void projectorMisbehaves();

private:
    bool startSimulator(const QStringList& arguments);
    Ran ctl(const QStringList& arguments, const QByteArray& input = {});
    // The simulator's log so far.
    QString simulatorLog();

    QProcess simulator_;
    QByteArray log_;
    QString device_;
};

bool TestSimCtl::startSimulator(const QStringList& arguments) {
    log_.clear();
    simulator_.start(program("/../tools/projector-sim/tavo-projector-sim"), arguments);
    if (!simulator_.waitForStarted(kTimeoutMs))
        return false;
    const QDeadlineTimer deadline(kTimeoutMs);
    while (!log_.contains('\n') && !deadline.hasExpired()) {
        simulator_.waitForReadyRead(int(deadline.remainingTime()));
        log_ += simulator_.readAllStandardOutput();
    }
    const QByteArray first = log_.left(log_.indexOf('\n'));
    device_ = QString::fromLocal8Bit(first.mid(int(qstrlen("device: "))));
    return first.startsWith("device: /dev/");
}

void TestSimCtl::cleanup() {
    if (simulator_.state() == QProcess::NotRunning)
        return;
    simulator_.terminate();
    if (!simulator_.waitForFinished(kTimeoutMs))
        simulator_.kill();
}

Ran TestSimCtl::ctl(const QStringList& arguments, const QByteArray& input) {
    QProcess process;
    process.start(program("/../tools/tavo-ctl/tavo-ctl"),
                  QStringList{QStringLiteral("--device"), device_} + arguments);
    process.waitForStarted(kTimeoutMs);
    if (!input.isNull()) {
        process.write(input);
        process.closeWriteChannel();
    }
    QSignalSpy finished(&process, &QProcess::finished);
    if (process.state() != QProcess::NotRunning && !finished.wait(kTimeoutMs))
        return {};
    Ran ran;
    ran.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    ran.out = QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    ran.err = QString::fromUtf8(process.readAllStandardError());
    return ran;
}

QString TestSimCtl::simulatorLog() {
    log_ += simulator_.readAllStandardOutput();
    return QString::fromLatin1(log_);
}

// All 77 names, one a line, with a generous reply timeout: the virtual
// projector knows every code and acknowledges or answers each.
void TestSimCtl::everyNameReachesTheProjector() {
    QVERIFY(startSimulator({}));
    QByteArray script;
    QStringList codes;
    for (const auto& entry : tavo::commands::commandNames()) {
        script += QByteArray(entry.name.data(), qsizetype(entry.name.size())) + '\n';
        const auto code = tavo::commands::commandFor(entry).code();
        codes.append(QString::fromLatin1(code));
    }
    const Ran ran = ctl({"--timeout", "2s", "-"}, script);
    QVERIFY2(ran.exitCode == 0, qPrintable(ran.err));
    QCOMPARE(ran.out.size(), 77);
    QTRY_VERIFY_WITH_TIMEOUT(simulatorLog().count(QStringLiteral("rx ")) == 77, kTimeoutMs);
    const QString log = simulatorLog();
    for (const QString& code : codes)
        QVERIFY2(log.contains(QStringLiteral("rx \"%1\" -> ").arg(code)), qPrintable(code));
    QVERIFY(!log.contains(QStringLiteral("<NAK>")));
}

// The README's example: the count down is still on at the first query; the
// default interval of 2 s later the projector is on.
void TestSimCtl::powerOnThenWaitForPowerOn() {
    QVERIFY(startSimulator({"--countdown", "1000"}));
    const Ran on = ctl({"power", "on"});
    QCOMPARE(on.exitCode, 0);
    QCOMPARE(on.out, QStringList{" ACK "});
    const Ran waited = ctl({"status", "--until", "Power ON"});
    QVERIFY2(waited.exitCode == 0, qPrintable(waited.err));
    QVERIFY(!waited.out.isEmpty());
    QCOMPARE(waited.out.back(), QStringLiteral(" Power ON"));
    for (const QString& line : waited.out)
        QVERIFY2(line == QStringLiteral(" Count down") || line == QStringLiteral(" Power ON"),
                 qPrintable(line));
}

void TestSimCtl::untilRunsOut_data() {
    QTest::addColumn<QStringList>("simulator");
    QTest::addColumn<QStringList>("out");
    QTest::addColumn<QString>("last");
    QTest::addRow("projector in standby")
        << QStringList{} << QStringList{" Stand by"} << "last: \" Stand by\"";
    QTest::addRow("silent projector, the deadline before the reply timeout")
        << QStringList{"--silent"} << QStringList{} << "no reply had ended";
}

void TestSimCtl::untilRunsOut() {
    QFETCH(QStringList, simulator);
    QFETCH(QStringList, out);
    QFETCH(QString, last);
    QVERIFY(startSimulator(simulator));
    const Ran ran =
        ctl({"status", "--until", "Power ON", "--every", "100ms", "--timeout", "300ms"});
    QCOMPARE(ran.exitCode, 3);
    QCOMPARE(QStringList(QSet<QString>(ran.out.begin(), ran.out.end()).values()), out);
    QCOMPARE(ran.err,
             QStringLiteral("tavo-ctl: status: did not read \"Power ON\" within 300 ms (%1)\n")
                 .arg(last));
}

void TestSimCtl::holdKeyRepeated() {
    QVERIFY(startSimulator({}));
    const Ran ran = ctl({"vol", "+", "--repeat", "3", "--json"});
    QCOMPARE(ran.exitCode, 0);
    QCOMPARE(ran.out.size(), 3);
    for (const QString& line : ran.out)
        QCOMPARE(QJsonDocument::fromJson(line.toUtf8()).object().value("outcome").toString(),
                 QStringLiteral("acknowledged"));
    QTRY_COMPARE_WITH_TIMEOUT(simulatorLog().count(QStringLiteral("rx \"C09\" -> \"<ACK>\"")), 3,
                              kTimeoutMs);
}

void TestSimCtl::jsonObjectPerFrame() {
    QVERIFY(startSimulator({}));
    const QStringList names{"status", "mode", "temp", "lamp-mode"};
    const Ran ran = ctl({"--json", "status", "mode", "temp", "lamp-mode"});
    QCOMPARE(ran.exitCode, 0);
    QCOMPARE(ran.out.size(), names.size());
    for (qsizetype i = 0; i < names.size(); ++i) {
        QJsonParseError error;
        const QJsonObject object = QJsonDocument::fromJson(ran.out[i].toUtf8(), &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(object.value("name").toString(), names[i]);
        QCOMPARE(object.value("outcome").toString(), QStringLiteral("replied"));
        QVERIFY(object.value("frame").toString().endsWith('\r'));
        QVERIFY(object.value("receivedTrace").toString().endsWith(QStringLiteral("CR ")));
        QVERIFY(object.value("milliseconds").isDouble());
        // The heading query's reply is shown, not decoded.
        QCOMPARE(object.value("status").isNull(), names[i] == QStringLiteral("lamp-mode"));
    }
    QCOMPARE(QJsonDocument::fromJson(ran.out[0].toUtf8()).object().value("status").toString(),
             QStringLiteral(" Stand by"));
}

void TestSimCtl::projectorMisbehaves_data() {
    QTest::addColumn<QStringList>("simulator");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");

    QTest::addRow("silent") << QStringList{"--silent"} << QStringList{"power", "on"} << 3
                            << " X X X X"
                            << "tavo-ctl: power on: no reply within 500 ms\n";
    QTest::addRow("late beyond the reply timeout")
        << QStringList{"--late", "800"} << QStringList{"status"} << 3 << " X X X X"
        << "tavo-ctl: status: no reply within 500 ms\n";
    QTest::addRow("late, with a longer --timeout")
        << QStringList{"--late", "800"} << QStringList{"--timeout", "5s", "status"} << 0
        << " Stand by" << QString();
}

void TestSimCtl::projectorMisbehaves() {
    QFETCH(QStringList, simulator);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QVERIFY(startSimulator(simulator));
    const Ran ran = ctl(arguments);
    QCOMPARE(ran.exitCode, exitCode);
    QCOMPARE(ran.out, QStringList{out});
    QCOMPARE(ran.err, err);
}

QTEST_GUILESS_MAIN(TestSimCtl)
#include "tst_sim_ctl_projector.moc"
