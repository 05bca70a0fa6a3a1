// The PJLink wire format and authentication as pure functions: line
// splitting (also fed random bytes), request reading, answer writing, the
// digest of the standard's own example, the options read from outside, and
// the Class 2 pieces: the controllers notifications go to, the search budget.

#include "exchange/log_text.h"
#include "pjlink/auth_guard.h"
#include "pjlink/authentication.h"
#include "pjlink/controllers.h"
#include "pjlink/log_throttle.h"
#include "pjlink/notify_option.h"
#include "pjlink/options.h"
#include "pjlink/protocol.h"
#include "pjlink/search_budget.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

using namespace tavo::pjlink;
using namespace std::chrono_literals;

class TestPjlinkProtocol : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void networkBytesEscapedForTheLog_data();
    void networkBytesEscapedForTheLog();
    void repeatedLogLinesSummarised_data();
    void repeatedLogLinesSummarised();
    void guessingIsSlowedAndLockedOut_data();
    void guessingIsSlowedAndLockedOut();
    void scanLine_data();
    void scanLine();
    void scanLineHoldsOnRandomBytes();
    void parseRequest_data();
    void parseRequest();
    void parseRequestHoldsOnRandomLines();
    void formatsAnswers();
    void digest_data();
    void digest();
    void digestsEqual_data();
    void digestsEqual();
    void takeDigest_data();
    void takeDigest();
    void challengeIsEightHexDigitsAndVaries();
    void listenAddress_data();
    void listenAddress();
    void passwordFile_data();
    void passwordFile();
    void passwordFileExposure_data();
    void passwordFileExposure();
    void name_data();
    void name();
    void class2Option_data();
    void class2Option();
    void controllersAreBoundedAndForgotten();
    void searchBudget();
};

void TestPjlinkProtocol::scanLine_data() {
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<qsizetype>("maxLength");
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<qsizetype>("consumed");

    const int line = int(LineScan::Result::Line);
    const int needMore = int(LineScan::Result::NeedMore);
    const int tooLong = int(LineScan::Result::TooLong);
    const QByteArray longest = "%1NAME " + QByteArray(128, 'x'); // 135 bytes and a CR make 136
    QTest::addRow("empty buffer") << QByteArray() << qsizetype(136) << needMore << QByteArray()
                                  << qsizetype(0);
    QTest::addRow("one request") << QByteArray("%1POWR ?\r") << qsizetype(136) << line
                                 << QByteArray("%1POWR ?") << qsizetype(9);
    QTest::addRow("first of two") << QByteArray("%1POWR ?\r%1INPT ?\r") << qsizetype(136) << line
                                  << QByteArray("%1POWR ?") << qsizetype(9);
    QTest::addRow("no CR yet") << QByteArray("%1POWR") << qsizetype(136) << needMore << QByteArray()
                               << qsizetype(0);
    QTest::addRow("empty line") << QByteArray("\r") << qsizetype(136) << line << QByteArray()
                                << qsizetype(1);
    QTest::addRow("LF of CR LF skipped") << QByteArray("\n%1POWR ?\r") << qsizetype(136) << line
                                         << QByteArray("%1POWR ?") << qsizetype(10);
    QTest::addRow("line ended by LF alone") << QByteArray("%1POWR ?\n%1INPT ?\n") << qsizetype(136)
                                            << line << QByteArray("%1POWR ?") << qsizetype(9);
    QTest::addRow("only LFs") << QByteArray("\n\n") << qsizetype(136) << needMore << QByteArray()
                              << qsizetype(2);
    QTest::addRow("NUL and high bytes kept")
        << QByteArray("%1\0\xff\x80x\r", 7) << qsizetype(136) << line
        << QByteArray("%1\0\xff\x80x", 6) << qsizetype(7);
    QTest::addRow("longest allowed line")
        << longest + '\r' << qsizetype(136) << line << longest << qsizetype(136);
    QTest::addRow("one byte too long")
        << longest + "x\r" << qsizetype(136) << tooLong << QByteArray() << qsizetype(0);
    QTest::addRow("full without CR")
        << QByteArray(136, 'A') << qsizetype(136) << tooLong << QByteArray() << qsizetype(0);
    QTest::addRow("one short of full")
        << QByteArray(135, 'A') << qsizetype(136) << needMore << QByteArray() << qsizetype(0);
    QTest::addRow("LFs do not count") << QByteArray("\n\n") + longest + '\r' << qsizetype(136)
                                      << line << longest << qsizetype(138);
}

