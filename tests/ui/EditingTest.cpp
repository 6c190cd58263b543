// The editing page through the real window: the exposure highlight of the picture on screen, the operator
// pages, which changes refresh at once and which render on the picture's thread, double-click resets, showing
// the original with the key O, and undo and redo across the controls.

#include "FlowTestSupport.h"
#include "ui/EditingPanel.h"
#include "ui/PresetImage.h"
#include "ui/PresetsController.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLCDNumber>
#include <QLineEdit>
#include <QSlider>
#include <QStackedWidget>

namespace {

using namespace lumora;
using namespace lumora::test;

// Renders of the same picture with the same values agree to this much (float samples in [0, 1]).
constexpr double kSameRender = 1e-5;

TEST_F(EditingTest, HighlightMarksOverAndUnderExposedPixelsOnlyWhenAsked) {
    auto w = openPhoto();
    // Three columns of means 249, 128 and 5, shown at a size that keeps each column whole.
    cv::Mat picture(60, 90, CV_8UC3, cv::Scalar(249, 249, 249));
    picture.colRange(30, 60).setTo(cv::Scalar(120, 128, 136));
    picture.colRange(60, 90).setTo(cv::Scalar(4, 5, 6));
    w->editing().setDisplaySize(QSize(90, 60));
    const auto pixels = [&] {
        w->editing().displayImage(picture);
        const cv::Mat s = shownPicture(*w);
        return std::array<cv::Vec3b, 3>{s.at<cv::Vec3b>(30, 15), s.at<cv::Vec3b>(30, 45),
                                        s.at<cv::Vec3b>(30, 75)};
    };
    const auto plain = pixels();
    EXPECT_EQ(plain[0], cv::Vec3b(249, 249, 249));
    EXPECT_EQ(plain[2], cv::Vec3b(4, 5, 6));

    const cv::Vec3b lightRed(150, 150, 255), darkRed(0, 0, 110);
    QAction* over = find<QAction>(*w, "actionHighlight_over_exposed_pixels");
    QAction* under = find<QAction>(*w, "actionHighlight_under_exposed_pixels");
    over->trigger();
    EXPECT_TRUE(settings::read(settings::HighlightOverExposed));
    auto marked = pixels();
    EXPECT_EQ(marked[0], lightRed);
    EXPECT_EQ(marked[1], plain[1]);
    EXPECT_EQ(marked[2], plain[2]);
    under->trigger();
    marked = pixels();
    EXPECT_EQ(marked[0], lightRed);
    EXPECT_EQ(marked[2], darkRed);
    over->trigger();
    under->trigger();
    EXPECT_EQ(pixels(), plain);
    EXPECT_FALSE(settings::read(settings::HighlightUnderExposed));

    // A picture the screen cannot take is told about, and the one shown stays.
    w->editing().displayImage(cv::Mat(60, 90, CV_8UC2, cv::Scalar::all(7)));
    EXPECT_EQ(said("ErrorShowImage"), 1);
    EXPECT_EQ(shownPicture(*w).at<cv::Vec3b>(30, 15), plain[0]);
}

TEST_F(EditingTest, OperatorThreeShowsNoSlidersAndItsPresetsLeaveTheOperatorSliders) {
    auto w = openPhoto();
    QSlider* tm1 = find<QSlider>(*w, "horizontalSlider_TMAlpha");
    tm1->setValue(40);
    ASSERT_TRUE(waitRendered(*w));
    auto* combo = find<QComboBox>(*w, "comboBox_TM");
    combo->setCurrentIndex(3);
    auto* pages = find<QStackedWidget>(*w, "stackedWidget_TM");
    EXPECT_EQ(pages->currentWidget()->objectName(), QStringLiteral("page_TM5"));
    EXPECT_TRUE(pages->currentWidget()->findChildren<QSlider*>().isEmpty());
    EXPECT_TRUE(edited(*w)->rendering());
    ASSERT_TRUE(waitRendered(*w));
    EXPECT_EQ(edited(*w)->engine().params().operatorIndex, 3);

    combo->setCurrentIndex(0);
    ASSERT_TRUE(waitRendered(*w));
    PresetRecord sliders = PresetRecord::fromPositions("sliders only", ControlPositions{});
    sliders.TMAlgo = 3;
    sliders.alpha = -77;
    PresetImage image(sliders, nullptr);
    w->presets().onClickPresetImage(&image);
    ASSERT_TRUE(waitRendered(*w));
    EXPECT_EQ(tm1->value(), 40);
    EXPECT_EQ(pages->currentWidget()->objectName(), QStringLiteral("page_TM5"));
    EXPECT_EQ(edited(*w)->engine().params().operatorIndex, 3);
}

TEST_F(EditingTest, AdjustmentsRefreshAtOnceWhileOperatorChangesRenderOnTheThread) {
    auto w = openPhoto();
    QSlider* exposure = find<QSlider>(*w, "horizontalSlider_TMExposition");
    cv::Mat before = shownPicture(*w);
    for (int v = 10; v <= 50; v += 10) {
        exposure->setValue(v);
        // The picture on screen changed before anything else ran, and no render started.
        EXPECT_FALSE(edited(*w)->rendering()) << v;
        const cv::Mat now = shownPicture(*w);
        EXPECT_GT(cv::mean(now)[1], cv::mean(before)[1]) << v;
        before = now;
    }
    EXPECT_EQ(find<QLCDNumber>(*w, "lcdNumber_TMExposure")->intValue(), 50);

    find<QSlider>(*w, "horizontalSlider_TMAlpha")->setValue(60);
    EXPECT_TRUE(edited(*w)->rendering());
    // Nothing else may change the picture meanwhile.
    EXPECT_FALSE(find<QWidget>(*w, "frame_SecondOptions")->isEnabled());
    EXPECT_FALSE(find<QAction>(*w, "actionUndo")->isEnabled());
    ASSERT_TRUE(waitRendered(*w));
    EXPECT_TRUE(find<QWidget>(*w, "frame_SecondOptions")->isEnabled());
    EXPECT_TRUE(find<QAction>(*w, "actionUndo")->isEnabled());
    EXPECT_GT(largestDifference(shownPicture(*w), before), 0.0);
}

TEST_F(EditingTest, DoubleClickTakesSlidersBackToTheirDesignedPositions) {
    auto w = openPhoto();
    const auto doubleClick = [](QSlider* s) {
        mouse(QEvent::MouseButtonDblClick, s, s->rect().center(), Qt::LeftButton, Qt::LeftButton);
    };
    QSlider* rotation = find<QSlider>(*w, "horizontalSlider_Rotation");
    rotation->setValue(30);
    ASSERT_TRUE(waitRendered(*w));
    doubleClick(rotation);
    EXPECT_EQ(rotation->value(), 0);
    EXPECT_TRUE(edited(*w)->rendering());
    ASSERT_TRUE(waitRendered(*w));
    EXPECT_EQ(edited(*w)->engine().params().rotation, 0.f);
    // An unturned picture has the photo's proportions again.
    const cv::Mat preview = edited(*w)->preview();
    EXPECT_NEAR(double(preview.cols) / preview.rows, 320.0 / 240.0, 0.02);

    // Each slider goes back to its own designed position, which the positions record and the engine holds.
    QSlider* radius = find<QSlider>(*w, "horizontalSlider_TMSharpeningRadius");
    const int designed = radius->value();
    radius->setValue(designed + 4);
    doubleClick(radius);
    EXPECT_EQ(radius->value(), designed);
    EXPECT_EQ(edited(*w)->positions().controls.sharpeningRadius, designed);
}

TEST_F(EditingTest, HoldingOShowsTheOriginalUntilHalfASecondAfterTheLastPress) {
    auto w = openPhoto();
    find<QSlider>(*w, "horizontalSlider_TMExposition")->setValue(-80);
    const cv::Mat preview = shownPicture(*w);
    QFrame* logo = find<QFrame>(*w, "frame_BeforeAfterLogo");
    const auto pressO = [&] {
        QKeyEvent e(QEvent::KeyPress, Qt::Key_O, Qt::NoModifier, QStringLiteral("o"), true);
        QApplication::sendEvent(w.get(), &e);
    };
    // Auto-repeat while held: a press every 100 ms for 0.4 s.
    QElapsedTimer held;
    held.start();
    for (int i = 0; i < 5; ++i) {
        pressO();
        waitMs(100);
    }
    EXPECT_TRUE(w->editing().originalShown());
    EXPECT_TRUE(logo->property("onHov").toBool());
    // The photo is brighter than the darkened preview.
    EXPECT_GT(cv::mean(shownPicture(*w))[1], cv::mean(preview)[1] + 20);
    waitMs(250); // 350 ms after the last press
    EXPECT_TRUE(w->editing().originalShown());
    waitMs(300);
    EXPECT_FALSE(w->editing().originalShown());
    EXPECT_FALSE(logo->property("onHov").toBool());
    EXPECT_EQ(largestDifference(shownPicture(*w), preview), 0.0);

    // Once: shown again by hovering, the original stays while the mouse does.
    QEvent enter(QEvent::HoverEnter);
    QApplication::sendEvent(logo, &enter);
    waitMs(1200);
    EXPECT_TRUE(w->editing().originalShown());
    QEvent leave(QEvent::HoverLeave);
    QApplication::sendEvent(logo, &leave);
    EXPECT_FALSE(w->editing().originalShown());

    // In a text field, O is a letter.
    edited(*w)->findChild<QLineEdit*>(QStringLiteral("lineEdit_Title"))->setFocus();
    pressO();
    EXPECT_FALSE(w->editing().originalShown());
}

TEST_F(EditingTest, UndoAndRedoWalkBackAndForthAcrossControls) {
    auto w = openPhoto();
    QAction* undo = find<QAction>(*w, "actionUndo");
    QAction* redo = find<QAction>(*w, "actionRedo");
    EXPECT_FALSE(undo->isEnabled());
    QSlider* exposure = find<QSlider>(*w, "horizontalSlider_TMExposition");
    QSlider* tm1 = find<QSlider>(*w, "horizontalSlider_TMAlpha");
    QSlider* rotation = find<QSlider>(*w, "horizontalSlider_Rotation");
    auto* sharpening = find<QGroupBox>(*w, "groupBox_Sharpening");
    auto* combo = find<QComboBox>(*w, "comboBox_TM");
    const auto values = [&] {
        return std::vector<int>{exposure->value(), tm1->value(), int(sharpening->isChecked()),
                                combo->currentIndex(), rotation->value()};
    };
    const std::vector<std::function<void()>> changes = {
        [&] { exposure->setValue(35); }, [&] { tm1->setValue(-50); }, [&] { sharpening->setChecked(false); },
        [&] { combo->setCurrentIndex(1); }, [&] { rotation->setValue(-20); }};
    std::vector<std::vector<int>> states{values()};
    std::vector<cv::Mat> previews{edited(*w)->preview()};
    for (const auto& change : changes) {
        waitMs(550); // each its own step
        change();
        ASSERT_TRUE(waitRendered(*w));
        states.push_back(values());
        previews.push_back(edited(*w)->preview());
    }
    EXPECT_EQ(w->model().workspace()->undo.undoCount(), 5);
    for (int i = 4; i >= 0; --i) {
        undo->trigger();
        ASSERT_TRUE(waitRendered(*w));
        EXPECT_EQ(values(), states[size_t(i)]) << i;
        EXPECT_LE(largestDifference(edited(*w)->preview(), previews[size_t(i)]), kSameRender) << i;
    }
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_TRUE(redo->isEnabled());
    for (int i = 1; i <= 5; ++i) {
        redo->trigger();
        ASSERT_TRUE(waitRendered(*w));
        EXPECT_EQ(values(), states[size_t(i)]) << i;
    }
    EXPECT_LE(largestDifference(edited(*w)->preview(), previews.back()), kSameRender);

    // Two moves of one slider within half a second are one step back.
    waitMs(550);
    exposure->setValue(10);
    exposure->setValue(-15);
    EXPECT_EQ(w->model().workspace()->undo.undoCount(), 6);
    undo->trigger();
    EXPECT_EQ(exposure->value(), 35);
    EXPECT_FALSE(redo->isEnabled() && w->model().workspace()->undo.redoCount() != 1);
}

} // namespace
