#pragma once
// One-line texts for the simulator's log: bytes with their control
// characters named, and what became of a received frame.

#include "simulator.h"

#include <QByteArrayView>
#include <QString>

namespace tavo::sim {

// "00<CR>", "<ACK>", "<0x8F>": printable ASCII as is, the rest named.
QString printable(QByteArrayView bytes);

// rx "CR0" -> "00<CR>"; a frame that was too long or got no answer says so.
QString describe(const Exchange& exchange);

} // namespace tavo::sim
