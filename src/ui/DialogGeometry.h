#pragma once
// Restores and stores a dialog's geometry in its settings group, keeping it on the current screen.

class QWidget;

namespace lumora {

void restoreDialogGeometry(QWidget& dialog, const char* group);
void storeDialogGeometry(const QWidget& dialog, const char* group);

} // namespace lumora
