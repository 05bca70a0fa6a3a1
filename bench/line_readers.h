#pragma once
// The floor of the CPU a stream costs: programs that do nothing with the
// bytes but read them, measured under the same stream as the panel. The bare
// one is a poll and read loop; the Qt one a QSerialPort whose readyRead
// reads everything, in Qt's event loop, as any Qt serial program does.

namespace tavo::bench {

// Both run until they are killed; non-zero when they cannot start.
int runBareReader(const char* device);
int runQtReader(int argc, char* argv[], const char* device);

} // namespace tavo::bench
