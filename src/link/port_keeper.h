#pragma once
// Which device the serial line is on, and keeping it open. The ports are
// numbered from 1, one per device given (COM1 and COM2 for the window, a
// single port for a program given one device); messages name a port
// "COM1 (/dev/ttyS0)", a program's single port by its path alone, and a port
// with no device named "COM1". Opening a port that fails leaves the line
// closed; switching to a port that fails chooses the other one for the next
// try. With an interval set, a line closed by a failed open or a lost device
// is tried again at that interval until it opens.

#include "link/serial_link.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <chrono>

namespace tavo::link {

class PortKeeper final : public QObject {
    Q_OBJECT
public:
    PortKeeper(SerialLink& line, QStringList devices, QObject* parent = nullptr);

    // Takes effect at the next open; an unknown number fails.
    bool choose(int number);
    int portNumber() const { return number_; }
    QString portName(int number) const;

    // Opens the chosen port (true when it already is open). False with
    // errorDescription(): "Cannot open COM1 (/dev/ttyS0): <cause>."
    bool open();
    // As a choice in the port panel: closes the line and opens port number;
    // on failure the other port is chosen, closed. An unknown number fails
    // and leaves the line as it is.
    bool switchTo(int number);
    QString errorDescription() const { return error_; }

    // Zero, the default, tries again only when asked.
    void reopenEvery(std::chrono::milliseconds interval);

Q_SIGNALS:
    void opened();
    // An open failed, for another cause than the one before (said once per
    // cause until the line opens or is lost).
    void openFailed(const QString& description);

private:
    void onDeviceLost();
    void scheduleReopen();

    SerialLink& line_;
    QStringList devices_;
    int number_ = 1;
    QString error_;
    QString lastReported_;
    QTimer reopen_;
};

} // namespace tavo::link
