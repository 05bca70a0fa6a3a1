#include "panel/layout/logo.h"

#include "panel/layout/records.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>

namespace tavo::layout {
namespace {

constexpr QRgb kLogoRed = 0xE00000;
constexpr QRgb kUnderlineGrey = 0x808080;

// The lettering is a glyph outline scaled into a fixed box, so the logo keeps
// its proportions whatever sans-serif face the system supplies.
QPainterPath fittedText(const QString& text, const QRectF& box) {
    QFont font;
    font.setStyleHint(QFont::SansSerif);
    font.setFamily(QStringLiteral("Sans Serif"));
    font.setWeight(QFont::Black);
    font.setPixelSize(64);
    QPainterPath path;
    path.addText(0, 0, font, text);
    const QRectF bounds = path.boundingRect();
    QTransform fit;
    fit.translate(box.left(), box.top());
    fit.scale(box.width() / bounds.width(), box.height() / bounds.height());
    fit.translate(-bounds.left(), -bounds.top());
    return fit.map(path);
}

QPixmap iconImage(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    paintProgramIcon(painter, size);
    return pixmap;
}

} // namespace

void paintProgramIcon(QPainter& painter, int size) {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(kLogoRed));
    const qreal radius = size / 5.0;
    painter.drawRoundedRect(QRectF(0, 0, size, size), radius, radius);
    // A "T" of two bars, on a grid of eighths so that it stays crisp at 16 pixels.
    const int unit = size / 8;
    painter.setBrush(Qt::white);
    painter.drawRect(2 * unit, 2 * unit, 4 * unit, unit);
    painter.drawRect(size / 2 - unit / 2, 3 * unit, unit, 3 * unit);
}

QPixmap logoPixmap() {
    QPixmap pixmap(kLogoWidthPx, kLogoHeightPx);
    pixmap.fill(QColor(kWindowGrey));
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(fittedText(QStringLiteral("TAVO"), QRectF(4, 3, 72, 18)), QColor(kLogoRed));
    painter.fillRect(4, 23, 72, 1, QColor(kUnderlineGrey));
    return pixmap;
}

QIcon programIcon() {
    QIcon icon;
    // Menus take 16 and 32 pixels, docks and software centres up to 256.
    for (const int size : {16, 32, 48, 64, 128, 256})
        icon.addPixmap(iconImage(size));
    return icon;
}

} // namespace tavo::layout
