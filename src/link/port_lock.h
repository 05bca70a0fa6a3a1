#pragma once
// Qt Serial Port keeps a lock file for every device it has open
// (/var/lock/LCK..ttyUSB0; Debian links /var/lock to /run/lock). The file
// holds the owner's process id and goes when the port is closed. Here: where
// that file is, what it says in any of the common forms, and its removal
// when the program ends without closing the port (exit() called from deep
// inside the toolkit, as when the display connection breaks).
//
// Other serial programs lock a device in other ways, and Qt honours none of
// them: a lock file with the pid in binary, as 10 ASCII digits, or as
// "pid name user"; or flock(2) on the device itself. claimDevice(), before
// the port opens, honours all of them and never takes over a lock whose
// process lives; lockOpenDevice() flocks the device while it is open. Locks are named
// after the device's canonical path, so that a link (/dev/serial/by-id/...)
// and its target lock the same file.

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
    qint64 pid = 0; // 0 when the first line names no process
    bool running = false;
    QString program;   // the running process's name, when it can be read
    QString fileOwner; // the user who owns the lock file
};

// What a lock file says; nothing when there is no such file. Qt's form (pid,
// program, host on three lines), the pid alone as ASCII (10 digits padded
// with blanks), "pid name user" on one line and the pid as a 4-byte binary
// number are read; anything else names no process.
std::optional<LockHolder> readLockFile(const QString& path);
// How long to wait before a second look at a lock whose process has ended:
// long enough for a process that is ending to take its lock file along.
inline constexpr int kLockRecheckMicroseconds = 50'000;

// "the device is in use by NAME (process PID), which holds its lock file ...".
QString heldByText(const LockHolder& holder, const QString& lockFile);

// The device's path with every link resolved; the path itself when it does
// not exist.
QString canonicalDevice(const QString& device);

// "the device is in use by another program, which holds a flock() on it; ...".
QString flockedText();

// For a device given by its canonical path, before opening it: which other
// program holds it, in plain words; empty when it is free, that is when no
// live process holds its lock file (a lock whose process has ended, found so
// twice, is removed when it may be) and no other program has it flock()ed.
QString otherProgramsClaim(const QString& device);

// Once open: flock()s the port's descriptor for as long as it stays open;
// false when another program took the device first.
bool lockOpenDevice(int descriptor);

// Lock files of ports open in this process: an exit handler (installed with
// the first entry) removes those still naming this process and prints their
// note. A port that is closed is forgotten.
void removeLockAtExit(const QString& path, const QString& note);
void forgetLockAtExit(const QString& path);

} // namespace tavo::link
