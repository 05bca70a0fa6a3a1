#include "panel/form1.h"

#include "commands/controller.h"
#include "commands/senders.h"
#include "exchange/exchange.h"
#include "link/port_keeper.h"
#include "link/port_settings.h"
#include "panel/layout/clickable_label.h"
#include "panel/layout/display_label.h"
#include "panel/layout/flat_button.h"
#include "panel/layout/hold_key_button.h"
#include "panel/layout/logo.h"
#include "panel/warning.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <cmath>

namespace tavo::panel {

namespace {

const QString kCaptionClose = QStringLiteral("CLOSE");
const QString kCaptionShowData = QStringLiteral("データを表示する");
const QString kCaptionHideData = QStringLiteral("データを表示しない");
constexpr std::chrono::milliseconds kPortPanelTimeout{5000};

QString nameOf(std::string_view control) {
    return QString::fromLatin1(control);
}

} // namespace

// Every control the window or a table names is looked up once, here: a name
// missing from the layout, or a control of another kind, is a build fault
// that must not get past the first start.
template <typename T> T* Form1::control(std::string_view name) const {
    auto* widget = qobject_cast<T*>(layout_[nameOf(name)]);
    if (!widget)
        qFatal("The layout has no control %s of the expected kind", qPrintable(nameOf(name)));
    return widget;
}

QSize Form1::clientSizeForOuterHeight(int outerHeightTwips) {
    return {layout::twipsToPixels(layout::kClientWidthTwips),
            layout::twipsToPixels(outerHeightTwips - kTitleBarTwips)};
}

Form1::Form1(std::unique_ptr<link::SerialLink> line, QStringList devices, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      exchange_(new link::Exchange(std::move(line), this)),
      controller_(new commands::Controller(*exchange_, this)),
      portKeeper_(new link::PortKeeper(exchange_->port(), std::move(devices), this)),
      MSComm1(&exchange_->port()) {
    layout::installFontSubstitutions();
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QString::fromUtf8(layout::kWindowCaption.data(),
                                     static_cast<qsizetype>(layout::kWindowCaption.size())));
    setWindowIcon(layout::programIcon());
    QPalette ground = palette();
    ground.setColor(QPalette::Window, QColor(QRgb(layout::kWindowGrey)));
    setPalette(ground);
    setAutoFillBackground(true);
    setFont(layout::qtFont(layout::kWindowFont));

    layout_ = layout::buildLayout(*this);

    MSComm1->setObjectName(QStringLiteral("MSComm1"));
    Timer3 = new QTimer(this);
    Timer3->setObjectName(QStringLiteral("Timer3"));
    Timer3->setTimerType(Qt::PreciseTimer);
    Timer3->setInterval(kPortPanelTimeout);

    Frame8 = control<QFrame>("Frame8");
    Option1 = control<QRadioButton>("Option1");
    Option2 = control<QRadioButton>("Option2");
    Option9 = control<QRadioButton>("Option9");
    Option10 = control<QRadioButton>("Option10");
    Command16 = control<QPushButton>("Command16");
    Command33 = control<QPushButton>("Command33");
    Command34 = control<QPushButton>("Command34");
    Command95 = control<layout::FlatButton>("Command95");
    Command96 = control<QPushButton>("Command96");
    Image1 = control<layout::ClickableLabel>("Image1");
    Label11 = control<layout::DisplayLabel>("Label11");
    Label12 = control<layout::DisplayLabel>("Label12");
    Label22 = control<layout::DisplayLabel>("Label22");
    Text1 = control<QLineEdit>("Text1");

    setOuterHeight(layout::kClientHeightTwips + kTitleBarTwips);
    wireControls();

    // The key preview watches the window's own input, before the focused
    // control sees it; a warning box is another window and is not watched.
    winId();
    windowHandle()->installEventFilter(this);
}

Form1::~Form1() = default;

void Form1::wireControls() {
    wireSenders();
    wireExchange();

    for (QPushButton* button :
         std::initializer_list<QPushButton*>{Command16, Command33, Command34, Command95, Command96})
        button->setAutoDefault(true);
    connect(Command16, &QPushButton::clicked, this, &Form1::endProgram);
    connect(Command33, &QPushButton::clicked, this, &Form1::showPortPanel);
    connect(Command34, &QPushButton::clicked, this, &Form1::toggleDataPanel);
    connect(Command95, &layout::FlatButton::activated, this,
            [this] { controller_->sendTyped(Text1->text()); });
    connect(Command96, &QPushButton::clicked, Text1, &QLineEdit::clear);
    connect(Image1, &layout::ClickableLabel::doubleClicked, this, &Form1::onLogoDoubleClick);

    // clicked(), not toggled(): a click on the option already selected acts too.
    connect(Option1, &QRadioButton::clicked, this, [this] { switchPort(1); });
    connect(Option2, &QRadioButton::clicked, this, [this] { switchPort(2); });
    connect(Option9, &QRadioButton::clicked, this, [this] { switchSpeed(link::kSettings19200); });
    connect(Option10, &QRadioButton::clicked, this, [this] { switchSpeed(link::kSettings9600); });
    connect(Timer3, &QTimer::timeout, this, &Form1::hidePortPanel);
}

// Buttons send on their click (as soon as the release is known to click),
// heading labels on theirs, hold keys on the raw press and release.
void Form1::wireSenders() {
    for (const commands::OneShotSender& sender : commands::oneShotSenders()) {
        const auto send = [this, &sender] { controller_->sendOneShot(sender); };
        if (auto* heading =
                qobject_cast<layout::ClickableLabel*>(layout_[nameOf(sender.control)])) {
            connect(heading, &layout::ClickableLabel::clicked, this, send);
        } else {
            auto* button = control<layout::FlatButton>(sender.control);
            button->setAutoDefault(true); // Enter activates it, as Space does
            connect(button, &layout::FlatButton::activated, this, send);
        }
    }
    for (const commands::HoldKey& key : commands::holdKeys()) {
        auto* button = control<layout::HoldKeyButton>(key.control);
        connect(button, &layout::HoldKeyButton::holdPressed, this,
                [this, &key](Qt::MouseButton pressedWith) {
                    holdButton_ = pressedWith;
                    controller_->press(key);
                });
        connect(button, &layout::HoldKeyButton::holdReleased, this,
                [this, &key] { controller_->release(key); });
    }
    // A release that went to another window (the grab broken by a screen
    // lock, a window manager or a modal box) shows as the button up.
    controller_->setHoldCheck(
        [this] { return QGuiApplication::mouseButtons().testFlag(holdButton_); });
}

void Form1::wireExchange() {
    connect(exchange_, &link::Exchange::sentTraceChanged, Label11, &QLabel::setText);
    connect(exchange_, &link::Exchange::receivedTraceChanged, Label12, &QLabel::setText);
    connect(exchange_, &link::Exchange::statusTextChanged, Label22, &QLabel::setText);
    connect(exchange_, &link::Exchange::receivedTraceAppended, Label12,
            &layout::DisplayLabel::appendText);
    connect(exchange_, &link::Exchange::statusTextAppended, Label22,
            &layout::DisplayLabel::appendText);
    // Nothing can go out: show where to choose a port (choosing it again also
    // drops output the device does not take). A refused frame shows the panel
    // at every click; its box comes once per stall.
    connect(exchange_, &link::Exchange::sentWhilePortClosed, this, &Form1::showPortPanel);
    connect(exchange_, &link::Exchange::frameRefused, this, &Form1::showPortPanel);
    connect(MSComm1, &link::SerialLink::deviceLost, this, &Form1::onDeviceLost);
    connect(MSComm1, &link::SerialLink::outputStalled, this, &Form1::warn);
}

// ---------------------------------------------------------------- start and end

void Form1::load() {
    portSettings_ = link::kSettings19200;
    centre();
    setOuterHeight(kCompactHeight);
    controller_->reset();
    exchange_->reset();
    portKeeper_->choose(1);
    MSComm1->setSettings(portSettings_);
    openPortAtStart();
    control<QPushButton>("Command17")->setFocus();
}

void Form1::openPortAtStart() {
    Option1->setChecked(true);
    if (portKeeper_->open()) {
        // Selecting COM1 runs the port switch as a click does.
        switchPort(1);
        return;
    }
    // One box for the failure; the port stays closed on number 1.
    warn(portKeeper_->errorDescription());
}

void Form1::centre() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    // The outer size as laid out: client area plus the fixed title bar and frame.
    const QSize outer(layout::twipsToPixels(layout::kClientWidthTwips),
                      layout::twipsToPixels(layout::kClientHeightTwips + kTitleBarTwips));
    const auto half = [](int free) { return static_cast<int>(std::lround(free / 2.0)); };
    move(area.x() + half(area.width() - outer.width()),
         area.y() + half(area.height() - outer.height()));
}

