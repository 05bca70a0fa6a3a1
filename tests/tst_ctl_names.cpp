// The command line's names table against the panel: every one-shot sender
// and hold key named exactly once, every name read back as itself with its
// code, and the frame and reply timeout that tavo-ctl's controller sends for
// a name equal to what the window sends when its control is clicked or
// pressed.

#include "tavo-ctl/command_words.h"
#include "tavo-ctl/completion.h"

#include "commands/controller.h"
#include "commands/names.h"
#include "exchange/exchange.h"
#include "status/reading.h"
#include "support/fake_serial.h"
#include "support/window_rig.h"

#include <QProcess>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <iterator>

using tavo::test::FakeSerial;
using tavo::test::WindowRig;

namespace {

QString text(std::string_view view) {
    return QString::fromLatin1(view);
}

const tavo::commands::CommandName* entryNamed(const QString& name) {
    const auto names = tavo::commands::commandNames();
    const auto found = std::find_if(names.begin(), names.end(),
                                    [&](const auto& entry) { return text(entry.name) == name; });
    return found == names.end() ? nullptr : &*found;
}

// Every name with the code it must send, written out by hand rather than
// taken from the tables, so that a name given to the wrong control shows.
struct Expected {
    const char* name;
    const char* code;
};

// clang-format off
constexpr Expected kExpected[] = {
    {"projector-hours", "CR PROJH"}, {"power on", "C00"}, {"power off", "C01"},
    {"input-terminal", "CR INPUT"},
    {"input pc1", "C05"}, {"input pc2", "C06"}, {"input video", "C07"}, {"menu on", "C1C"},
    {"menu off", "C1D"}, {"sound-mute on", "C0B"}, {"sound-mute off", "C0C"}, {"no-show on", "C0D"},
    {"no-show off", "C0E"}, {"freeze on", "C43"}, {"freeze off", "C44"}, {"av-size", "CR SCREEN"},
    {"av-size regular", "C0F"}, {"av-size wide", "C10"}, {"lamp-mode", "CR LAMPMODE"},
    {"lamp-mode auto", "C73"}, {"lamp-mode normal", "C74"}, {"lamp-mode eco", "C75"},
    {"a-image", "C89"}, {"image", "C27"}, {"p-timer", "C8A"}, {"display-clear", "C1E"},
    {"picture-mode stand", "C11"}, {"picture-mode real", "C12"}, {"picture-mode cinema", "C13"},
    {"picture-mode image1", "C14"}, {"picture-mode image2", "C15"}, {"picture-mode image3", "C16"},
    {"picture-mode image4", "C17"}, {"status", "CR0"}, {"input-mode", "CR1"},
    {"lamp-hours", "CR3"}, {"orientation", "CR4"}, {"temperatures", "CR6"},
    {"mute-state", "CRA"}, {"status-text", "CR9"}, {"air-pressure", "CR PRESSURE"},
    {"lamp-state", "CR7"}, {"pc1-terminal rgb", "C50"},
    {"pc1-terminal dvi-pc", "C52"}, {"pc1-terminal dvi-av", "C53"}, {"pc2-terminal rgb", "C25"},
    {"pc2-terminal scart", "C26"}, {"pc2-terminal in", "CF TERMINAL COMPUTER"},
    {"pc2-terminal out", "CF TERMINAL MONITOR"}, {"video-terminal auto", "CF INPUT VIDEO AUTO"},
    {"video-terminal video", "CF INPUT VIDEO VIDEO"},
    {"video-terminal s-video", "CF INPUT VIDEO S-VIDEO"},
    {"video-terminal component", "CF INPUT VIDEO YPBPR"}, {"fan-speed", "CR FANSPEED"},
    {"fan-speed max", "CF FANSPEED MAX"}, {"fan-speed normal", "CF FANSPEED NOR"},
    {"key-lock", "CR KEYDIS"}, {"key-lock none", "CF KEYDIS NONE"}, {"key-lock rc", "CF KEYDIS RC"},
    {"key-lock key", "CF KEYDIS KEY"}, {"logo capture", "C7D"}, {"logo off", "C7A"},
    {"logo default", "C7B"}, {"logo user", "C7C"}, {"vol +", "C09"}, {"vol -", "C0A"},
    {"up", "C3C"}, {"down", "C3D"}, {"left", "C3B"}, {"right", "C3A"}, {"brightness +", "C20"},
    {"brightness -", "C21"}, {"focus +", "C4B"}, {"focus -", "C4A"}, {"select", "C3F"},
    {"d-zoom +", "C30"}, {"d-zoom -", "C31"}, {"keystone +", "C8E"}, {"keystone -", "C8F"},
    {"zoom +", "C47"}, {"zoom -", "C46"},
};
// clang-format on
static_assert(std::size(kExpected) == 81);

struct Sent {
    QByteArray frame;
    int replyTimeout = 0;
};

// As tavo-ctl sends a step: through a controller over a fresh exchange.
Sent sentByCommandLine(const tavo::ctl::Step& step) {
    auto port = std::make_unique<FakeSerial>();
    FakeSerial& fake = *port;
    port->open();
    tavo::link::Exchange exchange(std::move(port));
    tavo::commands::Controller controller(exchange);
    if (step.command.sender)
        controller.sendOneShot(*step.command.sender);
    else
        controller.press(*step.command.key);
    return {fake.written.value(0), int(exchange.replyTiming().replyTimeout.count())};
}

// As the window sends it: a click, or the press of a hold key.
Sent sentByWindow(const QString& control, bool isHoldKey) {
    WindowRig window;
    if (!window.isReady())
        return {};
    if (isHoldKey)
        QTest::mousePress(window.widget(control), Qt::LeftButton);
    else
        window.click(control);
    Sent sent{window.frames().value(0), window.timer(QStringLiteral("Timer2"))->interval()};
    if (isHoldKey)
        QTest::mouseRelease(window.widget(control), Qt::LeftButton);
    return sent;
}

} // namespace