void TestPjlinkProtocol::scanLine() {
    QFETCH(QByteArray, buffer);
    QFETCH(qsizetype, maxLength);
    QFETCH(int, result);
    QFETCH(QByteArray, line);
    QFETCH(qsizetype, consumed);

    const LineScan scan = tavo::pjlink::scanLine(buffer, maxLength);
    QCOMPARE(int(scan.result), result);
    QCOMPARE(scan.line.toByteArray(), line);
    QCOMPARE(scan.consumed, consumed);
}

// Whatever comes in, a scan stays inside the buffer, a line never holds a
// carriage return nor exceeds the limit, and a buffer is declared too long
// only when it is.
void TestPjlinkProtocol::scanLineHoldsOnRandomBytes() {
    QRandomGenerator random(20240611);
    for (int round = 0; round < 20000; ++round) {
        QByteArray buffer(random.bounded(300), '\0');
        for (char& byte : buffer) {
            const int pick = random.bounded(100);
            byte = pick < 3 ? '\r' : pick < 6 ? '\n' : char(random.bounded(256));
        }
        const qsizetype maxLength = 1 + random.bounded(200);
        const LineScan scan = tavo::pjlink::scanLine(buffer, maxLength);
        QVERIFY(scan.consumed >= 0 && scan.consumed <= buffer.size());
        qsizetype start = 0;
        while (start < buffer.size() && buffer[start] == '\n')
            ++start;
        const QByteArray rest = buffer.mid(start);
        switch (scan.result) {
        case LineScan::Result::Line:
            QVERIFY(!scan.line.contains('\r') && !scan.line.contains('\n'));
            QVERIFY(scan.line.size() + 1 <= maxLength);
            QVERIFY(tavo::pjlink::isLineEnd(buffer.at(scan.consumed - 1)));
            QCOMPARE(scan.line.toByteArray(), rest.left(scan.line.size()));
            break;
        case LineScan::Result::NeedMore:
            QVERIFY(!rest.contains('\r') && !rest.contains('\n'));
            QVERIFY(rest.size() < maxLength);
            QCOMPARE(scan.consumed, start);
            break;
        case LineScan::Result::TooLong:
            QVERIFY(!rest.left(maxLength).contains('\r') && !rest.left(maxLength).contains('\n'));
            QVERIFY(rest.size() >= maxLength);
            break;
        }
    }
}

void TestPjlinkProtocol::parseRequest_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("isRequest");
    QTest::addColumn<char>("pjlinkClass");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<bool>("hasSeparator");
    QTest::addColumn<QByteArray>("parameter");

    QTest::addRow("query") << QByteArray("%1POWR ?") << true << '1' << QByteArray("POWR") << true
                           << QByteArray("?");
    QTest::addRow("setting") << QByteArray("%1INPT 11") << true << '1' << QByteArray("INPT") << true
                             << QByteArray("11");
    QTest::addRow("lower case command")
        << QByteArray("%1powr 1") << true << '1' << QByteArray("POWR") << true << QByteArray("1");
    QTest::addRow("class 2") << QByteArray("%2FREZ ?") << true << '2' << QByteArray("FREZ") << true
                             << QByteArray("?");
    QTest::addRow("no parameter") << QByteArray("%1POWR") << true << '1' << QByteArray("POWR")
                                  << false << QByteArray();
    QTest::addRow("no blank") << QByteArray("%1POWR?") << true << '1' << QByteArray("POWR") << false
                              << QByteArray("?");
    QTest::addRow("parameter with blanks") << QByteArray("%1NAME  a b") << true << '1'
                                           << QByteArray("NAME") << true << QByteArray(" a b");
    QTest::addRow("binary parameter") << QByteArray("%1POWR \0\xff", 9) << true << '1'
                                      << QByteArray("POWR") << true << QByteArray("\0\xff", 2);
    QTest::addRow("no header") << QByteArray("1POWR ?") << false << '1' << QByteArray() << false
                               << QByteArray();
    QTest::addRow("class not a digit")
        << QByteArray("%APOWR ?") << false << '1' << QByteArray() << false << QByteArray();
    QTest::addRow("command too short")
        << QByteArray("%1POW") << false << '1' << QByteArray() << false << QByteArray();
    QTest::addRow("command with a blank")
        << QByteArray("%1PO R ?") << false << '1' << QByteArray() << false << QByteArray();
    QTest::addRow("command with a NUL")
        << QByteArray("%1PO\0R ?", 8) << false << '1' << QByteArray() << false << QByteArray();
    QTest::addRow("plain text") << QByteArray("hello") << false << '1' << QByteArray() << false
                                << QByteArray();
}

