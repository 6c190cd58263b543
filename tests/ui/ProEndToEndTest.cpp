// From a clip to an exported picture through the real window in Pro: choose a frame and its neighbours,
// stack, save the light image under its proposed name, export the result as a 16-bit TIFF, and check that
// lumora-cli, given the same choices, makes the same picture, and that the file carries the program's
// keyword.

#include "FlowTestSupport.h"
#include "app/ProcessRunner.h"
#include "ui/ExportController.h"
#include "ui/SaveForm.h"
#include "ui/SelectionFlowController.h"
#include "ui/StackingController.h"

#include <QPushButton>
#include <opencv2/imgcodecs.hpp>

namespace {

using namespace lumora;
using namespace lumora::test;

using ProEndToEndTest = FlowTest;

TEST_F(ProEndToEndTest, TheWindowExportsWhatTheCommandLineRenders) {
    auto w = proParametersForFrame15(3);

    // Yes to saving the light image, under the name proposed, as Radiance HDR.
    messages_->answers = {true};
    messages_->fileNames = {{QStringLiteral("*.hdr")}};
    find<QPushButton>(*w, "pushButton_DefineParamsNext")->click();
    ASSERT_TRUE(waitFor([&] { return !w->stacking().running() && w->workspace()->state == Editing; }));
    ASSERT_EQ(flow_->saveStarts.size(), 1u);
    const QString proposed = QFileInfo(flow_->saveStarts[0]).fileName();
    // Anti-ghosting 100, automatic movement (slider at 30), quality Good, seven frames.
    EXPECT_EQ(proposed, QStringLiteral("Hi_scene_180p (A10_M3a_") + translatedText("Good").left(2) +
                            QStringLiteral("7)"));
    const cv::Mat light =
        cv::imread((flow_->saveStarts[0] + QStringLiteral(".hdr")).toStdString(), cv::IMREAD_UNCHANGED);
    EXPECT_EQ(light.type(), CV_32FC3);
    EXPECT_EQ(light.size(), cv::Size(320, 180));

    // The result is edited under the same name; export it as a 16-bit TIFF once its preview is shown.
    ASSERT_NE(w->workspace()->edited, nullptr);
    ASSERT_TRUE(waitFor([&] { return !w->workspace()->edited->rendering(); }));
    EXPECT_EQ(w->workspace()->edited->exportName(), proposed);
    const QString dir = tempPath(QStringLiteral("out"));
    QDir().mkpath(dir);
    const QString exported = dir + QStringLiteral("/window.tif");
    messages_->fileNames = {{exported}};
    ModalWatcher<SaveForm> depth([](SaveForm& form) { form.accept(); }); // 16 bits is preselected
    find<QPushButton>(*w, "pushButton_ProEditingExport")->click();
    ASSERT_TRUE(waitFor([&] { return !w->exports().running(); }));
    EXPECT_EQ(depth.seen(), 1);
    EXPECT_EQ(countTitled("ErrorWritingImageTitle") + countTitled("ErrorCopyingExifTitle"), 0);

    const QString cliOut = dir + QStringLiteral("/cli.tif");
    const ProcessOutcome cli = runProcess(
        QString::fromStdString(binDir() + "/lumora-cli"),
        {QStringLiteral("render"), sceneClip(), QStringLiteral("--index"), QStringLiteral("15"),
         QStringLiteral("--before"), QStringLiteral("3"), QStringLiteral("--after"), QStringLiteral("3"),
         QStringLiteral("-o"), cliOut, QStringLiteral("--bits"), QStringLiteral("16")},
        300000);
    ASSERT_TRUE(cli.succeeded()) << cli.error << cli.standardError.constData();

    expectSameRender(exported, cliOut, cv::Size(320, 180));

    const QString exiftool = findHelperProgram(QStringLiteral("exiftool"));
    ASSERT_FALSE(exiftool.isEmpty());
    const ProcessOutcome tags = runProcess(
        exiftool, {QStringLiteral("-s3"), QStringLiteral("-Keywords"), QStringLiteral("--"), exported},
        60000);
    ASSERT_TRUE(tags.succeeded()) << tags.error;
    EXPECT_TRUE(tags.standardOutput.contains("Lumora")) << tags.standardOutput.constData();
}

} // namespace
