// tavo-ctl's reading of its input, without a device: command words into
// steps (longest name first, "send TEXT", the nearest names for a slip),
// random word salads that must end in steps or one error, the edit distance,
// times, the options and their checks, and standard-input scripts with their
// bounds.
// Also the monitoring check's verdict from its four readings and thresholds,
// and the threshold ranges of the monitoring-plugins convention.

#include "tavo-ctl/check.h"
#include "tavo-ctl/command_words.h"
#include "tavo-ctl/invocation.h"
#include "tavo-ctl/script_input.h"

#include <QBuffer>
#include <QRandomGenerator>
#include <QTest>

using namespace tavo::ctl;
using tavo::status::readingOf;

namespace {

QStringList namesOf(const QList<Step>& steps) {
    QStringList names;
    for (const Step& step : steps)
        names.append(step.isTyped() ? QStringLiteral("send:") + step.typedText : step.name());
    return names;
}

// What a parse came to, as one comparable list: the step names, or the error.
QStringList outcomeOf(const ParsedSteps& parsed) {
    return parsed.ok() ? namesOf(parsed.steps)
                       : QStringList{QStringLiteral("error: ") + parsed.error};
}

Script scriptFrom(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return readScript(buffer);
}

QStringList allNameWords() {
    QStringList words;
    for (const auto& entry : tavo::commands::commandNames())
        words += QString::fromLatin1(entry.name).split(' ');
    words.removeDuplicates();
    return words;
}

} // namespace

class TestCtlWords : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void arguments_data();
    void arguments();
    void scriptLine_data();
    void scriptLine();
    void wordSaladEndsInStepsOrOneError();
    void editDistance_data();
    void editDistance();
    void duration_data();
    void duration();
    void commandLine_data();
    void commandLine();
    void script_data();
    void script();
    void megabyteLineStopsAtTheBound();
    void verdict_data();
    void verdict();
    void range_data();
    void range();
};

void TestCtlWords::arguments_data() {
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<QStringList>("expected");

    QTest::addRow("one name of two words") << QStringList{"power", "on"} << QStringList{"power on"};
    QTest::addRow("two commands in a row")
        << QStringList{"power", "on", "input", "pc1"} << QStringList{"power on", "input pc1"};
    QTest::addRow("heading query, then a command of its group")
        << QStringList{"lamp-mode", "lamp-mode", "eco"}
        << QStringList{"lamp-mode", "lamp-mode eco"};
    QTest::addRow("power alone reads nothing")
        << QStringList{"power", "status"}
        << QStringList{"error: unknown command \"power\"; tavo-ctl --list shows every name"};
    QTest::addRow("longest name wins")
        << QStringList{"input", "video"} << QStringList{"input video"};
    QTest::addRow("heading query alone") << QStringList{"lamp-mode"} << QStringList{"lamp-mode"};
    QTest::addRow("case ignored") << QStringList{"Sound-Mute", "OFF"}
                                  << QStringList{"sound-mute off"};
    QTest::addRow("hold keys") << QStringList{"vol", "+", "zoom", "-", "up"}
                               << QStringList{"vol +", "zoom -", "up"};
    QTest::addRow("send takes the next argument whole")
        << QStringList{"send", "CR PROJH", "status"} << QStringList{"send:CR PROJH", "status"};
    QTest::addRow("send keeps the case of its text")
        << QStringList{"SEND", "cr0"} << QStringList{"send:cr0"};
    QTest::addRow("send without text") << QStringList{"status", "send"}
                                       << QStringList{"error: send needs the text of a frame, "
                                                      "for example: send CR0"};
    QTest::addRow("send with empty text") << QStringList{"send", ""}
                                          << QStringList{"error: send needs the text of a frame, "
                                                         "for example: send CR0"};
    QTest::addRow("send with text over the bound")
        << QStringList{"send", QString(kMaxTypedText + 1, 'C')}
        << QStringList{"error: the text after send is longer than 4096 characters"};
    QTest::addRow("slip in a two-word name")
        << QStringList{"powr", "on"}
        << QStringList{"error: unknown command \"powr on\"; nearest names: power on"};
    QTest::addRow("unknown value after a heading name")
        << QStringList{"input", "pc3"}
        << QStringList{"error: unknown command \"input pc3\"; nearest names: input pc1, input pc2"};
    QTest::addRow("slip after a good command")
        << QStringList{"power", "on", "statsu"}
        << QStringList{"error: unknown command \"statsu\"; nearest names: status"};
    QTest::addRow("plus glued to its name")
        << QStringList{"vol+"}
        << QStringList{"error: unknown command \"vol+\"; nearest names: vol +"};
    QTest::addRow("key without its sign")
        << QStringList{"zoom"}
        << QStringList{"error: unknown command \"zoom\"; nearest names: zoom +, zoom -"};
    QTest::addRow("nothing near")
        << QStringList{"xyzzy"}
        << QStringList{"error: unknown command \"xyzzy\"; tavo-ctl --list shows every name"};
    QTest::addRow("lone dash among commands")
        << QStringList{"status", "-"}
        << QStringList{"error: unknown command \"-\"; tavo-ctl --list shows every name"};
}

