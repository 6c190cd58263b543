// The edited picture exported from the window is the one lumora-cli renders from the same control positions:
// several sliders, the operator's, a rotation and a crop made with the crop tool, on a Pro stacking result.

#include "FlowTestSupport.h"
#include "app/ProcessRunner.h"
#include "ui/ExportController.h"
#include "ui/SaveForm.h"
#include "ui/StackingController.h"

#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <opencv2/imgcodecs.hpp>

namespace {

using namespace lumora;
using namespace lumora::test;

// Both render the same light image with the same values at full size; only sums split over threads may
// differ. Samples of the 16-bit results may differ by at most this much (of 65535), and on average by less.
constexpr double kMaxSampleDifference = 2.0;
constexpr double kMeanSampleDifference = 0.05;

using EditingEndToEndTest = FlowTest;

TEST_F(EditingEndToEndTest, TheExportedEditIsWhatTheCommandLineRendersFromTheSamePositions) {
    auto w = openScene(3);
    moveTo(*w, 15);
    find<QPushButton>(*w, "pushButton_SelectImageNext")->click();
    find<QSpinBox>(*w, "spinBox_ImageStackingBefore")->setValue(1);
    find<QSpinBox>(*w, "spinBox_ImageStackingAfter")->setValue(1);
    messages_->answers = {false}; // the light image is not saved
    find<QPushButton>(*w, "pushButton_DefineParamsNext")->click();
    const auto rendered = [&] {
        return waitFor([&] { return w->workspace()->edited && !w->workspace()->edited->rendering(); });
    };
    ASSERT_TRUE(waitFor([&] { return !w->stacking().running() && w->workspace()->state == Editing; }));
    ASSERT_TRUE(rendered());

    const std::pair<const char*, int> sliders[] = {
        {"horizontalSlider_TMExposition", 25}, {"horizontalSlider_TMContrast", 30},
        {"horizontalSlider_TMSaturation", -20}, {"horizontalSlider_TMVibrance", 10},
        {"horizontalSlider_TMStrength", 40},   {"horizontalSlider_TMAlpha", -30},
        {"horizontalSlider_Rotation_2", 12}};
    for (const auto& [name, v] : sliders) {
        find<QSlider>(*w, name)->setValue(v);
        ASSERT_TRUE(rendered()) << name;
    }
    // The crop tool's frame as it opens: the middle of the turned picture.
    find<QPushButton>(*w, "pushButton_Crop_2")->click();
    find<QPushButton>(*w, "pushButton_ApplyTool")->click();
    ASSERT_TRUE(rendered());
    const cv::Rect crop = w->workspace()->edited->engine().params().cropRect;
    ASSERT_GT(crop.area(), 0);

    const QString dir = tempPath(QStringLiteral("out"));
    QDir().mkpath(dir);
    const QString exported = dir + QStringLiteral("/window.tif");
    messages_->fileNames = {{exported}};
    ModalWatcher<SaveForm> depth([](SaveForm& form) { form.accept(); }); // 16 bits is preselected
    find<QPushButton>(*w, "pushButton_ProEditingExport")->click();
    ASSERT_TRUE(waitFor([&] { return !w->exports().running(); }));

    QStringList args = {QStringLiteral("render"), sceneClip(), QStringLiteral("--index"), QStringLiteral("15"),
                        QStringLiteral("--before"), QStringLiteral("1"), QStringLiteral("--after"),
                        QStringLiteral("1")};
    const std::pair<const char*, int> options[] = {{"--exposure", 25}, {"--contrast", 30}, {"--saturation", -20},
                                                   {"--vibrance", 10}, {"--strength", 40},  {"--alpha", -30},
                                                   {"--rotate", 12}};
    for (const auto& [flag, v] : options)
        args << QString::fromLatin1(flag) << QString::number(v);
    const QString cliOut = dir + QStringLiteral("/cli.tif");
    args << QStringLiteral("--crop")
         << QStringLiteral("%1,%2,%3,%4").arg(crop.x).arg(crop.y).arg(crop.width).arg(crop.height)
         << QStringLiteral("-o") << cliOut << QStringLiteral("--bits") << QStringLiteral("16");
    const ProcessOutcome cli = runProcess(QString::fromStdString(binDir() + "/lumora-cli"), args, 300000);
    ASSERT_TRUE(cli.succeeded()) << cli.error << cli.standardError.constData();

    const cv::Mat mine = cv::imread(exported.toStdString(), cv::IMREAD_UNCHANGED);
    const cv::Mat theirs = cv::imread(cliOut.toStdString(), cv::IMREAD_UNCHANGED);
    ASSERT_EQ(mine.type(), CV_16UC3);
    ASSERT_EQ(mine.size(), crop.size());
    ASSERT_EQ(theirs.size(), crop.size());
    cv::Mat difference;
    cv::absdiff(mine, theirs, difference);
    double largest = 0;
    cv::minMaxLoc(difference.reshape(1), nullptr, &largest);
    EXPECT_LE(largest, kMaxSampleDifference);
    EXPECT_LE(cv::mean(difference.reshape(1))[0], kMeanSampleDifference);
    cv::Scalar mean, spread;
    cv::meanStdDev(mine.reshape(1), mean, spread);
    EXPECT_GT(spread[0], 1000.0); // a picture, not a blank that trivially matches
}

} // namespace
