#pragma once
// The panel program tavo-control run as a technician runs it: offscreen or
// on a given X display, and as this user or another one. For the tests of
// what it prints and how it ends. A process still running at the end is
// killed.

#include <QProcess>
#include <QString>
#include <QStringList>

#include <optional>

#include <sys/types.h>

namespace tavo::test {

class PanelProcess {
public:
    // Offscreen, as this user, until told otherwise before start().
    explicit PanelProcess(const QStringList& arguments);
    ~PanelProcess();
    PanelProcess(const PanelProcess&) = delete;
    PanelProcess& operator=(const PanelProcess&) = delete;

    void useDisplay(const QString& display);
    void runAs(uid_t user, gid_t group);

    static QString programPath();

    bool start();
    qint64 pid() const { return process_.processId(); }
    // Waits until the standard error holds the text, or the program ends.
    bool waitForErrorOutput(const QString& text, int timeoutMs = 10000);
    QString errorOutput();
    void sendSignal(int signal);
    bool waitForEnd(int timeoutMs = 10000);
    QProcess& process() { return process_; }

private:
    QProcess process_;
    QString errorOutput_;
};

// The user "nobody", or nothing when this system has none.
struct OtherUser {
    uid_t uid;
    gid_t gid;
};
std::optional<OtherUser> unprivilegedUser();

// Waits until a port's lock file names the process: the port is open. (A
// lock file alone may be a stale one that the process is yet to take over.)
bool waitForLock(const QString& lockFile, qint64 pid, int timeoutMs = 10000);

// The id of a process that has ended: one started and waited for.
qint64 endedProcessId();

// A lock file as another program would leave it.
bool writeLockFile(const QString& path, const QByteArray& contents);

// An expected message with {device}, {lock} and {pid} filled in.
QString filledIn(QString text, const QString& device, const QString& lockFile, qint64 pid);

} // namespace tavo::test
