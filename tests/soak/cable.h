#pragma once
// One COM port's cable for the soak run: a pseudo-terminal whose slave the
// panel opens through a fixed path (a symbolic link, as a USB adapter comes
// back under the same name), the virtual projector at the far end, and a tap
// in between that hands on every frame the panel puts on the wire.
//
// Unplugging closes the pseudo-terminal (the panel sees its device vanish)
// and removes the link; plugging in again makes a fresh pseudo-terminal and
// points the link at it. The projector itself lives on across both, its
// state intact, behind a socket pair.

#include "projector-sim/server.h"

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <QString>

#include <memory>

namespace tavo::soak {

class Cable final : public QObject {
    Q_OBJECT
public:
    // The longest frame the tap accepts: longer, and the panel sent junk.
    static constexpr qsizetype kMaxFrame = 4096;

    explicit Cable(QString devicePath, QObject* parent = nullptr);
    ~Cable() override;

    // Starts the projector and plugs the line in; why not, when that fails.
    QString start(sim::ProjectorConfig projector, sim::Behaviour behaviour);

    const QString& devicePath() const { return devicePath_; }
    bool isPluggedIn() const { return master_.isValid(); }

    // Why not, when no pseudo-terminal could be made.
    QString plugIn();
    void unplug();

Q_SIGNALS:
    // A whole frame from the panel, carriage return included.
    void frameOnWire(const QByteArray& frame);
    // Something that must not happen: the projector failed, or the panel sent
    // a frame without end.
    void problem(const QString& what);

private:
    void readPanel();
    void readProjector();
    void writeToPanel(QByteArrayView bytes);
    QString relinkDevice(const QString& target);

    QString devicePath_;
    link::UniqueFd master_;
    link::UniqueFd slave_; // kept open, so that the panel closing its side is no hang-up
    std::unique_ptr<QSocketNotifier> panelReadable_;
    link::UniqueFd projectorSide_;
    std::unique_ptr<QSocketNotifier> projectorReadable_;
    std::unique_ptr<sim::Server> server_;
    QByteArray partialFrame_;
};

} // namespace tavo::soak
