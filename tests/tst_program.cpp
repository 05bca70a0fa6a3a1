// The programs' command lines, run as a technician would run them.
#include <QCoreApplication>
#include <QProcess>
#include <QTest>

class TestProgram : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void commandLine_data();
    void commandLine();
    void withoutDisplay_data();
    void withoutDisplay();

private:
    static QString program(const QString& relative = QStringLiteral("tavo-control")) {
        return QCoreApplication::applicationDirPath() + QStringLiteral("/../") + relative;
    }
};

void TestProgram::commandLine_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("output");
    const QString panel = QStringLiteral("tavo-control");
    QTest::addRow("version") << panel << QStringList{"--version"} << 0
                             << QStringList{"tavo-control 1.40"};
    QTest::addRow("help names both options and their defaults")
        << panel << QStringList{"--help"} << 0
        << QStringList{"tavo-control [options]", "--com1 <device>", "--com2 <device>", "/dev/ttyS0",
                       "/dev/ttyS1"};
    QTest::addRow("unknown option")
        << panel << QStringList{"--baud", "9600"} << 1 << QStringList{"Unknown option"};
    QTest::addRow("stray argument")
        << panel << QStringList{"/dev/ttyUSB0"} << 2 << QStringList{"--com1"};
    QTest::addRow("option without device")
        << panel << QStringList{"--com1"} << 1 << QStringList{"Missing value"};
    // The man pages are made from --help and --version: both answer with exit
    // 0 and say which program they belong to. A typo in the bridge's options
    // is a usage error (exit 2), which its service does not restart on.
    const QStringList tools{"tools/tavo-ctl/tavo-ctl", "tools/tavo-pjlink/tavo-pjlink",
                            "tools/projector-sim/tavo-projector-sim"};
    for (const QString& path : tools) {
        const QString name = path.section(QLatin1Char('/'), -1);
        QTest::addRow("%s --help", qPrintable(name))
            << path << QStringList{"--help"} << 0 << QStringList{name + " [options]"};
        QTest::addRow("%s --version", qPrintable(name))
            << path << QStringList{"--version"} << 0 << QStringList{name + " " TAVO_VERSION};
    }
    QTest::addRow("tavo-pjlink, unknown option")
        << tools[1] << QStringList{"--bogus"} << 2 << QStringList{"Unknown option 'bogus'"};
}

void TestProgram::commandLine() {
    QFETCH(QString, path);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QStringList, output);
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program(path), arguments);
    QVERIFY2(process.waitForFinished(20000), "the program did not end");
    const QString printed = QString::fromLocal8Bit(process.readAll());
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), exitCode);
    for (const QString& expected : output)
        QVERIFY2(printed.contains(expected), qPrintable(printed));
}

// As on a server reached over SSH: no display at all, or one that is named
// but cannot be reached. The program prints and ends; it never aborts.
void TestProgram::withoutDisplay_data() {
    QTest::addColumn<QString>("display");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output");
    QTest::addRow("version, no display")
        << QString() << QStringList{"--version"} << 0 << QStringLiteral("tavo-control 1.40");
    QTest::addRow("help, no display")
        << QString() << QStringList{"--help"} << 0 << QStringLiteral("--com1 <device>");
    QTest::addRow("help, display unreachable")
        << QStringLiteral(":97") << QStringList{"--help"} << 0 << QStringLiteral("--com2 <device>");
    QTest::addRow("start, no display")
        << QString() << QStringList{} << 1 << QStringLiteral("needs a graphical display");
    QTest::addRow("start, display unreachable")
        << QStringLiteral(":97") << QStringList{} << 1 << QStringLiteral("cannot be reached");
}

void TestProgram::withoutDisplay() {
    QFETCH(QString, display);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.remove(QStringLiteral("DISPLAY"));
    if (!display.isEmpty())
        environment.insert(QStringLiteral("DISPLAY"), display);
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program(), arguments);
    QVERIFY2(process.waitForFinished(20000), "the program did not end");
    const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(process.readAllStandardError());
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), exitCode);
    QVERIFY2((exitCode == 0 ? out : err).contains(output), qPrintable(out + err));
    if (exitCode != 0)
        QCOMPARE(err.count(QLatin1Char('\n')), 1); // one line, nothing of Qt's own
}

QTEST_GUILESS_MAIN(TestProgram)
#include "tst_program.moc"