class TestCtlNames : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void tableSize();
    void everyControlNamedOnce_data();
    void everyControlNamedOnce();
    void nameSendsItsCode_data();
    void nameSendsItsCode();
    void nameSendsWhatTheWindowSends_data();
    void nameSendsWhatTheWindowSends();
    void everyReadQueryNamed_data();
    void everyReadQueryNamed();
    void completionOffers_data();
    void completionOffers();
};

void TestCtlNames::initTestCase() {
    tavo::test::quietTestNoise();
}

void TestCtlNames::tableSize() {
    QCOMPARE(tavo::commands::oneShotSenders().size(), std::size_t(60));
    QCOMPARE(tavo::commands::holdKeys().size(), std::size_t(17));
    QCOMPARE(tavo::commands::commandNames().size(), std::size_t(81));
}

void TestCtlNames::everyControlNamedOnce_data() {
    QTest::addColumn<QString>("control");
    for (const auto& sender : tavo::commands::oneShotSenders())
        QTest::addRow("one-shot %s", sender.control.data()) << text(sender.control);
    for (const auto& key : tavo::commands::holdKeys())
        QTest::addRow("hold key %s", key.control.data()) << text(key.control);
}

void TestCtlNames::everyControlNamedOnce() {
    QFETCH(QString, control);
    const auto names = tavo::commands::commandNames();
    const auto count = std::count_if(names.begin(), names.end(), [&](const auto& entry) {
        return text(entry.control) == control;
    });
    QCOMPARE(count, 1);
}

void TestCtlNames::nameSendsItsCode_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("code");
    for (const Expected& expected : kExpected)
        QTest::addRow("%s", expected.name)
            << QString::fromLatin1(expected.name) << QByteArray(expected.code);
}

