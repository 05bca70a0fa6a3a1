#pragma once
// The PJLink bridge under attack from loopback: a good client's POWR ?
// round trip alone, under a flooding client, under 64 idle unauthenticated
// connections and under 60 busy clients, and the wrong digests one client
// gets answered per second. Programs of the build tree, the virtual
// projector behind the bridge.

#include "bench/figures.h"

#include <QString>

#include <vector>

namespace tavo::bench {

std::vector<Figure> bridgeAttackFigures(const QString& buildDir);

} // namespace tavo::bench
