#pragma once
// Style sheets read dynamic properties only when a widget is polished: this makes a changed property of a
// widget, or of one of its descendants, take effect.

class QWidget;

namespace lumora {

void repolish(QWidget* widget);

} // namespace lumora
