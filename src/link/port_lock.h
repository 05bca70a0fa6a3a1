#pragma once
// Qt Serial Port keeps a lock file for every device it has open
// (/var/lock/LCK..ttyUSB0; Debian links /var/lock to /run/lock). The file
// holds the owner's process id as text on its first line and goes when the
// port is closed. Here: where that file is, what it says, and its removal
// when the program ends without closing the port (exit() called from deep
// inside the toolkit, as when the display connection breaks).

#include <QString>

#include <optional>

namespace tavo::link {

// The lock file Qt Serial Port uses for a device, chosen as it chooses it: in
// the first lock directory that is readable and either holds the file already
// or can take a new one. Empty when no directory qualifies.
QString lockFilePath(const QString& device);

// The lock directories in the order they are tried, for messages.
QString lockDirectoriesText();

struct LockHolder {
    qint64 pid = 0;     // 0 when the first line names no process
    bool running = false;
    QString program;    // the running process's name, when it can be read
    QString fileOwner;  // the user who owns the lock file
};

// What a lock file says; nothing when there is no such file. Both Qt's
// format (pid, program, host on three lines) and the older one (the pid
// alone, padded with blanks) are read; anything else names no process.
std::optional<LockHolder> readLockFile(const QString& path);

// Lock files of ports open in this process: an exit handler (installed with
// the first entry) removes those still naming this process and prints their
// note. A port that is closed is forgotten.
void removeLockAtExit(const QString& path, const QString& note);
void forgetLockAtExit(const QString& path);

} // namespace tavo::link
