#pragma once
// Menus and texts: connects every menu action to the controller that owns its behaviour, labels the whole
// window from the language files (again after a change of language), sizes the stacked widgets to their
// current page, and sets up how the window first looks.

#include <QObject>
#include <vector>

class QStackedWidget;

namespace lumora {

class LumoraV2;

class MenuController : public QObject {
    Q_OBJECT
public:
    explicit MenuController(LumoraV2& window);

    // Loads "ChosenLanguage" and relabels everything.
    void loadLanguage();
    void refreshTexts();
    // What the window hides, disables and selects before its first layout.
    void presentInitialState();

public slots:
    // The current page of each sized stacked widget takes its room; the hidden pages take none.
    void sizeStackedPages();

private:
    void connectMenus();
    std::vector<QStackedWidget*> sizedStacks() const;

    LumoraV2& window_;
};

} // namespace lumora
