// The View panels: the histogram on pictures of known content, the panels following the View menu, remembered
// and following the edit, and the EXIF panel showing a generated photo's known tags.

#include "ui/ViewPanels.h"
#include "ExifTags.h"
#include "FlowTestSupport.h"
#include "app/Settings.h"
#include "imageio/ImageFile.h"
#include "ui/PictureHistogram.h"
#include "ui/ViewPanelsController.h"

#include <QAction>
#include <QDockWidget>
#include <QSlider>
#include <QStandardPaths>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace {

using namespace lumora;
using namespace lumora::test;
using H = PictureHistogram;

// Mean level of one channel of a histogram.
double meanLevel(const H& h, int channel) {
    double sum = 0;
    for (int i = 0; i < H::kLevels; ++i)
        sum += double(i) * h.counts[channel][i];
    return h.pixels ? sum / h.pixels : 0.0;
}

TEST(PictureHistogram, CountsEachLevelAndTheClippedSharesOfKnownPictures) {
    // 100 pixels: 30 black, 20 white, 50 pure red (BGR). Red's luminance is 0.2126 x 255 = 54.2 -> 54.
    cv::Mat picture(10, 10, CV_8UC3, cv::Scalar(0, 0, 0));
    picture.rowRange(3, 5).setTo(cv::Scalar(255, 255, 255));
    picture.rowRange(5, 10).setTo(cv::Scalar(0, 0, 255));
    const H h = computeHistogram(picture);
    ASSERT_EQ(h.pixels, 100);
    EXPECT_EQ(h.counts[H::Luminance][0], 30);
    EXPECT_EQ(h.counts[H::Luminance][54], 50);
    EXPECT_EQ(h.counts[H::Luminance][255], 20);
    EXPECT_EQ(h.counts[H::Red][255], 70);
    EXPECT_EQ(h.counts[H::Red][0], 30);
    for (int c : {H::Green, H::Blue}) {
        EXPECT_EQ(h.counts[c][0], 80);
        EXPECT_EQ(h.counts[c][255], 20);
    }
    EXPECT_DOUBLE_EQ(h.clippedBlack[H::Luminance], 0.3);
    EXPECT_DOUBLE_EQ(h.clippedWhite[H::Luminance], 0.2);
    EXPECT_DOUBLE_EQ(h.clippedWhite[H::Red], 0.7);
    EXPECT_DOUBLE_EQ(h.clippedBlack[H::Green], 0.8);

    // Grey: every level is its own luminance, in every channel, in a grey or a BGR picture.
    cv::Mat ramp(1, 256, CV_8UC1);
    for (int i = 0; i < 256; ++i)
        ramp.at<uchar>(0, i) = uchar(i);
    cv::Mat rampBgr;
    cv::cvtColor(ramp, rampBgr, cv::COLOR_GRAY2BGR);
    for (const cv::Mat& m : {ramp, rampBgr})
        for (int c = 0; c < H::kChannels; ++c)
            for (int i = 0; i < 256; ++i)
                ASSERT_EQ(computeHistogram(m).counts[c][i], 1) << "channel " << c << " level " << i;

    // Only 8-bit pictures are measured.
    EXPECT_EQ(computeHistogram(cv::Mat(4, 4, CV_32FC3, cv::Scalar::all(0.5))).pixels, 0);
    EXPECT_EQ(computeHistogram(cv::Mat()).pixels, 0);
}

class ViewPanelsTest : public EditingTest {
protected:
    QDockWidget* dock(LumoraV2& w, const char* name) { return find<QDockWidget>(w, name); }
};

