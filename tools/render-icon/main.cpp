// tavo-render-icon OUTDIR: writes OUTDIR/<w>x<h>/tavo-control.png for every
// size of the program's icon, and OUTDIR/scalable/tavo-control.svg.
#include "panel/layout/logo.h"

#include <QDir>
#include <QGuiApplication>
#include <QSvgGenerator>

#include <cstdio>

namespace {

// The SVG's drawing size; any size is as sharp, this one is the largest PNG's.
constexpr int kScalableSize = 256;

bool writeScalable(const QString& path) {
    QSvgGenerator svg;
    svg.setFileName(path);
    svg.setSize(QSize(kScalableSize, kScalableSize));
    svg.setViewBox(QRect(0, 0, kScalableSize, kScalableSize));
    svg.setTitle(QStringLiteral("tavo-control"));
    QPainter painter;
    if (!painter.begin(&svg))
        return false;
    tavo::layout::paintProgramIcon(painter, kScalableSize);
    return painter.end();
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: tavo-render-icon OUTDIR\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const QIcon icon = tavo::layout::programIcon();
    for (const QSize size : icon.availableSizes()) {
        const QString dir =
            out.filePath(QStringLiteral("%1x%2").arg(size.width()).arg(size.height()));
        const QString path = dir + QStringLiteral("/tavo-control.png");
        if (!QDir().mkpath(dir) || !icon.pixmap(size).save(path)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    const QString scalable = out.filePath(QStringLiteral("scalable/tavo-control.svg"));
    if (!QDir().mkpath(out.filePath(QStringLiteral("scalable"))) || !writeScalable(scalable)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(scalable));
        return 1;
    }
    return 0;
}
