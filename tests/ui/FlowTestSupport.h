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
#include <QPushButton>
#include <QSpinBox>
#include <deque>
#include <opencv2/imgcodecs.hpp>

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

// The window and lumora-cli render the same light image with the same values at full size; what may differ is
// only the order of floating-point sums split over threads. Samples of 16-bit results may differ by at most
// this much (of 65535), and on average by far less.
constexpr double kMaxSampleDifference = 2.0;
constexpr double kMeanSampleDifference = 0.05;

// The two 16-bit files hold the same picture within those tolerances, `size` large, and not a blank one
// that would trivially match.
inline void expectSameRender(const QString& mine, const QString& theirs, const cv::Size& size) {
    const cv::Mat a = cv::imread(mine.toStdString(), cv::IMREAD_UNCHANGED);
    const cv::Mat b = cv::imread(theirs.toStdString(), cv::IMREAD_UNCHANGED);
    ASSERT_EQ(a.type(), CV_16UC3);
    ASSERT_EQ(b.type(), CV_16UC3);
    ASSERT_EQ(a.size(), size);
    ASSERT_EQ(b.size(), size);
    cv::Mat difference;
    cv::absdiff(a, b, difference);
    double largest = 0;
    cv::minMaxLoc(difference.reshape(1), nullptr, &largest);
    EXPECT_LE(largest, kMaxSampleDifference);
    EXPECT_LE(cv::mean(difference.reshape(1))[0], kMeanSampleDifference);
    cv::Scalar mean, spread;
    cv::meanStdDev(a.reshape(1), mean, spread);
    EXPECT_GT(spread[0], 1000.0);
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
    // The scene in Pro mode, frame 15 chosen, on the parameter page with `around` frames on either side.
    std::unique_ptr<LumoraV2> proParametersForFrame15(int around) {
        auto w = openScene(3);
        moveTo(*w, 15);
        find<QPushButton>(*w, "pushButton_SelectImageNext")->click();
        EXPECT_EQ(w->workspace()->state, DefiningParameters);
        find<QSpinBox>(*w, "spinBox_ImageStackingBefore")->setValue(around);
        find<QSpinBox>(*w, "spinBox_ImageStackingAfter")->setValue(around);
        return w;
    }
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
