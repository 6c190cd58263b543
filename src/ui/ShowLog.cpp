#include "ui/ShowLog.h"

#include "app/EventLog.h"
#include "app/MessageService.h"
#include "app/Settings.h"
#include "i18n/LanguageEngine.h"
#include "ui/DialogGeometry.h"

#include <QFile>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace lumora {

ShowLog::ShowLog(MessageService& messages, QWidget* parent)
    : QDialog(parent), messages_(messages), view_(new QPlainTextEdit(this)),
      resetButton_(new QPushButton(tr("Reset log file"), this)),
      closeButton_(new QPushButton(tr("Close"), this)) {
    setObjectName(QStringLiteral("ShowLog"));
    setWindowTitle(translatedText("ShowingLogFile"));
    resetButton_->setText(translatedText("ResetLogFile"));
    closeButton_->setText(translatedText("Close"));
    resetButton_->setObjectName(QStringLiteral("pushButton_ResetLog"));
    closeButton_->setObjectName(QStringLiteral("pushButton_Close"));
    view_->setReadOnly(true);
    view_->setObjectName(QStringLiteral("plainTextEdit_Log"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(resetButton_);
    buttons->addStretch(1);
    buttons->addWidget(closeButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view_);
    layout->addLayout(buttons);

    connect(resetButton_, &QPushButton::clicked, this, &QDialog::accept);
    connect(closeButton_, &QPushButton::clicked, this, &QDialog::reject);
    restoreDialogGeometry(*this, settings::kLogDialogGroup);
}

int ShowLog::exec() {
    QFile file(QString::fromStdString(logPath()));
    if (!file.exists()) {
        messages_.show(MessageKind::Information, translatedText("ShowingLogFile"),
                       translatedText("EmptyLog"));
        return Rejected;
    }
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text) || !file.isReadable()) {
        messages_.show(MessageKind::Error, translatedText("Error"),
                       translatedText("ErrorWhileOpeningLogFile"));
        return Rejected;
    }
    const QString content = QString::fromUtf8(file.readAll());
    file.close();
    if (content.isEmpty()) {
        messages_.show(MessageKind::Information, translatedText("ShowingLogFile"),
                       translatedText("EmptyLog"));
        return Rejected;
    }
    view_->setPlainText(content);
    const int result = QDialog::exec();
    if (result == Accepted)
        file.remove();
    storeDialogGeometry(*this, settings::kLogDialogGroup);
    return result;
}

} // namespace lumora
