#pragma once
// The settings dialog: language, export quality, exposure-highlight limits and the sharpest-frame search
// window, and whether usage statistics may be sent. Accepting stores the values; the caller reads
// languageChanged() to re-apply the window's texts.

#include <QDialog>

class QCheckBox;
class QComboBox;
class QSpinBox;

namespace lumora {

class ShowGeneralSettings : public QDialog {
    Q_OBJECT
public:
    explicit ShowGeneralSettings(QWidget* parent = nullptr);

    int exec() override;
    bool languageChanged() const { return languageChanged_; }

private:
    // Stores the controls when accepted; the dialog's geometry whatever the result.
    void storeResult(int result);

    QComboBox* language_;
    QSpinBox* jpegQuality_;
    QSpinBox* pngCompression_;
    QSpinBox* overExposedLimit_;
    QSpinBox* underExposedLimit_;
    QSpinBox* nbSharpenImages_;
    QCheckBox* sendUsageStatistics_;
    QCheckBox* writeRecipe_;
    bool languageChanged_ = false;
};

} // namespace lumora
