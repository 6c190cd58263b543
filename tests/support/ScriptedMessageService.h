#pragma once
// A message service for tests: records every message and dialog, and answers from queues that the test fills.

#include "app/MessageService.h"

#include <QString>
#include <QStringList>
#include <deque>
#include <vector>

namespace lumora::test {

class ScriptedMessageService : public MessageService {
public:
    struct Call {
        QString what; // "show", "ask", "choose", "about", "open", "openMany", "save", "directory"
        MessageKind kind = MessageKind::Information;
        QString title;
        QString text;
    };

    std::vector<Call> calls;
    std::deque<bool> answers;               // for ask(); No when empty
    std::deque<int> choices;                // for choose(); closed (-1) when empty
    std::vector<QStringList> choiceButtons; // the buttons offered by each choose()
    std::deque<QStringList> fileNames;      // for the file dialogs; cancelled when empty
    QString chosenFilter;                   // returned through saveFileName's selectedFilter when set
    std::deque<bool> checkBoxStates;        // for askWithCheckBox(); unchecked when empty
    std::vector<QString> checkBoxTexts;     // the check box offered by each askWithCheckBox(), empty for none

    void show(MessageKind kind, const QString& title, const QString& text) override {
        calls.push_back({QStringLiteral("show"), kind, title, text});
    }
    bool ask(MessageKind kind, const QString& title, const QString& text) override {
        calls.push_back({QStringLiteral("ask"), kind, title, text});
        if (answers.empty())
            return false;
        const bool a = answers.front();
        answers.pop_front();
        return a;
    }
    bool askWithCheckBox(const QString& title, const QString& text, const QString& checkBoxText,
                         bool* checked) override {
        checkBoxTexts.push_back(checkBoxText);
        const bool state = !checkBoxStates.empty() && checkBoxStates.front();
        if (!checkBoxStates.empty())
            checkBoxStates.pop_front();
        if (checked)
            *checked = !checkBoxText.isEmpty() && state;
        return ask(MessageKind::Question, title, text);
    }
    int choose(MessageKind kind, const QString& title, const QString& text, const QStringList& buttons,
               int) override {
        calls.push_back({QStringLiteral("choose"), kind, title, text});
        choiceButtons.push_back(buttons);
        if (choices.empty())
            return -1;
        const int c = choices.front();
        choices.pop_front();
        return c;
    }
    void about(const QString& title, const QString& text) override {
        calls.push_back({QStringLiteral("about"), MessageKind::Information, title, text});
    }
    QString openFileName(const QString& caption, const QString&, const QString& filter) override {
        calls.push_back({QStringLiteral("open"), MessageKind::Information, caption, filter});
        const QStringList n = next();
        return n.isEmpty() ? QString() : n.front();
    }
    QStringList openFileNames(const QString& caption, const QString&, const QString& filter) override {
        calls.push_back({QStringLiteral("openMany"), MessageKind::Information, caption, filter});
        return next();
    }
    QString saveFileName(const QString& caption, const QString&, const QString& filter,
                         QString* selectedFilter) override {
        calls.push_back({QStringLiteral("save"), MessageKind::Information, caption, filter});
        if (selectedFilter && !chosenFilter.isEmpty())
            *selectedFilter = chosenFilter;
        const QStringList n = next();
        return n.isEmpty() ? QString() : n.front();
    }
    QString existingDirectory(const QString& caption, const QString&) override {
        calls.push_back({QStringLiteral("directory"), MessageKind::Information, caption, QString()});
        const QStringList n = next();
        return n.isEmpty() ? QString() : n.front();
    }

private:
    QStringList next() {
        if (fileNames.empty())
            return {};
        QStringList n = fileNames.front();
        fileNames.pop_front();
        return n;
    }
};

} // namespace lumora::test
