#include "ui/ShowGeneralSettings.h"

#include "app/Settings.h"
#include "i18n/LanguageEngine.h"
#include "ui/DialogGeometry.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace lumora {
namespace {

// Texts come from the language files; the built-in text stands in when no file knows the key.
QString translatedOr(const char* key, const char* builtIn) {
    const QString t = translatedText(key);
    return t == QLatin1String(key) ? QString::fromUtf8(builtIn) : t;
}

QSpinBox* spinBox(QWidget* parent, const char* name, int min, int max, const QString& suffix,
                  const QString& tooltip) {
    auto* box = new QSpinBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setRange(min, max);
    box->setSingleStep(1);
    box->setSuffix(suffix);
    box->setToolTip(tooltip);
    return box;
}

} // namespace

ShowGeneralSettings::ShowGeneralSettings(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ShowGeneralSettings"));
    setWindowTitle(translatedOr("Settings", "Settings"));

    language_ = new QComboBox(this);
    language_->setObjectName(QStringLiteral("ChoiceLanguageApplication"));
    auto& engine = LanguageEngine::instance();
    for (const std::string& name : engine.languageNames())
        language_->addItem(QString::fromStdString(name));
    language_->setCurrentText(QString::fromStdString(engine.currentLanguage()));

    const QString percent = QStringLiteral("%");
    jpegQuality_ =
        spinBox(this, "spinBox_JPEGQuality", 10, 99, percent,
                translatedOr("JPGImageQualityTooltip", "Higher is the percentage, better is the image."));
    pngCompression_ = spinBox(
        this, "spinBox_PNGQuality", 0, 9, QString(),
        translatedOr("PNGImageCompressionTooltip", "Higher this number is, higher the compression is."));
    overExposedLimit_ =
        spinBox(this, "spinBox_OverExposedLimit", 50, 100, percent,
                translatedOr("OverExposedLimitTooltip",
                             "When a pixel value is higher than this one, the pixel is considered as "
                             "overexposed"));
    underExposedLimit_ =
        spinBox(this, "spinBox_UnderExposedLimit", 0, 50, percent,
                translatedOr("UnderExposedLimitTooltip",
                             "When a pixel value is lower than this one, the pixel is considered as "
                             "underexposed"));
    nbSharpenImages_ = spinBox(this, "spinBox_NbSharpenImages", 1, 20, QString(),
                               translatedOr("NbSharpenImagesTooltip", "NbSharpenImagesTooltip"));

    sendUsageStatistics_ =
        new QCheckBox(translatedOr("SendUsageStatistics", "Send anonymous usage statistics"), this);
    sendUsageStatistics_->setObjectName(QStringLiteral("checkBox_SendUsageStatistics"));
    sendUsageStatistics_->setToolTip(translatedOr(
        "SendUsageStatisticsTooltip", "Once for each new version, Lumora reports that it was installed: "
                                      "the version number and a random number. No name, no "
                                      "identifier of your computer, nothing about your pictures."));
    sendUsageStatistics_->setChecked(settings::read(settings::SendUsageStatistics));
    writeRecipe_ = new QCheckBox(translatedText("WriteRecipe"), this);
    writeRecipe_->setObjectName(QStringLiteral("checkBox_WriteRecipe"));
    writeRecipe_->setToolTip(translatedText("WriteRecipeTooltip"));
    writeRecipe_->setChecked(settings::read(settings::WriteRecipe));

    // JPEG quality is used by the exporter, so the dialog shows what is stored rather than a fixed value;
    // otherwise every accept would silently reset the user's choice.
    jpegQuality_->setValue(settings::read(settings::JPGQuality));
    pngCompression_->setValue(settings::read(settings::PNGCompression));
    overExposedLimit_->setValue(settings::read(settings::OverExposedLimit));
    underExposedLimit_->setValue(settings::read(settings::UnderExposedLimit));
    nbSharpenImages_->setValue(settings::read(settings::NbSharpenImages));

    auto* general = new QGroupBox(translatedOr("General", "General"), this);
    auto* generalForm = new QFormLayout(general);
    generalForm->addRow(translatedOr("Language", "Language"), language_);
    generalForm->addRow(translatedOr("JPGImageQuality", "JPEG image quality"), jpegQuality_);
    generalForm->addRow(translatedOr("PNGImageCompression", "PNG image compression"), pngCompression_);
    generalForm->addRow(writeRecipe_);
    generalForm->addRow(sendUsageStatistics_);

    auto* view = new QGroupBox(translatedOr("View", "View"), this);
    auto* viewForm = new QFormLayout(view);
    viewForm->addRow(translatedOr("OverExposedLimit", "Overexposed limit"), overExposedLimit_);
    viewForm->addRow(translatedOr("UnderExposedLimit", "Underexposed limit"), underExposedLimit_);

    auto* parameters = new QGroupBox(translatedOr("Parameters", "Parameters"), this);
    auto* parametersForm = new QFormLayout(parameters);
    parametersForm->addRow(translatedOr("NbSharpenImages", "Sharpest image search window"), nbSharpenImages_);

    auto* ok = new QPushButton(translatedOr("Ok", "OK"), this);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(translatedOr("Cancel", "Cancel"), this);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    // Room for the first group's title under the window's edge.
    layout->setContentsMargins(16, 14, 16, 16);
    layout->addWidget(general);
    layout->addWidget(view);
    layout->addWidget(parameters);
    layout->addStretch(1);
    layout->addLayout(buttons);

    restoreDialogGeometry(*this, settings::kSettingsDialogGroup);
}

int ShowGeneralSettings::exec() {
    const int result = QDialog::exec();
    storeResult(result);
    return result;
}

void ShowGeneralSettings::storeResult(int result) {
    if (result == Accepted) {
        const QString chosen = language_->currentText();
        if (chosen != settings::read(settings::ChosenLanguage)) {
            languageChanged_ = true;
            settings::write(settings::ChosenLanguage, chosen);
        }
        settings::write(settings::JPGQuality, jpegQuality_->value());
        settings::write(settings::PNGCompression, pngCompression_->value());
        settings::write(settings::OverExposedLimit, overExposedLimit_->value());
        settings::write(settings::UnderExposedLimit, underExposedLimit_->value());
        settings::write(settings::NbSharpenImages, nbSharpenImages_->value());
        settings::write(settings::SendUsageStatistics, sendUsageStatistics_->isChecked());
        settings::write(settings::WriteRecipe, writeRecipe_->isChecked());
    }
    storeDialogGeometry(*this, settings::kSettingsDialogGroup);
}

} // namespace lumora
