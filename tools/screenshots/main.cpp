// tavo-screenshots OUTDIR: renders the window at the outer heights 5350, 6645,
// 7200 and 9100 twips to OUTDIR/form-<height>.png, reached the way a user
// reaches them (Ctrl+K, the logo double-click, the data-panel toggle).
#include "link/pseudo_terminal.h"
#include "link/serial_control.h"
#include "panel/form1.h"
#include "panel/warning.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <cstdio>

#include <unistd.h>

namespace {

bool save(QWidget& form, const QDir& dir, int height) {
    const QString path = dir.filePath(QStringLiteral("form-%1.png").arg(height));
    if (!form.grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QDir dir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
    if (!dir.exists() && !QDir().mkpath(dir.path()))
        return 1;

    const tavo::link::PseudoTerminalEnds line = tavo::link::openPseudoTerminal();
    if (!line.isOpen()) {
        std::fprintf(stderr, "%s\n", qPrintable(line.error));
        return 1;
    }

    tavo::panel::setWarningFunction([](QWidget*, const QString&, const QString& text) {
        std::fprintf(stderr, "warning: %s\n", qPrintable(text));
    });
    tavo::panel::Form1 form(std::make_unique<tavo::link::SerialControl>(),
                            {line.devicePath, QStringLiteral("/nonexistent")});
    form.load();
    form.show();
    if (!QTest::qWaitForWindowExposed(&form))
        return 1;

    // One exchange, so the data panel has something to show.
    QTest::mouseClick(form.findChild<QPushButton*>(QStringLiteral("Command44")), Qt::LeftButton);
    if (::write(line.master.get(), "00\r", 3) != 3)
        return 1;
    const bool decoded = QTest::qWaitFor(
        [&] { return !form.findChild<QLabel*>(QStringLiteral("Label22"))->text().isEmpty(); });
    if (!decoded)
        std::fprintf(stderr, "the status reply was not decoded\n");

    auto* toggle = form.findChild<QPushButton*>(QStringLiteral("Command34"));
    auto* logo = form.findChild<QLabel*>(QStringLiteral("Image1"));
    bool ok = save(form, dir, tavo::panel::Form1::kCompactHeight);
    QTest::keyClick(form.windowHandle(), Qt::Key_K, Qt::ControlModifier);
    ok = save(form, dir, tavo::panel::Form1::kServiceHeight) && ok;
    QTest::mouseDClick(logo, Qt::LeftButton);
    ok = save(form, dir, tavo::panel::Form1::kFullHeight) && ok;
    toggle->click();
    toggle->click();
    ok = save(form, dir, tavo::panel::Form1::kDataPanelHeight) && ok;
    return ok ? 0 : 1;
}
