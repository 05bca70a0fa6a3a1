#pragma once
// The floor of click-to-wire: the least an X client can do between a click
// and a byte on a serial line. A bare Xlib window at the screen's top-left
// corner that writes one byte to the device on every button release; the
// bench clicks it exactly as it clicks the panel.

namespace tavo::bench {

constexpr int kFloorWindowSize = 200;

// Runs until it is killed; returns non-zero when it cannot start.
int runFloorClient(const char* device);

} // namespace tavo::bench
