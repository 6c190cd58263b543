// The edited picture exported from the window is the one lumora-cli renders from the same control positions:
// several sliders, the operator's, a rotation and a crop made with the crop tool, on a Pro stacking result.

#include "FlowTestSupport.h"
#include "app/ProcessRunner.h"
#include "ui/ExportController.h"
#include "ui/SaveForm.h"
#include "ui/StackingController.h"

#include <QPushButton>
#include <QSlider>
#include <opencv2/imgcodecs.hpp>

namespace {

using namespace lumora;
using namespace lumora::test;

using EditingEndToEndTest = FlowTest;

TEST_F(EditingEndToEndTest, TheExportedEditIsWhatTheCommandLineRendersFromTheSamePositions) {
    auto w = proParametersForFrame15(1);
    messages_->answers = {false}; // the light image is not saved
    find<QPushButton>(*w, "pushButton_DefineParamsNext")->click();
    const auto rendered = [&] {
        return waitFor([&] { return w->workspace()->edited && !w->workspace()->edited->rendering(); });
    };
    ASSERT_TRUE(waitFor([&] { return !w->stacking().running() && w->workspace()->state == Editing; }));
    ASSERT_TRUE(rendered());

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
    for (const Control& c : controls) {
        find<QSlider>(*w, c.slider)->setValue(c.position);
        ASSERT_TRUE(rendered()) << c.slider;
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

    QStringList args = {
        QStringLiteral("render"),   sceneClip(),         QStringLiteral("--index"), QStringLiteral("15"),
        QStringLiteral("--before"), QStringLiteral("1"), QStringLiteral("--after"), QStringLiteral("1")};
    for (const Control& c : controls)
        args << QString::fromLatin1(c.option) << QString::number(c.position);
    const QString cliOut = dir + QStringLiteral("/cli.tif");
    args << QStringLiteral("--crop")
         << QStringLiteral("%1,%2,%3,%4").arg(crop.x).arg(crop.y).arg(crop.width).arg(crop.height)
         << QStringLiteral("-o") << cliOut << QStringLiteral("--bits") << QStringLiteral("16");
    const ProcessOutcome cli = runProcess(QString::fromStdString(binDir() + "/lumora-cli"), args, 300000);
    ASSERT_TRUE(cli.succeeded()) << cli.error << cli.standardError.constData();

    expectSameRender(exported, cliOut, crop.size());
}

} // namespace