void TestPjlinkProtocol::parseRequest() {
    QFETCH(QByteArray, line);
    QFETCH(bool, isRequest);
    QFETCH(char, pjlinkClass);
    QFETCH(QByteArray, command);
    QFETCH(bool, hasSeparator);
    QFETCH(QByteArray, parameter);

    const auto request = tavo::pjlink::parseRequest(line);
    QCOMPARE(request.has_value(), isRequest);
    if (!request)
        return;
    QCOMPARE(request->pjlinkClass, pjlinkClass);
    QCOMPARE(request->command, command);
    QCOMPARE(request->hasSeparator, hasSeparator);
    QCOMPARE(request->parameter, parameter);
}

// A command read from any line is four upper-case letters or digits, so an
// answer never repeats a byte the client could choose freely.
void TestPjlinkProtocol::parseRequestHoldsOnRandomLines() {
    QRandomGenerator random(7);
    const QRegularExpression commandShape(QStringLiteral("^[A-Z0-9]{4}$"));
    for (int round = 0; round < 20000; ++round) {
        QByteArray line(random.bounded(12), '\0');
        for (char& byte : line)
            byte = char(random.bounded(256));
        if (random.bounded(2) == 0 && line.size() >= 2) {
            line[0] = '%';
            line[1] = char('0' + random.bounded(10));
        }
        const auto request = tavo::pjlink::parseRequest(line);
        if (!request)
            continue;
        QVERIFY(commandShape.match(QString::fromLatin1(request->command)).hasMatch());
        QVERIFY(request->pjlinkClass >= '0' && request->pjlinkClass <= '9');
    }
}

void TestPjlinkProtocol::formatsAnswers() {
    QCOMPARE(formatAnswer('1', "POWR", kOk), QByteArray("%1POWR=OK\r"));
    QCOMPARE(formatAnswer('2', "FREZ", kUndefinedCommand), QByteArray("%2FREZ=ERR1\r"));
    QCOMPARE(formatAnswer('1', "NAME", ""), QByteArray("%1NAME=\r"));
    QCOMPARE(malformedLineAnswer(), QByteArray("%1????"
                                               "=ERR1\r"));
    QCOMPARE(greetingWithChallenge("498e4a67"), QByteArray("PJLINK 1 498e4a67\r"));
    QCOMPARE(kGreetingOpen, QByteArray("PJLINK 0\r"));
    QCOMPARE(kAuthenticationError, QByteArray("PJLINK ERRA\r"));
}

void TestPjlinkProtocol::digest_data() {
    QTest::addColumn<QByteArray>("challenge");
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<QByteArray>("digest");

    // The standard's own example.
    QTest::addRow("the standard's example")
        << QByteArray("498e4a67") << QByteArray("JBMIAProjectorLink")
        << QByteArray("5d8409bc1c3fa39749434aa3a5c38682");
    QTest::addRow("digest with leading zeros")
        << QByteArray("5b3c2b0d") << QByteArray("JBMIAProjectorLink")
        << QByteArray("0059a87b1b776453d6cd71992baee653");
    QTest::addRow("challenge alone")
        << QByteArray("498e4a67") << QByteArray() << QByteArray("2bc18ce1cd4c3271b8d064318407990f");
}

