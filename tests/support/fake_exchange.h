#pragma once
// The exchange over the in-memory serial link, port open, for tests that
// drive it without a window; and a timer's tick on demand, for tests where
// the order of events matters more than the time.

#include "exchange/exchange.h"
#include "support/fake_serial.h"

#include <QMetaObject>
#include <QTimer>

#include <memory>

namespace tavo::test {

// A timer's tick, at once and in order with everything else.
inline void tick(QTimer& timer) {
    QMetaObject::invokeMethod(&timer, "timeout", Qt::DirectConnection);
}

struct FakeExchange {
    FakeSerial* port;
    std::unique_ptr<link::Exchange> exchange;

    FakeExchange() {
        auto fake = std::make_unique<FakeSerial>();
        port = fake.get();
        exchange = std::make_unique<link::Exchange>(std::move(fake));
        port->open();
    }
};

} // namespace tavo::test
