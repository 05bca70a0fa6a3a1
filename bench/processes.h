#pragma once
// Programs started and watched from outside: spawning with a chosen
// environment, stopping, and what /proc tells about them (memory, CPU time,
// context switches, open files).

#include <QString>
#include <QStringList>

#include <sys/types.h>

namespace tavo::bench {

struct Launch {
    QStringList command;  // program and arguments
    QStringList setEnv;   // NAME=value, added to this process's environment
    QStringList unsetEnv; // names removed from it
    QString logFile;      // standard output and error go here
};

// Starts the program; exits the bench with a message naming the cause when
// it cannot be started.
pid_t spawn(const Launch& launch);
// Asks the program to end, and kills it when it has not after two seconds.
void stop(pid_t pid);
bool isRunning(pid_t pid);

// Resident memory in MB.
double residentMb(pid_t pid);
// CPU time of all its threads so far, in seconds.
double cpuSeconds(pid_t pid);
// Voluntary and involuntary context switches of all its threads so far.
long contextSwitches(pid_t pid);
// Whether one of its open files is the given path.
bool hasOpen(pid_t pid, const QString& path);

} // namespace tavo::bench
