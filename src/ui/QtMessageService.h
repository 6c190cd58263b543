#pragma once
// Message boxes and file dialogs shown with Qt's standard widgets, parented to the given window.

#include "app/MessageService.h"

#include <QPointer>
#include <QWidget>

namespace lumora {

class QtMessageService : public MessageService {
public:
    explicit QtMessageService(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }

    void show(MessageKind kind, const QString& title, const QString& text) override;
    bool ask(MessageKind kind, const QString& title, const QString& text) override;
    bool askWithCheckBox(const QString& title, const QString& text, const QString& checkBoxText,
                         bool* checked) override;
    int choose(MessageKind kind, const QString& title, const QString& text, const QStringList& buttons,
               int defaultButton) override;
    int chooseWithCheckBox(MessageKind kind, const QString& title, const QString& text,
                           const QStringList& buttons, int defaultButton, const QString& checkText,
                           bool* checked) override;
    void about(const QString& title, const QString& text) override;
    QString openFileName(const QString& caption, const QString& directory, const QString& filter) override;
    QStringList openFileNames(const QString& caption, const QString& directory,
                              const QString& filter) override;
    QString saveFileName(const QString& caption, const QString& directory, const QString& filter,
                         QString* selectedFilter) override;
    QString existingDirectory(const QString& caption, const QString& directory) override;

private:
    QPointer<QWidget> parent_;
};

} // namespace lumora
