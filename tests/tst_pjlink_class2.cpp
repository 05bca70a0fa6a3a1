// The Class 2 pieces without sockets: the options, the controllers
// notifications go to, the search budget and the freeze memory.

#include "pjlink/class2.h"
#include "pjlink/controllers.h"
#include "pjlink/notify_option.h"
#include "pjlink/search_budget.h"

#include <QtTest>

using namespace tavo::pjlink;
using namespace std::chrono_literals;

class TestPjlinkClass2 : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void notifyTarget_data();
    void notifyTarget();
    void pollPeriod_data();
    void pollPeriod();
    void controllersAreBoundedAndForgotten();
    void searchBudget();
    void freezeEndsWithThePicture_data();
    void freezeEndsWithThePicture();
};

void TestPjlinkClass2::notifyTarget_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("target"); // empty: refused

    QTest::addRow("address") << "127.0.0.1"
                             << "127.0.0.1:4352";
    QTest::addRow("address and port") << "127.0.0.5:9000"
                                      << "127.0.0.5:9000";
    QTest::addRow("IPv6") << "[::1]:9000"
                          << "::1:9000";
    QTest::addRow("broadcast") << "255.255.255.255"
                               << "";
    QTest::addRow("multicast") << "239.1.2.3"
                               << "";
    QTest::addRow("any interface") << "0.0.0.0"
                                   << "";
    QTest::addRow("port 0") << "127.0.0.1:0"
                            << "";
    QTest::addRow("host name") << "controller"
                               << "";
}

void TestPjlinkClass2::notifyTarget() {
    QFETCH(QString, text);
    QFETCH(QString, target);

    const auto parsed = parseNotifyTarget(text);
    const auto* endpoint = std::get_if<Endpoint>(&parsed);
    QCOMPARE(endpoint ? endpoint->address.toString() + ':' + QString::number(endpoint->port)
                      : QString(),
             target);
}

void TestPjlinkClass2::pollPeriod_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("ms"); // -1: refused

    QTest::addRow("off") << "0" << 0;
    QTest::addRow("shortest") << "100" << 100;
    QTest::addRow("an hour") << "3600000" << 3600000;
    QTest::addRow("too short") << "99" << -1;
    QTest::addRow("too long") << "3600001" << -1;
    QTest::addRow("negative") << "-5" << -1;
    QTest::addRow("unit") << "5s" << -1;
}

void TestPjlinkClass2::pollPeriod() {
    QFETCH(QString, text);
    QFETCH(int, ms);

    const auto parsed = parsePollPeriod(text);
    const auto* period = std::get_if<std::chrono::milliseconds>(&parsed);
    QCOMPARE(period ? int(period->count()) : -1, ms);
}

void TestPjlinkClass2::controllersAreBoundedAndForgotten() {
    const Endpoint given{QHostAddress(QStringLiteral("127.0.0.9")), 9000};
    Controllers controllers({given}, 2, 60s);
    const auto at = [](int s) { return Controllers::Clock::time_point(std::chrono::seconds(s)); };
    const auto learned = [](int n) {
        return Endpoint{QHostAddress(quint32(0x7f000000 + n)), 4352};
    };
    controllers.learn(learned(1), at(0));
    controllers.learn(learned(2), at(10));
    controllers.learn(learned(1), at(20)); // seen again
    controllers.learn(learned(3), at(30)); // takes the place of 2, seen longest ago
    QCOMPARE(controllers.current(at(30)), (QList{given, learned(1), learned(3)}));
    QCOMPARE(controllers.current(at(85)), (QList{given, learned(3)}));
    QCOMPARE(controllers.current(at(1000)), QList{given});
}

void TestPjlinkClass2::searchBudget() {
    SearchBudget budget({.perSender = 2, .total = 3, .window = 10s});
    const QHostAddress one(QStringLiteral("127.0.0.1"));
    const QHostAddress two(QStringLiteral("127.0.0.2"));
    const auto at = [](int s) { return SearchBudget::Clock::time_point(std::chrono::seconds(s)); };
    QVERIFY(budget.take(one, at(0)));
    QVERIFY(budget.take(one, at(1)));
    QVERIFY(!budget.take(one, at(2)));
    QVERIFY(budget.take(two, at(3)));
    QVERIFY(!budget.take(QHostAddress(QStringLiteral("127.0.0.3")), at(4))); // total used up
    QVERIFY(budget.take(one, at(11)));                                       // the window moved on
}

void TestPjlinkClass2::freezeEndsWithThePicture_data() {
    QTest::addColumn<QByteArray>("power"); // CR0's reply before FREZ ?
    QTest::addColumn<QByteArray>("answer");

    QTest::addRow("still on") << QByteArray("00\r") << QByteArray("1");
    QTest::addRow("on, temperature warning") << QByteArray("08\r") << QByteArray("1");
    QTest::addRow("cooling") << QByteArray("20\r") << QByteArray("0");
    QTest::addRow("standby") << QByteArray("80\r") << QByteArray("0");
    QTest::addRow("power failure") << QByteArray("10\r") << QByteArray("ERR4");
}

void TestPjlinkClass2::freezeEndsWithThePicture() {
    QFETCH(QByteArray, power);
    QFETCH(QByteArray, answer);

    const auto row = [](const char* parameter) {
        return *resolve(Request{kClass2, "FREZ", true, parameter}).mapping;
    };
    FreezeMemory freeze;
    freeze.note(row("1"), true, {{tavo::status::Reports::PowerState, {"00\r", {}}}});
    const Readings readings{{tavo::status::Reports::PowerState, {power, {}}}};
    freeze.note(row("?"), true, readings);
    QCOMPARE(class2Result(row("?"), readings, freeze.frozen()), answer);
}

QTEST_GUILESS_MAIN(TestPjlinkClass2)
#include "tst_pjlink_class2.moc"
