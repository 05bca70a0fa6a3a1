// The tavo-ctl program against the virtual projector program, as the README
// shows it: every name once through a script, power on and waiting for the
// end of the count down, --until running out, a hold key repeated, JSON per
// frame, and a projector that is silent or late.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QJsonArray>
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

// Every name, one a line: the virtual projector knows every code and
// acknowledges or answers each, and every answer reads as a value.
void TestSimCtl::everyNameReachesTheProjector() {
    QVERIFY(startSimulator({}));
    QByteArray script;
    QStringList codes;
    for (const auto& entry : tavo::commands::commandNames()) {
        script += QByteArray(entry.name.data(), qsizetype(entry.name.size())) + '\n';
        codes.append(QString::fromLatin1(tavo::commands::commandFor(entry).code()));
    }
    const Ran ran = ctl({"--verbose", "-"}, script);
    QVERIFY2(ran.exitCode == 0, qPrintable(ran.err));
    QCOMPARE(ran.out.size(), codes.size());
    QTRY_VERIFY_WITH_TIMEOUT(simulatorLog().count(QStringLiteral("rx ")) == codes.size(),
                             kTimeoutMs);
    const QString log = simulatorLog();
    for (const QString& code : codes)
        QVERIFY2(log.contains(QStringLiteral("rx \"%1\" -> ").arg(code)), qPrintable(code));
    QVERIFY(!log.contains(QStringLiteral("<NAK>")));
}

// The README's example: power on, then status is asked until it reads on;
// the count down is still on at the first query, and only the final reading
// is printed.
void TestSimCtl::powerOnThenWaitForPowerOn() {
    QVERIFY(startSimulator({"--countdown", "1000"}));
    const Ran waited = ctl({"power", "on", "--until", "ON", "--every", "300ms"});
    QVERIFY2(waited.exitCode == 0, qPrintable(waited.err));
    QCOMPARE(waited.out, QStringList{"Power ON"});
    QVERIFY(simulatorLog().count(QStringLiteral("rx \"CR0\"")) >= 2);
}

void TestSimCtl::untilRunsOut_data() {
    QTest::addColumn<QStringList>("simulator");
    QTest::addColumn<QString>("deadline");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("err");
    QTest::addRow("projector in standby: still in the wrong state")
        << QStringList{} << "300ms" << 7
        << "tavo-ctl: status: still standby on DEVICE after 300 ms (awaiting on or warm-up)\n";
    QTest::addRow("silent projector, the deadline before the reply timeout")
        << QStringList{"--silent"} << "300ms" << 3
        << "tavo-ctl: status: no reply from DEVICE within 300 ms (awaiting on or warm-up)\n";
    // Long enough for the line to settle as long as it ever waits (3 s) before
    // the first frame, when the flood was seen first, and for the reply.
    QTest::addRow("flooding projector: the last reply malformed")
        << QStringList{"--flood"} << "4500ms" << 6
        << "tavo-ctl: status: malformed reply from DEVICE: ";
}

void TestSimCtl::untilRunsOut() {
    QFETCH(QStringList, simulator);
    QFETCH(QString, deadline);
    QFETCH(int, exitCode);
    QFETCH(QString, err);
    QVERIFY(startSimulator(simulator));
    const Ran ran = ctl({"status", "-u", "on,warm-up", "-e", "100ms", "-t", deadline});
    QCOMPARE(ran.exitCode, exitCode);
    QCOMPARE(ran.out, QStringList());
    err.replace(QStringLiteral("DEVICE"), device_);
    QVERIFY2(ran.err.startsWith(err), qPrintable(ran.err));
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
    const QStringList names{"status", "input-mode", "temperatures", "lamp-mode"};
    const Ran ran = ctl({"--json", "status", "input-mode", "temperatures", "lamp-mode"});
    QCOMPARE(ran.exitCode, 0);
    QCOMPARE(ran.out.size(), names.size());
    for (qsizetype i = 0; i < names.size(); ++i) {
        QJsonParseError error;
        const QJsonObject object = QJsonDocument::fromJson(ran.out[i].toUtf8(), &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(object.value("name").toString(), names[i]);
        QCOMPARE(object.value("outcome").toString(), QStringLiteral("replied"));
        QVERIFY(object.value("frame").toString().endsWith(QStringLiteral("<CR>")));
        QVERIFY(object.value("reply").toString().endsWith(QStringLiteral("<CR>")));
        QVERIFY(object.value("milliseconds").isDouble());
        // The panel does not decode the heading query's reply; it has a value all the same.
        QCOMPARE(object.value("status").isNull(), names[i] == QStringLiteral("lamp-mode"));
        QVERIFY(!object.value("value").isNull());
    }
    const auto objectAt = [&](int i) {
        return QJsonDocument::fromJson(ran.out[i].toUtf8()).object();
    };
    QCOMPARE(objectAt(0).value("status").toString(), QStringLiteral(" Stand by"));
    QCOMPARE(objectAt(0).value("value").toString(), QStringLiteral("standby"));
    QCOMPARE(objectAt(2).value("value").toArray(), (QJsonArray{25.0, 26.5, 27.0}));
    QCOMPARE(objectAt(2).value("unit").toString(), QStringLiteral("\u00b0C"));
}

void TestSimCtl::projectorMisbehaves_data() {
    QTest::addColumn<QStringList>("simulator");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");

    QTest::addRow("silent") << QStringList{"--silent"} << QStringList{"power", "on"} << 3
                            << QString()
                            << "tavo-ctl: power on: no reply from DEVICE within 2000 ms\n";
    QTest::addRow("late beyond --reply-timeout")
        << QStringList{"--late", "800"} << QStringList{"--reply-timeout", "500", "status"} << 3
        << QString() << "tavo-ctl: status: no reply from DEVICE within 500 ms\n";
    QTest::addRow("late 800 ms: within the command's own timeout")
        << QStringList{"--late", "800"} << QStringList{"power", "off"} << 0 << QString()
        << QString();
    QTest::addRow("check: OK with its performance data")
        << QStringList{} << QStringList{"check", "-w", "2000,45"} << 0
        << "TAVO OK - standby, lamp 1234 h, 25.0/26.5/27.0 C, 1012 hPa | lamp_hours=1234;2000;;0; "
           "temperature_s1=25.0;45;;; temperature_s2=26.5;45;;; temperature_s3=27.0;45;;; "
           "air_pressure=1012;;;;"
        << QString();
    QTest::addRow("check: UNKNOWN when silent")
        << QStringList{"--silent"} << QStringList{"check"} << 3
        << "TAVO UNKNOWN - status: no reply from DEVICE within 2000 ms"
        << "tavo-ctl: status: no reply from DEVICE within 2000 ms\n";
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
    out.replace(QStringLiteral("DEVICE"), device_);
    QCOMPARE(ran.out.size(), out.isEmpty() ? 0 : 1);
    if (!out.isEmpty())
        QVERIFY2(ran.out.front().startsWith(out), qPrintable(ran.out.front()));
    err.replace(QStringLiteral("DEVICE"), device_);
    QVERIFY2(ran.err.startsWith(err), qPrintable(ran.err));
}

QTEST_GUILESS_MAIN(TestSimCtl)
#include "tst_sim_ctl_projector.moc"
