// The panel and the virtual projector end to end: the simulator runs as its
// own process on a pseudo-terminal, the window opens that device through the
// serial layer, and the test clicks and types as a technician would.
#include "link/serial_control.h"
#include "panel/form1.h"
#include "support/warning_recorder.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include <memory>

using namespace tavo;

namespace {

constexpr int kReplyTimeoutMs = 3000;

// A running simulator and a window talking to it.
struct Bench {
    QProcess simulator;
    test::WarningRecorder warnings;
    std::unique_ptr<panel::Form1> form;

    bool start(const QStringList& options) {
        simulator.start(QCoreApplication::applicationDirPath() +
                            QStringLiteral("/../tools/projector-sim/tavo-projector-sim"),
                        options);
        if (!simulator.waitForStarted(5000))
            return false;
        QByteArray output;
        const QDeadlineTimer deadline(5000);
        while (!output.contains('\n') && simulator.waitForReadyRead(int(deadline.remainingTime())))
            output += simulator.readAllStandardOutput();
        const QByteArray first = output.left(output.indexOf('\n'));
        if (!first.startsWith("device: "))
            return false;
        const QString device = QString::fromLocal8Bit(first.mid(8)).trimmed();
        form = std::make_unique<panel::Form1>(std::make_unique<link::SerialControl>(),
                                              QStringList{device, QStringLiteral("/nonexistent")});
        form->load();
        form->show();
        return form->serialPort().isOpen();
    }
    ~Bench() {
        form.reset();
        simulator.terminate();
        simulator.waitForFinished(5000);
    }
    void click(const char* name) {
        QTest::mouseClick(form->findChild<QPushButton*>(QLatin1String(name)), Qt::LeftButton);
    }
    QString text(const char* label) const {
        return form->findChild<QLabel*>(QLatin1String(label))->text();
    }
    QString status() const { return text("Label22"); }
    // Sends a query and waits for the whole reply: the status line shows
    // the reply received so far.
    QString ask(const char* button) {
        click(button);
        if (!QTest::qWaitFor([&] { return text("Label12").endsWith(QLatin1String("CR ")); },
                             kReplyTimeoutMs))
            return QStringLiteral("(no reply: %1)").arg(text("Label12"));
        return status();
    }
    QString askTyped(const QString& text) {
        form->findChild<QLineEdit*>(QStringLiteral("Text1"))->setText(text);
        return ask("Command95");
    }
    // Lets the reply timer empty the reply buffer and the traces clear, so
    // the next reply is read on its own.
    void settle() {
        QVERIFY(QTest::qWaitFor([&] { return text("Label11").isEmpty(); }, kReplyTimeoutMs * 2));
    }
};

} // namespace

class TestSimPanel : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void powerOnThenStatus();
    void inputModeAndLampTime();
    void temperaturesAndPressure();
    void silentProjectorGivesTimeoutMark();
};

void TestSimPanel::powerOnThenStatus() {
    Bench bench;
    QVERIFY(bench.start({"--countdown", "300", "--cooling", "300"}));
    QCOMPARE(bench.ask("Command44"), QStringLiteral(" Stand by"));
    bench.settle();
    bench.click("Command17"); // POWER ON
    QTRY_COMPARE(bench.text("Label12"), QStringLiteral(" ACK "));
    bench.settle();
    QTest::qWait(400); // past the count down
    QCOMPARE(bench.ask("Command44"), QStringLiteral(" Power ON"));
}

void TestSimPanel::inputModeAndLampTime() {
    Bench bench;
    QVERIFY(bench.start({"--countdown", "0"}));
    bench.click("Command28"); // PC2
    bench.settle();
    QCOMPARE(bench.ask("Command45"), QStringLiteral(" Computer 2"));
    bench.settle();
    const QString hours = bench.ask("Command46");
    QVERIFY2(QRegularExpression(QStringLiteral("^ \\d \\d \\d \\d \\d CR  Hour Use$"))
                 .match(hours)
                 .hasMatch(),
             qPrintable(hours));
}

void TestSimPanel::temperaturesAndPressure() {
    Bench bench;
    QVERIFY(bench.start({}));
    const QString temperatures = bench.ask("Command54");
    QVERIFY2(QRegularExpression(
                 QStringLiteral("^  S1= \\d \\d \\d \\. \\d C  ,   S2=  \\d \\d \\. \\d C , "
                                "S3= \\d \\d \\d \\. \\d C$"))
                 .match(temperatures)
                 .hasMatch(),
             qPrintable(temperatures));
    bench.settle();
    const QString pressure = bench.askTyped(QStringLiteral("CR PRESSURE"));
    const QRegularExpressionMatch hpa =
        QRegularExpression(QStringLiteral("^(\\d+) hPa$")).match(pressure);
    QVERIFY2(hpa.hasMatch(), qPrintable(pressure));
    QVERIFY(hpa.captured(1).toInt() >= 800 && hpa.captured(1).toInt() <= 1100);
}

void TestSimPanel::silentProjectorGivesTimeoutMark() {
    Bench bench;
    QVERIFY(bench.start({"--silent"}));
    bench.click("Command44");
    QTRY_COMPARE_WITH_TIMEOUT(bench.text("Label12"), QStringLiteral(" X X X X"), 2000);
    QCOMPARE(bench.status(), QString());
}

QTEST_MAIN(TestSimPanel)
#include "tst_sim_panel.moc"