TEST_F(ViewPanelsTest, PanelsFollowTheViewMenuAreRememberedAndFollowTheEdit) {
    const char* const actions[] = {"actionHide_Show_histogram_panel", "actionShow_tone_curve",
                                   "actionShow_EXIF"};
    const char* const docks[] = {"dockWidget_Histogram", "dockWidget_ToneCurve", "dockWidget_Exif"};
    {
        auto w = makeWindow(2);
        for (int i = 0; i < 3; ++i) {
            EXPECT_FALSE(find<QAction>(*w, actions[i])->isEnabled()) << "no picture, no panel";
            find<QAction>(*w, actions[i])->setChecked(true);
            EXPECT_TRUE(dock(*w, docks[i])->isHidden());
        }
        ASSERT_TRUE(w->openMediaByPath(writePhoto()));
        ASSERT_TRUE(waitRendered(*w));
        for (int i = 0; i < 3; ++i) {
            EXPECT_TRUE(find<QAction>(*w, actions[i])->isEnabled());
            EXPECT_TRUE(dock(*w, docks[i])->isVisible()) << docks[i];
        }
        find<QAction>(*w, actions[1])->setChecked(false);
        EXPECT_TRUE(dock(*w, docks[1])->isHidden());
    }
    EXPECT_TRUE(settings::read(settings::ShowHistogramPanel));
    EXPECT_FALSE(settings::read(settings::ShowToneCurvePanel));
    EXPECT_TRUE(settings::read(settings::ShowExifPanel));
    auto w = openPhoto();
    EXPECT_TRUE(find<QAction>(*w, actions[0])->isChecked());
    EXPECT_FALSE(find<QAction>(*w, actions[1])->isChecked());
    EXPECT_TRUE(dock(*w, docks[0])->isVisible());
    EXPECT_TRUE(dock(*w, docks[1])->isHidden());

    // The histogram measures the preview as shown, at 8 bits, and moves with the exposure.
    const H& before = w->viewPanels().histogram().histogram();
    const cv::Mat preview = edited(*w)->preview();
    ASSERT_EQ(before.pixels, preview.rows * preview.cols);
    EXPECT_EQ(before.counts, computeHistogram(convertDepth(preview, 8)).counts);
    const double meanBefore = meanLevel(before, H::Luminance);
    EXPECT_FALSE(w->viewPanels().histogram().clippedText().isEmpty());
    QSlider* exposure = find<QSlider>(*w, "horizontalSlider_TMExposition");
    exposure->setValue(exposure->value() + 60);
    ASSERT_TRUE(waitRendered(*w));
    EXPECT_GT(meanLevel(w->viewPanels().histogram().histogram(), H::Luminance), meanBefore + 5.0);

    // The tone curve, shown now: straight before the tone sliders move, raised in the shadows after.
    find<QAction>(*w, actions[1])->setChecked(true);
    const std::vector<float> straight = w->viewPanels().toneCurve().curve();
    ASSERT_EQ(straight.size(), 256u);
    EXPECT_NEAR(straight[128], 128.f / 255.f, 0.02f);
    QSlider* shadows = find<QSlider>(*w, "horizontalSlider_TMShadows");
    shadows->setValue(shadows->maximum());
    ASSERT_TRUE(waitRendered(*w));
    EXPECT_GT(w->viewPanels().toneCurve().curve()[64], straight[64] + 0.02f);
}

TEST_F(ViewPanelsTest, TheExifPanelShowsAGeneratedPhotosTagsAndNothingForAnUntaggedOne) {
    if (QStandardPaths::findExecutable(QStringLiteral("exiftool")).isEmpty())
        GTEST_SKIP() << "exiftool is not installed";
    settings::write(settings::ShowExifPanel, true);
    cv::Mat photo(48, 64, CV_8UC3, cv::Scalar(60, 120, 180));
    const QString tagged = tempPath(QStringLiteral("tagged.jpg"));
    ASSERT_TRUE(cv::imwrite(tagged.toStdString(), photo));
    ASSERT_TRUE(
        runExiftool(QStringLiteral("-Make=Tavrel|-Model=T-100|-LensModel=Prime 35mm|-ExposureTime=1/250|"
                                   "-FNumber=4|-ISO=400|-DateTimeOriginal=2024:05:01 10:20:30|"
                                   "-GPSLatitude=48.5|-GPSLatitudeRef=N|-GPSLongitude=2.25|"
                                   "-GPSLongitudeRef=E")
                        .split(QLatin1Char('|')) +
                    QStringList{tagged}));
    const QString plain = tempPath(QStringLiteral("plain.png"));
    ASSERT_TRUE(cv::imwrite(plain.toStdString(), photo));

    auto w = makeWindow(2);
    ASSERT_TRUE(w->openMediaByPath(tagged));
    ASSERT_TRUE(waitFor([&] { return !w->viewPanels().readingExif(); }, 20000));
    const ExifView& exif = w->viewPanels().exif();
    const char* const shown[] = {"Tavrel T-100", "Prime 35mm", "1/250 s",
                                 "f/4",          "400",        "2024:05:01 10:20:30"};
    for (int field = 0; field < 6; ++field)
        EXPECT_EQ(exif.value(field), QString::fromLatin1(shown[field])) << field;
    EXPECT_TRUE(exif.value(6).contains(QStringLiteral("48 deg 30")) &&
                exif.value(6).contains(QStringLiteral("E")))
        << exif.value(6).toStdString();
    EXPECT_TRUE(find(*w, "label_ExifNone")->isHidden());

    auto other = makeWindow(2);
    ASSERT_TRUE(other->openMediaByPath(plain));
    ASSERT_TRUE(waitFor([&] { return !other->viewPanels().readingExif(); }, 20000));
    for (int field = 0; field < 7; ++field)
        EXPECT_TRUE(other->viewPanels().exif().value(field).isEmpty()) << field;
    EXPECT_FALSE(find(*other, "label_ExifNone")->isHidden());
}

} // namespace
