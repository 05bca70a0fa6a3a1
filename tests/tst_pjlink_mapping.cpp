// The PJLink mapping as a table: what each request sends, which of the
// projector's states let it through, and how every decoded reply becomes an
// answer. The codes are written out here, once, to check the table against
// them; the table itself names the panel's senders and the status readings' tokens.

#include "commands/controller.h"
#include "commands/names.h"
#include "pjlink/mapping.h"
#include "status/reading.h"
#include "status/tables.h"

#include <QtTest>

using namespace tavo;
using namespace tavo::pjlink;
using status::Reports;

namespace {

QByteArray toBytes(std::string_view text) {
    return QByteArray(text.data(), qsizetype(text.size()));
}

const Mapping* mappingFor(const QByteArray& command, const QByteArray& parameter) {
    return resolve(Request{'1', command, true, parameter}).mapping;
}

// The reply whose code the decoder shows as this text; one that matches no
// code for an empty text.
QByteArray replyShownAs(Reports query, const QString& text) {
    for (const status::StatusCode& code : status::statusQuery(query).table->codes) {
        if (QString::fromLatin1(toBytes(code.text)) != text)
            continue;
        QByteArray reply;
        const QByteArray head = toBytes(code.head);
        for (qsizetype i = 1; i < head.size(); i += 2)
            reply.append(head[i]);
        return reply + '\r';
    }
    return "xx\r";
}

QStringList tokensOf(status::Quantity quantity) {
    return status::possibleValues(status::readQueryOf(quantity));
}

// The replies a request's queries got, by the decoder's texts for them; an
// empty text stands for a reply that matched no code.
struct Replies {
    QString power;
    QString input;
    QString mute;
    QByteArray lampTime;
};

Readings readingsOf(const Replies& replies) {
    Readings readings;
    const auto add = [&](Reports query, const QString& text) {
        if (!text.isNull())
            readings[query] = Reading{replyShownAs(query, text), std::nullopt};
    };
    add(Reports::PowerState, replies.power);
    add(Reports::InputMode, replies.input);
    add(Reports::MuteState, replies.mute);
    if (!replies.lampTime.isNull())
        readings[Reports::LampTime] = Reading{replies.lampTime, std::nullopt};
    return readings;
}

const Identity kIdentity{"Hall A", "TAVO", "RB20", "tavo-pjlink 1.40"};

} // namespace

Q_DECLARE_METATYPE(Replies)

class TestPjlinkMapping : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everyRowIsChecked();
    void sends_data();
    void sends();
    void everySenderNameIsASender();
    void everyPowerStateHasAReading();
    void shownTokensAreReadingTokens();
    void resolve_data();
    void resolve();
    void gate_data();
    void gate();
    void answers_data();
    void answers();
    void stepFailure_data();
    void stepFailure();
    void replyFits_data();
    void replyFits();
};

void TestPjlinkMapping::sends_data() {
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("parameter");
    QTest::addColumn<QByteArrayList>("frames"); // queries, then commands

    const auto row = [](const char* command, const char* parameter, QByteArrayList frames) {
        QTest::addRow("%s %s", command, parameter)
            << QByteArray(command) << QByteArray(parameter) << frames;
    };
    row("POWR", "1", {"CR0", "C00"});
    row("POWR", "0", {"CR0", "C01"});
    row("POWR", "?", {"CR0"});
    row("INPT", "11", {"CR0", "C05"});
    row("INPT", "12", {"CR0", "C06"});
    row("INPT", "21", {"CR0", "C07"});
    row("INPT", "?", {"CR1"});
    row("AVMT", "11", {"CR0", "C0D"});
    row("AVMT", "10", {"CR0", "C0E"});
    row("AVMT", "21", {"CR0", "C0B"});
    row("AVMT", "20", {"CR0", "C0C"});
    row("AVMT", "31", {"CR0", "C0D", "C0B"});
    row("AVMT", "30", {"CR0", "C0E", "C0C"});
    row("AVMT", "?", {"CRA"});
    row("ERST", "?", {"CR0"});
    row("LAMP", "?", {"CR0", "CR3"});
    row("INST", "?", {});
    row("NAME", "?", {});
    row("INF1", "?", {});
    row("INF2", "?", {});
    row("INFO", "?", {});
    row("CLSS", "?", {});
}

void TestPjlinkMapping::sends() {
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, parameter);
    QFETCH(QByteArrayList, frames);

    const Mapping* mapping = mappingFor(command, parameter);
    QVERIFY(mapping);
    QByteArrayList sent;
    for (const Reports query : queriesFor(*mapping))
        sent << toBytes(status::statusQuery(query).code);
    for (const commands::OneShotSender& sender : sendersFor(*mapping)) {
        QCOMPARE(sender.timing, commands::TimingClass::Plain);
        sent << toBytes(sender.code);
    }
    QCOMPARE(sent, frames);
}

