#include "bench/processes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tavo::bench {

namespace {

QByteArray readProcFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList taskDirectories(pid_t pid) {
    const QString base = QStringLiteral("/proc/%1/task").arg(pid);
    QStringList dirs;
    for (const QString& task : QDir(base).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        dirs.append(base + u'/' + task);
    return dirs;
}

// The value of a "Name:   value kB" line of a status file.
long statusField(const QByteArray& status, const QByteArray& name) {
    for (const QByteArray& line : status.split('\n')) {
        if (line.startsWith(name + ':'))
            return line.mid(name.size() + 1).trimmed().split(' ').front().toLong();
    }
    return 0;
}

std::vector<QByteArray> environmentFor(const Launch& launch) {
    std::vector<QByteArray> env;
    for (char** entry = environ; *entry; ++entry) {
        const QByteArray variable(*entry);
        const QString name = QString::fromLocal8Bit(variable.left(variable.indexOf('=')));
        const bool replaced =
            std::any_of(launch.setEnv.begin(), launch.setEnv.end(),
                        [&](const QString& set) { return set.startsWith(name + u'='); });
        if (!replaced && !launch.unsetEnv.contains(name))
            env.push_back(variable);
    }
    for (const QString& set : launch.setEnv)
        env.push_back(set.toLocal8Bit());
    return env;
}

} // namespace

pid_t spawn(const Launch& launch) {
    std::vector<QByteArray> args;
    for (const QString& arg : launch.command)
        args.push_back(arg.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::vector<QByteArray> env = environmentFor(launch);
    std::vector<char*> envp;
    for (QByteArray& variable : env)
        envp.push_back(variable.data());
    envp.push_back(nullptr);
    const QByteArray log =
        launch.logFile.isEmpty() ? QByteArray("/dev/null") : launch.logFile.toLocal8Bit();

    // Only async-signal-safe calls between fork and exec: the message is made now.
    const QByteArray cannotStart = "tavo-bench: cannot start " + args.front() + '\n';
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int out = ::open(log.constData(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (out >= 0) {
            ::dup2(out, STDOUT_FILENO);
            ::dup2(out, STDERR_FILENO);
        }
        ::execve(argv.front(), argv.data(), envp.data());
        [[maybe_unused]] const auto written =
            ::write(STDERR_FILENO, cannotStart.constData(), std::size_t(cannotStart.size()));
        ::_exit(127);
    }
    if (pid < 0) {
        std::fprintf(stderr, "tavo-bench: cannot start %s: %s\n", argv.front(),
                     std::strerror(errno));
        std::exit(1);
    }
    return pid;
}

bool isRunning(pid_t pid) {
    int status = 0;
    return ::waitpid(pid, &status, WNOHANG) == 0;
}

void stop(pid_t pid) {
    ::kill(pid, SIGTERM);
    for (int i = 0; i < 200; ++i) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

double residentMb(pid_t pid) {
    return double(statusField(readProcFile(QStringLiteral("/proc/%1/status").arg(pid)), "VmRSS")) /
           1024.0;
}

double cpuSeconds(pid_t pid) {
    // The first field of schedstat is the time on the CPU in nanoseconds,
    // far finer than the clock ticks of /proc/PID/stat.
    double total = 0;
    for (const QString& task : taskDirectories(pid))
        total += readProcFile(task + QStringLiteral("/schedstat")).split(' ').front().toDouble();
    return total / 1e9;
}

long contextSwitches(pid_t pid) {
    long total = 0;
    for (const QString& task : taskDirectories(pid)) {
        const QByteArray status = readProcFile(task + QStringLiteral("/status"));
        total += statusField(status, "voluntary_ctxt_switches") +
                 statusField(status, "nonvoluntary_ctxt_switches");
    }
    return total;
}

bool hasOpen(pid_t pid, const QString& path) {
    const QString base = QStringLiteral("/proc/%1/fd").arg(pid);
    for (const QString& fd : QDir(base).entryList(QDir::System | QDir::NoDotAndDotDot)) {
        if (QFileInfo(base + u'/' + fd).symLinkTarget() == path)
            return true;
    }
    return false;
}

} // namespace tavo::bench
