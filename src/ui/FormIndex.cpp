#include "ui/FormIndex.h"

#include <QAction>
#include <QMenu>
#include <QStackedWidget>
#include <QWidget>

namespace lumora {

FormIndex::FormIndex(QWidget& root) {
    for (QObject* o : root.findChildren<QObject*>()) {
        const bool kind = o->isWidgetType() || qobject_cast<QAction*>(o);
        if (kind && !o->objectName().isEmpty() && !objects_.contains(o->objectName()))
            objects_.insert(o->objectName(), o);
    }
}

void FormIndex::apply(const std::vector<LayoutCell>& cells, int mode) const {
    const unsigned bit = modeBit(mode);
    for (const LayoutCell& cell : cells) {
        if (!(cell.modes & bit))
            continue;
        QObject* target = find(cell.target);
        if (!target)
            continue;
        switch (cell.aspect) {
        case LayoutCell::Page:
            if (auto* stack = qobject_cast<QStackedWidget*>(target))
                if (auto* page = qobject_cast<QWidget*>(find(cell.page)))
                    stack->setCurrentWidget(page);
            break;
        case LayoutCell::Visible:
            if (auto* menu = qobject_cast<QMenu*>(target))
                menu->menuAction()->setVisible(cell.on);
            else if (auto* action = qobject_cast<QAction*>(target))
                action->setVisible(cell.on);
            else if (auto* widget = qobject_cast<QWidget*>(target))
                widget->setVisible(cell.on);
            break;
        case LayoutCell::Enabled:
            // A menu is greyed out through its entry in the menu bar.
            if (auto* menu = qobject_cast<QMenu*>(target))
                menu->menuAction()->setEnabled(cell.on);
            else if (auto* action = qobject_cast<QAction*>(target))
                action->setEnabled(cell.on);
            else if (auto* widget = qobject_cast<QWidget*>(target))
                widget->setEnabled(cell.on);
            break;
        }
    }
}

QStringList FormIndex::unresolved(const std::vector<LayoutCell>& cells) const {
    QStringList names;
    for (const LayoutCell& cell : cells) {
        QObject* target = find(cell.target);
        bool ok = target != nullptr;
        if (ok && cell.aspect == LayoutCell::Page) {
            auto* stack = qobject_cast<QStackedWidget*>(target);
            auto* page = qobject_cast<QWidget*>(find(cell.page));
            ok = stack && page && stack->indexOf(page) >= 0;
        }
        if (!ok)
            names << QString::fromLatin1(cell.target) +
                         (cell.page ? QStringLiteral("/") + cell.page : QString());
    }
    return names;
}

} // namespace lumora