// sends() has one row per table row, and the table holds every Class 1 command.
void TestPjlinkMapping::everyRowIsChecked() {
    QCOMPARE(mappings().size(), 22);
    QSet<QByteArray> commands;
    for (const Mapping& mapping : mappings())
        commands.insert(toBytes(mapping.command));
    const QSet<QByteArray> class1{"POWR", "INPT", "AVMT", "ERST", "LAMP", "INST",
                                  "NAME", "INF1", "INF2", "INFO", "CLSS"};
    QCOMPARE(commands, class1);
}

void TestPjlinkMapping::everySenderNameIsASender() {
    for (const Mapping& mapping : mappings()) {
        for (const std::string_view control : mapping.senders) {
            if (!control.empty())
                QVERIFY2(tavo::commands::findOneShotSender(control), control.data());
        }
    }
}

// Every token the power state reading can give has its meaning here, and
// nothing here is a token it never gives.
void TestPjlinkMapping::everyPowerStateHasAReading() {
    QStringList readings;
    for (const PowerReading& reading : powerReadings())
        readings << QString::fromLatin1(toBytes(reading.token));
    QStringList tokens = tokensOf(status::Quantity::PowerState);
    readings.sort();
    tokens.sort();
    QCOMPARE(readings, tokens);
}

void TestPjlinkMapping::shownTokensAreReadingTokens() {
    const QStringList inputs = tokensOf(status::Quantity::InputMode);
    const QStringList mutes = tokensOf(status::Quantity::MuteState);
    int shown = 0;
    for (const Mapping& mapping : mappings()) {
        if (mapping.shows.empty())
            continue;
        ++shown;
        const QString token = QString::fromLatin1(toBytes(mapping.shows));
        QVERIFY2((mapping.command == "INPT" ? inputs : mutes).contains(token), qPrintable(token));
    }
    QCOMPARE(shown, 7);
}

void TestPjlinkMapping::resolve_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("error"); // empty: the request is mapped

    QTest::addRow("query") << QByteArray("%1POWR ?") << QByteArray();
    QTest::addRow("setting") << QByteArray("%1AVMT 30") << QByteArray();
    QTest::addRow("lower case") << QByteArray("%1inpt 21") << QByteArray();
    QTest::addRow("undefined command") << QByteArray("%1FREZ ?") << QByteArray("ERR1");
    QTest::addRow("class 3") << QByteArray("%3POWR ?") << QByteArray("ERR1");
    QTest::addRow("class 0") << QByteArray("%0POWR ?") << QByteArray("ERR1");
    QTest::addRow("power out of range") << QByteArray("%1POWR 2") << QByteArray("ERR2");
    QTest::addRow("input not on this projector") << QByteArray("%1INPT 31") << QByteArray("ERR2");
    QTest::addRow("input 22") << QByteArray("%1INPT 22") << QByteArray("ERR2");
    QTest::addRow("mute out of range") << QByteArray("%1AVMT 12") << QByteArray("ERR2");
    QTest::addRow("query-only set") << QByteArray("%1NAME x") << QByteArray("ERR2");
    QTest::addRow("no blank") << QByteArray("%1POWR?") << QByteArray("ERR2");
    QTest::addRow("no parameter") << QByteArray("%1POWR") << QByteArray("ERR2");
    QTest::addRow("two blanks") << QByteArray("%1POWR  ?") << QByteArray("ERR2");
    QTest::addRow("trailing blank") << QByteArray("%1POWR ? ") << QByteArray("ERR2");
    QTest::addRow("binary parameter") << QByteArray("%1POWR \0", 8) << QByteArray("ERR2");
}

void TestPjlinkMapping::resolve() {
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, error);

    const auto request = parseRequest(line);
    QVERIFY(request);
    const Resolution resolution = tavo::pjlink::resolve(*request);
    QCOMPARE(resolution.error.toByteArray(), error);
    QCOMPARE(resolution.mapping != nullptr, error.isEmpty());
    if (resolution.mapping) {
        QCOMPARE(toBytes(resolution.mapping->command), request->command);
        QCOMPARE(toBytes(resolution.mapping->parameter), request->parameter);
    }
}

