#pragma once
// The log viewer: shows the event log and lets the user delete it ("Reset log file").

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

namespace lumora {

class MessageService;

class ShowLog : public QDialog {
    Q_OBJECT
public:
    ShowLog(MessageService& messages, QWidget* parent = nullptr);

    // Tells the user when the log is missing, empty or unreadable instead of showing the dialog.
    int exec() override;

private:
    MessageService& messages_;
    QPlainTextEdit* view_;
    QPushButton* resetButton_;
    QPushButton* closeButton_;
};

} // namespace lumora
