#include "support/pty_rig.h"

#include "link/serial_control.h"

#include <QLabel>
#include <QTest>

namespace tavo::test {

PtyRig::PtyRig(const QString& com1Device, const QString& com2Device) {
    form = std::make_unique<panel::Form1>(
        std::make_unique<link::SerialControl>(),
        QStringList{com1Device.isEmpty() ? com1.devicePath() : com1Device,
                    com2Device.isEmpty() ? com2.devicePath() : com2Device});
    form->load();
    form->show();
}

QString PtyRig::text(const char* label) const {
    const auto* widget = find<QLabel>(label);
    return widget ? widget->text() : QStringLiteral("(no label %1)").arg(QLatin1String(label));
}

void PtyRig::click(const char* name) const {
    QTest::mouseClick(find<QWidget>(name), Qt::LeftButton);
}

} // namespace tavo::test