void TestPjlinkProtocol::digest() {
    QFETCH(QByteArray, challenge);
    QFETCH(QByteArray, password);
    QFETCH(QByteArray, digest);
    QCOMPARE(digestOf(challenge, password), digest);
}

void TestPjlinkProtocol::digestsEqual_data() {
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<bool>("equal");

    const QByteArray expected = "5d8409bc1c3fa39749434aa3a5c38682";
    QTest::addRow("same") << expected << true;
    QTest::addRow("upper-case hex") << expected.toUpper() << true;
    QTest::addRow("last digit differs") << QByteArray("5d8409bc1c3fa39749434aa3a5c38683") << false;
    QTest::addRow("first digit differs") << QByteArray("6d8409bc1c3fa39749434aa3a5c38682") << false;
    QTest::addRow("shorter") << expected.chopped(1) << false;
    QTest::addRow("longer") << expected + '0' << false;
    QTest::addRow("empty") << QByteArray() << false;
    // Case folding must not make other bytes equal: 'M' ^ 'm' is the bit it clears.
    QTest::addRow("letter beyond hex") << QByteArray("5d8409bc1c3fa39749434aa3a5c3868M") << false;
}

void TestPjlinkProtocol::digestsEqual() {
    QFETCH(QByteArray, received);
    QFETCH(bool, equal);
    QCOMPARE(tavo::pjlink::digestsEqual(received, "5d8409bc1c3fa39749434aa3a5c38682"), equal);
}

void TestPjlinkProtocol::takeDigest_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QByteArray>("digest");
    QTest::addColumn<QByteArray>("request");

    const QByteArray digest = "0059a87b1b776453d6cd71992baee653";
    QTest::addRow("digest and request")
        << digest + "%1POWR ?" << true << digest << QByteArray("%1POWR ?");
    QTest::addRow("leading zeros dropped")
        << digest.mid(2) + "%1POWR ?" << true << digest << QByteArray("%1POWR ?");
    QTest::addRow("digest alone") << digest << true << digest << QByteArray();
    QTest::addRow("one character")
        << QByteArray("7%1CLSS ?") << true << QByteArray(31, '0') + '7' << QByteArray("%1CLSS ?");
    QTest::addRow("no digest") << QByteArray("%1POWR ?") << false << QByteArray() << QByteArray();
    QTest::addRow("33 bytes before the header")
        << digest + "0%1POWR ?" << false << QByteArray() << QByteArray();
    QTest::addRow("long line without header")
        << QByteArray(40, 'a') << false << QByteArray() << QByteArray();
    QTest::addRow("empty") << QByteArray() << false << QByteArray() << QByteArray();
}

void TestPjlinkProtocol::takeDigest() {
    QFETCH(QByteArray, line);
    QFETCH(bool, found);
    QFETCH(QByteArray, digest);
    QFETCH(QByteArray, request);

    const auto taken = tavo::pjlink::takeDigest(line);
    QCOMPARE(taken.has_value(), found);
    if (!taken)
        return;
    QCOMPARE(taken->digest, digest);
    QCOMPARE(taken->request.toByteArray(), request);
}

void TestPjlinkProtocol::challengeIsEightHexDigitsAndVaries() {
    const QRegularExpression shape(QStringLiteral("^[0-9a-f]{8}$"));
    QSet<QByteArray> seen;
    for (int i = 0; i < 50; ++i) {
        const QByteArray challenge = makeChallenge();
        QVERIFY2(shape.match(QString::fromLatin1(challenge)).hasMatch(), challenge.constData());
        seen.insert(challenge);
    }
    // 50 draws of 32 bits: a repeat would mean a broken generator.
    QCOMPARE(seen.size(), 50);
}

