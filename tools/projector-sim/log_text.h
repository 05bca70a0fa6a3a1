#pragma once
// One-line texts for the simulator's log: bytes with their control
// characters named, and what became of a received frame.

#include "exchange/printable.h"
#include "simulator.h"

#include <QByteArrayView>
#include <QString>

namespace tavo::sim {

using link::printable;

// rx "CR0" -> "00<CR>"; a frame that was too long or got no answer says so.
QString describe(const Exchange& exchange);

} // namespace tavo::sim