void Form1::setOuterHeight(int twips) {
    outerHeightTwips_ = twips;
    setFixedSize(clientSizeForOuterHeight(twips));
}

void Form1::endProgram() {
    MSComm1->close();
    close();
    QCoreApplication::exit(0);
}

void Form1::closeEvent(QCloseEvent* event) {
    MSComm1->close();
    event->accept();
}

// ---------------------------------------------------------------- Hyouji

void Form1::Hyouji(const QByteArray& data, unsigned char flag) {
    if (flag == kSend)
        exchange_->sendFrame(data);
    else
        exchange_->showReceived(data);
}

// ---------------------------------------------------------------- port panel

void Form1::switchPort(int number) {
    if (!portKeeper_->switchTo(number)) {
        warn(portKeeper_->errorDescription());
        return;
    }
    hidePortPanel();
}

void Form1::switchSpeed(const QString& settings) {
    portSettings_ = settings;
    if (!MSComm1->setSettings(portSettings_))
        warn(MSComm1->errorDescription());
    hidePortPanel();
}

void Form1::showPortPanel() {
    Frame8->show();
    Frame8->raise();
    Timer3->start();
}

void Form1::hidePortPanel() {
    Frame8->hide();
    Timer3->stop();
}

// The port layer says what happened; what to do about it is the window's.
void Form1::onDeviceLost(const QString& description) {
    warn(description +
         QStringLiteral(" When the device is back, choose COM1 or COM2 in the port panel (COM) to "
                        "open it again."));
}

