// The window on a real pseudo-terminal: the test plays the projector on the
// master side; the window opens the slave through the serial layer.
#include "commands/controller.h"
#include "exchange/exchange.h"
#include "link/port_keeper.h"
#include "link/serial_control.h"
#include "panel/form1.h"
#include "support/pty_rig.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace tavo;
using tavo::test::PseudoTerminal;

namespace {

constexpr auto kMissingDevice = "/dev/tavo-test-missing";

using Rig = test::PtyRig;

// How many descriptors of this process refer to a device; the test itself
// holds one for each pseudo-terminal slave.
int descriptorsOn(const QString& device) {
    int count = 0;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QFileInfo& fd : fds.entryInfoList(QDir::System | QDir::NoDotAndDotDot))
        if (fd.symLinkTarget() == device)
            ++count;
    return count;
}

} // namespace

class TestSerialPty : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void frameGoesOnTheWire();
    void lineSettingsAtStart();
    void speedSwitchKeepsPortOpen();
    void portSwitchMovesToSecondDevice();
    void replyInPiecesShownPieceByPiece();
    void statusDecodedPieceByPiece_data();
    void statusDecodedPieceByPiece();
    void timeoutMarkAndBlanking();
    void unsolicitedBytesKeptUntilReplyTimerTick();
    void endClosesDevice();
    void failedSwitchThenOptionReopens();
    void sendWhileClosedShowsPortPanel();
};

void TestSerialPty::init() {
    QVERIFY(PseudoTerminal().isValid());
}

void TestSerialPty::frameGoesOnTheWire() {
    Rig rig;
    QVERIFY(rig.portOpen());
    rig.send("C00");
    QCOMPARE(rig.com1.readAtLeast(4), QByteArray::fromHex("4330300d"));
    QCOMPARE(rig.text("Label11"), QStringLiteral(" C 0 0 CR "));
    const QByteArray withNul("A\0B\r", 4);
    rig.form->Hyouji(withNul, panel::Form1::kSend);
    QCOMPARE(rig.com1.readAtLeast(4), withNul);
}

