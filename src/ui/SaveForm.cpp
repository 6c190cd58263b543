#include "ui/SaveForm.h"

#include "export/ExportFormats.h"
#include "i18n/LanguageEngine.h"
#include "ui/PresetDialogs.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QSpinBox>
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
    peakLabel_ = new QLabel(translatedText("PeakBrightness"), this);
    peak_ = new QSpinBox(this);
    peak_->setObjectName(QStringLiteral("spinBox_PeakBrightness"));
    peak_->setRange(kMinPeakNits, kMaxPeakNits);
    peak_->setSingleStep(100);
    peak_->setSuffix(QStringLiteral(" cd/m\u00b2"));
    transferLabel_ = new QLabel(translatedText("HdrTransfer"), this);
    transfer_ = new QComboBox(this);
    transfer_->setObjectName(QStringLiteral("comboBox_HdrTransfer"));
    transfer_->addItem(QStringLiteral("PQ"), 0);
    transfer_->addItem(QStringLiteral("HLG"), 1);
    grid->addWidget(peakLabel_, 2, 0);
    grid->addWidget(peak_, 2, 1);
    grid->addWidget(transferLabel_, 3, 0);
    grid->addWidget(transfer_, 3, 1);
    showHdrControls(-1);

    auto* buttons = new QVBoxLayout;
    addOkCancel(*this, *buttons);
    grid->addLayout(buttons, 4, 0, 1, 2);
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
    if (fixedFormat_ < 0)
        showHdrControls(format);
}

void SaveForm::showHdrControls(int format) {
    const std::string ext =
        format >= 0 && format < kExportFormatCount ? exportFormats()[std::size_t(format)].extension : "";
    const bool linear = ext == "exr" || ext == "avif";
    peakLabel_->setVisible(linear);
    peak_->setVisible(linear);
    transferLabel_->setVisible(ext == "avif");
    transfer_->setVisible(ext == "avif");
}

void SaveForm::setHdrChoices(const HdrChoices& choices, int format) {
    peak_->setValue(choices.peakNits);
    transfer_->setCurrentIndex(choices.transferIndex == 1 ? 1 : 0);
    fixedFormat_ = format;
    showHdrControls(format >= 0 ? format : chosenFormat());
}

HdrChoices SaveForm::chosenHdr() const {
    HdrChoices c;
    c.peakNits = peak_->value();
    c.transferIndex = transfer_->currentData().toInt();
    return c;
}

int SaveForm::chosenFormat() const {
    return extension_->currentData().toInt();
}

int SaveForm::chosenDepth() const {
    return depth_->currentData().toInt();
}

} // namespace lumora