void TestCtlWords::arguments() {
    QFETCH(QStringList, words);
    QFETCH(QStringList, expected);
    QCOMPARE(outcomeOf(parseArguments(words)), expected);
}

void TestCtlWords::scriptLine_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("expected");

    QTest::addRow("names cut at blanks")
        << "power on   input\tpc2" << QStringList{"power on", "input pc2"};
    QTest::addRow("blanks at either end") << "  \tstatus  " << QStringList{"status"};
    QTest::addRow("send takes the rest of the line")
        << "send CR  PROJH" << QStringList{"send:CR  PROJH"};
    QTest::addRow("send after a name")
        << "power on send CR0" << QStringList{"power on", "send:CR0"};
    QTest::addRow("send at the end of the line")
        << "status send"
        << QStringList{"error: send needs the text of a frame, for example: send CR0"};
    QTest::addRow("no words") << "   " << QStringList{};
}

void TestCtlWords::scriptLine() {
    QFETCH(QString, line);
    QFETCH(QStringList, expected);
    QCOMPARE(outcomeOf(parseLine(line)), expected);
}

// Random sequences of name words, near misses and junk: either every word is
// understood, and the step names put together give the words back, or there
// is exactly one message, never a crash or a hang.
void TestCtlWords::wordSaladEndsInStepsOrOneError() {
    QRandomGenerator random(20260407);
    const QStringList vocabulary =
        allNameWords() + QStringList{"powr", "Pc1", "", "+-", "\t", "é", "send"};
    for (int round = 0; round < 3000; ++round) {
        QStringList words;
        const int count = int(random.bounded(1, 8));
        for (int i = 0; i < count; ++i)
            words.append(vocabulary[random.bounded(vocabulary.size())]);
        const ParsedSteps parsed = parseArguments(words);
        if (!parsed.ok()) {
            QVERIFY2(!parsed.error.contains('\n'), qPrintable(parsed.error));
            continue;
        }
        QStringList rebuilt;
        for (const Step& step : parsed.steps)
            rebuilt +=
                step.isTyped() ? QStringList{"send", step.typedText} : step.name().split(' ');
        QCOMPARE(rebuilt.join(' ').toLower(), words.join(' ').toLower());
    }
}

void TestCtlWords::editDistance_data() {
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("distance");
    QTest::addRow("equal") << "status"
                           << "status" << 0;
    QTest::addRow("both empty") << ""
                                << "" << 0;
    QTest::addRow("from empty") << ""
                                << "temp" << 4;
    QTest::addRow("one deleted") << "powr on"
                                 << "power on" << 1;
    QTest::addRow("two swapped") << "statsu"
                                 << "status" << 2;
    QTest::addRow("one substituted") << "input pc3"
                                     << "input pc1" << 1;
    QTest::addRow("nothing shared") << "abc"
                                    << "xyz" << 3;
}

void TestCtlWords::editDistance() {
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(int, distance);
    QCOMPARE(tavo::ctl::editDistance(a, b), distance);
    QCOMPARE(tavo::ctl::editDistance(b, a), distance);
}

