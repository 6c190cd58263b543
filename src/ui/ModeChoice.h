#pragma once
// The modal mode choice: three clickable frames (Basic, Classic, Pro) and a box to keep the choice for the
// next starts. A press on a frame records the choice (0, 1 or 2) and closes the dialog; closing it otherwise
// leaves no choice.

#include <QDialog>
#include <memory>

namespace Ui {
class ModeChoice;
}

namespace lumora {

class ModeChoice : public QDialog {
    Q_OBJECT
public:
    explicit ModeChoice(QWidget* parent = nullptr);
    ~ModeChoice() override;

    // -1 until a frame was pressed.
    int choice() const { return choice_; }
    // The user asked for the choice to be used from now on, without asking.
    bool keepChoice() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::unique_ptr<Ui::ModeChoice> ui_;
    int choice_ = -1;
};

} // namespace lumora