void Form1::warn(const QString& text) {
    // Every warning reaches the standard error, also one whose box is not shown.
    printWarning(text);
    // Shown once the handler has finished, one box at a time.
    if (warningPending_)
        return;
    warningPending_ = true;
    QMetaObject::invokeMethod(
        this,
        [this, text] {
            showWarning(this, windowTitle(), text);
            warningPending_ = false;
        },
        Qt::QueuedConnection);
}

// ---------------------------------------------------------------- views

void Form1::onServiceKey() {
    setOuterHeight(kServiceHeight);
    fullView_ = true;
    Command34->setText(kCaptionClose);
    Command34->show();
}

void Form1::onLogoDoubleClick() {
    if (!fullView_)
        return;
    setOuterHeight(kFullHeight);
    Command34->setText(kCaptionClose);
    Command34->show();
}

void Form1::toggleDataPanel() {
    Timer3->stop();
    fullView_ = false;
    if (outerHeightTwips_ < kDataPanelThreshold) {
        setOuterHeight(kDataPanelHeight);
        Command34->setText(kCaptionHideData);
    } else {
        setOuterHeight(kCompactHeight);
        Command34->setText(kCaptionShowData);
    }
    Timer3->start();
}

void Form1::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    QPainter painter(this);
    // Drawn solid whatever the style: at 2 px dashes and dots read as a line.
    QPen pen(QColor(QRgb(layout::kCursorPadLineColour)), layout::kCursorPadLineWidthPx);
    pen.setCapStyle(Qt::SquareCap);
    painter.setPen(pen);
    for (const layout::LineRecord& line : layout::lineRecords())
        painter.drawLine(layout::twipsToPixels(line.x1), layout::twipsToPixels(line.y1),
                         layout::twipsToPixels(line.x2), layout::twipsToPixels(line.y2));
}

// ---------------------------------------------------------------- raw input

bool Form1::event(QEvent* event) {
    // A window that is blocked by a modal box, hidden, minimised or no longer
    // active may never see the release of a held key: release it now, or the
    // repeat would run on to the projector's end stop.
    switch (event->type()) {
    case QEvent::WindowBlocked:
    case QEvent::WindowDeactivate:
    case QEvent::Hide:
        controller_->releaseHeld();
        break;
    case QEvent::WindowStateChange:
        if (isMinimized())
            controller_->releaseHeld();
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

// The key preview: the window sees every key press before the focused
// control, and lets it through.
bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == windowHandle() && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const auto modifiers =
            key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
        if (key->key() == Qt::Key_K && modifiers == Qt::ControlModifier)
            onServiceKey();
    }
    return false;
}

} // namespace tavo::panel
