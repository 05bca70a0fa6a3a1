// The receive path into the window: pieces are appended to the received line
// and the status line instead of setting them whole, and what the lines show
// (and a screen reader reads) after every step is what setting them whole
// from the reply buffer shows.

#include "exchange/exchange.h"
#include "exchange/trace.h"
#include "panel/layout/display_label.h"
#include "status/decoder.h"
#include "support/window_rig.h"

#include <QAccessible>
#include <QLabel>
#include <QRandomGenerator>
#include <QTest>

using tavo::layout::DisplayLabel;
using tavo::link::ReplyCapture;
using tavo::link::traceLine;
using tavo::test::WindowRig;

namespace {

// The three display lines as the exchange would leave them when every piece
// set them whole: the received line shows the buffer's trace, the status line
// the decoder's text for it when there is one.
struct Lines {
    QString sent;
    QString received;
    QString status;
    QByteArray frame;
    QByteArray buffer;

    void send(const QByteArray& code) {
        frame = code + '\r';
        sent = traceLine(frame);
    }
    void receive(const QByteArray& piece) {
        buffer += piece.first(std::min(piece.size(), ReplyCapture::kCapacity - buffer.size()));
        received = traceLine(buffer);
        decode();
    }
    void showReceived(const QByteArray& data) {
        received = traceLine(data);
        decode();
    }
    void release() {
        sent.clear();
        received.clear();
        buffer.clear();
    }
    void decode() {
        if (const auto text = tavo::status::decodeStatus(frame, {}, received))
            status = *text;
    }
};

QString accessibleName(QWidget* widget) {
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
    return face ? face->text(QAccessible::Name) : QStringLiteral("(no interface)");
}

const QList<QByteArray> kCodes{"C00", "CR0", "CR3", "CR6", "CR9", "CR PRESSURE"};
const QByteArray kReplyBytes("0123456789 &H.E-+ACKX\r\n\x06\x14");

QByteArray randomPiece(QRandomGenerator& random) {
    QByteArray piece;
    for (int i = random.bounded(1, 9); i > 0; --i)
        piece += kReplyBytes.at(random.bounded(int(kReplyBytes.size())));
    return piece;
}

} // namespace

class TestReceivePath : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { tavo::test::quietTestNoise(); }
    void linesFollowEveryStep_data();
    void linesFollowEveryStep();
    void blankedLinesAreSetWholeAgain();
    void appendExtendsTextInPlace();
    void screenReaderReadsAppendedText();
};

// Random pieces, with sends, releases, ended replies and directly shown data
// in between; the window's lines are compared with the model after each step.
void TestReceivePath::linesFollowEveryStep_data() {
    QTest::addColumn<QByteArray>("firstCode");
    for (const QByteArray& code : kCodes)
        QTest::addRow("after %s", code.constData()) << code;
}

void TestReceivePath::linesFollowEveryStep() {
    QFETCH(QByteArray, firstCode);
    WindowRig window;
    QVERIFY(window.isReady());
    tavo::link::Exchange& exchange = window.form().exchange();
    // Long timers: nothing but the steps below changes the lines.
    exchange.setReplyTiming({std::chrono::minutes(5), std::chrono::minutes(5)});
    Lines lines;
    lines.status = window.text(QStringLiteral("Label22"));
    exchange.send(firstCode);
    lines.send(firstCode);

    QRandomGenerator random(quint32(qHash(firstCode)));
    for (int step = 0; step < 3000; ++step) {
        const int what = random.bounded(100);
        QString done;
        if (what < 4) {
            const QByteArray code = kCodes.at(random.bounded(int(kCodes.size())));
            exchange.send(code);
            lines.send(code);
            done = QStringLiteral("send ") + QLatin1String(code);
        } else if (what < 6) {
            exchange.release();
            lines.release();
            done = QStringLiteral("release");
        } else if (what < 8) {
            exchange.endReply();
            lines.buffer.clear();
            done = QStringLiteral("end of reply");
        } else if (what < 9) {
            const QByteArray data = randomPiece(random);
            window.form().Hyouji(data, tavo::panel::Form1::kReceived);
            lines.showReceived(data);
            done = QStringLiteral("shown directly");
        } else {
            const QByteArray piece = randomPiece(random);
            window.port().receive(piece);
            lines.receive(piece);
            done = QStringLiteral("piece");
        }
        const auto where = qPrintable(QStringLiteral("step %1 (%2)").arg(step).arg(done));
        QVERIFY2(window.text(QStringLiteral("Label11")) == lines.sent, where);
        QVERIFY2(window.text(QStringLiteral("Label12")) == lines.received, where);
        QVERIFY2(window.text(QStringLiteral("Label22")) == lines.status, where);
    }
}

// The clearing timer blanks the lines while a reply still arrives: the next
// piece shows the whole buffer and its status again, not just the piece.
void TestReceivePath::blankedLinesAreSetWholeAgain() {
    WindowRig window;
    QVERIFY(window.isReady());
    tavo::link::Exchange& exchange = window.form().exchange();
    exchange.setReplyTiming({std::chrono::minutes(5), std::chrono::milliseconds(20)});
    exchange.send("CR9");
    window.port().receive("12");
    QCOMPARE(window.text(QStringLiteral("Label22")), QStringLiteral(" 1 2 "));
    QTRY_COMPARE(window.text(QStringLiteral("Label12")), QString());
    QCOMPARE(window.text(QStringLiteral("Label22")), QString());
    window.port().receive("3\r");
    QCOMPARE(window.text(QStringLiteral("Label12")), QStringLiteral(" 1 2 3 CR "));
    QCOMPARE(window.text(QStringLiteral("Label22")), QStringLiteral(" 1 2 3 CR "));
}

// Once the text has room to grow, appending leaves it where it is: what the
// label holds is not copied.
void TestReceivePath::appendExtendsTextInPlace() {
    DisplayLabel label;
    label.setText(QString(10000, u'a'));
    label.appendText(u"b");
    const QChar* where = label.text().constData();
    QString expected = QString(10000, u'a') + u'b';
    for (int i = 0; i < 100; ++i) {
        label.appendText(u"c ");
        expected += QStringLiteral("c ");
    }
    QCOMPARE(label.text(), expected);
    QCOMPARE(label.text().constData(), where);
}

void TestReceivePath::screenReaderReadsAppendedText() {
    WindowRig window;
    QVERIFY(window.isReady());
    window.form().exchange().send("CR9");
    auto* received = window.find<QLabel>("Label12");
    auto* status = window.find<QLabel>("Label22");
    window.port().receive("1");
    window.port().receive("2\r");
    QCOMPARE(accessibleName(received), QStringLiteral(" 1 2 CR "));
    QCOMPARE(accessibleName(status), QStringLiteral(" 1 2 CR "));
}

QTEST_MAIN(TestReceivePath)
#include "tst_receive_path.moc"
