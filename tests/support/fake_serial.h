#pragma once
// An in-memory serial link for window tests that need no real device: it
// records every write, can refuse to open, and delivers bytes as if they had
// arrived on the line.

#include "link/serial_link.h"

#include <QList>
#include <QSet>

namespace tavo::test {

class FakeSerial final : public link::SerialLink {
    Q_OBJECT
public:
    using SerialLink::SerialLink;

    void setDevice(const QString& device, const QString& name) override;
    bool setSettings(const QString& settings) override;
    bool isOpen() const override { return open_; }
    bool open() override;
    void close() override { open_ = false; }
    bool write(const QByteArray& bytes) override;
    QByteArray readAll() override;
    QString errorDescription() const override { return error_; }

    // Test side.
    void receive(const QByteArray& bytes); // queues bytes and notifies
    void loseDevice();                     // as an adapter being pulled
    QSet<QString> failingPorts;            // names of ports that cannot be opened
    bool refuseWrites = false;             // as a device that takes no more bytes
    QList<QByteArray> written;             // one entry per write
    QByteArray wire() const;               // all written bytes in order
    QString settings;
    int opens = 0;
    int attempts = 0; // opens tried, failed ones too

private:
    QString name_ = QStringLiteral("COM1"); // until named
    bool open_ = false;
    QByteArray waiting_;
    QString error_;
};

} // namespace tavo::test
