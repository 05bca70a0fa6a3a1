// The status decoder: which frame selects which rule, and what each rule makes
// of the received trace line. Trace lines are written out as the received
// trace shows them: a blank before every reply character, "CR " for a
// carriage return, "ACK " for an acknowledgement.
// Also the typed readings of the same replies: every code row of the tables
// has a meaning, and a reply that does not fit its query's format is
// malformed, never a value.

#include "exchange/trace.h"
#include "status/decoder.h"
#include "status/reading.h"
#include "status/tables.h"

#include <QRandomGenerator>
#include <QTest>

using namespace tavo::status;

namespace {

// What the status line would show, "(unchanged)" when nothing is written; no
// rule makes that text of the trace lines below.
QString shown(const std::optional<QString>& text) {
    return text.value_or(QStringLiteral("(unchanged)"));
}

const QString unchanged = shown(std::nullopt);

// What a status line shows after a change from the piece-by-piece decoder.
void apply(const StatusChange& change, const QString& traceLine, QString& line) {
    switch (change.kind) {
    case StatusChange::Kind::Keep:
        break;
    case StatusChange::Kind::Replace:
        line = change.text;
        break;
    case StatusChange::Kind::Extend:
        line += QStringView(traceLine).sliced(change.extendFrom);
        break;
    }
}

// A status line fed piece by piece both ways: decodeStatus on the whole line
// after every piece, and the piece-by-piece decoder.
class TwoStatusLines {
public:
    TwoStatusLines(QByteArray prefix, QByteArray frame)
        : prefix_(std::move(prefix)), frame_(std::move(frame)) {}

    // Appends a piece; false when the two lines differ afterwards.
    bool receive(QByteArrayView piece) {
        bytes_ += piece;
        const QString trace = tavo::link::traceLine(bytes_);
        if (const auto text = decodeStatus(frame_, prefix_, trace))
            whole_ = *text;
        apply(pieces_.decode(frame_, prefix_, trace), trace, byPieces_);
        return whole_ == byPieces_;
    }
    void send(const QByteArray& frame) { frame_ = frame; }
    // A new reply: the buffer empties, as the exchange does it.
    void emptyBuffer() {
        bytes_.clear();
        pieces_.restart();
    }
    // The status line set by someone else (blanked by the clearing timer).
    void blankStatusLine() {
        whole_.clear();
        byPieces_.clear();
        pieces_.restart();
    }
    QString describe() const {
        return QStringLiteral("frame \"%1\", reply \"%2\": whole \"%3\", by pieces \"%4\"")
            .arg(QString::fromLatin1(frame_.toPercentEncoding()),
                 QString::fromLatin1(bytes_.toPercentEncoding()), whole_, byPieces_);
    }

private:
    QByteArray prefix_;
    QByteArray frame_;
    QByteArray bytes_;
    QString whole_ = QStringLiteral("(start)");
    QString byPieces_ = whole_;
    StatusDecoder pieces_;
};

// Reply bytes for the fuzzed comparison: the characters the rules and the
// number reading react to, and some they do not.
constexpr char kOther[] = "ABCFRXz{\r\n\x06\x14\x00\x7f\xff";
const QByteArray kNumberBytes("0123456789.+-EeDd&HhOo ");
const QByteArray kOtherBytes(kOther, sizeof kOther - 1); // NUL included

QByteArray randomPiece(QRandomGenerator& random, qsizetype size) {
    QByteArray piece;
    for (qsizetype i = 0; i < size; ++i) {
        const QByteArray& from = random.bounded(2) ? kNumberBytes : kOtherBytes;
        piece += from.at(random.bounded(int(from.size())));
    }
    return piece;
}

const QList<QByteArray> kFrames{"CR0\r", "CR1\r", "CR4\r",         "CR3\r", "CR6\r",
                                "CRA\r", "CR9\r", "CR PRESSURE\r", "CR7\r", "C00\r"};

void codeRow(const char* name, const QByteArray& frame, const QString& traceLine,
             const QString& expected) {
    QTest::addRow("%s", name) << frame << traceLine << expected;
}

void textRow(const char* name, const QByteArray& prefix, const QByteArray& frame,
             const QString& traceLine, const QString& expected) {
    QTest::addRow("%s", name) << prefix << frame << traceLine << expected;
}

void unchangedRow(const char* name, const QByteArray& prefix, const QByteArray& frame,
                  const QString& traceLine) {
    QTest::addRow("%s", name) << prefix << frame << traceLine;
}

} // namespace

