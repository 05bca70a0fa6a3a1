#pragma once
// The window. Every event ends in a handler here: clicks, hold-key presses and
// releases, the service keys, the logo double-click, the four timers and the
// port's receive notification. Data flows one way: handler -> frame ->
// Hyouji -> port; bytes in -> reply buffer -> Hyouji -> trace -> decoder ->
// Label22.

#include "link/reply_capture.h"
#include "link/serial_link.h"
#include "panel/layout/builder.h"

#include <QByteArray>
#include <QHash>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;

namespace tavo::panel {

class DisplayLabel;
struct HoldKey;
struct OneShotSender;
struct ReplyTiming;

class Form1 final : public QWidget {
    Q_OBJECT
public:
    // Outer heights in twips: the title bar and frame count as kTitleBarTwips.
    static constexpr int kCompactHeight = 5350;
    static constexpr int kDataPanelHeight = 6645;
    static constexpr int kServiceHeight = 7200;
    static constexpr int kFullHeight = 9100;
    static constexpr int kTitleBarTwips = 435;
    static constexpr int kDataPanelThreshold = 6000;

    static constexpr unsigned char kSend = 1;
    static constexpr unsigned char kReceived = 2;

    explicit Form1(std::unique_ptr<link::SerialLink> port, QWidget* parent = nullptr);
    ~Form1() override;

    // The start-up sequence: settings, centring, compact height, opening COM1.
    void load();

    // Flag 1 writes data to the port and shows it as the sent trace; any other
    // flag shows data as the received trace and decodes it.
    void Hyouji(const QByteArray& data, unsigned char flag);

    // Window-level state, read by tests and tools.
    int outerHeightTwips() const { return outerHeightTwips_; }
    const QByteArray& lastFrameSent() const { return lastFrameSent_; }
    const QByteArray& replyBuffer() const { return reply_.bytes(); }
    const QString& portSettings() const { return portSettings_; }
    unsigned char awaitingReply() const { return awaitingReply_; }
    unsigned char heldKey() const;
    unsigned char arrowMode() const { return arrowMode_; }
    qint16 fullView() const { return fullView_; }
    link::SerialLink& serialPort() const { return *MSComm1; }

    // The window's outer size in pixels at a given outer height, as laid out.
    static QSize clientSizeForOuterHeight(int outerHeightTwips);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    template <typename T> T* control(const char* name) const;
    void wireControls();
    void centre();
    void setOuterHeight(int twips);

    // Sending.
    void send(QByteArrayView code);
    void setReplyTiming(const ReplyTiming& timing);
    void sendOneShot(const OneShotSender& sender);
    void sendTyped();
    void clearTyped();

    // Hold keys.
    void pressHoldKey(const HoldKey& key);
    void releaseHoldKey(const HoldKey& released);
    void repeatHeldKey();

    // Port link.
    void switchPort(int number);
    void switchSpeed(const QString& settings);
    void showPortPanel();
    void hidePortPanel();
    void openPortAtStart();
    void onCharactersReceived();
    void onDeviceLost(const QString& description);
    void warn(const QString& text);

    // Timers and views.
    void onReplyTimeout();
    void onTraceClear();
    void onServiceKey();
    void onLogoDoubleClick();
    void toggleDataPanel();
    void endProgram();

    // Controls (objectName = member name).
    std::unique_ptr<link::SerialLink> MSComm1;
    layout::BuiltLayout layout_;
    QTimer* Timer1;
    QTimer* Timer2;
    QTimer* Timer3;
    QTimer* Timer4;
    QFrame* Frame8;
    QRadioButton* Option1;
    QRadioButton* Option2;
    QRadioButton* Option9;
    QRadioButton* Option10;
    QPushButton* Command16;
    QPushButton* Command33;
    QPushButton* Command34;
    QPushButton* Command95;
    QPushButton* Command96;
    QLabel* Image1;
    DisplayLabel* Label11;
    DisplayLabel* Label12;
    DisplayLabel* Label22;
    QLineEdit* Text1;

    // Window-level state.
    QString portSettings_;
    QByteArray commandPrefix_;
    QByteArray lastFrameSent_;
    link::ReplyCapture reply_;
    unsigned char awaitingReply_ = 0;
    const HoldKey* heldKey_ = nullptr; // the key held down, if any
    unsigned char arrowMode_ = 0;
    qint16 fullView_ = 0;
    int outerHeightTwips_ = 0;

    // What each watched control sends, found by the control itself.
    QHash<const QObject*, const HoldKey*> holdKeyOf_;
    QHash<const QObject*, const OneShotSender*> headingOf_;
    // Heading label pressed with the left button, waiting for its release.
    QPointer<QObject> pressedLabel_;
    bool warningPending_ = false;
};

} // namespace tavo::panel
