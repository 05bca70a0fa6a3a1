#pragma once
// The maker's logo shown by Image1 and the program's icon, both drawn by code.
// Text drawing needs a QGuiApplication: call these after it exists.

#include <QIcon>
#include <QPainter>
#include <QPixmap>

namespace tavo::layout {

inline constexpr int kLogoWidthPx = 80;
inline constexpr int kLogoHeightPx = 26;

// "TAVO" in red capitals on the window's grey, 80 x 26 pixels.
QPixmap logoPixmap();

// A red rounded square with a white "T", from 16 x 16 to 256 x 256 pixels.
QIcon programIcon();

// Paints that icon into a size x size square at the painter's origin (for a
// scalable copy of it).
void paintProgramIcon(QPainter& painter, int size);

} // namespace tavo::layout
