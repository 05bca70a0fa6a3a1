#pragma once
// The command-line tool and the network bridge, each started from the build
// tree with the bench playing the projector on a pseudo-terminal (it answers
// at once, so that what is left is the programs' own time):
// - one `tavo-ctl status`, process start to exit, minus the time the
//   projector took to answer; beside it `tavo-ctl --version`, the start and
//   exit of the program with no port and no frame;
// - tavo-pjlink's added latency per request over loopback (127.0.0.1): the
//   round trip of "%1POWR ?" minus the serial exchange and the wait for the
//   line behind other clients, both taken from the bridge's own log line for
//   that request, with 1 and with 50 clients asking at once; and how busy the
//   50 clients keep the serial line.

#include "bench/figures.h"

namespace tavo::bench {

std::vector<Figure> commandLineAndBridgeFigures(const QString& buildDir);

} // namespace tavo::bench
