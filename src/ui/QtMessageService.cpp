#include "ui/QtMessageService.h"

#include <QFileDialog>
#include <QMessageBox>

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

void QtMessageService::about(const QString& title, const QString& text) { QMessageBox::about(parent_, title, text); }

QString QtMessageService::openFileName(const QString& caption, const QString& directory, const QString& filter) {
    return QFileDialog::getOpenFileName(parent_, caption, directory, filter);
}

QStringList QtMessageService::openFileNames(const QString& caption, const QString& directory,
                                            const QString& filter) {
    return QFileDialog::getOpenFileNames(parent_, caption, directory, filter);
}

QString QtMessageService::saveFileName(const QString& caption, const QString& directory, const QString& filter,
                                       QString* selectedFilter) {
    return QFileDialog::getSaveFileName(parent_, caption, directory, filter, selectedFilter);
}

QString QtMessageService::existingDirectory(const QString& caption, const QString& directory) {
    return QFileDialog::getExistingDirectory(parent_, caption, directory);
}

} // namespace lumora
