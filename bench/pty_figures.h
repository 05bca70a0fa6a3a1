#pragma once
// Latency over a real pseudo-terminal, the window (offscreen) playing its
// part: a click on ON until its first byte is readable on the master side,
// and the last byte of a status reply written on the master until Label22
// shows its text; beside them the pseudo-terminal's own floor, a write
// becoming readable on the other side, measured in the same run.

#include "bench/figures.h"

namespace tavo::bench {

std::vector<Figure> ptyFigures();

} // namespace tavo::bench