class TestDecoder : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void showsCodeText_data();
    void showsCodeText();
    void showsText_data();
    void showsText();
    void showsNothing_data();
    void showsNothing();
    void decodesReplyInPieces();
    void piecesDecodeLikeWholeLine_data();
    void piecesDecodeLikeWholeLine();
    void fuzzedPiecesDecodeLikeWholeLine_data();
    void fuzzedPiecesDecodeLikeWholeLine();
    void everyTableCodeHasAMeaning();
    void reads_data();
    void reads();
};

// One row per code of every table: the reply's first characters select the
// text, exactly as written (blanks and spelling included).
void TestDecoder::showsCodeText_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("traceLine");
    QTest::addColumn<QString>("expected");

    codeRow("CR0 00: Power ON", "CR0\r", " 0 0 CR ", " Power ON");
    codeRow("CR0 80: Stand by", "CR0\r", " 8 0 CR ", " Stand by");
    codeRow("CR0 40: Count down", "CR0\r", " 4 0 CR ", " Count down");
    codeRow("CR0 20: Cooling down", "CR0\r", " 2 0 CR ", " Cooling down");
    codeRow("CR0 10: Power Fail", "CR0\r", " 1 0 CR ", " Power Fail");
    codeRow("CR0 08: Temperature Warning", "CR0\r", " 0 8 CR ", " Temperature Warning");
    codeRow("CR0 02: NO Key input", "CR0\r", " 0 2 CR ", " NO Key input ");
    codeRow("CR0 04: Lamp OFF by PWR Management", "CR0\r", " 0 4 CR ",
            " Lamp OFF by PWR Management");
    codeRow("CR0 28: Temperature Warning & cooling down", "CR0\r", " 2 8 CR ",
            " Temperature Warning & cooling down");
    codeRow("CR0 24: Cooling down  PWR Management", "CR0\r", " 2 4 CR ",
            "Cooling down  PWR Management");
    codeRow("CR0 88: Temperature Warning and recoverd", "CR0\r", " 8 8 CR ",
            " Temperature Warning and recoverd");
    codeRow("CR0 21: Cooling down (All Lamp FAIL)", "CR0\r", " 2 1 CR ",
            " Cooling down (All Lamp FAIL)");
    codeRow("CR0 81: Cooling down & sutandby (All Lamp FAIL)", "CR0\r", " 8 1 CR ",
            " Cooling down & sutandby (All Lamp FAIL)");
    codeRow("CR1 1: Computer 1", "CR1\r", " 1 CR ", " Computer 1");
    codeRow("CR1 2: Computer 2", "CR1\r", " 2 CR ", " Computer 2");
    codeRow("CR1 3: Video", "CR1\r", " 3 CR ", " Video");
    codeRow("CR1 4: Input mode 4", "CR1\r", " 4 CR ", " Input mode 4");
    codeRow("CR4 11: Normally", "CR4\r", " 1 1 CR ", " Normally");
    codeRow("CR4 10: Top/Bottom reversal", "CR4\r", " 1 0 CR ", " Top/Bottom reversal");
    codeRow("CR4 01: Left/Right reversal", "CR4\r", " 0 1 CR ", " Left/Right reversal");
    codeRow("CR4 00: Top/Bottom , Left/Right reversal", "CR4\r", " 0 0 CR ",
            " Top/Bottom , Left/Right reversal");
    codeRow("CRA 00: Video & Audio mute OFF", "CRA\r", " 0 0 CR ", " Video & Audio mute OFF");
    codeRow("CRA 01: Video mute ON", "CRA\r", " 0 1 CR ", " Video mute ON");
    codeRow("CRA 02: Audio mute ON", "CRA\r", " 0 2 CR ", " Audio mute ON");
    codeRow("CRA 03: Video & Audio mute ON", "CRA\r", " 0 3 CR ", " Video & Audio mute ON");
    codeRow("CRA 80: No signal", "CRA\r", " 8 0 CR ", " No signal");
    codeRow("CRA FF: Stand by", "CRA\r", " F F CR ", " Stand by");
    codeRow("CR7 00: All OFF : 2 Lamp mode", "CR7\r", " 0 0 CR ", " All OFF : 2 Lamp mode");
    codeRow("CR7 01: No1 ON  : 2 Lamp mode", "CR7\r", " 0 1 CR ", " No1 ON  : 2 Lamp mode");
    codeRow("CR7 02: No2 ON  : 2 Lamp mode", "CR7\r", " 0 2 CR ", " No2 ON  : 2 Lamp mode");
    codeRow("CR7 03: No1,2 ON  : 2 Lamp mode", "CR7\r", " 0 3 CR ", " No1,2 ON  : 2 Lamp mode");
    codeRow("CR7 10: All OFF : 1 Lamp mode(No1 USE)", "CR7\r", " 1 0 CR ",
            " All OFF : 1 Lamp mode(No1 USE)");
    codeRow("CR7 11: No1 ON  : 1 Lamp mode(No1 USE)", "CR7\r", " 1 1 CR ",
            " No1 ON  : 1 Lamp mode(No1 USE)");
    codeRow("CR7 20: All OFF : 1 Lamp mode(No2 USE)", "CR7\r", " 2 0 CR ",
            " All OFF : 1 Lamp mode(No2 USE)");
    codeRow("CR7 22: No2 ON  : 1 Lamp mode(No2 USE)", "CR7\r", " 2 2 CR ",
            " No2 ON  : 1 Lamp mode(No2 USE)");
}

