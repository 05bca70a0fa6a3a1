#include "panel/form1.h"

#include "link/frame.h"
#include "link/port_settings.h"
#include "link/trace.h"
#include "panel/display_label.h"
#include "panel/layout/logo.h"
#include "panel/senders.h"
#include "panel/warning.h"
#include "status/decoder.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
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
const QString kTimeoutMark = QStringLiteral(" X X X X");

QTimer* makeTimer(QObject* parent, const char* name, std::chrono::milliseconds interval) {
    auto* timer = new QTimer(parent);
    timer->setObjectName(QLatin1String(name));
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(interval);
    return timer;
}

QByteArrayView bytesOf(std::string_view code) {
    return QByteArrayView(code.data(), static_cast<qsizetype>(code.size()));
}

} // namespace

template <typename T> T* Form1::control(const char* name) const {
    auto* widget = qobject_cast<T*>(layout_[QLatin1String(name)]);
    if (!widget)
        qFatal("The layout has no control %s of the expected kind", name);
    return widget;
}

QSize Form1::clientSizeForOuterHeight(int outerHeightTwips) {
    return {layout::twipsToPixels(layout::kClientWidthTwips),
            layout::twipsToPixels(outerHeightTwips - kTitleBarTwips)};
}

Form1::Form1(std::unique_ptr<link::SerialLink> port, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      MSComm1(std::move(port)) {
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
    Timer1 = makeTimer(this, "Timer1", kStartRepeat);
    Timer2 = makeTimer(this, "Timer2", kStartTiming.replyTimeout);
    Timer3 = makeTimer(this, "Timer3", kPortPanelTimeout);
    Timer4 = makeTimer(this, "Timer4", kStartTiming.traceClear);

    Frame8 = control<QFrame>("Frame8");
    Option1 = control<QRadioButton>("Option1");
    Option2 = control<QRadioButton>("Option2");
    Option9 = control<QRadioButton>("Option9");
    Option10 = control<QRadioButton>("Option10");
    Command16 = control<QPushButton>("Command16");
    Command33 = control<QPushButton>("Command33");
    Command34 = control<QPushButton>("Command34");
    Command95 = control<QPushButton>("Command95");
    Command96 = control<QPushButton>("Command96");
    Image1 = control<QLabel>("Image1");
    Label11 = control<DisplayLabel>("Label11");
    Label12 = control<DisplayLabel>("Label12");
    Label22 = control<DisplayLabel>("Label22");
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
    for (const OneShotSender& sender : oneShotSenders()) {
        QWidget* widget = layout_[QString::fromLatin1(sender.control)];
        if (auto* button = qobject_cast<QPushButton*>(widget)) {
            button->setAutoDefault(true); // Enter activates it, as Space does
            connect(button, &QPushButton::clicked, this, [this, &sender] { sendOneShot(sender); });
        } else {
            headingOf_.insert(widget, &sender);
            widget->installEventFilter(this); // a heading label: clicked by press and release
        }
    }
    for (const HoldKey& key : holdKeys()) {
        QWidget* widget = layout_[QString::fromLatin1(key.control)];
        holdKeyOf_.insert(widget, &key);
        widget->installEventFilter(this);
    }
    Image1->installEventFilter(this);

    for (QPushButton* button : {Command16, Command33, Command34, Command95, Command96})
        button->setAutoDefault(true);
    connect(Command16, &QPushButton::clicked, this, &Form1::endProgram);
    connect(Command33, &QPushButton::clicked, this, &Form1::showPortPanel);
    connect(Command34, &QPushButton::clicked, this, &Form1::toggleDataPanel);
    connect(Command95, &QPushButton::clicked, this, &Form1::sendTyped);
    connect(Command96, &QPushButton::clicked, this, &Form1::clearTyped);

    // clicked(), not toggled(): a click on the option already selected acts too.
    connect(Option1, &QRadioButton::clicked, this, [this] { switchPort(1); });
    connect(Option2, &QRadioButton::clicked, this, [this] { switchPort(2); });
    connect(Option9, &QRadioButton::clicked, this, [this] { switchSpeed(link::kSettings19200); });
    connect(Option10, &QRadioButton::clicked, this, [this] { switchSpeed(link::kSettings9600); });

    connect(Timer1, &QTimer::timeout, this, &Form1::repeatHeldKey);
    connect(Timer2, &QTimer::timeout, this, &Form1::onReplyTimeout);
    connect(Timer3, &QTimer::timeout, this, &Form1::hidePortPanel);
    connect(Timer4, &QTimer::timeout, this, &Form1::onTraceClear);

    connect(MSComm1.get(), &link::SerialLink::charactersReceived, this,
            &Form1::onCharactersReceived);
    connect(MSComm1.get(), &link::SerialLink::deviceLost, this, &Form1::onDeviceLost);
}

// ---------------------------------------------------------------- start and end

void Form1::load() {
    portSettings_ = link::kSettings19200;
    commandPrefix_.clear();
    centre();
    setOuterHeight(kCompactHeight);
    heldKey_ = nullptr;
    awaitingReply_ = 0;
    reply_.clear();
    MSComm1->setPortNumber(1);
    MSComm1->setSettings(portSettings_);
    openPortAtStart();
    control<QPushButton>("Command17")->setFocus();
}

void Form1::openPortAtStart() {
    Option1->setChecked(true);
    if (MSComm1->open()) {
        // Selecting COM1 runs the port switch as a click does.
        switchPort(1);
        return;
    }
    // One box for the failure; the port stays closed on number 1.
    warn(MSComm1->errorDescription());
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
    if (flag == kSend) {
        if (MSComm1->isOpen())
            MSComm1->write(data);
        else
            showPortPanel(); // nothing can go out: show where to choose a port
        Label11->setText(link::traceLine(data));
        Timer2->start();
        awaitingReply_ = 1;
        Timer4->start();
        return;
    }
    // The reply buffer's trace is kept up to date piece by piece.
    Label12->setText(data.isSharedWith(reply_.bytes()) ? reply_.trace() : link::traceLine(data));
    if (const auto status = status::decodeStatus(lastFrameSent_, commandPrefix_, Label12->text()))
        Label22->setText(*status);
}

void Form1::onCharactersReceived() {
    reply_.append(MSComm1->readAll());
    awaitingReply_ = 0;
    Hyouji(reply_.bytes(), kReceived);
}

void Form1::onReplyTimeout() {
    if (awaitingReply_ == 1)
        Label12->setText(kTimeoutMark);
    Timer2->stop();
    reply_.clear();
    awaitingReply_ = 0;
}

void Form1::onTraceClear() {
    // When both fall due together the reply timer goes first, so the timeout
    // mark is never left on show after the blanking.
    if (Timer2->isActive() && Timer2->remainingTime() == 0)
        onReplyTimeout();
    Label11->clear();
    Label12->clear();
    Label22->clear();
    Timer4->stop();
}

// ---------------------------------------------------------------- senders

void Form1::send(QByteArrayView code) {
    lastFrameSent_ = link::buildFrame(commandPrefix_, code);
    Hyouji(lastFrameSent_, kSend);
}

void Form1::setReplyTiming(const ReplyTiming& timing) {
    Timer2->setInterval(timing.replyTimeout);
    Timer4->setInterval(timing.traceClear);
}

void Form1::sendOneShot(const OneShotSender& sender) {
    if (sender.timing == TimingClass::PicturePreset)
        setReplyTiming(kPicturePresetTiming);
    else if (sender.timing == TimingClass::TerminalSetup)
        setReplyTiming(kTerminalSetupTiming);
    send(bytesOf(sender.code));
    if (sender.timing == TimingClass::MenuContext) {
        Timer1->setInterval(kMenuContextRepeat);
        arrowMode_ = kArrowModeMenu;
    }
}

void Form1::sendTyped() {
    setReplyTiming(kPicturePresetTiming);
    send(link::textToBytes(Text1->text()));
}

void Form1::clearTyped() { Text1->clear(); }

// ---------------------------------------------------------------- hold keys

unsigned char Form1::heldKey() const { return heldKey_ ? heldKey_->number : 0; }

void Form1::pressHoldKey(const HoldKey& key) {
    // An arrow key has no timing of its own: its reply timing comes from the
    // arrow mode, before sending, and it repeats as Timer1 was left.
    if (!key.repeat) {
        if (const auto timing = arrowTiming(arrowMode_))
            setReplyTiming(*timing);
    }
    heldKey_ = &key;
    send(bytesOf(key.code));
    if (key.repeat) {
        Timer1->setInterval(*key.repeat);
        setReplyTiming(*key.timing);
    }
    Timer1->start();
}

void Form1::repeatHeldKey() {
    if (heldKey_)
        send(bytesOf(heldKey_->code));
}

void Form1::releaseHoldKey(const HoldKey& released) {
    heldKey_ = nullptr;
    Timer1->stop();
    Timer2->stop();
    Timer4->start();
    Label11->clear();
    Label12->clear();
    setReplyTiming(kStartTiming);
    reply_.clear();
    if (released.isDigitalZoom) {
        Timer1->setInterval(kDigitalZoomReleaseRepeat);
        arrowMode_ = kArrowModeDigitalZoom;
    }
}

// ---------------------------------------------------------------- port panel

void Form1::switchPort(int number) {
    const int other = number == 1 ? 2 : 1;
    if (MSComm1->isOpen())
        MSComm1->close();
    // A closed port is opened too: otherwise a failed switch would leave it
    // closed for good.
    if (!MSComm1->setPortNumber(number) || !MSComm1->open()) {
        const QString why = MSComm1->errorDescription();
        MSComm1->setPortNumber(other);
        warn(why);
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

void Form1::onDeviceLost(const QString& description) { warn(description); }

void Form1::warn(const QString& text) {
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
    fullView_ = 1;
    Command34->setText(kCaptionClose);
    Command34->show();
}

void Form1::onLogoDoubleClick() {
    if (fullView_ != 1)
        return;
    setOuterHeight(kFullHeight);
    Command34->setText(kCaptionClose);
    Command34->show();
}

void Form1::toggleDataPanel() {
    Timer3->stop();
    fullView_ = 0;
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
    // A modal box swallows the release of a held key: release it now, or the
    // repeat would run on forever.
    if (event->type() == QEvent::WindowBlocked && heldKey_)
        releaseHoldKey(*heldKey_);
    return QWidget::event(event);
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (watched == windowHandle()) {
        if (type == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            const auto modifiers =
                key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
            if (key->key() == Qt::Key_K && modifiers == Qt::ControlModifier)
                onServiceKey();
        }
        return false; // the key still reaches the focused control
    }
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease &&
        type != QEvent::MouseButtonDblClick)
        return false;
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const bool left = mouse->button() == Qt::LeftButton;

    if (watched == Image1) {
        if (type == QEvent::MouseButtonDblClick && left)
            onLogoDoubleClick();
        return false;
    }
    if (const HoldKey* key = holdKeyOf_.value(watched)) {
        // Any mouse button; a fast second press arrives as a double-click.
        if (type == QEvent::MouseButtonRelease)
            releaseHoldKey(*key);
        else
            pressHoldKey(*key);
        // The left button also drives the button's own pressed look.
        return !left;
    }
    if (const OneShotSender* sender = headingOf_.value(watched)) {
        // A heading label: a click is a left press and release inside it; the
        // second press of a double-click is not a click.
        if (!left)
            return false;
        if (type == QEvent::MouseButtonPress) {
            pressedLabel_ = watched;
        } else if (type == QEvent::MouseButtonDblClick) {
            pressedLabel_ = nullptr;
        } else {
            const bool inside =
                static_cast<QWidget*>(watched)->rect().contains(mouse->position().toPoint());
            const bool wasPressed = pressedLabel_ == watched;
            pressedLabel_ = nullptr;
            if (wasPressed && inside)
                sendOneShot(*sender);
        }
    }
    return false;
}

} // namespace tavo::panel