void TestCtlWords::duration_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("milliseconds"); // -1: refused
    QTest::addRow("plain milliseconds") << "2000" << qint64(2000);
    QTest::addRow("milliseconds") << "500ms" << qint64(500);
    QTest::addRow("seconds") << "90s" << qint64(90'000);
    QTest::addRow("fraction of seconds") << "1.5s" << qint64(1500);
    QTest::addRow("a day") << "86400s" << qint64(86'400'000);
    QTest::addRow("more than a day") << "86401s" << qint64(-1);
    QTest::addRow("zero") << "0" << qint64(-1);
    QTest::addRow("negative") << "-5" << qint64(-1);
    QTest::addRow("minutes") << "2m" << qint64(-1);
    QTest::addRow("blank inside") << "5 s" << qint64(-1);
    QTest::addRow("empty") << "" << qint64(-1);
    QTest::addRow("too many digits") << "99999999999999999999" << qint64(-1);
}

void TestCtlWords::duration() {
    QFETCH(QString, text);
    QFETCH(qint64, milliseconds);
    const auto parsed = parseDuration(text);
    QCOMPARE(parsed ? qint64(parsed->count()) : qint64(-1), milliseconds);
}

void TestCtlWords::commandLine_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<QString>("detail"); // in the error, or the steps joined by "|"

    QTest::addRow("help") << QStringList{"--help"} << Mode::Help << QString();
    QTest::addRow("version") << QStringList{"--version"} << Mode::Version << QString();
    QTest::addRow("list") << QStringList{"--list"} << Mode::List << QString();
    QTest::addRow("list with a command")
        << QStringList{"--list", "status"} << Mode::Usage << "--list takes no command";
    QTest::addRow("commands") << QStringList{"power", "on", "input", "pc1"} << Mode::Run
                              << "power on|input pc1";
    QTest::addRow("options after the commands")
        << QStringList{"status", "--until", "on", "--timeout", "90s"} << Mode::Run << "status";
    QTest::addRow("short options")
        << QStringList{"-d", "/dev/ttyUSB0", "-b", "9600", "-t", "5s", "-r", "1s", "-q", "status"}
        << Mode::Run << "status";
    QTest::addRow("help-all") << QStringList{"--help-all"} << Mode::Help << QString();
    QTest::addRow("standard input") << QStringList{"-"} << Mode::Script << QString();
    QTest::addRow("hold key with a minus sign") << QStringList{"vol", "-"} << Mode::Run << "vol -";
    QTest::addRow("no command") << QStringList{} << Mode::Usage << "no command given";
    QTest::addRow("baud not offered")
        << QStringList{"--baud", "4800", "status"} << Mode::Usage << "--baud takes 19200 or 9600";
    QTest::addRow("bad timeout") << QStringList{"--timeout", "soon", "status"} << Mode::Usage
                                 << "--timeout takes a time";
    QTest::addRow("every without until")
        << QStringList{"--every", "1s", "status"} << Mode::Usage << "--every needs --until";
    QTest::addRow("until a value the query never gives")
        << QStringList{"--until", "turbo", "lamp-mode"} << Mode::Usage
        << "lamp-mode never reads \"turbo\"; it reads auto, normal, eco";
    QTest::addRow("until on a query of numbers") << QStringList{"--until", "on", "temperatures"}
                                                 << Mode::Usage << "a query with coded replies";
    QTest::addRow("until on a typed coded query, alternatives, case ignored")
        << QStringList{"--until", " Video,OFF", "send", "CRA"} << Mode::Run << "send:CRA";
    QTest::addRow("until after a command polls status")
        << QStringList{"power", "on", "-u", "on"} << Mode::Run << "power on";
    QTest::addRow("until with nothing to wait for")
        << QStringList{"--until", "  ", "status"} << Mode::Usage << "never reads \"\"";
    QTest::addRow("repeat without a hold key")
        << QStringList{"--repeat", "3", "status"} << Mode::Usage << "--repeat applies to hold keys";
    QTest::addRow("repeat out of range")
        << QStringList{"--repeat", "1001", "vol", "+"} << Mode::Usage << "from 1 to 1000";
    QTest::addRow("repeat with a hold key")
        << QStringList{"--repeat", "3", "status", "vol", "+"} << Mode::Run << "status|vol +";
    QTest::addRow("json and trace")
        << QStringList{"--json", "--trace", "status"} << Mode::Usage << "choose one of";
}

