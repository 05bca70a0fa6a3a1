#include "commands/controller.h"

#include "exchange/frame.h"

#include <QTimer>

namespace tavo::commands {

Controller::Controller(link::Exchange& exchange, QObject* parent)
    : QObject(parent), exchange_(exchange), Timer1(new QTimer(this)) {
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setTimerType(Qt::PreciseTimer);
    Timer1->setInterval(kStartRepeat);
    connect(Timer1, &QTimer::timeout, this, &Controller::repeat);
}

void Controller::reset() {
    heldKey_ = nullptr;
}

void Controller::sendOneShot(const OneShotSender& sender) {
    if (sender.timing == TimingClass::PicturePreset)
        exchange_.setReplyTiming(kPicturePresetTiming);
    else if (sender.timing == TimingClass::TerminalSetup)
        exchange_.setReplyTiming(kTerminalSetupTiming);
    exchange_.send(sender.code);
    if (sender.timing == TimingClass::MenuContext) {
        Timer1->setInterval(kMenuContextRepeat);
        arrowMode_ = kArrowModeMenu;
    }
}

void Controller::sendTyped(QStringView text) {
    exchange_.setReplyTiming(kPicturePresetTiming);
    exchange_.send(link::textToBytes(text));
}

void Controller::press(const HoldKey& key) {
    // An arrow key has no timing of its own: its reply timing comes from the
    // arrow mode, before sending, and it repeats as Timer1 was left.
    if (!key.repeat) {
        if (const auto timing = arrowTiming(arrowMode_))
            exchange_.setReplyTiming(*timing);
    }
    heldKey_ = &key;
    exchange_.send(key.code);
    if (key.repeat) {
        Timer1->setInterval(*key.repeat);
        exchange_.setReplyTiming(*key.timing);
    }
    Timer1->start();
}

void Controller::repeat() {
    if (!heldKey_)
        return;
    if (buttonStillDown_ && !buttonStillDown_()) {
        release(*heldKey_);
        return;
    }
    exchange_.send(heldKey_->code);
}

void Controller::release(const HoldKey& released) {
    heldKey_ = nullptr;
    Timer1->stop();
    exchange_.release();
    if (released.isDigitalZoom) {
        Timer1->setInterval(kDigitalZoomReleaseRepeat);
        arrowMode_ = kArrowModeDigitalZoom;
    }
}

void Controller::releaseHeld() {
    if (heldKey_)
        release(*heldKey_);
}

void Controller::setHoldCheck(std::function<bool()> buttonStillDown) {
    buttonStillDown_ = std::move(buttonStillDown);
}

} // namespace tavo::commands