void TestPjlinkProtocol::listenAddress_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("address"); // empty: an error is expected
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("errorPart");

    QTest::addRow("IPv4 with port") << "0.0.0.0:4352"
                                    << "0.0.0.0" << 4352 << QString();
    QTest::addRow("IPv4 alone") << "127.0.0.1"
                                << "127.0.0.1" << 4352 << QString();
    QTest::addRow("IPv6 without brackets") << "::1" << QString() << 0 << "in brackets";
    QTest::addRow("IPv4 in IPv6 brackets") << "[::ffff:127.0.0.1]:24398"
                                           << "::ffff:127.0.0.1" << 24398 << QString();
    QTest::addRow("signed port") << "127.0.0.1:+24398" << QString() << 0 << "not a port number";
    QTest::addRow("shortened IPv4") << "127.1" << QString() << 0 << "not an IP address";
    QTest::addRow("IPv6 in brackets of IPv4")
        << "[127.0.0.1]" << QString() << 0 << "not an IP address";
    QTest::addRow("IPv6 in brackets with port") << "[::]:14352"
                                                << "::" << 14352 << QString();
    QTest::addRow("IPv6 in brackets alone") << "[::1]"
                                            << "::1" << 4352 << QString();
    QTest::addRow("any free port") << "127.0.0.1:0"
                                   << "127.0.0.1" << 0 << QString();
    QTest::addRow("host name") << "localhost:4352" << QString() << 0 << "not an IP address";
    QTest::addRow("port too big") << "127.0.0.1:65536" << QString() << 0 << "not a port number";
    QTest::addRow("port not a number") << "127.0.0.1:http" << QString() << 0 << "not a port number";
    QTest::addRow("colon without port") << "127.0.0.1:" << QString() << 0 << "port is missing";
    QTest::addRow("bracket not closed") << "[::1:4352" << QString() << 0 << "in brackets";
    QTest::addRow("empty") << "" << QString() << 0 << "not an IP address";
}

void TestPjlinkProtocol::listenAddress() {
    QFETCH(QString, text);
    QFETCH(QString, address);
    QFETCH(int, port);
    QFETCH(QString, errorPart);

    const auto parsed = parseListenAddress(text);
    if (address.isEmpty()) {
        QVERIFY(std::holds_alternative<QString>(parsed));
        QVERIFY2(std::get<QString>(parsed).contains(errorPart),
                 qPrintable(std::get<QString>(parsed)));
        return;
    }
    QVERIFY(std::holds_alternative<ListenAddress>(parsed));
    QCOMPARE(std::get<ListenAddress>(parsed).address, QHostAddress(address));
    QCOMPARE(std::get<ListenAddress>(parsed).port, port);
}

void TestPjlinkProtocol::passwordFile_data() {
    QTest::addColumn<QByteArray>("contents"); // written to the file
    QTest::addColumn<QByteArray>("password"); // empty: an error is expected
    QTest::addColumn<QString>("errorPart");

    QTest::addRow("one line") << QByteArray("JBMIAProjectorLink\n")
                              << QByteArray("JBMIAProjectorLink") << QString();
    QTest::addRow("no line end") << QByteArray("secret") << QByteArray("secret") << QString();
    QTest::addRow("CR LF line end")
        << QByteArray("secret\r\nsecond line") << QByteArray("secret") << QString();
    QTest::addRow("empty first line") << QByteArray("\nsecret") << QByteArray() << "empty";
    QTest::addRow("empty file") << QByteArray() << QByteArray() << "empty";
    QTest::addRow("too long") << QByteArray(33, 'a') << QByteArray() << "longer than 32";
    QTest::addRow("blank inside") << QByteArray("two words") << QByteArray() << "blank";
    QTest::addRow("beyond ASCII") << QByteArray("caf\xc3\xa9") << QByteArray() << "beyond ASCII";
    QTest::addRow("no line end in 4 KiB") << QByteArray(8192, 'a') << QByteArray() << "no line end";
}

