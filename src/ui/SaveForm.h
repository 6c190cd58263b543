#pragma once
// The saving-options dialog: the output format (when the caller lets the user choose it) and the depth in
// bits per channel that the chosen format offers.

#include "export/HdrExport.h"

#include <QDialog>
#include <vector>

class QComboBox;
class QLabel;
class QSpinBox;

namespace lumora {

class SaveForm : public QDialog {
    Q_OBJECT
public:
    SaveForm(QWidget* parent, bool showExtensionChoice);

    // Depths in the given order, `defaultDepth` selected.
    void setDepthChoices(const std::vector<int>& depths, int defaultDepth);
    // Every export format, `current` selected, and its depths in table order.
    void setFormatChoices(int current);

    // The HDR controls, shown for the formats that keep light above white (for `format`, or for the chosen
    // one when the format is chosen here): peak brightness, and the transfer for HDR AVIF.
    void setHdrChoices(const HdrChoices& choices, int format = -1);

    // Read after exec() returned Accepted.
    int chosenFormat() const;
    int chosenDepth() const;
    HdrChoices chosenHdr() const;

public slots:
    void updateOutputDepthComboBox();

private:
    QLabel* extensionLabel_ = nullptr;
    QComboBox* extension_ = nullptr;
    QComboBox* depth_ = nullptr;
    QLabel* peakLabel_ = nullptr;
    QSpinBox* peak_ = nullptr;
    QLabel* transferLabel_ = nullptr;
    QComboBox* transfer_ = nullptr;
    int fixedFormat_ = -1;

    void showHdrControls(int format);
};

} // namespace lumora
