#include "ui/PresetDialogs.h"

#include "i18n/LanguageEngine.h"
#include "presets/PresetFiles.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace lumora {

void addOkCancel(QDialog& dialog, QBoxLayout& layout) {
    auto* row = new QHBoxLayout;
    auto* ok = new QPushButton(translatedText("Ok"), &dialog);
    ok->setObjectName(QStringLiteral("pushButton_Ok"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(translatedText("Cancel"), &dialog);
    cancel->setObjectName(QStringLiteral("pushButton_Cancel"));
    for (QPushButton* b : {ok, cancel})
        b->setCursor(Qt::PointingHandCursor);
    row->addStretch(1);
    row->addWidget(ok);
    row->addWidget(cancel);
    layout.addLayout(row);
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
}

PresetNameDialog::PresetNameDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("PresetNameDialog"));
    setWindowTitle(translatedText("CreationPreset"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(translatedText("ExplCreationPreset"), this));
    edit_ = new QLineEdit(this);
    edit_->setObjectName(QStringLiteral("lineEdit_PresetName"));
    edit_->setMaxLength(kPresetNameLimit + 1);
    edit_->setMinimumWidth(280);
    layout->addWidget(edit_);
    addOkCancel(*this, *layout);
}

QString PresetNameDialog::name() const {
    QString name = edit_->text().trimmed();
    // Preset files keep at most kPresetNameLimit bytes of a name: a longer one would not read back whole.
    while (name.toUtf8().size() > kPresetNameLimit)
        name.chop(name.size() > 1 && name.at(name.size() - 1).isLowSurrogate() ? 2 : 1);
    return name;
}

PresetChoiceDialog::PresetChoiceDialog(const char* titleKey, const char* labelKey, const QStringList& names,
                                       bool several, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("PresetChoiceDialog"));
    setWindowTitle(translatedText(titleKey));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(translatedText(labelKey), this));
    // A long list scrolls instead of growing past the screen.
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("scrollArea_PresetChoices"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    // On the dialog's own background, as the window's style sheet draws it.
    scroll->viewport()->setAutoFillBackground(false);
    auto* list = new QWidget(scroll);
    list->setAutoFillBackground(false);
    auto* column = new QVBoxLayout(list);
    auto* group = new QButtonGroup(this);
    group->setExclusive(!several);
    for (const QString& n : names) {
        QAbstractButton* b = several ? static_cast<QAbstractButton*>(new QCheckBox(n, list))
                                     : static_cast<QAbstractButton*>(new QRadioButton(n, list));
        b->setCursor(Qt::PointingHandCursor);
        group->addButton(b);
        column->addWidget(b);
        choices_ << b;
    }
    column->addStretch(1);
    scroll->setWidget(list);
    layout->addWidget(scroll, 1);
    if (!several && !choices_.isEmpty())
        choices_.first()->setChecked(true);
    addOkCancel(*this, *layout);
}

std::vector<int> PresetChoiceDialog::chosen() const {
    std::vector<int> indices;
    for (int i = 0; i < choices_.size(); ++i)
        if (choices_[i]->isChecked())
            indices.push_back(i);
    return indices;
}

} // namespace lumora
