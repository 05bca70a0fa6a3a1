#pragma once
// What the sending controls do to the exchange, without widgets: the one-shot
// senders with their timing classes, the typed frame of SEND, and the hold
// keys with their repeat timer Timer1, the arrow mode and the D.Zoom release
// rule. The window forwards its clicks, presses and releases here; the
// command line runs the same senders by name.

#include "commands/senders.h"
#include "exchange/exchange.h"

#include <QObject>
#include <QStringView>

#include <functional>

class QTimer;

namespace tavo::commands {

class Controller final : public QObject {
    Q_OBJECT
public:
    explicit Controller(link::Exchange& exchange, QObject* parent = nullptr);

    link::Exchange& exchange() const { return exchange_; }

    // No key held (the state at start).
    void reset();

    void sendOneShot(const OneShotSender& sender);
    // SEND: the long reply timing, then the text as typed, one byte per character.
    void sendTyped(QStringView text);

    // A hold key's press sends its frame and starts the repeat; its release
    // stops the repeat and ends the reply (see Exchange::release).
    void press(const HoldKey& key);
    void release(const HoldKey& released);
    // Releases the held key, if any: for when its own release cannot arrive.
    void releaseHeld();
    // Asked at each repeat tick whether the key's button is still down; when
    // it is not, the release went elsewhere and the key is released instead
    // of repeated. Unset, the key repeats until its release.
    void setHoldCheck(std::function<bool()> buttonStillDown);

    const HoldKey* heldKey() const { return heldKey_; }
    unsigned char heldKeyNumber() const { return heldKey_ ? heldKey_->number : 0; }
    unsigned char arrowMode() const { return arrowMode_; }
    QTimer& repeatTimer() const { return *Timer1; }

private:
    void repeat();

    link::Exchange& exchange_;
    QTimer* Timer1;
    const HoldKey* heldKey_ = nullptr;
    unsigned char arrowMode_ = 0;
    std::function<bool()> buttonStillDown_;
};

} // namespace tavo::commands
