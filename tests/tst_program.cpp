// The program's command line, run as a technician would run it.
#include <QCoreApplication>
#include <QProcess>
#include <QTest>

class TestProgram : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void commandLine_data();
    void commandLine();

private:
    static QString program() {
        return QCoreApplication::applicationDirPath() + QStringLiteral("/../tavo-control");
    }
};

void TestProgram::commandLine_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("output");
    QTest::addRow("version") << QStringList{"--version"} << 0 << QStringList{"tavo-control 1.40"};
    QTest::addRow("help names both options and their defaults")
        << QStringList{"--help"} << 0
        << QStringList{"--com1 <device>", "--com2 <device>", "/dev/ttyS0", "/dev/ttyS1"};
    QTest::addRow("unknown option") << QStringList{"--baud", "9600"} << 1
                                    << QStringList{"Unknown option"};
    QTest::addRow("stray argument") << QStringList{"/dev/ttyUSB0"} << 2 << QStringList{"--com1"};
    QTest::addRow("option without device") << QStringList{"--com1"} << 1
                                           << QStringList{"Missing value"};
}

void TestProgram::commandLine() {
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QStringList, output);
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program(), arguments);
    QVERIFY2(process.waitForFinished(20000), "the program did not end");
    const QString printed = QString::fromLocal8Bit(process.readAll());
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), exitCode);
    for (const QString& expected : output)
        QVERIFY2(printed.contains(expected), qPrintable(printed));
}

QTEST_GUILESS_MAIN(TestProgram)
#include "tst_program.moc"
