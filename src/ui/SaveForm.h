#pragma once
// The saving-options dialog: the output format (when the caller lets the user choose it) and the depth in
// bits per channel that the chosen format offers.

#include <QDialog>
#include <vector>

class QComboBox;
class QLabel;

namespace lumora {

class SaveForm : public QDialog {
    Q_OBJECT
public:
    SaveForm(QWidget* parent, bool showExtensionChoice);

    // Depths in the given order, `defaultDepth` selected.
    void setDepthChoices(const std::vector<int>& depths, int defaultDepth);
    // Every export format, `current` selected, and its depths in table order.
    void setFormatChoices(int current);

    // Read after exec() returned Accepted.
    int chosenFormat() const;
    int chosenDepth() const;

public slots:
    void updateOutputDepthComboBox();

private:
    QLabel* extensionLabel_ = nullptr;
    QComboBox* extension_ = nullptr;
    QComboBox* depth_ = nullptr;
};

} // namespace lumora