void TestCtlWords::commandLine() {
    QFETCH(QStringList, arguments);
    QFETCH(Mode, mode);
    QFETCH(QString, detail);
    const Invocation invocation = parseCommandLine(QStringList{"tavo-ctl"} + arguments);
    QCOMPARE(invocation.mode, mode);
    if (mode == Mode::Usage)
        QVERIFY2(invocation.error.contains(detail), qPrintable(invocation.error));
    else if (mode == Mode::Run)
        QCOMPARE(namesOf(invocation.steps).join('|'), detail);
    if (mode == Mode::Help) {
        for (const char* option : {"--device", "--baud", "--timeout", "--until", "--every",
                                   "--repeat", "--json", "--trace", "--list", "Exit status"})
            QVERIFY2(invocation.helpText.contains(QLatin1String(option)), option);
    }
}

void TestCtlWords::script_data() {
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QStringList>("expected");

    QTest::addRow("one command a line")
        << QByteArray("power on\nstatus\n") << QStringList{"power on", "status"};
    QTest::addRow("several commands on a line")
        << QByteArray("power on input pc1\n") << QStringList{"power on", "input pc1"};
    QTest::addRow("CR LF line ends")
        << QByteArray("status\r\nsend CR PROJH\r\n") << QStringList{"status", "send:CR PROJH"};
    QTest::addRow("comments and blank lines")
        << QByteArray("# morning\n\n   \nstatus\n  # indented\n") << QStringList{"status"};
    QTest::addRow("last line without a line feed")
        << QByteArray("temperatures") << QStringList{"temperatures"};
    QTest::addRow("UTF-8 text") << QByteArray("send CR\xc3\xa9\n") << QStringList{"send:CR\u00e9"};
    QTest::addRow("line of exactly the bound")
        << QByteArray("send ") + QByteArray(kMaxLineBytes - 5, 'C') + '\n'
        << QStringList{"send:" + QString(kMaxLineBytes - 5, 'C')};
    QTest::addRow("line one byte over the bound")
        << QByteArray("status\n") + QByteArray(kMaxLineBytes + 1, 'x') + "\nstatus\n"
        << QStringList{"error: standard input, line 2: longer than 4096 bytes"};
    QTest::addRow("unknown name names its line")
        << QByteArray("status\n\npowr on\n")
        << QStringList{"error: standard input, line 3: unknown command \"powr on\"; nearest names: "
                       "power on"};
    QTest::addRow("nothing but comments")
        << QByteArray("# nothing\n\n") << QStringList{"error: standard input holds no command"};
    QTest::addRow("empty input") << QByteArray()
                                 << QStringList{"error: standard input holds no command"};
    QTest::addRow("too many lines")
        << QByteArray("status\n").repeated(kMaxLines + 1)
        << QStringList{"error: standard input holds more than 10000 lines"};
    QTest::addRow("NUL byte") << QByteArray("status\0\n", 8)
                              << QStringList{"error: standard input, line 1: holds a NUL byte"};
    QTest::addRow("comment after a command, and after send's text")
        << QByteArray("status # power\nsend CR0 # the power again\n")
        << QStringList{"status", "send:CR0"};
    QTest::addRow("a # inside a word is sent")
        << QByteArray("send CR#1\n") << QStringList{"send:CR#1"};
}

void TestCtlWords::script() {
    QFETCH(QByteArray, input);
    QFETCH(QStringList, expected);
    const Script script = scriptFrom(input);
    QCOMPARE(script.ok() ? namesOf(script.steps) : QStringList{"error: " + script.error}, expected);
}

