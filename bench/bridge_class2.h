#pragma once
// The bridge as a PJLink Class 2 projector, at the default poll period
// (5 s), all three at once, each with bridges of its own:
// - status notification delay: ten bridges, each in front of a virtual
//   projector that is on; a client mutes and unmutes picture and sound
//   through the bridge ("%1AVMT 31" / "30") at a random moment of the poll
//   period, and the figure runs from the bridge's OK (the projector has
//   just changed) to the "%2AVMT=" datagram at the controller the bridge was
//   given with --notify;
// - the serial line's busy share from polling alone: a bridge with no
//   client, its cable run through the bench (two pseudo-terminals, every
//   byte passed on and timed): busy from a frame's first byte to its
//   reply's carriage return, plus the frame's own time at 19200 baud, which
//   a pseudo-terminal does not take;
// - SRCH to ACKN: a search datagram from a loopback address until the
//   answer is in, from addresses in turn at the pace the bridge's search
//   budget allows.

#include "bench/figures.h"

namespace tavo::bench {

std::vector<Figure> class2Figures(const QString& buildDir);

} // namespace tavo::bench
