#pragma once
// The one way the program asks or tells the user something modally: the five message kinds and the file
// dialogs. The window uses a Qt implementation; tests script the answers and read back the calls.

#include <QString>
#include <QStringList>

namespace lumora {

enum class MessageKind { Error, Information, Warning, Question, WarningQuestion };

class MessageService {
public:
    virtual ~MessageService() = default;

    // Error, information and warning boxes: title and text are already translated.
    virtual void show(MessageKind kind, const QString& title, const QString& text) = 0;
    // Question and warning question boxes (Yes/No); true for Yes.
    virtual bool ask(MessageKind kind, const QString& title, const QString& text) = 0;
    // A question (Yes preselected) shown as plain text, never as markup, since it may quote what a server
    // sent. A non-empty `checkBoxText` adds a check box below the text, whose state lands in `*checked`.
    virtual bool askWithCheckBox(const QString& title, const QString& text, const QString& checkBoxText,
                                 bool* checked) = 0;
    // A box with several buttons (texts already translated), `defaultButton` preselected; the index of the
    // button pressed, or -1 when the box was closed without one. Closing the box may also answer as the last
    // button, so callers put the choice that changes least last.
    virtual int choose(MessageKind kind, const QString& title, const QString& text,
                       const QStringList& buttons, int defaultButton) = 0;
    // The same with a check box under the text, labelled `checkText`; `checked` receives its state. Services
    // without one answer as choose() with the box unchecked.
    virtual int chooseWithCheckBox(MessageKind kind, const QString& title, const QString& text,
                                   const QStringList& buttons, int defaultButton, const QString& checkText,
                                   bool* checked) {
        if (checked)
            *checked = false;
        (void)checkText;
        return choose(kind, title, text, buttons, defaultButton);
    }
    // The program's about box.
    virtual void about(const QString& title, const QString& text) = 0;

    // File dialogs; an empty result means the user cancelled.
    virtual QString openFileName(const QString& caption, const QString& directory, const QString& filter) = 0;
    virtual QStringList openFileNames(const QString& caption, const QString& directory,
                                      const QString& filter) = 0;
    // `selectedFilter` carries the initially selected filter in and the chosen one out.
    virtual QString saveFileName(const QString& caption, const QString& directory, const QString& filter,
                                 QString* selectedFilter) = 0;
    virtual QString existingDirectory(const QString& caption, const QString& directory) = 0;
};

} // namespace lumora
