#pragma once
// Texts and pages: labels the whole window from the language files (again after a change of language),
// sizes the stacked widgets to their current page, and sets up how the window first looks.

#include "ui/WindowModel.h"

#include <QObject>
#include <vector>

class QStackedWidget;

namespace lumora {

class MenuController : public QObject {
    Q_OBJECT
public:
    explicit MenuController(const WindowContext& context);

    // Loads "ChosenLanguage" and relabels everything.
    void loadLanguage();
    void refreshTexts();
    // What the window hides, disables and selects before its first layout.
    void presentInitialState();

public slots:
    // The current page of each sized stacked widget takes its room; the hidden pages take none.
    void sizeStackedPages();

signals:
    // The panels that label themselves are to do so now, before the wordless controls are named.
    void panelTextsRequested();
    // Every text was relabelled: texts kept elsewhere (the file-dialog filters) follow.
    void textsRefreshed();

private:
    std::vector<QStackedWidget*> sizedStacks() const;

    WindowContext ctx_;
};

} // namespace lumora
