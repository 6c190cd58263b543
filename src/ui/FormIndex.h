#pragma once
// The form's objects by name, collected once, and the one function that applies layout cells to them.

#include "ui/WorkflowTables.h"

#include <QHash>
#include <QObject>
#include <QStringList>

class QWidget;

namespace lumora {

class FormIndex {
public:
    // Indexes every named widget, action and menu below `root`.
    explicit FormIndex(QWidget& root);

    QObject* find(const char* name) const { return objects_.value(QString::fromLatin1(name)); }
    // Applies the cells whose modes include `mode` (0 to 3), in order.
    void apply(const std::vector<LayoutCell>& cells, int mode) const;
    // Names in `cells` that the form lacks or that have the wrong kind for their aspect.
    QStringList unresolved(const std::vector<LayoutCell>& cells) const;

private:
    QHash<QString, QObject*> objects_;
};

} // namespace lumora