void TestPjlinkMapping::gate_data() {
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("parameter");
    QTest::addColumn<QString>("power"); // empty: a reply that matched no code
    QTest::addColumn<QByteArray>("refusal");

    const QByteArray none;
    QTest::addRow("power on from standby")
        << QByteArray("POWR") << QByteArray("1") << " Stand by" << none;
    QTest::addRow("power on while on")
        << QByteArray("POWR") << QByteArray("1") << " Power ON" << none;
    QTest::addRow("power on while counting down")
        << QByteArray("POWR") << QByteArray("1") << " Count down" << QByteArray("ERR3");
    QTest::addRow("power on while cooling")
        << QByteArray("POWR") << QByteArray("1") << " Cooling down" << QByteArray("ERR3");
    QTest::addRow("power off while counting down")
        << QByteArray("POWR") << QByteArray("0") << " Count down" << QByteArray("ERR3");
    QTest::addRow("power off in standby after lamp failure")
        << QByteArray("POWR") << QByteArray("0") << " Cooling down & sutandby (All Lamp FAIL)"
        << none;
    QTest::addRow("power on after power failure")
        << QByteArray("POWR") << QByteArray("1") << " Power Fail" << QByteArray("ERR4");
    QTest::addRow("power on, state unknown")
        << QByteArray("POWR") << QByteArray("1") << "" << QByteArray("ERR4");
    QTest::addRow("input while on")
        << QByteArray("INPT") << QByteArray("12") << " Power ON" << none;
    QTest::addRow("input with a temperature warning")
        << QByteArray("INPT") << QByteArray("12") << " Temperature Warning" << none;
    QTest::addRow("input in standby")
        << QByteArray("INPT") << QByteArray("12") << " Stand by" << QByteArray("ERR3");
    QTest::addRow("mute while cooling") << QByteArray("AVMT") << QByteArray("31")
                                        << "Cooling down  PWR Management" << QByteArray("ERR3");
    QTest::addRow("query in standby")
        << QByteArray("POWR") << QByteArray("?") << " Stand by" << none;
}

void TestPjlinkMapping::gate() {
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, parameter);
    QFETCH(QString, power);
    QFETCH(QByteArray, refusal);

    const Mapping* mapping = mappingFor(command, parameter);
    QVERIFY(mapping);
    const auto refused = gateRefusal(*mapping, readingsOf({power, {}, {}, {}}));
    QCOMPARE(refused ? refused->toByteArray() : QByteArray(), refusal);
}

void TestPjlinkMapping::answers_data() {
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<Replies>("replies");
    QTest::addColumn<QByteArray>("result");

    const auto powr = [](const char* text, const char* result) {
        QTest::addRow("POWR ? %s", text)
            << QByteArray("POWR") << Replies{text, {}, {}, {}} << QByteArray(result);
    };
    powr(" Power ON", "1");
    powr(" Stand by", "0");
    powr(" Count down", "3");
    powr(" Cooling down", "2");
    powr(" Power Fail", "ERR4");
    powr(" Temperature Warning", "1");
    powr(" NO Key input ", "1");
    powr(" Lamp OFF by PWR Management", "1");
    powr(" Temperature Warning & cooling down", "2");
    powr("Cooling down  PWR Management", "2");
    powr(" Temperature Warning and recoverd", "0");
    powr(" Cooling down (All Lamp FAIL)", "2");
    powr(" Cooling down & sutandby (All Lamp FAIL)", "0");
    powr("", "ERR4");

    const auto erst = [](const char* text, const char* result) {
        QTest::addRow("ERST ? %s", text)
            << QByteArray("ERST") << Replies{text, {}, {}, {}} << QByteArray(result);
    };
    erst(" Power ON", "000000");
    erst(" Power Fail", "000002");
    erst(" Temperature Warning", "001000");
    erst(" Temperature Warning & cooling down", "001000");
    erst(" Temperature Warning and recoverd", "001000");
    erst(" Cooling down (All Lamp FAIL)", "020000");
    erst(" Cooling down & sutandby (All Lamp FAIL)", "020000");
    erst("", "ERR4");

    const auto lamp = [](const char* row, const char* power, const char* reply,
                         const char* result) {
        QTest::addRow("LAMP ? %s", row)
            << QByteArray("LAMP") << Replies{power, {}, {}, QByteArray(reply)}
            << QByteArray(result);
    };
    lamp("lit", " Power ON", "01234\r", "1234 1");
    lamp("lit with a warning", " Temperature Warning", "01234\r", "1234 1");
    lamp("off by power management", " Lamp OFF by PWR Management", "00077\r", "77 0");
    lamp("standby", " Stand by", "00000\r", "0 0");
    lamp("counting down", " Count down", "99999\r", "99999 0");
    lamp("six digits", " Power ON", "123456\r", "ERR4");
    lamp("not digits", " Power ON", "12a45\r", "ERR4");
    lamp("no CR", " Power ON", "01234", "ERR4");
    lamp("empty", " Power ON", "\r", "ERR4");
    lamp("power state unknown", "", "01234\r", "ERR4");

    const auto inpt = [](const char* text, const char* result) {
        QTest::addRow("INPT ? %s", text)
            << QByteArray("INPT") << Replies{{}, text, {}, {}} << QByteArray(result);
    };
    inpt(" Computer 1", "11");
    inpt(" Computer 2", "12");
    inpt(" Video", "21");
    inpt(" Input mode 4", "ERR3");
    inpt("", "ERR4");

    const auto avmt = [](const char* text, const char* result) {
        QTest::addRow("AVMT ? %s", text)
            << QByteArray("AVMT") << Replies{{}, {}, text, {}} << QByteArray(result);
    };
    avmt(" Video & Audio mute OFF", "30");
    avmt(" Video mute ON", "11");
    avmt(" Audio mute ON", "21");
    avmt(" Video & Audio mute ON", "31");
    avmt(" No signal", "ERR3");
    avmt(" Stand by", "ERR3");
    avmt("", "ERR4");

    const auto identity = [](const char* command, const char* result) {
        QTest::addRow("%s ?", command) << QByteArray(command) << Replies{} << QByteArray(result);
    };
    identity("INST", "11 12 21");
    identity("NAME", "Hall A");
    identity("INF1", "TAVO");
    identity("INF2", "RB20");
    identity("INFO", "tavo-pjlink 1.40");
    identity("CLSS", "2");
}

