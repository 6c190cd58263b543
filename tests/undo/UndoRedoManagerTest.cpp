// The undo/redo manager driven the way the window drives it: widgets whose change signals push actions, a
// fake clock for the 500 ms merge rule, and the menu actions that follow the stacks. Every kind of widget the
// window records (combo boxes, spin boxes, check and group boxes) is undone through the window in tests/ui.

#include "undo/UndoRedoManager.h"

#include <QAction>
#include <QSlider>
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

using namespace UndoRedoManager;

namespace {

// Stands in for the window: owns the crop rectangle, pushes on every change like the window's slots do.
class CropOwner {
public:
    explicit CropOwner(Manager& m) : manager_(m) {}
    void setCrop(const QRect& r) {
        calls.push_back(r);
        manager_.push(this, &CropOwner::setCrop, crop.x(), crop.y(), crop.width(), crop.height(), r.x(),
                      r.y(), r.width(), r.height(), QStringLiteral("Undo on crop"));
        crop = r;
    }
    QRect crop{-1, -1, -1, -1};
    std::vector<QRect> calls;

private:
    Manager& manager_;
};

class UndoTest : public ::testing::Test {
protected:
    void SetUp() override {
        clearControls();
        addUndoControl(std::make_unique<WidgetControl<QAction>>(&undoAction, &QAction::setEnabled));
        addRedoControl(std::make_unique<WidgetControl<QAction>>(&redoAction, &QAction::setEnabled));
        undoAction.setEnabled(false);
        redoAction.setEnabled(false);
        slider.setRange(-100, 100);
        other.setRange(-100, 100);
        watch(slider, sliderLast);
        watch(other, otherLast);
    }
    void TearDown() override { clearControls(); }

    // The window's slot: push old -> new, then remember the new position.
    void watch(QSlider& s, int& last) {
        QObject::connect(&s, &QSlider::valueChanged, [this, &s, &last](int v) {
            manager.push(&s, &QAbstractSlider::setValue, last, v, QStringLiteral("Undo on exposure slider"));
            last = v;
        });
    }
    void step(QSlider& s, int v, std::int64_t advanceMs) {
        now += advanceMs;
        s.setValue(v);
    }

    std::int64_t now = 1000; // the manager's clock, in milliseconds
    Manager manager{[this] { return now; }};
    QAction undoAction{QStringLiteral("Undo"), nullptr};
    QAction redoAction{QStringLiteral("Redo"), nullptr};
    QSlider slider;
    QSlider other;
    int sliderLast = 0;
    int otherLast = 0;
};

} // namespace

TEST_F(UndoTest, ChangesOfOneWidgetWithinHalfASecondMerge) {
    for (int v = 1; v <= 30; ++v)
        step(slider, v, 120); // a drag: well inside 500 ms per step, 3.6 s in all
    EXPECT_EQ(manager.undoCount(), 1);
    ASSERT_TRUE(manager.undo());
    EXPECT_EQ(slider.value(), 0);
    ASSERT_TRUE(manager.redo());
    EXPECT_EQ(slider.value(), 30);

    step(slider, 40, 600); // more than half a second later: a step of its own
    step(slider, 5, 1000);
    step(slider, 6, 500); // exactly 500 ms later is no longer "within"
    EXPECT_EQ(manager.undoCount(), 4);
    step(other, 20, 50); // quick changes of different widgets do not merge
    step(slider, 30, 50);
    EXPECT_EQ(manager.undoCount(), 6);
}

TEST_F(UndoTest, OnlyTheLastTwentyOfTwentyFiveChangesCanBeUndone) {
    for (int v = 1; v <= 25; ++v)
        step(slider, v * 2, 600);
    EXPECT_EQ(manager.undoCount(), Manager::kMaxActions);
    int undone = 0;
    while (manager.undo())
        ++undone;
    EXPECT_EQ(undone, 20);
    EXPECT_EQ(slider.value(), 10) << "the value after the fifth change";
}

TEST_F(UndoTest, UndoReplaysWithoutRecordingAndANewChangeClearsRedoWithTheMenusFollowing) {
    manager.push(&slider, &QAbstractSlider::setValue, 7, 7, QStringLiteral("same"));
    manager.push(static_cast<QSlider*>(nullptr), &QAbstractSlider::setValue, 1, 2, QStringLiteral("none"));
    EXPECT_EQ(manager.undoCount(), 0) << "the current value or no target is no change";
    EXPECT_FALSE(manager.undo());
    EXPECT_FALSE(undoAction.isEnabled());

    step(slider, 40, 0);
    step(slider, 60, 700);
    EXPECT_TRUE(undoAction.isEnabled());
    ASSERT_TRUE(manager.undo()); // setValue(40) fires valueChanged, whose push is ignored while busy
    EXPECT_FALSE(manager.busy());
    EXPECT_EQ(manager.undoCount(), 1);
    EXPECT_EQ(manager.redoCount(), 1);
    EXPECT_EQ(sliderLast, 40) << "the window's slot saw the change";
    EXPECT_TRUE(undoAction.isEnabled());
    EXPECT_TRUE(redoAction.isEnabled());
    step(slider, -30, 700);
    EXPECT_EQ(manager.redoCount(), 0);
    EXPECT_FALSE(redoAction.isEnabled());
    EXPECT_FALSE(manager.redo());
    manager.clear(); // applying a preset
    EXPECT_FALSE(undoAction.isEnabled());
    EXPECT_EQ(manager.undoCount() + manager.redoCount(), 0);
}

TEST_F(UndoTest, UndoOfACropCallsTheSetterWithoutPushing) {
    CropOwner owner(manager);
    owner.setCrop(QRect(10, 20, 300, 200));
    now += 1000;
    owner.setCrop(QRect(15, 25, 100, 50));
    ASSERT_EQ(manager.undoCount(), 2);
    owner.calls.clear();
    ASSERT_TRUE(manager.undo());
    ASSERT_EQ(owner.calls.size(), 1u);
    EXPECT_EQ(owner.calls[0], QRect(10, 20, 300, 200));
    EXPECT_EQ(manager.undoCount(), 1);
    EXPECT_EQ(manager.redoCount(), 1);
    // The same rectangle again is no change.
    now += 1000;
    owner.setCrop(QRect(10, 20, 300, 200));
    EXPECT_EQ(manager.redoCount(), 1);
}