void TestCtlNames::nameSendsItsCode() {
    QFETCH(QString, name);
    QFETCH(QByteArray, code);
    const tavo::commands::CommandName* entry = entryNamed(name);
    QVERIFY2(entry, "no such name in the table");
    const auto command = tavo::commands::commandFor(*entry);
    QCOMPARE(QByteArray(command.code().data(), qsizetype(command.code().size())), code);
    QCOMPARE(command.isQuery(), code.startsWith("CR"));
    // Typed as separate words, in upper case too, the name is that one step.
    for (const QString& typed : {name, name.toUpper()}) {
        const tavo::ctl::ParsedSteps parsed = tavo::ctl::parseArguments(typed.split(' '));
        QVERIFY2(parsed.ok(), qPrintable(parsed.error));
        QCOMPARE(parsed.steps.size(), 1);
        QCOMPARE(parsed.steps.front().command.entry, entry);
    }
}

void TestCtlNames::nameSendsWhatTheWindowSends_data() {
    QTest::addColumn<QString>("name");
    for (const auto& entry : tavo::commands::commandNames()) {
        if (!entry.control.empty())
            QTest::addRow("%s (%s)", entry.name.data(), entry.control.data()) << text(entry.name);
    }
}

void TestCtlNames::nameSendsWhatTheWindowSends() {
    QFETCH(QString, name);
    const tavo::ctl::ParsedSteps parsed = tavo::ctl::parseArguments(name.split(' '));
    QVERIFY2(parsed.ok(), qPrintable(parsed.error));
    const tavo::ctl::Step& step = parsed.steps.front();
    const Sent byCommandLine = sentByCommandLine(step);
    const Sent byWindow = sentByWindow(text(step.command.entry->control), step.isHoldKey());
    QVERIFY(!byWindow.frame.isEmpty());
    QCOMPARE(byCommandLine.frame, byWindow.frame);
    QCOMPARE(byCommandLine.frame,
             QByteArray(step.command.code().data(), qsizetype(step.command.code().size())) + '\r');
    QCOMPARE(byCommandLine.replyTimeout, byWindow.replyTimeout);
}

// Every query with a typed reading has a name, so --list shows all of them.
void TestCtlNames::everyReadQueryNamed_data() {
    QTest::addColumn<QString>("code");
    for (const auto& query : tavo::status::readQueries())
        QTest::addRow("%s", query.code.data()) << text(query.code);
}

void TestCtlNames::everyReadQueryNamed() {
    QFETCH(QString, code);
    const auto names = tavo::commands::commandNames();
    QVERIFY(std::any_of(names.begin(), names.end(), [&](const auto& entry) {
        return text(tavo::commands::commandFor(entry).code()) == code;
    }));
}

// The generated bash completion, run by bash: what it offers after a word.
void TestCtlNames::completionOffers_data() {
    QTest::addColumn<QString>("previous");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("offered");
    const auto row = [](const char* name, const char* previous, const char* typed,
                        const char* offered) {
        QTest::addRow("%s", name) << QString(previous) << QString(typed) << QString(offered);
    };
    row("rest of a name", "power", "", "on off");
    row("first word of a name", "status", "lamp-h", "lamp-hours");
    row("option", "status", "--rep", "--reply-timeout --repeat");
    row("option value", "--baud", "", "19200 9600");
    row("value awaited", "--until", "war", "warm-up");
    row("nothing after send", "send", "", "");
}

void TestCtlNames::completionOffers() {
    QFETCH(QString, previous);
    QFETCH(QString, typed);
    QFETCH(QString, offered);
    // The completion script, then a completion after the two words, as bash runs it.
    QProcess bash;
    bash.start("bash", {"-c",
                        tavo::ctl::bashCompletion() +
                            "\nCOMP_WORDS=(tavo-ctl \"$0\" \"$1\"); COMP_CWORD=2; _tavo_ctl; "
                            "echo \"${COMPREPLY[*]}\"",
                        previous, typed});
    QVERIFY(bash.waitForFinished());
    QCOMPARE(QString::fromUtf8(bash.readAllStandardOutput()).trimmed(), offered);
}

QTEST_MAIN(TestCtlNames)
#include "tst_ctl_names.moc"