void TestPjlinkProtocol::passwordFile() {
    QFETCH(QByteArray, contents);
    QFETCH(QByteArray, password);
    QFETCH(QString, errorPart);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("password"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(contents);
    file.close();

    const auto read = readPasswordFile(path);
    if (password.isEmpty()) {
        QVERIFY(std::holds_alternative<QString>(read));
        QVERIFY2(std::get<QString>(read).contains(errorPart), qPrintable(std::get<QString>(read)));
        QVERIFY(std::get<QString>(read).contains(path));
        return;
    }
    QVERIFY(std::holds_alternative<QByteArray>(read));
    QCOMPARE(std::get<QByteArray>(read), password);
}

void TestPjlinkProtocol::name_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("accepted");

    QTest::addRow("plain") << "Hall A projector" << true;
    QTest::addRow("64 characters") << QString(64, QLatin1Char('n')) << true;
    QTest::addRow("65 characters") << QString(65, QLatin1Char('n')) << false;
    QTest::addRow("empty") << QString() << false;
    QTest::addRow("control character") << "Hall\tA" << false;
    QTest::addRow("beyond ASCII") << QStringLiteral("Saal \u00c4") << false;
}

void TestPjlinkProtocol::name() {
    QFETCH(QString, name);
    QFETCH(bool, accepted);
    const auto checked = checkName(name);
    QCOMPARE(std::holds_alternative<QByteArray>(checked), accepted);
    if (accepted)
        QCOMPARE(std::get<QByteArray>(checked), name.toLatin1());
}

void TestPjlinkProtocol::guessingIsSlowedAndLockedOut_data() {
    QTest::addColumn<int>("failures");
    QTest::addColumn<int>("gapMs"); // between two failures
    QTest::addColumn<int>("lastDelayMs");
    QTest::addColumn<bool>("refused");
    QTest::addRow("each failure doubles") << 3 << 0 << 40 << false;
    QTest::addRow("delay capped") << 4 << 0 << 80 << false;
    QTest::addRow("refused at the threshold") << 5 << 0 << 80 << true;
    QTest::addRow("failures far apart forgotten") << 5 << 2000 << 10 << false;
}

void TestPjlinkProtocol::guessingIsSlowedAndLockedOut() {
    QFETCH(int, failures);
    QFETCH(int, gapMs);
    QFETCH(int, lastDelayMs);
    QFETCH(bool, refused);
    AuthGuard guard({10ms, 80ms, 5, 1000ms});
    const QHostAddress guesser(QStringLiteral("192.0.2.7"));
    AuthGuard::Clock::time_point now{};
    std::chrono::milliseconds delay{};
    for (int i = 0; i < failures; ++i, now += std::chrono::milliseconds(gapMs))
        delay = guard.failed(guesser, now);
    QCOMPARE(delay.count(), lastDelayMs);
    using Entry = AuthGuard::Entry;
    QCOMPARE(guard.entry(guesser, now), refused ? Entry::RefusedFirstTime : Entry::Open);
    QCOMPARE(guard.entry(guesser, now), refused ? Entry::Refused : Entry::Open);
    QCOMPARE(guard.entry(guesser, now + 1000ms), Entry::Open);
}

void TestPjlinkProtocol::networkBytesEscapedForTheLog_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("logged");
    QTest::addRow("request") << QByteArray("%1POWR ?") << R"("%1POWR ?")";
    QTest::addRow("forged answer and exchange")
        << QByteArray(R"(%1POWR 1" -> "%1POWR=OK" | C00 -> "<ACK>)")
        << R"("%1POWR 1\" -> \"%1POWR=OK\" | C00 -> \"<ACK>")";
    QTest::addRow("backslash before a quote") << QByteArray(R"(\")") << R"("\\\"")";
    QTest::addRow("line ends and other bytes")
        << QByteArray("a\r\nb\x00\xff", 6) << R"("a\r\nb\x00\xff")";
}

void TestPjlinkProtocol::networkBytesEscapedForTheLog() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, logged);
    QCOMPARE(tavo::link::escapedQuoted(bytes), logged);
}