void TestDecoder::showsCodeText() {
    QFETCH(QByteArray, frame);
    QFETCH(QString, traceLine);
    QFETCH(QString, expected);

    QCOMPARE(shown(decodeStatus(frame, QByteArray(), traceLine)), expected);
}

void TestDecoder::showsText_data() {
    QTest::addColumn<QByteArray>("prefix");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("traceLine");
    QTest::addColumn<QString>("expected");

    const QByteArray none;

    // Code tables beyond their plain rows.
    textRow("CR1 takes only the first reply character", none, "CR1\r", " 1 0 CR ", " Computer 1");
    textRow("CR1 before the carriage return", none, "CR1\r", " 3 ", " Video");
    textRow("CR0 before the carriage return", none, "CR0\r", " 0 0 ", " Power ON");
    textRow("CR0 with more reply characters", none, "CR0\r", " 0 0 1 2 CR ", " Power ON");
    textRow("CRA upper-case FF", none, "CRA\r", " F F CR ", " Stand by");
    textRow("leftover byte ahead of the reply is compared", none, "CR0\r", " 8 0 0 CR ",
            " Stand by");
    textRow("reply to CR0 read by the CR1 table", none, "CR1\r", " 2 0 CR ", " Computer 2");

    // Lamp time: the first 38 trace characters and " Hour Use".
    textRow("CR3 12345", none, "CR3\r", " 1 2 3 4 5 CR ", " 1 2 3 4 5 CR  Hour Use");
    textRow("CR3 cut after reply character 19", none, "CR3\r",
            " A B C D E F G H I J K L M N O P Q R S T CR ",
            " A B C D E F G H I J K L M N O P Q R S Hour Use");
    textRow("CR3 cut inside CR", none, "CR3\r", " a b c d e f g h i j k l m n o p q r CR ",
            " a b c d e f g h i j k l m n o p q r C Hour Use");
    textRow("CR3 acknowledgement", none, "CR3\r", " ACK ", " ACK  Hour Use");
    textRow("CR3 empty trace line", none, "CR3\r", "", " Hour Use");

    // Sensors: trace characters 1-10, 15-22 and 25-34.
    textRow("CR6 seventeen characters", none, "CR6\r", " a b c d e f g h i j k l m n o p q CR ",
            "  S1= a b c d e C  ,   S2=  h i j k C , S3= m n o p q C");
    textRow("CR6 S2 skips the sign of the second value", none, "CR6\r",
            " + 2 5 . 0 , + 3 0 . 5 , + 2 8 . 0 CR ",
            "  S1= + 2 5 . 0 C  ,   S2=  3 0 . 5 C , S3= + 2 8 . 0 C");
    textRow("CR6 S3 cut at the end", none, "CR6\r", " a b c d e f g h i j k l CR ",
            "  S1= a b c d e C  ,   S2=  h i j k C , S3= CR  C");
    textRow("CR6 S2 cut at the end, S3 empty", none, "CR6\r", " a b c d e f CR ",
            "  S1= a b c d e C  ,   S2= R  C , S3= C");
    textRow("CR6 S2 of one character", none, "CR6\r", " a b c d e f g ",
            "  S1= a b c d e C  ,   S2=   C , S3= C");
    textRow("CR6 S2 and S3 start past the end", none, "CR6\r", " a b c d e f ",
            "  S1= a b c d e C  ,   S2=  C , S3= C");
    textRow("CR6 S1 cut at the end", none, "CR6\r", " 2 5 CR ",
            "  S1= 2 5 CR  C  ,   S2=  C , S3= C");
    textRow("CR6 empty trace line", none, "CR6\r", "", "  S1= C  ,   S2=  C , S3= C");

    // Trace copy.
    textRow("CR9 copies the trace line", none, "CR9\r", " 1 2 & ? CR LF ", " 1 2 & ? CR LF ");
    textRow("CR9 copies an acknowledgement", none, "CR9\r", " ACK ", " ACK ");

    // Pressure.
    const QByteArray pressure("CR PRESSURE\r");
    textRow("pressure 0", none, pressure, " 0 CR ", "106 hPa");
    textRow("pressure 512", none, pressure, " 5 1 2 CR ", "650 hPa");
    textRow("pressure 852", none, pressure, " 8 5 2 CR ", "1012 hPa");
    textRow("pressure 1023", none, pressure, " 1 0 2 3 CR ", "1194 hPa");
    textRow("pressure lone carriage return", none, pressure, " CR ", "106 hPa");
    textRow("pressure acknowledgement first", none, pressure, " ACK 5 1 2 CR ", "106 hPa");
    textRow("pressure before the carriage return", none, pressure, " 5 ", "111 hPa");
    textRow("pressure negative reading", none, pressure, " - 2 0 0 CR ", "-107 hPa");
    textRow("pressure fivefold overflows", none, pressure, " 6 5 5 4 CR ", "---- hPa");
    textRow("pressure reading beyond 16 bits", none, pressure, " 3 2 7 6 8 CR ", "---- hPa");
    textRow("pressure huge exponent", none, pressure, " 9 E 9 9 9 CR ", "---- hPa");

    // The command prefix goes before every query code.
    textRow("prefix before CR0", "@", "@CR0\r", " 0 0 CR ", " Power ON");
    textRow("prefix before CR PRESSURE", "@", "@CR PRESSURE\r", " 5 1 2 CR ", "650 hPa");
    textRow("prefix that reads like a query", "CR", "CRCR1\r", " 4 CR ", " Input mode 4");
}

