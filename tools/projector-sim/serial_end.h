#pragma once
// The simulator's end of the cable: either the master side of a fresh
// pseudo-terminal, whose slave device the panel opens, or a real serial
// device. Both are raw, 8N1, non-blocking.
//
// Of a pseudo-terminal the simulator keeps the slave open itself, never
// reading it: while any slave descriptor is open the master does not see a
// hang-up, so the panel may close and reopen the device as often as it likes.

#include "link/pseudo_terminal.h"

#include <QString>

namespace tavo::sim {

using link::UniqueFd;

struct SerialEnd {
    UniqueFd io;        // read and written by the simulator
    UniqueFd keepOpen;  // the pseudo-terminal's slave; unused for a device
    QString devicePath; // what the panel opens
    QString error;      // why opening failed; empty on success

    bool isOpen() const { return io.isValid(); }
};

// A fresh pseudo-terminal: its master for the simulator, its slave kept open.
SerialEnd openPseudoTerminal();

// baud is 19200 or 9600.
SerialEnd openSerialDevice(const QString& path, int baud);

} // namespace tavo::sim