void TestPjlinkMapping::answers() {
    QFETCH(QByteArray, command);
    QFETCH(Replies, replies);
    QFETCH(QByteArray, result);

    const Mapping* mapping = mappingFor(command, "?");
    QVERIFY(mapping);
    QCOMPARE(resultOf(*mapping, readingsOf(replies), kIdentity), result);
}

void TestPjlinkMapping::stepFailure_data() {
    QTest::addColumn<int>("outcome");
    QTest::addColumn<bool>("isQuery");
    QTest::addColumn<QByteArray>("failure");

    using link::Outcome;
    QTest::addRow("command acknowledged") << int(Outcome::Acknowledged) << false << QByteArray();
    QTest::addRow("command refused") << int(Outcome::Refused) << false << QByteArray("ERR3");
    QTest::addRow("command answered with text")
        << int(Outcome::Replied) << false << QByteArray("ERR4");
    QTest::addRow("command unanswered") << int(Outcome::NoReply) << false << QByteArray("ERR4");
    QTest::addRow("command, port failed")
        << int(Outcome::PortFailed) << false << QByteArray("ERR4");
    QTest::addRow("query replied") << int(Outcome::Replied) << true << QByteArray();
    QTest::addRow("query acknowledged") << int(Outcome::Acknowledged) << true << QByteArray("ERR4");
    QTest::addRow("query refused") << int(Outcome::Refused) << true << QByteArray("ERR3");
    QTest::addRow("query unanswered") << int(Outcome::NoReply) << true << QByteArray("ERR4");
    QTest::addRow("query, port failed") << int(Outcome::PortFailed) << true << QByteArray("ERR4");
    QTest::addRow("query, reply of another shape")
        << int(Outcome::Malformed) << true << QByteArray("ERR4");
}

void TestPjlinkMapping::stepFailure() {
    QFETCH(int, outcome);
    QFETCH(bool, isQuery);
    QFETCH(QByteArray, failure);
    const auto failed = tavo::pjlink::stepFailure(link::Outcome(outcome), isQuery);
    QCOMPARE(failed ? failed->toByteArray() : QByteArray(), failure);
}

void TestPjlinkMapping::replyFits_data() {
    QTest::addColumn<int>("query");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("fits");
    using status::Reports;
    const auto row = [](const char* name, Reports query, const char* reply, bool fits) {
        QTest::addRow("%s", name) << int(query) << QByteArray(reply) << fits;
    };
    row("power state", Reports::PowerState, "80\r", true);
    row("power state, an input mode's reply", Reports::PowerState, "1\r", false);
    row("input mode", Reports::InputMode, "1\r", true);
    row("input mode, a power state's reply", Reports::InputMode, "80\r", false);
    row("mute state in standby", Reports::MuteState, "FF\r", true);
    row("lamp time", Reports::LampTime, "01234\r", true);
    row("lamp time, six digits", Reports::LampTime, "012345\r", false);
}

void TestPjlinkMapping::replyFits() {
    QFETCH(int, query);
    QFETCH(QByteArray, reply);
    QFETCH(bool, fits);
    QCOMPARE(queryReplyFits(status::Reports(query), reply), fits);
    QVERIFY(!commandReplyFits(reply));
}

QTEST_GUILESS_MAIN(TestPjlinkMapping)
#include "tst_pjlink_mapping.moc"
