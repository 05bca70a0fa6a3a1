#pragma once
// The window on two real pseudo-terminals through the serial layer, loaded
// and shown: the test plays the projector on the masters. A device given
// here replaces that port's pseudo-terminal (a missing device, a link).

#include "panel/form1.h"
#include "support/pseudo_terminal.h"
#include "support/warning_recorder.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace tavo::test {

struct PtyRig {
    PseudoTerminal com1;
    PseudoTerminal com2;
    WarningRecorder warnings;
    std::unique_ptr<panel::Form1> form;

    explicit PtyRig(const QString& com1Device = {}, const QString& com2Device = {});

    template <typename T> T* find(const char* name) const {
        return form->findChild<T*>(QLatin1String(name));
    }
    QString text(const char* label) const;
    bool portOpen() const { return form->serialPort().isOpen(); }
    // A frame through the window's send path, as Hyouji does it.
    void send(const QByteArray& code) { form->Hyouji(code + '\r', panel::Form1::kSend); }
    // A left click on a control of the window.
    void click(const char* name) const;
};

} // namespace tavo::test
