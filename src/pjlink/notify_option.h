#pragma once
// The bridge's Class 2 options, checked before anything is opened: where
// notifications go besides the controllers it learns, and how often it
// polls the projector for them.

#include "pjlink/controllers.h"

#include <QString>

#include <chrono>
#include <variant>

namespace tavo::pjlink {

// ADDRESS[:PORT] as for --listen; the port defaults to 4352. An address of
// any interface, a broadcast (the limited one or that of a local network) or
// a multicast address is refused: notifications go to one controller each.
std::variant<Endpoint, QString> parseNotifyTarget(const QString& text);

// Milliseconds, 0 (no poll, no notifications) or 100 to 3600000.
std::variant<std::chrono::milliseconds, QString> parsePollPeriod(const QString& text);

} // namespace tavo::pjlink