void TestDecoder::showsText() {
    QFETCH(QByteArray, prefix);
    QFETCH(QByteArray, frame);
    QFETCH(QString, traceLine);
    QFETCH(QString, expected);

    QCOMPARE(shown(decodeStatus(frame, prefix, traceLine)), expected);
}

// The status line keeps its text: no query, or a head that no code matches.
void TestDecoder::showsNothing_data() {
    QTest::addColumn<QByteArray>("prefix");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("traceLine");

    const QByteArray none;
    const QString zeroZero(" 0 0 CR ");

    unchangedRow("CR1 has no code 0", none, "CR1\r", zeroZero);
    unchangedRow("CR1 code 5", none, "CR1\r", " 5 CR ");
    unchangedRow("CR0 code 01", none, "CR0\r", " 0 1 CR ");
    unchangedRow("CR0 code 18", none, "CR0\r", " 1 8 CR ");
    unchangedRow("CR0 code 82", none, "CR0\r", " 8 2 CR ");
    unchangedRow("CR4 code 02", none, "CR4\r", " 0 2 CR ");
    unchangedRow("CRA lower-case ff", none, "CRA\r", " f f CR ");
    unchangedRow("CR7 code 12", none, "CR7\r", " 1 2 CR ");
    unchangedRow("CR0 first character only", none, "CR0\r", " 0 ");
    unchangedRow("CR0 acknowledgement first", none, "CR0\r", " ACK 0 0 CR ");
    unchangedRow("CRA acknowledgement first", none, "CRA\r", " ACK 0 0 CR ");
    unchangedRow("CR1 acknowledgement first", none, "CR1\r", " ACK 1 CR ");
    unchangedRow("CR0 leftover byte ahead of the reply", none, "CR0\r", " X 0 0 CR ");
    unchangedRow("CR0 empty trace line", none, "CR0\r", "");

    unchangedRow("C00 is no query", none, "C00\r", zeroZero);
    unchangedRow("CR PROJH is no decoded query", none, "CR PROJH\r", zeroZero);
    unchangedRow("CR2 is no query", none, "CR2\r", zeroZero);
    unchangedRow("lower-case cr0", none, "cr0\r", zeroZero);
    unchangedRow("lower-case cr9", none, "cr9\r", zeroZero);
    unchangedRow("CR0 with trailing blank", none, "CR0 \r", zeroZero);
    unchangedRow("CR0 with leading blank", none, " CR0\r", zeroZero);
    unchangedRow("CR0 without carriage return", none, "CR0", zeroZero);
    unchangedRow("CR0 with line feed", none, "CR0\r\n", zeroZero);
    unchangedRow("CR0 with NUL", none, QByteArray("CR0\0\r", 5), zeroZero);
    unchangedRow("CR0 with line feed for carriage return", none, "CR0\n", zeroZero);
    unchangedRow("CR PRESSURE with two blanks", none, "CR  PRESSURE\r", " 5 CR ");
    unchangedRow("lower-case cr pressure", none, "cr pressure\r", " 5 CR ");
    unchangedRow("CR3 without carriage return", none, "CR3", zeroZero);
    unchangedRow("CR6 without carriage return", none, "CR6", zeroZero);
    unchangedRow("nothing sent yet", none, QByteArray(), zeroZero);
    unchangedRow("prefix missing from the frame", "@", "CR0\r", zeroZero);
    unchangedRow("frame prefixed, prefix empty", none, "@CR0\r", zeroZero);
    unchangedRow("other prefix in the frame", "@", "#CR0\r", zeroZero);
    unchangedRow("prefix that reads like a query, frame without it", "CR", "CR1\r", zeroZero);
}

