// Presets on the editing page: applying one from its thumbnail, the user's presets made, modified and removed
// through their dialogs (and user.xml with them), and the thumbnails' renders.

#include "FlowTestSupport.h"
#include "ui/PresetDialogs.h"
#include "ui/PresetImage.h"
#include "ui/PresetStrips.h"
#include "ui/PresetsController.h"

#include <QAction>
#include <QLineEdit>
#include <QSlider>

namespace {

using namespace lumora;
using namespace lumora::test;

using EditingPresetsTest = EditingTest;

std::vector<std::string> names(const std::vector<PresetRecord>& presets) {
    std::vector<std::string> n;
    for (const PresetRecord& p : presets)
        n.push_back(p.name);
    return n;
}

TEST_F(EditingPresetsTest, ApplyingAPresetSetsTheControlsAndStartsAFreshHistory) {
    auto w = openPhoto(1); // Basic: the built-in presets
    find<QSlider>(*w, "horizontalSlider_TMHue")->setValue(30);
    ASSERT_TRUE(find<QAction>(*w, "actionUndo")->isEnabled());
    const auto strip = w->editing().strips().builtIn();
    ASSERT_EQ(strip.size(), 3u);
    PresetImage* strong = strip[2];
    ASSERT_EQ(strong->preset().name, "Strong");
    press(strong->findChild<QLabel*>(QStringLiteral("label_PresetImage")));
    EXPECT_TRUE(edited(*w)->rendering());
    ASSERT_TRUE(waitRendered(*w));
    const ControlPositions want = strong->preset().positions();
    EXPECT_EQ(find<QSlider>(*w, "horizontalSlider_TMExposition")->value(), want.exposure);
    EXPECT_EQ(find<QSlider>(*w, "horizontalSlider_TMHue")->value(), want.hue);
    EXPECT_EQ(find<QSlider>(*w, "horizontalSlider_TMAlpha")->value(), want.alpha);
    EXPECT_EQ(edited(*w)->engine().params().blackClip, position::blackClip(want.blackClip));
    EXPECT_EQ(w->model().workspace()->undo.undoCount(), 0);
    EXPECT_FALSE(find<QAction>(*w, "actionUndo")->isEnabled());
    // Only the applied preset shows what the controls show; one change more and none does.
    EXPECT_TRUE(strong->property("isSelected").toBool());
    EXPECT_FALSE(strip[0]->property("isSelected").toBool());
    find<QSlider>(*w, "horizontalSlider_TMExposition")->setValue(want.exposure + 1);
    EXPECT_FALSE(strong->property("isSelected").toBool());
}

TEST_F(EditingPresetsTest, UserPresetsAreMadeModifiedAndRemovedThroughTheirDialogs) {
    auto w = openPhoto();
    PresetsController& presets = w->presets();
    presets.removeUserPreset();
    presets.modifyUserPreset();
    EXPECT_EQ(said("ExplErrorPreset"), 1);
    EXPECT_EQ(said("ExplErrorPresetModify"), 1);

    // Two named presets, then one without a name: it takes the next number.
    for (const char* name : {"mine", "two", ""}) {
        ModalWatcher<PresetNameDialog> dialog([name](PresetNameDialog& d) {
            d.nameEdit()->setText(QString::fromLatin1(name));
            d.accept();
        });
        presets.newUserPreset();
        EXPECT_EQ(dialog.seen(), 1);
    }
    EXPECT_EQ(names(userPresets()), (std::vector<std::string>{"mine", "two", "3"}));
    EXPECT_EQ(names(readPresetFile(userPresetsPath(), false)), names(userPresets()));
    EXPECT_EQ(countTitled("ErrorSavingPresetsTitle"), 0);
    ASSERT_EQ(w->editing().strips().user().size(), 3u);

    // "two" takes the controls' new values under its name.
    find<QSlider>(*w, "horizontalSlider_TMExposition")->setValue(33);
    find<QSlider>(*w, "horizontalSlider_TMVibrance")->setValue(-12);
    {
        ModalWatcher<PresetChoiceDialog> dialog([](PresetChoiceDialog& d) {
            d.choices()[1]->setChecked(true);
            d.accept();
        });
        presets.modifyUserPreset();
    }
    const std::vector<PresetRecord> onDisk = readPresetFile(userPresetsPath(), false);
    ASSERT_EQ(onDisk.size(), 3u);
    EXPECT_EQ(onDisk[1].name, "two");
    EXPECT_EQ(onDisk[1].exposure, 33);
    EXPECT_EQ(onDisk[1].vibrance, -12);
    EXPECT_EQ(onDisk[0].exposure, 0);
    PresetImage* two = w->editing().strips().user()[1];
    EXPECT_EQ(two->preset(), onDisk[1]);
    EXPECT_TRUE(two->property("isSelected").toBool());
    EXPECT_FALSE(w->editing().strips().user()[0]->property("isSelected").toBool());

    // Removing "mine" and "3" leaves "two", in the file and in the strip.
    ModalWatcher<PresetChoiceDialog> dialog([](PresetChoiceDialog& d) {
        d.choices()[0]->setChecked(true);
        d.choices()[2]->setChecked(true);
        d.accept();
    });
    presets.removeUserPreset();
    EXPECT_EQ(names(readPresetFile(userPresetsPath(), false)), std::vector<std::string>{"two"});
    ASSERT_EQ(w->editing().strips().user().size(), 1u);
    EXPECT_EQ(w->editing().strips().user()[0]->preset().name, "two");

    // A user.xml that cannot be written is told about; the session keeps the preset.
    const QString file = QString::fromStdString(userPresetsPath());
    ASSERT_TRUE(QFile::remove(file) && QDir().mkpath(file));
    ModalWatcher<PresetNameDialog> unsaved([](PresetNameDialog& d) { d.accept(); });
    presets.newUserPreset();
    EXPECT_EQ(countTitled("ErrorSavingPresetsTitle"), 1);
    EXPECT_EQ(w->editing().strips().user().size(), 2u);
}

TEST_F(EditingPresetsTest, ThumbnailsRenderOnlyForANewSourceAndKeepTheirResults) {
    auto w = openPhoto();
    PresetStrips& strips = w->editing().strips();
    ASSERT_TRUE(waitFor([&] {
        for (PresetImage* p : strips.builtIn())
            if (p->rendering() || !p->hasThumbnail())
                return false;
        return true;
    }));
    strips.setSource(edited(*w)->image());
    for (PresetImage* p : strips.builtIn())
        EXPECT_FALSE(p->rendering());

    PresetImage image(builtInPresets()[0], nullptr); // "Original": the picture as it is
    int shownCount = 0;
    QObject::connect(&image, &PresetImage::thumbnailChanged, [&] { ++shownCount; });
    const cv::Mat dark(48, 64, CV_8UC3, cv::Scalar::all(20)), light(48, 64, CV_8UC3, cv::Scalar::all(220));
    image.setSource(dark);
    image.setSource(light); // while the dark one renders
    ASSERT_TRUE(waitFor([&] { return !image.rendering() && image.hasThumbnail(); }));
    settle();
    EXPECT_EQ(shownCount, 1);
    EXPECT_GT(cv::mean(image.thumbnail())[0], 0.6);

    // A shown result is the widget's own: the next render does not write into it.
    const cv::Mat first = image.thumbnail(), kept = first.clone();
    image.setSource(dark);
    ASSERT_TRUE(waitFor([&] { return !image.rendering() && shownCount == 2; }));
    EXPECT_EQ(largestDifference(first, kept), 0.0);
    EXPECT_LT(cv::mean(image.thumbnail())[0], 0.3);

    int clicks = 0;
    QObject::connect(&image, &PresetImage::onClick, [&] { ++clicks; });
    auto* picture = image.findChild<QLabel*>(QStringLiteral("label_PresetImage"));
    image.setEnabled(false);
    press(picture);
    EXPECT_EQ(clicks, 0);
    image.setEnabled(true);
    press(picture);
    EXPECT_EQ(clicks, 1);
}

} // namespace
