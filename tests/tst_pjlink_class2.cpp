// The Class 2 pieces without sockets: the options, the controllers
// notifications go to and the search budget.

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
};

void TestPjlinkClass2::notifyTarget_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("target"); // empty: refused

    const auto row = [](const char* text, const char* target) {
        QTest::addRow("%s", text) << QString(text) << QString(target);
    };
    row("127.0.0.1", "127.0.0.1:4352");
    row("127.0.0.5:9000", "127.0.0.5:9000");
    row("255.255.255.255", "");
    row("239.1.2.3", "");
    row("0.0.0.0", "");
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
    QTest::addRow("too short") << "99" << -1;
    QTest::addRow("too long") << "3600001" << -1;
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
    const auto at = [](int s) { return SearchBudget::Clock::time_point(std::chrono::seconds(s)); };
    QVERIFY(budget.take(one, at(0)));
    QVERIFY(budget.take(one, at(1)));
    QVERIFY(!budget.take(one, at(2)));
    QVERIFY(budget.take(QHostAddress(QStringLiteral("127.0.0.2")), at(3)));
    QVERIFY(!budget.take(QHostAddress(QStringLiteral("127.0.0.3")), at(4))); // total used up
    QVERIFY(budget.take(one, at(11)));                                       // the window moved on
}

QTEST_GUILESS_MAIN(TestPjlinkClass2)
#include "tst_pjlink_class2.moc"
