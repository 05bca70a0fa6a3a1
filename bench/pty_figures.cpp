#include "bench/pty_figures.h"

#include "bench/clock.h"
#include "bench/pty.h"
#include "exchange/exchange.h"
#include "link/serial_control.h"
#include "panel/form1.h"
#include "panel/warning.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <chrono>
#include <cstdio>

namespace tavo::bench {

namespace {

const QString kGroup = QStringLiteral("pseudo-terminal");
constexpr int kSamples = 1000;
constexpr auto kGiveUp = std::chrono::seconds(2);

double microsecondsSince(Clock::time_point start) {
    return double(
               std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count()) /
           1000;
}

// Runs the event loop until done() holds; false after kGiveUp.
template <typename Done> bool spinUntil(Done&& done) {
    const auto deadline = Clock::now() + kGiveUp;
    while (!done()) {
        if (Clock::now() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    return true;
}

// A write becoming readable on the other side, both ways, on a pair of its own.
std::vector<Figure> floorFigures() {
    Pty pair;
    std::vector<double> toSlave;
    std::vector<double> toMaster;
    QString failure;
    for (int i = 0; i < kSamples && failure.isEmpty(); ++i) {
        auto start = Clock::now();
        pair.writeMaster("x");
        if (!pair.waitReadable(pair.slave(), 1000))
            failure = QStringLiteral("a byte written on the master never arrived");
        toSlave.push_back(microsecondsSince(start));
        Pty::drain(pair.slave());
        start = Clock::now();
        pair.writeSlave("x");
        if (!pair.waitReadable(pair.master(), 1000))
            failure = QStringLiteral("a byte written on the slave never arrived");
        toMaster.push_back(microsecondsSince(start));
        Pty::drain(pair.master());
    }
    return {{kGroup, QStringLiteral("pty floor, write on the slave -> readable on the master"),
             QStringLiteral("µs"), toMaster, failure},
            {kGroup, QStringLiteral("pty floor, write on the master -> readable on the slave"),
             QStringLiteral("µs"), toSlave, failure}};
}

} // namespace

std::vector<Figure> ptyFigures() {
    Pty line;
    panel::setWarningFunction([](QWidget*, const QString&, const QString& text) {
        std::fprintf(stderr, "tavo-bench: the window warned: %s\n", qPrintable(text));
    });
    panel::Form1 form(std::make_unique<link::SerialControl>(),
                      {line.slaveName(), QStringLiteral("/nonexistent")});
    form.load();
    form.show();
    QApplication::processEvents();
    link::Exchange& exchange = form.exchange();
    auto* on = form.findChild<QPushButton*>(QStringLiteral("Command17"));
    auto* received = form.findChild<QLabel*>(QStringLiteral("Label12"));
    auto* status = form.findChild<QLabel*>(QStringLiteral("Label22"));

    std::vector<double> click;
    std::vector<double> reply;
    QString failure;
    for (int i = 0; i < kSamples && failure.isEmpty(); ++i) {
        // Long timers: only this loop changes the lines.
        exchange.setReplyTiming({std::chrono::minutes(10), std::chrono::minutes(10)});
        Pty::drain(line.master());
        QApplication::processEvents();
        auto start = Clock::now();
        QTest::mouseClick(on, Qt::LeftButton);
        if (!spinUntil([&] { return line.readable(line.master()); })) {
            failure = QStringLiteral("a click on ON sent nothing");
            break;
        }
        click.push_back(microsecondsSince(start));
        Pty::drain(line.master());

        // CR0 answered "00" and "80" by turns, so the status text changes with
        // the second character, the last one the decoder needs.
        exchange.endReply();
        exchange.send("CR0");
        Pty::drain(line.master());
        const bool powerOn = i % 2 == 0;
        line.writeMaster(powerOn ? "0" : "8");
        if (!spinUntil([&] { return received->text().size() == 3; })) {
            failure = QStringLiteral("the first reply byte was not shown");
            break;
        }
        const QString expected =
            powerOn ? QStringLiteral(" Power ON") : QStringLiteral(" Stand by");
        start = Clock::now();
        line.writeMaster("0");
        if (!spinUntil([&] { return status->text() == expected; })) {
            failure = QStringLiteral("Label22 never showed \"%1\"").arg(expected);
            break;
        }
        reply.push_back(microsecondsSince(start));
        line.writeMaster("\r");
        spinUntil([&] { return received->text().endsWith(QLatin1String("CR ")); });
    }
    std::vector<Figure> figures{
        {kGroup, QStringLiteral("click on ON -> first byte readable on the master"),
         QStringLiteral("µs"), click, failure},
        {kGroup, QStringLiteral("last byte of a CR0 reply on the master -> Label22 shows it"),
         QStringLiteral("µs"), reply, failure}};
    for (Figure& figure : floorFigures())
        figures.push_back(std::move(figure));
    return figures;
}

} // namespace tavo::bench
