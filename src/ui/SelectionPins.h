#pragma once
// The colours that tell picked frames apart: each selection widget takes a serial number, its colour is entry
// (serial mod 15) of one table, and its timeline pin is the pin picture tinted by that colour.

#include <QColor>
#include <QImage>

class QLabel;
class QWidget;

namespace lumora {

inline constexpr int kSelectionColourCount = 15;

QColor selectionColour(int serial);

// Adds the colour's red, green and blue to every pixel that is not fully transparent, each channel capped at
// 255; alpha stays.
QImage tintedPin(const QImage& pin, const QColor& colour);

// A hidden pin label for `serial` on the timeline panel `parent`, carrying the "Pin" property.
QLabel* makePinLabel(int serial, QWidget* parent);

} // namespace lumora
