#pragma once
// The window: it shows and it clicks. Its controls forward to the
// widget-free exchange (frames, reply capture, the reply and clearing timers,
// decoding) and the controller (senders, hold keys and their repeat), and it
// shows what the exchange signals in Label11, Label12 and Label22. What is the
// window's own: the port panel and Timer3, the views and their heights, the
// service key, the logo, END, and the warning boxes.

#include "link/serial_link.h"
#include "panel/layout/builder.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <memory>
#include <string_view>

namespace tavo::commands {
class Controller;
} // namespace tavo::commands

namespace tavo::link {
class Exchange;
class PortKeeper;
} // namespace tavo::link

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;

namespace tavo::layout {
class ClickableLabel;
class DisplayLabel;
class FlatButton;
} // namespace tavo::layout

namespace tavo::panel {

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

    // The line goes on the devices of COM1 and COM2.
    Form1(std::unique_ptr<link::SerialLink> line, QStringList devices, QWidget* parent = nullptr);
    ~Form1() override;

    // The start-up sequence: settings, centring, compact height, opening COM1.
    void load();

    // Flag 1 writes data to the port and shows it as the sent trace; any other
    // flag shows data as the received trace and decodes it.
    void Hyouji(const QByteArray& data, unsigned char flag);

    // Window-level state, read by tests and tools.
    int outerHeightTwips() const { return outerHeightTwips_; }
    const QString& portSettings() const { return portSettings_; }
    bool fullView() const { return fullView_; }
    link::SerialLink& serialPort() const { return *MSComm1; }
    link::PortKeeper& portKeeper() const { return *portKeeper_; }
    link::Exchange& exchange() const { return *exchange_; }
    commands::Controller& controller() const { return *controller_; }

    // The window's outer size in pixels at a given outer height, as laid out.
    static QSize clientSizeForOuterHeight(int outerHeightTwips);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    template <typename T> T* control(std::string_view name) const;
    void wireControls();
    void wireSenders();
    void wireExchange();
    void centre();
    void setOuterHeight(int twips);

    // Port link.
    void switchPort(int number);
    void switchSpeed(const QString& settings);
    void showPortPanel();
    void hidePortPanel();
    void openPortAtStart();
    void onDeviceLost(const QString& description);
    void warn(const QString& text);

    // Views.
    void onServiceKey();
    void onLogoDoubleClick();
    void toggleDataPanel();
    void endProgram();

    // The exchange with the projector and what the controls do to it.
    link::Exchange* exchange_;
    commands::Controller* controller_;
    link::PortKeeper* portKeeper_;

    // Controls (objectName = member name).
    link::SerialLink* MSComm1;
    layout::BuiltLayout layout_;
    QTimer* Timer3;
    QFrame* Frame8;
    QRadioButton* Option1;
    QRadioButton* Option2;
    QRadioButton* Option9;
    QRadioButton* Option10;
    QPushButton* Command16;
    QPushButton* Command33;
    QPushButton* Command34;
    layout::FlatButton* Command95;
    QPushButton* Command96;
    layout::ClickableLabel* Image1;
    layout::DisplayLabel* Label11;
    layout::DisplayLabel* Label12;
    layout::DisplayLabel* Label22;
    QLineEdit* Text1;

    // Window-level state.
    QString portSettings_;
    bool fullView_ = false;
    int outerHeightTwips_ = 0;
    bool warningPending_ = false;
    Qt::MouseButton holdButton_ = Qt::NoButton; // the button holding a hold key down
};

} // namespace tavo::panel
