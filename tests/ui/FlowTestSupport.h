#pragma once
// Helpers for the tests that make pictures through the window: a message service that also answers the
// check box of the overwrite question and records where the file dialogs start, waiting on a condition, the
// small scene clip, and opening it in a given mode.

#include "WindowTestSupport.h"
#include "i18n/LanguageEngine.h"
#include "ui/SharpestImageSelection.h"
#include "ui/Workspace.h"

#include <QDir>
#include <QFileInfo>
#include <deque>

namespace lumora::test {

class FlowMessages : public ScriptedMessageService {
public:
    std::deque<bool> checks;          // the check box's answer, per question that shows one
    std::vector<QString> checkTexts;  // the check box text per question (empty: none offered)
    std::vector<QString> saveStarts;  // the path each save dialog started at
    std::vector<QString> saveFilters; // the filter each save dialog preselected

    int chooseWithCheckBox(MessageKind kind, const QString& title, const QString& text,
                           const QStringList& buttons, int defaultButton, const QString& checkText,
                           bool* checked) override {
        checkTexts.push_back(checkText);
        const bool tick = !checkText.isEmpty() && !checks.empty() && checks.front();
        if (!checkText.isEmpty() && !checks.empty())
            checks.pop_front();
        if (checked)
            *checked = tick;
        return choose(kind, title, text, buttons, defaultButton);
    }
    // A queued name "*.ext" takes the proposed name with that extension.
    QString saveFileName(const QString& caption, const QString& directory, const QString& filter,
                         QString* selectedFilter) override {
        saveStarts.push_back(directory);
        saveFilters.push_back(selectedFilter ? *selectedFilter : QString());
        const QString chosen =
            ScriptedMessageService::saveFileName(caption, directory, filter, selectedFilter);
        return chosen.startsWith(QLatin1Char('*')) ? directory + chosen.mid(1) : chosen;
    }
};

// Processes events until `done` holds or `ms` passed; whether it held.
inline bool waitFor(const std::function<bool()>& done, int ms = 60000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

class FlowTest : public WindowTest {
protected:
    FlowTest() { messages_ = flow_; }

    // The 320x180 scene clip of 30 frames.
    static QString sceneClip() { return QString::fromStdString(testMediaPath("scene_180p.mp4")); }
    std::unique_ptr<LumoraV2> openScene(int mode) {
        auto w = makeWindow(mode);
        EXPECT_TRUE(w->openMediaByPath(sceneClip()));
        return w;
    }
    static void moveTo(LumoraV2& w, int index) { w.workspace()->sequence()->setCurrentFrame(index, true); }
    // Selections of the open workspace, in making order.
    static std::vector<SharpestImageSelection*> selections(LumoraV2& w) {
        return w.workspace()->liveSelections();
    }
    // Names of the files in `dir`, sorted.
    static QStringList filesIn(const QString& dir) { return QDir(dir).entryList(QDir::Files, QDir::Name); }
    int said(const char* key) const {
        int n = 0;
        for (const auto& c : messages_->calls)
            n += c.text == translatedText(key);
        return n;
    }

    std::shared_ptr<FlowMessages> flow_ = std::make_shared<FlowMessages>();
};

} // namespace lumora::test
