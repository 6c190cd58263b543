#include "ui/AccessibleNames.h"

#include <QAbstractButton>
#include <QLabel>
#include <QSlider>

namespace lumora {

void nameWordlessControls(QWidget* root) {
    for (QAbstractButton* button : root->findChildren<QAbstractButton*>())
        if (button->text().trimmed().isEmpty() && !button->toolTip().isEmpty())
            button->setAccessibleName(button->toolTip());
    for (QSlider* slider : root->findChildren<QSlider*>()) {
        QString name = slider->toolTip();
        if (name.isEmpty()) {
            // The forms pair "horizontalSlider_X" with its caption "label_X".
            const QString caption =
                QStringLiteral("label_") + slider->objectName().section(QLatin1Char('_'), 1);
            if (const auto* label = root->findChild<QLabel*>(caption))
                name = label->text();
        }
        if (!name.isEmpty())
            slider->setAccessibleName(name);
    }
}

} // namespace lumora
