#include "ui/QtMessageService.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace lumora {

void QtMessageService::show(MessageKind kind, const QString& title, const QString& text) {
    switch (kind) {
    case MessageKind::Error:
        QMessageBox::critical(parent_, title, text);
        break;
    case MessageKind::Warning:
        QMessageBox::warning(parent_, title, text);
        break;
    default:
        QMessageBox::information(parent_, title, text);
        break;
    }
}

bool QtMessageService::ask(MessageKind kind, const QString& title, const QString& text) {
    const auto buttons = QMessageBox::Yes | QMessageBox::No;
    const auto answer = kind == MessageKind::WarningQuestion
                            ? QMessageBox::warning(parent_, title, text, buttons, QMessageBox::No)
                            : QMessageBox::question(parent_, title, text, buttons, QMessageBox::No);
    return answer == QMessageBox::Yes;
}

bool QtMessageService::askWithCheckBox(const QString& title, const QString& text, const QString& checkBoxText,
                                       bool* checked) {
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, parent_);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    for (QAbstractButton* b : box.buttons())
        b->setCursor(Qt::PointingHandCursor);
    if (!checkBoxText.isEmpty())
        box.setCheckBox(new QCheckBox(checkBoxText, &box));
    const bool yes = box.exec() == QMessageBox::Yes;
    if (checked)
        *checked = box.checkBox() && box.checkBox()->isChecked();
    return yes;
}

int QtMessageService::choose(MessageKind kind, const QString& title, const QString& text,
                             const QStringList& buttons, int defaultButton) {
    return chooseWithCheckBox(kind, title, text, buttons, defaultButton, QString(), nullptr);
}

int QtMessageService::chooseWithCheckBox(MessageKind kind, const QString& title, const QString& text,
                                         const QStringList& buttons, int defaultButton,
                                         const QString& checkText, bool* checked) {
    QMessageBox box(parent_);
    box.setIcon(kind == MessageKind::Error                                             ? QMessageBox::Critical
                : kind == MessageKind::Warning || kind == MessageKind::WarningQuestion ? QMessageBox::Warning
                : kind == MessageKind::Question                                        ? QMessageBox::Question
                                                : QMessageBox::Information);
    box.setWindowTitle(title);
    box.setText(text);
    if (parent_)
        box.setWindowIcon(parent_->windowIcon());
    std::vector<QPushButton*> pushed;
    for (const QString& label : buttons) {
        QPushButton* b = box.addButton(label, QMessageBox::ActionRole);
        b->setCursor(Qt::PointingHandCursor);
        pushed.push_back(b);
    }
    if (defaultButton >= 0 && defaultButton < int(pushed.size()))
        box.setDefaultButton(pushed[size_t(defaultButton)]);
    // Without an escape button the box could not be closed at all; closing answers as the last button,
    // which every caller makes the one that changes least.
    if (!pushed.empty())
        box.setEscapeButton(pushed.back());
    QCheckBox* check = nullptr;
    if (!checkText.isEmpty()) {
        check = new QCheckBox(checkText, &box);
        box.setCheckBox(check);
    }
    box.exec();
    if (checked)
        *checked = check && check->isChecked();
    for (size_t i = 0; i < pushed.size(); ++i)
        if (box.clickedButton() == pushed[i])
            return int(i);
    return -1;
}

void QtMessageService::about(const QString& title, const QString& text) {
    QMessageBox::about(parent_, title, text);
}

QString QtMessageService::openFileName(const QString& caption, const QString& directory,
                                       const QString& filter) {
    return QFileDialog::getOpenFileName(parent_, caption, directory, filter);
}

QStringList QtMessageService::openFileNames(const QString& caption, const QString& directory,
                                            const QString& filter) {
    return QFileDialog::getOpenFileNames(parent_, caption, directory, filter);
}

QString QtMessageService::saveFileName(const QString& caption, const QString& directory,
                                       const QString& filter, QString* selectedFilter) {
    return QFileDialog::getSaveFileName(parent_, caption, directory, filter, selectedFilter);
}

QString QtMessageService::existingDirectory(const QString& caption, const QString& directory) {
    return QFileDialog::getExistingDirectory(parent_, caption, directory);
}

} // namespace lumora