void TestDecoder::showsNothing() {
    QFETCH(QByteArray, prefix);
    QFETCH(QByteArray, frame);
    QFETCH(QString, traceLine);

    QCOMPARE(shown(decodeStatus(frame, prefix, traceLine)), unchanged);
}

// The reply 00 arriving as "0" and then "0" with the carriage return: the
// decoder runs on the whole trace after each piece.
void TestDecoder::decodesReplyInPieces() {
    const QByteArray frame("CR0\r");
    QCOMPARE(shown(decodeStatus(frame, QByteArray(), QStringLiteral(" 0 "))), unchanged);
    QCOMPARE(shown(decodeStatus(frame, QByteArray(), QStringLiteral(" 0 0 CR "))),
             QStringLiteral(" Power ON"));
}

// Replies cut into pieces where a rule's reading ends, or may end: after every
// piece the piece-by-piece decoder leaves the status line as decodeStatus on
// the whole line does.
void TestDecoder::piecesDecodeLikeWholeLine_data() {
    QTest::addColumn<QByteArray>("prefix");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QList<QByteArray>>("pieces");

    const QByteArray none;
    const QByteArray pressure("CR PRESSURE\r");
    using Pieces = QList<QByteArray>;
    QTest::addRow("CR0 code in three pieces")
        << none << QByteArray("CR0\r") << Pieces{"0", "0", "\r"};
    QTest::addRow("CR0 code that matches nothing, then more")
        << none << QByteArray("CR0\r") << Pieces{"9", "9", "00\r"};
    QTest::addRow("CR1 one character, then a flood")
        << none << QByteArray("CR1\r") << Pieces{"2", QByteArray(300, '7')};
    QTest::addRow("CR3 across the 19th character")
        << none << QByteArray("CR3\r") << Pieces{"123456789012345678", "9", "0", "\r"};
    QTest::addRow("CR6 across the 17th character")
        << none << QByteArray("CR6\r") << Pieces{"+25.0,+30.5,+28.", "0", "\r", "junk"};
    QTest::addRow("CR9 grows with every piece")
        << none << QByteArray("CR9\r") << Pieces{"1", "2\x14", "", "\r\n", "\x06"};
    QTest::addRow("pressure digit by digit")
        << none << pressure << Pieces{"5", "1", "2", "\r", "9"};
    QTest::addRow("pressure blanks before the number")
        << none << pressure << Pieces{"  ", " ", "8", " 5", "2\r"};
    QTest::addRow("pressure exponent in pieces")
        << none << pressure << Pieces{"1", "E", "-", "3", "\r"};
    QTest::addRow("pressure hexadecimal in pieces")
        << none << pressure << Pieces{"&", "h", "1", "F", "\r", "F"};
    QTest::addRow("pressure octal, then a digit beyond it")
        << none << pressure << Pieces{"&O", "7", "9", "\r"};
    QTest::addRow("pressure ended by a letter, digits after it")
        << none << pressure << Pieces{"51", "X", "999"};
    QTest::addRow("pressure acknowledgement first") << none << pressure << Pieces{"\x06", "512\r"};
    QTest::addRow("prefixed pressure")
        << QByteArray("@") << QByteArray("@CR PRESSURE\r") << Pieces{"8", "52", "\r"};
    QTest::addRow("no query") << none << QByteArray("C00\r") << Pieces{"0", "0\r"};
}

