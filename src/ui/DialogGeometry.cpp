#include "ui/DialogGeometry.h"

#include "app/Settings.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace lumora {

void restoreDialogGeometry(QWidget& dialog, const char* group) {
    const settings::DialogGeometry stored = settings::readDialogGeometry(group);
    QScreen* screen = dialog.screen() ? dialog.screen() : QGuiApplication::primaryScreen();
    const QSize screenSize = screen ? screen->size() : QSize(1920, 1080);
    const QRect placed = settings::placeDialog(stored, screenSize);
    if (stored.position)
        dialog.move(placed.topLeft());
    dialog.resize(placed.size());
}

void storeDialogGeometry(const QWidget& dialog, const char* group) {
    settings::writeDialogGeometry(group, QRect(dialog.pos(), dialog.size()));
}

} // namespace lumora
