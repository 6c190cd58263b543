#include "undo/UndoRedoManager.h"

#include <chrono>

namespace UndoRedoManager {

namespace {

struct Controls {
    std::vector<std::unique_ptr<WidgetControlBase>> undo;
    std::vector<std::unique_ptr<WidgetControlBase>> redo;
};

Controls& controls() {
    static Controls c;
    return c;
}

// Clears busy however the action's setter returns.
struct BusyScope {
    explicit BusyScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~BusyScope() { flag_ = false; }
    bool& flag_;
};

} // namespace

void addUndoControl(std::unique_ptr<WidgetControlBase> control) {
    if (control)
        controls().undo.push_back(std::move(control));
}

void addRedoControl(std::unique_ptr<WidgetControlBase> control) {
    if (control)
        controls().redo.push_back(std::move(control));
}

void clearControls() {
    controls().undo.clear();
    controls().redo.clear();
}

Clock steadyClock() {
    return [] {
        return static_cast<std::int64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                             std::chrono::steady_clock::now().time_since_epoch())
                                             .count());
    };
}

Manager::Manager(Clock clock) : clock_(clock ? std::move(clock) : steadyClock()) {}

Manager::~Manager() = default;

bool Manager::admit(bool meaningful) {
    if (busy_ || !meaningful)
        return false;
    const std::int64_t now = clock_();
    withinMergeWindow_ = hasPushed_ && now < lastPush_ + kMergeWindowMs;
    lastPush_ = now;
    hasPushed_ = true;
    return true;
}

void Manager::append(std::unique_ptr<ActionBase> action) {
    while (static_cast<int>(undo_.size()) >= kMaxActions)
        undo_.pop_front();
    undo_.push_back(std::move(action));
    redo_.clear();
    refreshControls();
}

bool Manager::undo() {
    if (undo_.empty())
        return false;
    {
        BusyScope scope(busy_);
        std::unique_ptr<ActionBase> action = std::move(undo_.back());
        undo_.pop_back();
        action->undo();
        redo_.push_back(std::move(action));
    }
    refreshControls();
    return true;
}

bool Manager::redo() {
    if (redo_.empty())
        return false;
    {
        BusyScope scope(busy_);
        std::unique_ptr<ActionBase> action = std::move(redo_.back());
        redo_.pop_back();
        action->redo();
        undo_.push_back(std::move(action));
    }
    refreshControls();
    return true;
}

void Manager::clear() {
    undo_.clear();
    refreshControls();
    redo_.clear();
    refreshControls();
}

void Manager::refreshControls() const {
    for (const auto& c : controls().undo)
        c->setState(!undo_.empty());
    for (const auto& c : controls().redo)
        c->setState(!redo_.empty());
}

} // namespace UndoRedoManager