void TestDecoder::piecesDecodeLikeWholeLine() {
    QFETCH(QByteArray, prefix);
    QFETCH(QByteArray, frame);
    QFETCH(QList<QByteArray>, pieces);

    TwoStatusLines lines(prefix, frame);
    for (const QByteArray& piece : pieces)
        QVERIFY2(lines.receive(piece), qPrintable(lines.describe()));
}

// Random replies in random pieces, with the query switched, the buffer
// emptied and the status line blanked in between, as the exchange does.
void TestDecoder::fuzzedPiecesDecodeLikeWholeLine_data() {
    QTest::addColumn<QByteArray>("prefix");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<bool>("switchQueries");

    for (const QByteArray& frame : kFrames)
        QTest::addRow("%s", frame.chopped(1).constData()) << QByteArray() << frame << false;
    QTest::addRow("prefixed CR PRESSURE")
        << QByteArray("@") << QByteArray("@CR PRESSURE\r") << false;
    QTest::addRow("queries switched while replies arrive")
        << QByteArray() << kFrames.front() << true;
}

void TestDecoder::fuzzedPiecesDecodeLikeWholeLine() {
    QFETCH(QByteArray, prefix);
    QFETCH(QByteArray, frame);
    QFETCH(bool, switchQueries);

    // A fixed seed per row: a failure comes back on every run.
    QRandomGenerator random(quint32(qHash(QByteArray(QTest::currentDataTag()))));
    TwoStatusLines lines(prefix, frame);
    for (int reply = 0; reply < 2000; ++reply) {
        lines.emptyBuffer();
        const int pieceCount = random.bounded(1, 12);
        for (int i = 0; i < pieceCount; ++i) {
            if (switchQueries && random.bounded(4) == 0)
                lines.send(kFrames.at(random.bounded(int(kFrames.size()))));
            if (random.bounded(30) == 0)
                lines.blankStatusLine();
            QVERIFY2(lines.receive(randomPiece(random, random.bounded(0, 7))),
                     qPrintable(lines.describe()));
        }
    }
}

