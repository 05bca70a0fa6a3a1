#include "support/panel_process.h"

#include "link/port_lock.h"

#include <QCoreApplication>
#include <QFile>
#include <QTest>

#include <csignal>

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

namespace tavo::test {

PanelProcess::PanelProcess(const QStringList& arguments) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process_.setProcessEnvironment(environment);
    process_.setProgram(programPath());
    process_.setArguments(arguments);
    runAs(::geteuid(), ::getegid());
}

void PanelProcess::useDisplay(const QString& display) {
    QProcessEnvironment environment = process_.processEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("DISPLAY"), display);
    process_.setProcessEnvironment(environment);
}

void PanelProcess::runAs(uid_t user, gid_t group) {
    const bool otherUser = user != ::geteuid();
    // Runs in the child before exec: only async-signal-safe calls. The stop
    // signals start at their defaults whatever the test runner ignores.
    process_.setChildProcessModifier([otherUser, user, group] {
        for (const int signal : {SIGINT, SIGTERM, SIGHUP})
            std::signal(signal, SIG_DFL);
        if (otherUser &&
            (::setgroups(0, nullptr) != 0 || ::setgid(group) != 0 || ::setuid(user) != 0))
            ::_exit(126);
    });
}

PanelProcess::~PanelProcess() {
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

QString PanelProcess::programPath() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../tavo-control");
}

bool PanelProcess::start() {
    process_.start();
    return process_.waitForStarted(10000);
}

QString PanelProcess::errorOutput() {
    errorOutput_ += QString::fromLocal8Bit(process_.readAllStandardError());
    return errorOutput_;
}

bool PanelProcess::waitForErrorOutput(const QString& text, int timeoutMs) {
    return QTest::qWaitFor(
               [&] {
                   return errorOutput().contains(text) || process_.state() == QProcess::NotRunning;
               },
               timeoutMs) &&
           errorOutput().contains(text);
}

void PanelProcess::sendSignal(int signal) {
    ::kill(static_cast<pid_t>(process_.processId()), signal);
}

bool PanelProcess::waitForEnd(int timeoutMs) {
    const bool ended = process_.waitForFinished(timeoutMs);
    errorOutput();
    return ended;
}

std::optional<OtherUser> unprivilegedUser() {
    const passwd* entry = ::getpwnam("nobody");
    if (!entry)
        return std::nullopt;
    return OtherUser{entry->pw_uid, entry->pw_gid};
}

bool waitForLock(const QString& lockFile, qint64 pid, int timeoutMs) {
    return QTest::qWaitFor(
        [&] {
            const auto holder = link::readLockFile(lockFile);
            return holder && holder->pid == pid;
        },
        timeoutMs);
}

qint64 endedProcessId() {
    QProcess done;
    done.start(QStringLiteral("true"), {});
    done.waitForStarted(5000);
    const qint64 pid = done.processId();
    done.waitForFinished(5000);
    return pid;
}

bool writeLockFile(const QString& path, const QByteArray& contents) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(contents) == contents.size();
}

QString filledIn(QString text, const QString& device, const QString& lockFile, qint64 pid) {
    return text.replace(QLatin1String("{device}"), device)
        .replace(QLatin1String("{lock}"), lockFile)
        .replace(QLatin1String("{pid}"), QString::number(pid));
}

} // namespace tavo::test
