// From a clip to an exported picture through the real window in Pro, checked against lumora-cli given the
// same choices: the stacking result as it comes (the run counted on the progress bar, the light image saved
// under its proposed name, the program's keyword in the file), and the same result edited with sliders, a
// rotation and the crop tool. An HLG clip goes the same way: shown through the display transform, stacked,
// edited and exported, also as an OpenEXR light image and an HDR AVIF picture.

#include "FlowTestSupport.h"
#include "HdrPatches.h"
#include "app/ProcessRunner.h"
#include "imageio/ImageFile.h"
#include "ui/ExportController.h"
#include "ui/FrameThumbnails.h"
#include "ui/SaveForm.h"
#include "ui/StackingController.h"

#include <QComboBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <opencv2/imgcodecs.hpp>

namespace {

using namespace lumora;
using namespace lumora::test;

// The window and lumora-cli render the same light image with the same values at full size; what may differ is
// only the order of floating-point sums split over threads. Samples of 16-bit results may differ by at most
// this much (of 65535), and on average by far less.
constexpr double kMaxSampleDifference = 2.0;
constexpr double kMeanSampleDifference = 0.05;

class EndToEndTest : public FlowTest {
protected:
    // The scene in Pro, frame 15 with `around` frames on either side stacked; true once editing shows it.
    bool stackFrame15(LumoraV2& w, int around) { return stackFrame(w, 15, around); }
    bool stackFrame(LumoraV2& w, int index, int around) {
        moveTo(w, index);
        find<QPushButton>(w, "pushButton_SelectImageNext")->click();
        EXPECT_EQ(w.model().workspace()->state, DefiningParameters);
        find<QSpinBox>(w, "spinBox_ImageStackingBefore")->setValue(around);
        find<QSpinBox>(w, "spinBox_ImageStackingAfter")->setValue(around);
        find<QPushButton>(w, "pushButton_DefineParamsNext")->click();
        return waitFor([&] { return !w.stacking().running() && w.model().workspace()->state == Editing; }) &&
               waitRendered(w);
    }
    // The edited picture exported through the Pro export button as a 16-bit TIFF (preselected); its path.
    QString exportTiff16(LumoraV2& w) {
        const QString exported = tempPath(QStringLiteral("window.tif"));
        messages_->fileNames = {{exported}};
        ModalWatcher<SaveForm> depth([](SaveForm& form) { form.accept(); });
        find<QPushButton>(w, "pushButton_ProEditingExport")->click();
        EXPECT_TRUE(waitFor([&] { return !w.exports().running(); }));
        EXPECT_EQ(depth.seen(), 1);
        EXPECT_EQ(countTitled("ErrorWritingImageTitle") + countTitled("ErrorCopyingExifTitle"), 0);
        return exported;
    }
    // lumora-cli's render of frame 15 and `around` neighbours with `options`, as a 16-bit TIFF; its path.
    QString cliRender(int around, const QStringList& options) {
        const QString out = tempPath(QStringLiteral("cli.tif"));
        const QString n = QString::number(around);
        const CliRun cli = runCli(
            QStringList{QStringLiteral("render"), sceneClip(), QStringLiteral("--index"),
                        QStringLiteral("15"), QStringLiteral("--before"), n, QStringLiteral("--after"), n} +
                options +
                QStringList{QStringLiteral("-o"), out, QStringLiteral("--bits"), QStringLiteral("16")},
            tempPath(QStringLiteral("cli-home")));
        EXPECT_EQ(cli.exitCode, 0) << cli.err.constData();
        return out;
    }
    // The two 16-bit files hold the same picture within the tolerances, `size` large, and not a blank one
    // that would trivially match.
    static void expectSameRender(const QString& mine, const QString& theirs, const cv::Size& size) {
        const cv::Mat a = cv::imread(mine.toStdString(), cv::IMREAD_UNCHANGED);
        const cv::Mat b = cv::imread(theirs.toStdString(), cv::IMREAD_UNCHANGED);
        ASSERT_EQ(a.type(), CV_16UC3);
        ASSERT_EQ(b.type(), CV_16UC3);
        ASSERT_EQ(a.size(), size);
        ASSERT_EQ(b.size(), size);
        EXPECT_LE(largestDifference(a, b), kMaxSampleDifference);
        cv::Mat difference;
        cv::absdiff(a, b, difference);
        EXPECT_LE(cv::mean(difference.reshape(1))[0], kMeanSampleDifference);
        cv::Scalar mean, spread;
        cv::meanStdDev(a.reshape(1), mean, spread);
        EXPECT_GT(spread[0], 1000.0);
    }
};

TEST_F(EndToEndTest, TheWindowExportsWhatTheCommandLineRenders) {
    auto w = openScene(3);
    // Yes to saving the light image, under the name proposed, as Radiance HDR.
    messages_->answers = {true};
    messages_->fileNames = {{QStringLiteral("*.hdr")}};
    ASSERT_TRUE(stackFrame15(*w, 3));
    EXPECT_EQ(w->model().workspace()->stackedFrameCount, 7);
    // The progress bar counted the frames in its own words ("ImageNumber" filled, no printf left).
    const QString format = find<QProgressBar>(*w, "progressBar_Computing")->format();
    EXPECT_TRUE(format.contains(QStringLiteral("7"))) << qPrintable(format);
    EXPECT_FALSE(format.contains(QStringLiteral("%d"))) << qPrintable(format);
    ASSERT_EQ(flow_->saveStarts.size(), 1u);
    const QString proposed = QFileInfo(flow_->saveStarts[0]).fileName();
    // Anti-ghosting 100, automatic movement (slider at 30), quality Good, seven frames.
    EXPECT_EQ(proposed, QStringLiteral("Hi_scene_180p (A10_M3a_") + translatedText("Good").left(2) +
                            QStringLiteral("7)"));
    const cv::Mat light =
        cv::imread((flow_->saveStarts[0] + QStringLiteral(".hdr")).toStdString(), cv::IMREAD_UNCHANGED);
    EXPECT_EQ(light.type(), CV_32FC3);
    EXPECT_EQ(light.size(), cv::Size(320, 180));
    // The result is edited under the same name.
    EXPECT_EQ(edited(*w)->exportName(), proposed);

    const QString exported = exportTiff16(*w);
    expectSameRender(exported, cliRender(3, {}), cv::Size(320, 180));

    const QString exiftool = findHelperProgram(QStringLiteral("exiftool"));
    ASSERT_FALSE(exiftool.isEmpty());
    const ProcessOutcome tags = runProcess(
        exiftool, {QStringLiteral("-s3"), QStringLiteral("-Keywords"), QStringLiteral("--"), exported},
        60000);
    ASSERT_TRUE(tags.succeeded()) << tags.error;
    EXPECT_TRUE(tags.standardOutput.contains("Lumora")) << tags.standardOutput.constData();
}

TEST_F(EndToEndTest, TheExportedEditIsWhatTheCommandLineRendersFromTheSamePositions) {
    auto w = openScene(3);
    messages_->answers = {false}; // the light image is not saved
    ASSERT_TRUE(stackFrame15(*w, 1));

    // Each control of the window and the option of lumora-cli that takes the same position.
    struct Control {
        const char* slider;
        const char* option;
        int position;
    };
    const Control controls[] = {{"horizontalSlider_TMExposition", "--exposure", 25},
                                {"horizontalSlider_TMContrast", "--contrast", 30},
                                {"horizontalSlider_TMSaturation", "--saturation", -20},
                                {"horizontalSlider_TMVibrance", "--vibrance", 10},
                                {"horizontalSlider_TMStrength", "--strength", 40},
                                {"horizontalSlider_TMAlpha", "--alpha", -30},
                                {"horizontalSlider_Rotation_2", "--rotate", 12}};
    QStringList options;
    for (const Control& c : controls) {
        find<QSlider>(*w, c.slider)->setValue(c.position);
        ASSERT_TRUE(waitRendered(*w)) << c.slider;
        options << QString::fromLatin1(c.option) << QString::number(c.position);
    }
    // The crop tool's frame as it opens: the middle of the turned picture.
    find<QPushButton>(*w, "pushButton_Crop_2")->click();
    find<QPushButton>(*w, "pushButton_ApplyTool")->click();
    ASSERT_TRUE(waitRendered(*w));
    const cv::Rect crop = edited(*w)->engine().params().cropRect;
    ASSERT_GT(crop.area(), 0);
    options << QStringLiteral("--crop")
            << QStringLiteral("%1,%2,%3,%4").arg(crop.x).arg(crop.y).arg(crop.width).arg(crop.height);

    const QString exported = exportTiff16(*w);
    expectSameRender(exported, cliRender(1, options), crop.size());

    // The recipe written beside the export makes the same picture again, to the byte.
    const QString again = tempPath(QStringLiteral("again.tif"));
    const CliRun cli = runCli({QStringLiteral("render"), QStringLiteral("--recipe"),
                               tempPath(QStringLiteral("window.lumora.json")), QStringLiteral("-o"), again},
                              tempPath(QStringLiteral("cli-home")));
    ASSERT_EQ(cli.exitCode, 0) << cli.err.constData();
    EXPECT_TRUE(cli.err.isEmpty()) << cli.err.constData();
    EXPECT_EQ(fileText(again.toStdString()), fileText(exported.toStdString()));
}

TEST_F(EndToEndTest, AnHlgClipIsShownStackedEditedAndExported) {
    auto w = makeWindow(3);
    ASSERT_TRUE(w->openMediaByPath(QString::fromStdString(testMediaPath("hdr_hlg.mp4"))));
    moveTo(*w, 2);
    // Shown through the display transform: reference white at 1, the clip's peak (3.77 times it) rolled off
    // to display white, the 1/2.2 power. The reference patch has a tenth of the peak's light.
    const cv::Mat shown = w->model().workspace()->sequence()->displayImage();
    ASSERT_EQ(shown.type(), CV_16UC3);
    const double peak = 1.0 / 0.264962, x = peak / 10.0;
    const double expected = std::pow(x * (1.0 + x / (peak * peak)) / (1.0 + x), 1.0 / 2.2) * 65535.0;
    // The search results' thumbnails show it the same way.
    lumora::RunControl run;
    const std::vector<cv::Mat> thumbnails =
        lumora::readFrameThumbnails(*w->model().workspace()->sequence(), {2}, 320, run);
    ASSERT_EQ(thumbnails.size(), 1u);
    for (const cv::Mat& picture : {shown, thumbnails[0]}) {
        for (int patch : {testmedia::kHdrReferencePatch, 4}) {
            const cv::Scalar m = cv::mean(picture(testmedia::hdrPatchRect(picture.size(), patch, 4)));
            EXPECT_NEAR(m[1] / (patch == 4 ? 65535.0 : expected), 1.0, 0.01) << "patch " << patch;
        }
    }

    messages_->answers = {false}; // the light image is not saved
    ASSERT_TRUE(stackFrame(*w, 2, 1));
    EXPECT_EQ(w->model().workspace()->stackedFrameCount, 3);
    find<QSlider>(*w, "horizontalSlider_TMExposition")->setValue(20);
    ASSERT_TRUE(waitRendered(*w));
    const cv::Mat exported = cv::imread(exportTiff16(*w).toStdString(), cv::IMREAD_UNCHANGED);
    ASSERT_EQ(exported.type(), CV_16UC3);
    ASSERT_EQ(exported.size(), cv::Size(1280, 720));
    // The patches come out in the scene's order of brightness.
    double previous = -1.0;
    for (int patch = 0; patch < 5; ++patch) {
        const double m = cv::mean(exported(testmedia::hdrPatchRect(exported.size(), patch, 8)))[1];
        EXPECT_GT(m, previous) << "patch " << patch;
        previous = m;
    }
}

// The light image saved as OpenEXR when stacking ends: the clip's reference white (HLG 75 %) at 1.0, the
// scene's peak (3.77 times it) above; the edit exported as HLG AVIF keeps the peak patch above diffuse white.
TEST_F(EndToEndTest, AnHlgClipStackedIsSavedAsOpenExrAndExportedAsHdrAvif) {
    auto w = makeWindow(3);
    ASSERT_TRUE(w->openMediaByPath(QString::fromStdString(testMediaPath("hdr_hlg.mp4"))));
    const QString light = tempPath(QStringLiteral("light.exr")), avif = tempPath(QStringLiteral("edit.avif"));
    messages_->answers = {true}; // the light image is saved
    messages_->fileNames = {{light}, {avif}};
    int hdrControlsShown = 0;
    ModalWatcher<SaveForm> options([&](SaveForm& form) {
        auto* peak = form.findChild<QSpinBox*>(QStringLiteral("spinBox_PeakBrightness"));
        auto* transfer = form.findChild<QComboBox*>(QStringLiteral("comboBox_HdrTransfer"));
        if (peak && !peak->isHidden())
            ++hdrControlsShown;
        if (transfer && !transfer->isHidden())
            transfer->setCurrentIndex(1); // HLG
        form.accept();
    });
    ASSERT_TRUE(stackFrame(*w, 2, 1));
    EXPECT_EQ(options.seen(), 1); // half or float
    const cv::Mat exr = readImage(light.toStdString());
    ASSERT_EQ(exr.type(), CV_32FC3);
    const double white = 0.264962; // HLG scene light of reference white
    for (int patch : {testmedia::kHdrReferencePatch, 4}) {
        const double scene = testmedia::hdrPatchLight(testmedia::HdrScene::Hlg)[std::size_t(patch)];
        const double m = cv::mean(exr(testmedia::hdrPatchRect(exr.size(), patch, 8)))[1];
        EXPECT_NEAR(m / (scene / white), 1.0, 0.05) << "patch " << patch;
    }

    find<QPushButton>(*w, "pushButton_ProEditingExport")->click();
    ASSERT_TRUE(waitFor([&] { return !w->exports().running(); }));
    EXPECT_EQ(options.seen(), 2);
    EXPECT_EQ(hdrControlsShown, 2);
    EXPECT_EQ(countTitled("ErrorWritingImageTitle") + countTitled("ErrorCopyingExifTitle"), 0);
    EXPECT_EQ(settings::read(settings::HdrTransfer), 1);
    // Read back as 16-bit codes (10-bit stretched): HLG's 75 % is diffuse white.
    const cv::Mat hdr = readImage(avif.toStdString());
    ASSERT_EQ(hdr.type(), CV_16UC3);
    ASSERT_EQ(hdr.size(), cv::Size(1280, 720));
    const double peakPatch = cv::mean(hdr(testmedia::hdrPatchRect(hdr.size(), 4, 8)))[1] / 65535.0;
    const double referencePatch =
        cv::mean(hdr(testmedia::hdrPatchRect(hdr.size(), testmedia::kHdrReferencePatch, 8)))[1] / 65535.0;
    EXPECT_GT(peakPatch, 0.8);
    EXPECT_LT(referencePatch, 0.75);
}

} // namespace
