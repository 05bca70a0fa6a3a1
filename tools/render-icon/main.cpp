// tavo-render-icon OUTDIR: writes OUTDIR/<w>x<h>/tavo-control.png for every
// size of the program's icon.
#include "panel/layout/logo.h"

#include <QDir>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: tavo-render-icon OUTDIR\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const QIcon icon = tavo::layout::programIcon();
    for (const QSize size : icon.availableSizes()) {
        const QString dir = out.filePath(QStringLiteral("%1x%2").arg(size.width()).arg(size.height()));
        const QString path = dir + QStringLiteral("/tavo-control.png");
        if (!QDir().mkpath(dir) || !icon.pixmap(size).save(path)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
