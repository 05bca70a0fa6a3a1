#pragma once
// Turns the layout records into widgets on the window: geometry (twips to
// pixels, each edge rounded so that neighbours touching in twips touch in
// pixels), captions, flat colours, fonts, visibility, option groups, the
// stacking order and the tab chain. Lines are painted by the window itself.

#include "panel/layout/records.h"

#include <QFont>
#include <QHash>
#include <QPoint>
#include <QRect>
#include <QString>

class QWidget;

namespace tavo::layout {

inline constexpr int kTwipsPerPixel = 15;

// One edge or coordinate in twips to device-independent pixels.
int twipsToPixels(int twips);

// The record's outer corner in window client twips (its containers' offsets added).
QPoint absoluteTwips(const ControlRecord& record);

// The record's geometry in pixels relative to its parent widget.
QRect pixelGeometry(const ControlRecord& record);

// The Qt font for a font record, with the Gothic faces substituted by installed ones.
QFont qtFont(const FontSpec& spec);

// Registers the substitutes for the two Gothic faces; call once before building.
void installFontSubstitutions();

const ControlRecord* findRecord(std::string_view name);

struct BuiltLayout {
    QHash<QString, QWidget*> widgets; // by objectName
    QWidget* operator[](const QString& name) const { return widgets.value(name); }
};

// Creates every control of controlRecords() as a child of form.
BuiltLayout buildLayout(QWidget& form);

} // namespace tavo::layout