void TestSerialPty::lineSettingsAtStart() {
    Rig rig;
    const termios tio = rig.com1.slaveTermios();
    QCOMPARE(test::baudOf(tio), speed_t(B19200));
    QCOMPARE(tio.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(tio.c_cflag & PARENB, tcflag_t(0));
    QCOMPARE(tio.c_cflag & CSTOPB, tcflag_t(0));
    QCOMPARE(tio.c_cflag & CRTSCTS, tcflag_t(0));
    QCOMPARE(tio.c_iflag & (IXON | IXOFF), tcflag_t(0));
    QVERIFY(rig.find<QRadioButton>("Option1")->isChecked());
    QVERIFY(rig.find<QRadioButton>("Option9")->isChecked());
    QVERIFY(!rig.find<QFrame>("Frame8")->isVisible());
    QVERIFY(rig.warnings.texts.isEmpty());
}

void TestSerialPty::speedSwitchKeepsPortOpen() {
    Rig rig;
    QTest::mouseClick(rig.find<QPushButton>("Command33"), Qt::LeftButton);
    QTest::mouseClick(rig.find<QRadioButton>("Option10"), Qt::LeftButton);
    QVERIFY(rig.portOpen());
    QCOMPARE(test::baudOf(rig.com1.slaveTermios()), speed_t(B9600));
    QCOMPARE(rig.form->portSettings(), QStringLiteral("9600,N,8,1"));
    QVERIFY(!rig.find<QFrame>("Frame8")->isVisible());
    // Still the same open port: a frame goes out on COM1.
    rig.send("C01");
    QCOMPARE(rig.com1.readAtLeast(4), QByteArray("C01\r"));
}

void TestSerialPty::portSwitchMovesToSecondDevice() {
    Rig rig;
    QTest::mouseClick(rig.find<QPushButton>("Command33"), Qt::LeftButton);
    QTest::mouseClick(rig.find<QRadioButton>("Option10"), Qt::LeftButton);
    QTest::mouseClick(rig.find<QPushButton>("Command33"), Qt::LeftButton);
    QTest::mouseClick(rig.find<QRadioButton>("Option2"), Qt::LeftButton);
    QVERIFY(rig.portOpen());
    QCOMPARE(descriptorsOn(rig.com1.devicePath()), 1);
    QCOMPARE(descriptorsOn(rig.com2.devicePath()), 2);
    QCOMPARE(rig.form->portKeeper().portNumber(), 2);
    QCOMPARE(test::baudOf(rig.com2.slaveTermios()), speed_t(B9600));
    QVERIFY(rig.find<QRadioButton>("Option10")->isChecked());
    rig.send("C05");
    QCOMPARE(rig.com2.readAtLeast(4), QByteArray("C05\r"));
    QTest::qWait(20);
    QVERIFY(rig.com1.readAvailable().isEmpty());
}

void TestSerialPty::replyInPiecesShownPieceByPiece() {
    Rig rig;
    rig.send("CR0");
    rig.com1.readAtLeast(4);
    rig.com1.write("0");
    QTRY_COMPARE(rig.text("Label12"), QStringLiteral(" 0 "));
    QCOMPARE(rig.form->exchange().awaitingReply(), false);
    rig.com1.write("0\r");
    QTRY_COMPARE(rig.text("Label12"), QStringLiteral(" 0 0 CR "));
    QCOMPARE(rig.form->exchange().replyBuffer(), QByteArray("00\r"));
}

void TestSerialPty::statusDecodedPieceByPiece_data() {
    QTest::addColumn<QString>("typed"); // empty: click the query button instead
    QTest::addColumn<QString>("button");
    QTest::addColumn<QByteArrayList>("pieces");
    QTest::addColumn<QStringList>("statusAfterEach");
    QTest::addRow("STATUS 00") << QString() << "Command44" << QByteArrayList{"0", "0", "\r"}
                               << QStringList{"", " Power ON", " Power ON"};
    QTest::addRow("MODE 2") << QString() << "Command45" << QByteArrayList{"2", "\r"}
                            << QStringList{" Computer 2", " Computer 2"};
    QTest::addRow("L-TIME grows with the reply")
        << QString() << "Command46" << QByteArrayList{"12", "345\r"}
        << QStringList{" 1 2  Hour Use", " 1 2 3 4 5 CR  Hour Use"};
    QTest::addRow("typed CR PRESSURE")
        << "CR PRESSURE"
        << "Command95" << QByteArrayList{"5", "12\r"} << QStringList{"111 hPa", "650 hPa"};
    QTest::addRow("typed cr0 is no query")
        << "cr0"
        << "Command95" << QByteArrayList{"00\r"} << QStringList{""};
}

void TestSerialPty::statusDecodedPieceByPiece() {
    QFETCH(QString, typed);
    QFETCH(QString, button);
    QFETCH(QByteArrayList, pieces);
    QFETCH(QStringList, statusAfterEach);
    Rig rig;
    rig.find<QLineEdit>("Text1")->setText(typed);
    QTest::mouseClick(rig.form->findChild<QPushButton*>(button), Qt::LeftButton);
    rig.com1.readAtLeast(rig.form->exchange().lastFrameSent().size());
    QByteArray received;
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        rig.com1.write(pieces[i]);
        received += pieces[i];
        QTRY_COMPARE(rig.form->exchange().replyBuffer(), received);
        QCOMPARE(rig.text("Label22"), statusAfterEach[i]);
    }
}

void TestSerialPty::timeoutMarkAndBlanking() {
    Rig rig;
    rig.send("CR0");
    QElapsedTimer clock;
    clock.start();
    QTRY_COMPARE_WITH_TIMEOUT(rig.text("Label12"), QStringLiteral(" X X X X"), 2000);
    const qint64 markAt = clock.elapsed();
    QTRY_COMPARE_WITH_TIMEOUT(rig.text("Label11"), QString(), 3000);
    const qint64 blankAt = clock.elapsed();
    QVERIFY2(markAt >= 300 && markAt <= 700, qPrintable(QString::number(markAt)));
    QVERIFY2(blankAt >= 600 && blankAt <= 1400, qPrintable(QString::number(blankAt)));
    QCOMPARE(rig.text("Label12"), QString());
    QCOMPARE(rig.text("Label22"), QString());
}

