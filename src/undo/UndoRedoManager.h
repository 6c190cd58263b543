#pragma once
// Undo and redo of value changes made through widgets. An action remembers a widget, its ordinary setter and
// the old and new values; undo and redo only call that setter, so the widget's own change signal re-applies
// the value exactly as a user change would. Rapid changes of one widget merge into one action.

#include <QRect>
#include <QString>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <type_traits>
#include <vector>

namespace UndoRedoManager {

class ActionBase {
public:
    virtual ~ActionBase() = default;
    virtual void undo() = 0;
    virtual void redo() = 0;

protected:
    ActionBase() = default;
    ActionBase(const ActionBase&) = delete;
    ActionBase& operator=(const ActionBase&) = delete;
};

// One change of one widget. Arg is the setter's parameter type (T or const T&).
template <typename T, typename Widget, typename Arg = T> class Action : public ActionBase {
public:
    using Setter = void (Widget::*)(Arg);
    Action(T oldValue, T newValue, QString label, Setter setter, Widget* target)
        : oldValue_(std::move(oldValue)), newValue_(std::move(newValue)), label_(std::move(label)),
          setter_(setter), target_(target) {}

    void undo() override { (target_->*setter_)(oldValue_); }
    void redo() override { (target_->*setter_)(newValue_); }

    const T& oldValue() const { return oldValue_; }
    const T& newValue() const { return newValue_; }
    void setNewValue(T value) { newValue_ = std::move(value); }
    const QString& label() const { return label_; }
    Setter setter() const { return setter_; }
    Widget* target() const { return target_; }

private:
    T oldValue_;
    T newValue_;
    QString label_;
    Setter setter_;
    Widget* target_;
};

// Something that follows whether undo (or redo) is possible: typically a menu action's enabled state.
class WidgetControlBase {
public:
    virtual ~WidgetControlBase() = default;
    virtual void setState(bool state) = 0;
};

// Calls a bool member of a widget (QAction::setEnabled for the menu) with the state. The widget is not owned.
template <typename Widget> class WidgetControl : public WidgetControlBase {
public:
    using StateSetter = void (Widget::*)(bool);
    WidgetControl(Widget* widget, StateSetter setter) : widget_(widget), setter_(setter) {}
    void setState(bool state) override {
        if (widget_)
            (widget_->*setter_)(state);
    }

private:
    Widget* widget_;
    StateSetter setter_;
};

// Process-wide controls, told about every manager's stacks after each change. Owned by these lists.
void addUndoControl(std::unique_ptr<WidgetControlBase> control);
void addRedoControl(std::unique_ptr<WidgetControlBase> control);
void clearControls();

// Milliseconds from any fixed origin; injected so that tests can drive the merge window without waiting.
using Clock = std::function<std::int64_t()>;
Clock steadyClock();

// The undo and redo history of one workspace. GUI thread only.
class Manager {
public:
    static constexpr int kMaxActions = 20;
    static constexpr std::int64_t kMergeWindowMs = 500;

    explicit Manager(Clock clock = steadyClock());
    ~Manager();
    Manager(const Manager&) = delete;
    Manager& operator=(const Manager&) = delete;

    // Records a change made through `target` (sliders, combo boxes, spin boxes, buttons, group boxes).
    template <typename W, typename Base, typename T>
    void push(W* target, void (Base::*setter)(T), std::common_type_t<T> oldValue,
              std::common_type_t<T> newValue, const QString& label) {
        static_assert(std::is_base_of<Base, W>::value, "the setter must belong to the target");
        pushValue<std::decay_t<T>, Base, T>(static_cast<Base*>(target), setter, oldValue, newValue, label);
    }

    // The crop rectangle: four old and four new integers, replayed through the owner's set-crop operation.
    template <typename W>
    void push(W* target, void (W::*setCrop)(const QRect&), int oldX, int oldY, int oldWidth, int oldHeight,
              int newX, int newY, int newWidth, int newHeight, const QString& label) {
        pushValue<QRect, W, const QRect&>(target, setCrop, QRect(oldX, oldY, oldWidth, oldHeight),
                                          QRect(newX, newY, newWidth, newHeight), label);
    }

    bool undo();
    bool redo();
    void clear();
    void refreshControls() const;

    bool busy() const { return busy_; }
    int undoCount() const { return static_cast<int>(undo_.size()); }
    int redoCount() const { return static_cast<int>(redo_.size()); }
    // The newest undoable action (null when none), for inspection.
    const ActionBase* newestUndo() const { return undo_.empty() ? nullptr : undo_.back().get(); }

private:
    template <typename T, typename Widget, typename Arg>
    void pushValue(Widget* target, void (Widget::*setter)(Arg), const T& oldValue, const T& newValue,
                   const QString& label) {
        if (!admit(target != nullptr && !(oldValue == newValue)))
            return;
        using A = Action<T, Widget, Arg>;
        if (mergeCandidate()) {
            if (auto* last = dynamic_cast<A*>(undo_.back().get());
                last && last->target() == target && last->setter() == setter) {
                last->setNewValue(newValue);
                return;
            }
        }
        append(std::make_unique<A>(oldValue, newValue, label, setter, target));
    }

    // Entry checks and the push clock; true when the push goes on.
    bool admit(bool meaningful);
    // True when the previous admitted push was less than the merge window ago and an action exists.
    bool mergeCandidate() const { return withinMergeWindow_ && !undo_.empty(); }
    void append(std::unique_ptr<ActionBase> action);

    Clock clock_;
    std::deque<std::unique_ptr<ActionBase>> undo_;
    std::vector<std::unique_ptr<ActionBase>> redo_;
    bool busy_ = false;
    bool hasPushed_ = false;
    std::int64_t lastPush_ = 0;
    bool withinMergeWindow_ = false;
};

} // namespace UndoRedoManager