// Reading stops at the bound: the rest of the megabyte is never read.
void TestCtlWords::megabyteLineStopsAtTheBound() {
    QBuffer buffer;
    buffer.setData(QByteArray(1 << 20, 'a') + "\nstatus\n");
    buffer.open(QIODevice::ReadOnly);
    const Script script = readScript(buffer);
    QCOMPARE(script.error, QStringLiteral("standard input, line 1: longer than 4096 bytes"));
    QVERIFY2(buffer.pos() <= kMaxLineBytes + 2, qPrintable(QString::number(buffer.pos())));
}

void TestCtlWords::verdict_data() {
    QTest::addColumn<QByteArray>("power");
    QTest::addColumn<QByteArray>("hours");
    QTest::addColumn<QString>("warning");
    QTest::addColumn<QString>("critical");
    QTest::addColumn<int>("status");

    const auto row = [](const char* name, const char* power, const char* hours, const char* warning,
                        const char* critical, int status) {
        QTest::addRow("%s", name) << QByteArray(power) << QByteArray(hours)
                                  << QString::fromLatin1(warning) << QString::fromLatin1(critical)
                                  << status;
    };
    row("on, no thresholds", "00", "01234", "", "", check_status::kOk);
    row("power failure", "10", "00001", "", "", check_status::kCritical);
    row("lamp failure", "81", "00001", "", "", check_status::kCritical);
    row("temperature warning", "08", "00001", "", "", check_status::kWarning);
    row("lamp hours past warning", "00", "01900", "1800,45", "2000,50", check_status::kWarning);
    row("lamp hours past critical", "00", "02001", "1800,45", "2000,50", check_status::kCritical);
    row("hottest sensor past warning", "00", "00001", ",40", ",50", check_status::kWarning);
    row("a malformed reading: unknown", "00", "1", "", "", check_status::kUnknown);
    row("temperature warning and hours past critical: the worse", "08", "02001", "", "2000",
        check_status::kCritical);
}

void TestCtlWords::verdict() {
    QFETCH(QByteArray, power);
    QFETCH(QByteArray, hours);
    QFETCH(QString, warning);
    QFETCH(QString, critical);
    QFETCH(int, status);
    QString problem;
    const auto thresholds = parseThresholds(warning, critical, problem);
    QVERIFY2(thresholds, qPrintable(problem));
    const CheckResult result =
        evaluate({readingOf("CR0", power + '\r'), readingOf("CR3", hours + '\r'),
                  readingOf("CR6", "035.5,042.0,038.5\r"), readingOf("CR PRESSURE", "852\r")},
                 *thresholds);
    QCOMPARE(result.status, status);
    const QStringList words{"OK", "WARNING", "CRITICAL", "UNKNOWN"};
    QVERIFY2(result.line.startsWith(QStringLiteral("TAVO %1 - ").arg(words[status])),
             qPrintable(result.line));
    if (status == check_status::kUnknown)
        return;
    QVERIFY2(result.line.contains(QStringLiteral(" | lamp_hours=%1;").arg(hours.toInt())) &&
                 result.line.contains(QStringLiteral(" temperature_s2=42.0;")) &&
                 result.line.contains(QStringLiteral(" air_pressure=1012;")),
             qPrintable(result.line));
}

void TestCtlWords::range_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("alerts"); // -1: no range
    QTest::addRow("end only, inside") << "10" << 10.0 << 0;
    QTest::addRow("end only, above") << "10" << 10.5 << 1;
    QTest::addRow("no start") << "~:10" << -1e9 << 0;
    QTest::addRow("inside alerts") << "@10:20" << 15.0 << 1;
    QTest::addRow("start above end") << "20:10" << 0.0 << -1;
    QTest::addRow("words") << "hot" << 0.0 << -1;
}

void TestCtlWords::range() {
    QFETCH(QString, text);
    QFETCH(double, value);
    QFETCH(int, alerts);
    const auto range = parseRange(text);
    QCOMPARE(range.has_value(), alerts >= 0);
    if (range)
        QCOMPARE(range->alerts(value), alerts == 1);
}

QTEST_GUILESS_MAIN(TestCtlWords)
#include "tst_ctl_words.moc"