void TestSerialPty::unsolicitedBytesKeptUntilReplyTimerTick() {
    Rig rig;
    rig.com1.write("ab");
    QTRY_COMPARE(rig.text("Label12"), QStringLiteral(" a b "));
    rig.com1.write("c");
    QTRY_COMPARE(rig.text("Label12"), QStringLiteral(" a b c "));
    QCOMPARE(rig.form->exchange().replyBuffer(), QByteArray("abc"));
    // A send's reply timer empties the buffer at its tick.
    rig.send("CR0");
    auto* timer2 = rig.find<QTimer>("Timer2");
    QVERIFY(timer2->isActive());
    QTRY_VERIFY_WITH_TIMEOUT(!timer2->isActive(), 2000);
    QVERIFY(rig.form->exchange().replyBuffer().isEmpty());
    rig.com1.write("00\r");
    QTRY_COMPARE(rig.text("Label12"), QStringLiteral(" 0 0 CR "));
}

void TestSerialPty::endClosesDevice() {
    Rig rig;
    QVERIFY(rig.portOpen());
    QCOMPARE(descriptorsOn(rig.com1.devicePath()), 2);
    QTest::mouseClick(rig.find<QPushButton>("Command16"), Qt::LeftButton);
    QVERIFY(!rig.portOpen());
    QCOMPARE(descriptorsOn(rig.com1.devicePath()), 1);
    QVERIFY(!rig.form->isVisible());
}

void TestSerialPty::failedSwitchThenOptionReopens() {
    Rig rig({}, QString::fromLatin1(kMissingDevice));
    auto* frame8 = rig.find<QFrame>("Frame8");
    QTest::mouseClick(rig.find<QPushButton>("Command33"), Qt::LeftButton);
    QTest::mouseClick(rig.find<QRadioButton>("Option2"), Qt::LeftButton);
    QTRY_COMPARE(rig.warnings.texts.size(), 1);
    QVERIFY(rig.warnings.texts[0].contains(QLatin1String(kMissingDevice)));
    QVERIFY(!rig.portOpen());
    QCOMPARE(rig.form->portKeeper().portNumber(), 1); // the other port's number
    QVERIFY(frame8->isVisible());
    QVERIFY(rig.find<QRadioButton>("Option2")->isChecked());
    // A closed port is opened by the next option click.
    QTest::mouseClick(rig.find<QRadioButton>("Option1"), Qt::LeftButton);
    QVERIFY(rig.portOpen());
    QVERIFY(!frame8->isVisible());
    rig.send("C00");
    QCOMPARE(rig.com1.readAtLeast(4), QByteArray("C00\r"));
}

void TestSerialPty::sendWhileClosedShowsPortPanel() {
    Rig rig(QString::fromLatin1(kMissingDevice));
    QTRY_COMPARE(rig.warnings.texts.size(), 1);
    auto* frame8 = rig.find<QFrame>("Frame8");
    QVERIFY(!frame8->isVisible());
    QTest::mouseClick(rig.find<QPushButton>("Command17"), Qt::LeftButton);
    QCOMPARE(rig.text("Label11"), QStringLiteral(" C 0 0 CR "));
    QCOMPARE(rig.form->exchange().lastFrameSent(), QByteArray("C00\r"));
    QVERIFY(frame8->isVisible());
    QVERIFY(rig.find<QTimer>("Timer3")->isActive());
    QTRY_COMPARE_WITH_TIMEOUT(rig.text("Label12"), QStringLiteral(" X X X X"), 2000);
    QTest::qWait(20);
    QCOMPARE(rig.warnings.texts.size(), 1); // no box per frame
}

QTEST_MAIN(TestSerialPty)
#include "tst_serial_pty.moc"
