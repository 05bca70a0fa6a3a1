// SIGINT, SIGTERM and SIGHUP arrive as a Qt signal on the event thread; a
// signal ignored beforehand stays ignored; the handlers in place before come
// back afterwards.
#include "link/stop_signals.h"

#include <QSignalSpy>
#include <QTest>

#include <csignal>

namespace {

volatile std::sig_atomic_t earlierHandlerRan = 0;

void earlierHandler(int signal) {
    earlierHandlerRan = signal;
}

} // namespace

class TestStopSignals : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void stopSignalArrivesOnTheEventThread_data();
    void stopSignalArrivesOnTheEventThread();
    void ignoredSignalStaysIgnored();
};

void TestStopSignals::stopSignalArrivesOnTheEventThread_data() {
    QTest::addColumn<int>("signal");
    QTest::addColumn<QString>("name");
    QTest::addRow("SIGINT") << int(SIGINT) << "SIGINT";
    QTest::addRow("SIGTERM") << int(SIGTERM) << "SIGTERM";
    QTest::addRow("SIGHUP") << int(SIGHUP) << "SIGHUP";
}

void TestStopSignals::stopSignalArrivesOnTheEventThread() {
    QFETCH(int, signal);
    QFETCH(QString, name);
    std::signal(signal, earlierHandler);
    earlierHandlerRan = 0;
    {
        tavo::link::StopSignals stop;
        QVERIFY(stop.isActive());
        QSignalSpy requested(&stop, &tavo::link::StopSignals::stopRequested);

        std::raise(signal);

        QTRY_COMPARE(requested.size(), 1);
        QCOMPARE(requested.front().front().toInt(), signal);
        QCOMPARE(earlierHandlerRan, 0);
        QCOMPARE(QString::fromLatin1(tavo::link::stopSignalName(signal)), name);
    }
    std::raise(signal);
    QCOMPARE(earlierHandlerRan, signal);
    std::signal(signal, SIG_DFL);
}

// As under nohup: the hang-up of the terminal does not end the program.
void TestStopSignals::ignoredSignalStaysIgnored() {
    std::signal(SIGHUP, SIG_IGN);
    {
        tavo::link::StopSignals stop;
        QSignalSpy requested(&stop, &tavo::link::StopSignals::stopRequested);
        // A handled signal has its byte in the pipe before raise() returns,
        // and one pass of the event loop reads it.
        std::raise(SIGHUP);
        QCoreApplication::processEvents();
        QCOMPARE(requested.size(), 0);
        std::raise(SIGTERM);
        QTRY_COMPARE(requested.size(), 1);
        QCOMPARE(requested.front().front().toInt(), int(SIGTERM));
    }
    struct sigaction after {};
    ::sigaction(SIGHUP, nullptr, &after);
    QVERIFY(after.sa_handler == SIG_IGN);
    std::signal(SIGHUP, SIG_DFL);
}

QTEST_GUILESS_MAIN(TestStopSignals)
#include "tst_stop_signals.moc"
