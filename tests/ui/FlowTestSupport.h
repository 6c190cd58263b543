#pragma once
// Helpers for the tests that make pictures through the window: a message service that also answers the
// check box of the overwrite question and records where the file dialogs start, the small scene clip opened
// in a given mode, grabbing its frames, the selections made and the one edited, and a photo opened for
// editing.

#include "WindowTestSupport.h"
#include "i18n/LanguageEngine.h"
#include "presets/PresetFiles.h"
#include "ui/EditingController.h"
#include "ui/SharpestImageSelection.h"
#include "ui/Workspace.h"

#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QRegularExpression>
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
    static void moveTo(LumoraV2& w, int index) {
        w.model().workspace()->sequence()->setCurrentFrame(index, true);
    }
    // Grabs the frames at `indices` in turn.
    void grab(LumoraV2& w, const std::vector<int>& indices) {
        for (int i : indices) {
            moveTo(w, i);
            find<QPushButton>(w, "pushButton_GrabFrame")->click();
        }
    }
    // Selections of the open workspace, in making order.
    static std::vector<SharpestImageSelection*> selections(LumoraV2& w) {
        return w.model().workspace()->liveSelections();
    }
    // The selection being edited, and waiting until its preview is rendered.
    static SharpestImageSelection* edited(LumoraV2& w) { return w.model().workspace()->edited.data(); }
    static bool waitRendered(LumoraV2& w) {
        const bool done = waitFor([&] { return edited(w) && !edited(w)->rendering(); });
        settle();
        return done;
    }
    static double largestDifference(const cv::Mat& a, const cv::Mat& b) {
        if (a.size() != b.size() || a.type() != b.type())
            return 1e9;
        cv::Mat d;
        cv::absdiff(a, b, d);
        double m = 0;
        cv::minMaxLoc(d.reshape(1), nullptr, &m);
        return m;
    }
    // The pictures in `dir`, without the recipes written beside them (those are checked end to end).
    static QStringList withoutRecipes(QStringList names) {
        return names.filter(QRegularExpression(QStringLiteral("^(?!.*\\.lumora\\.json$)")));
    }
    static QStringList filesIn(const QString& dir) {
        return withoutRecipes(QDir(dir).entryList(QDir::Files, QDir::Name));
    }
    int said(const char* key) const {
        int n = 0;
        for (const auto& c : messages_->calls)
            n += c.text == translatedText(key);
        return n;
    }

    std::shared_ptr<FlowMessages> flow_ = std::make_shared<FlowMessages>();
};

// The editing page on a photo.
class EditingTest : public FlowTest {
protected:
    // A 320 x 240 photo: a diagonal gradient with a bright square, so that every control changes the picture.
    QString writePhoto() {
        cv::Mat photo(240, 320, CV_8UC3);
        for (int y = 0; y < photo.rows; ++y)
            for (int x = 0; x < photo.cols; ++x)
                photo.at<cv::Vec3b>(y, x) = cv::Vec3b(uchar(x * 255 / 320), uchar(y * 255 / 240), uchar(128));
        photo(cv::Rect(200, 40, 60, 60)).setTo(cv::Scalar(250, 245, 240));
        const QString path = tempPath(QStringLiteral("photo.png"));
        cv::imwrite(path.toStdString(), photo);
        return path;
    }
    // The photo opened for tone mapping in `mode` (Classic shows every control), its first preview rendered.
    std::unique_ptr<LumoraV2> openPhoto(int mode = 2) {
        auto w = makeWindow(mode);
        loadUserPresets(); // this test's own (empty) user presets, not an earlier test's
        EXPECT_TRUE(w->openMediaByPath(writePhoto()));
        waitRendered(*w);
        return w;
    }
};

} // namespace lumora::test