void TestPjlinkProtocol::repeatedLogLinesSummarised_data() {
    QTest::addColumn<bool>("verbose");
    QTest::addColumn<int>("count"); // of requests, refusals and settings; budgets 3, 20, none
    QTest::addColumn<QStringList>("summary");
    const QString left = QStringLiteral("%1 more %2 lines left out in the last 10 s");
    QTest::addRow("within the budget") << false << 3 << QStringList{};
    QTest::addRow("beyond it") << false << 25
                               << QStringList{left.arg(22).arg("request"),
                                              left.arg(5).arg("refused connection")};
    QTest::addRow("verbose: every request")
        << true << 25 << QStringList{left.arg(5).arg("refused connection")};
}

void TestPjlinkProtocol::repeatedLogLinesSummarised() {
    QFETCH(bool, verbose);
    QFETCH(int, count);
    QFETCH(QStringList, summary);
    using tavo::pjlink::LogKind;
    tavo::pjlink::LogThrottle throttle({std::chrono::seconds(10), 3, verbose});
    QStringList lines;
    connect(&throttle, &tavo::pjlink::LogThrottle::logLine, this,
            [&](const QString& line) { lines << line; });
    for (int i = 0; i < count; ++i) {
        for (const LogKind kind : {LogKind::Request, LogKind::Refusal, LogKind::Setting})
            throttle.log(kind, QStringLiteral("line"));
    }
    const int written = (verbose ? count : std::min(count, 3)) + std::min(count, 20) + count;
    QCOMPARE(lines.size(), written);
    QMetaObject::invokeMethod(throttle.findChild<QTimer*>(QStringLiteral("summary")), "timeout");
    QCOMPARE(lines.mid(written), summary);
}

void TestPjlinkProtocol::passwordFileExposure_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("reader"); // empty: safe
    QTest::addRow("owner only") << 0600 << QString();
    QTest::addRow("group can read") << 0640 << "its group";
    QTest::addRow("others can read") << 0604 << "every user";
}

void TestPjlinkProtocol::passwordFileExposure() {
    QFETCH(int, mode);
    QFETCH(QString, reader);
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("password")));
    QVERIFY(file.open(QIODevice::WriteOnly) && ::fchmod(file.handle(), mode_t(mode)) == 0);
    const auto exposure = tavo::pjlink::passwordFileExposure(file.fileName());
    QCOMPARE(exposure.has_value(), !reader.isEmpty());
    QVERIFY(exposure.value_or(QString()).startsWith(reader));
}

void TestPjlinkProtocol::class2Option_data() {
    QTest::addColumn<bool>("notify"); // else the poll period
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("parsed"); // empty: refused
    const auto row = [](bool notify, const char* text, const char* parsed) {
        QTest::addRow("%s %s", notify ? "notify" : "poll", text) << notify << text << parsed;
    };
    row(true, "127.0.0.1", "127.0.0.1:4352");
    row(true, "127.0.0.5:9000", "127.0.0.5:9000");
    row(true, "255.255.255.255", "");
    row(true, "239.1.2.3", "");
    row(true, "0.0.0.0", "");
    row(false, "0", "0"); // off
    row(false, "100", "100");
    row(false, "99", "");
    row(false, "3600001", "");
}

void TestPjlinkProtocol::class2Option() {
    QFETCH(bool, notify);
    QFETCH(QString, text);
    QFETCH(QString, parsed);
    if (notify) {
        const auto target = parseNotifyTarget(text);
        const auto* endpoint = std::get_if<Endpoint>(&target);
        QCOMPARE(endpoint ? endpoint->address.toString() + ':' + QString::number(endpoint->port)
                          : QString(),
                 parsed);
    } else {
        const auto period = parsePollPeriod(text);
        const auto* ms = std::get_if<std::chrono::milliseconds>(&period);
        QCOMPARE(ms ? QString::number(ms->count()) : QString(), parsed);
    }
}

void TestPjlinkProtocol::controllersAreBoundedAndForgotten() {
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

void TestPjlinkProtocol::searchBudget() {
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

QTEST_GUILESS_MAIN(TestPjlinkProtocol)
#include "tst_pjlink_protocol.moc"
