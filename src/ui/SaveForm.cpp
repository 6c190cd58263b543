#include "ui/SaveForm.h"

#include "export/ExportFormats.h"
#include "i18n/LanguageEngine.h"
#include "ui/PresetDialogs.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace lumora {

SaveForm::SaveForm(QWidget* parent, bool showExtensionChoice) : QDialog(parent) {
    setObjectName(QStringLiteral("SaveForm"));
    setWindowTitle(translatedText("SavingOptions"));
    if (parent)
        setWindowIcon(parent->windowIcon());
    auto* grid = new QGridLayout(this);
    extensionLabel_ = new QLabel(translatedText("OutputExtension"), this);
    extension_ = new QComboBox(this);
    extension_->setObjectName(QStringLiteral("comboBox_OutputExtension"));
    auto* depthLabel = new QLabel(translatedText("OutputDepth"), this);
    depth_ = new QComboBox(this);
    depth_->setObjectName(QStringLiteral("comboBox_OutputDepth"));
    grid->addWidget(extensionLabel_, 0, 0);
    grid->addWidget(extension_, 0, 1);
    grid->addWidget(depthLabel, 1, 0);
    grid->addWidget(depth_, 1, 1);

    auto* buttons = new QVBoxLayout;
    addOkCancel(*this, *buttons);
    grid->addLayout(buttons, 2, 0, 1, 2);
    connect(extension_, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &SaveForm::updateOutputDepthComboBox);

    extensionLabel_->setVisible(showExtensionChoice);
    extension_->setVisible(showExtensionChoice);
}

void SaveForm::setDepthChoices(const std::vector<int>& depths, int defaultDepth) {
    depth_->clear();
    for (int d : depths) {
        depth_->addItem(QStringLiteral("%1 bits").arg(d), d);
        if (d == defaultDepth)
            depth_->setCurrentIndex(depth_->count() - 1);
    }
}

void SaveForm::setFormatChoices(int current) {
    const QSignalBlocker block(extension_);
    extension_->clear();
    const auto& formats = exportFormats();
    for (int i = 0; i < kExportFormatCount; ++i)
        extension_->addItem(translatedText(formats[std::size_t(i)].labelKey), i);
    extension_->setCurrentIndex(current >= 0 && current < kExportFormatCount ? current : 0);
    updateOutputDepthComboBox();
}

void SaveForm::updateOutputDepthComboBox() {
    const int format = extension_->currentData().toInt();
    if (format < 0 || format >= kExportFormatCount)
        return;
    const ExportFormat& f = exportFormats()[std::size_t(format)];
    setDepthChoices(f.offeredDepths(), f.defaultDepth());
}

int SaveForm::chosenFormat() const {
    return extension_->currentData().toInt();
}

int SaveForm::chosenDepth() const {
    return depth_->currentData().toInt();
}

} // namespace lumora
