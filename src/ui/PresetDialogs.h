#pragma once
// The dialogs of the user presets: the name of a new preset, and the choice among the user's presets of the
// one to replace or of those to remove.

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

class QAbstractButton;
class QBoxLayout;
class QLineEdit;

namespace lumora {

// "Ok" and "Cancel" (pointing-hand cursors) at the end of `layout`, accepting and rejecting `dialog`.
void addOkCancel(QDialog& dialog, QBoxLayout& layout);

class PresetNameDialog : public QDialog {
    Q_OBJECT
public:
    explicit PresetNameDialog(QWidget* parent);
    // The name entered, without surrounding spaces, cut so that a preset file keeps it whole.
    QString name() const;
    QLineEdit* nameEdit() const { return edit_; }

private:
    QLineEdit* edit_ = nullptr;
};

class PresetChoiceDialog : public QDialog {
    Q_OBJECT
public:
    // One button per name: check boxes when `several` may be chosen, else radio buttons with the first
    // chosen. Title and label are translation keys.
    PresetChoiceDialog(const char* titleKey, const char* labelKey, const QStringList& names, bool several,
                       QWidget* parent);
    // Indices of the chosen names, in increasing order.
    std::vector<int> chosen() const;
    const QList<QAbstractButton*>& choices() const { return choices_; }

private:
    QList<QAbstractButton*> choices_;
};

} // namespace lumora
