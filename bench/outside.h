#pragma once
// Figures taken from outside the programs, on a real X server (Xvfb without
// a window manager), the way a user meets them: process start to visible
// window, memory, CPU and memory under an unsolicited 115200-baud stream,
// click to first byte on the wire, idle wake-ups and the hold-key repeat; the
// same start, memory and stream figures for CuteCom, interleaved with the
// panel's, and the floors (xmessage, a bare Xlib client) in the same run.

#include "bench/figures.h"

namespace tavo::bench {

struct OutsidePrograms {
    QString panel;
    QString cutecom;
    QString xmessage;
    QString qtWindow;  // an empty Qt window, the Qt floor
    QString modemShim; // preloaded into CuteCom, see pty_modem_shim.cpp
    QString self;      // this program, which also serves as the floor client
    QString workDir;   // logs and CuteCom's home
};

std::vector<Figure> outsideFigures(const OutsidePrograms& programs);

} // namespace tavo::bench