// The code and its panel text come from the panel's tables; the reading must
// give a token and, in words, that very text without its surrounding blanks.
void TestDecoder::everyTableCodeHasAMeaning() {
    int checked = 0;
    for (const StatusQuery& query : statusQueries()) {
        if (!query.table)
            continue;
        const QByteArray code = QByteArrayView(query.code).toByteArray();
        for (const StatusCode& row : query.table->codes) {
            const QByteArray reply = QByteArrayView(row.head).toByteArray().replace(' ', "") + '\r';
            const Reading reading = readingOf(code, reply);
            QVERIFY2(reading.isValue(), qPrintable(code + ": " + reply));
            QVERIFY(!reading.token.isEmpty());
            QCOMPARE(reading.words(), QString::fromLatin1(row.text).simplified());
            ++checked;
        }
        QCOMPARE(qsizetype(readQueryOf(code)->meanings.size()),
                 qsizetype(query.table->codes.size()));
    }
    QCOMPARE(checked, 13 + 4 + 4 + 6 + 8);
}

void TestDecoder::reads_data() {
    QTest::addColumn<QByteArray>("code");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("value"); // empty: malformed
    QTest::addColumn<QString>("words");

    const auto row = [](const char* name, const char* code, QByteArray reply, const char* value,
                        const char* words) {
        QTest::addRow("%s", name) << QByteArray(code) << reply << QString::fromUtf8(value)
                                  << QString::fromUtf8(words);
    };
    row("standby", "CR0", "80\r", "standby", "Stand by");
    row("power failure", "CR0", "10\r", "power-failure", "Power Fail");
    row("bytes after the carriage return ignored", "CR0", "00\r\x15zz", "on", "Power ON");
    row("code with noise before its carriage return", "CR0", "00?\r", "", "");
    row("lower-case code", "CRA", "ff\r", "", "");
    row("lamp hours", "CR3", "01234\r", "1234", "1234 h");
    row("lamp hours with a letter", "CR3", "01a34\r", "", "");
    row("lamp hours with a stray digit", "CR3", "701234\r", "", "");
    row("temperature with a stray minus sign", "CR6", "-025.0,026.5,027.0\r", "", "");
    row("temperatures", "CR6", "025.0,026.5,027.0\r", "25.0 26.5 27.0",
        "S1 25.0 °C, S2 26.5 °C, S3 27.0 °C");
    row("temperatures, one missing", "CR6", "025.0,026.5\r", "", "");
    row("temperatures with noise", "CR6", "025.0,0?6.5,027.0\r", "", "");
    row("pressure", "CR PRESSURE", "852\r", "1012", "1012 hPa");
    row("pressure beyond the sensor", "CR PRESSURE", "1024\r", "", "");
    row("status text", "CR9", "ON PC1 1234H\r", "ON PC1 1234H", "ON PC1 1234H");
    row("status text with a control character", "CR9", QByteArray("ON\x01\r"), "", "");
    row("empty status text", "CR9", "\r", "", "");
    row("input terminal", "CR INPUT", "VIDEO YPBPR\r", "video-component", "video-component");
    row("fan speed", "CR FANSPEED", "NOR\r", "normal", "normal");
    row("unknown lamp mode", "CR LAMPMODE", "TURBO\r", "", "");
    row("flood", "CR0", "   f l o o d", "", "");
    row("no query", "C00", "\x06", "", "");
}

void TestDecoder::reads() {
    QFETCH(QByteArray, code);
    QFETCH(QByteArray, reply);
    QFETCH(QString, value);
    QFETCH(QString, words);
    const Reading reading = readingOf(code, reply);
    QCOMPARE(reading.isValue(), !value.isEmpty());
    QCOMPARE(reading.problem.isEmpty(), !value.isEmpty());
    QCOMPARE(reading.valueText(), value);
    QCOMPARE(reading.words(), words);
}

QTEST_GUILESS_MAIN(TestDecoder)
#include "tst_decoder.moc"
