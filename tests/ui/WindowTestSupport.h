#pragma once
// Helpers for driving the real main window in tests: a window in a fresh settings store with a scripted
// message service, waiting on a condition, answering modal dialogs from a timer, sending mouse presses, the
// picture on screen, and small media files in a temporary folder.

#include "ScriptedMessageService.h"
#include "TestEnvironment.h"
#include "app/Settings.h"
#include "ui/LumoraV2.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <opencv2/core.hpp>

namespace lumora::test {

inline void settle(int rounds = 5) {
    for (int i = 0; i < rounds; ++i)
        QApplication::processEvents();
}

// Processes events for `ms` milliseconds (timers fire meanwhile).
inline void waitMs(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
}

// Processes events until `done` holds or `ms` passed; whether it held.
inline bool waitFor(const std::function<bool()>& done, int ms = 60000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// Answers every modal dialog of type D that shows while it lives, counting them.
template <typename D> class ModalWatcher {
public:
    explicit ModalWatcher(std::function<void(D&)> act) : act_(std::move(act)) {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* d = qobject_cast<D*>(QApplication::activeModalWidget());
            if (!d || d == last_)
                return;
            last_ = d;
            ++seen_;
            act_(*d);
        });
        timer_.start();
    }
    int seen() const { return seen_; }

private:
    std::function<void(D&)> act_;
    QTimer timer_;
    QPointer<D> last_;
    int seen_ = 0;
};

// A mouse event at `at` in `w`'s coordinates: the button that changed and those held afterwards.
inline void mouse(QEvent::Type type, QWidget* w, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
    QMouseEvent e(type, at, w->mapToGlobal(at), button, held, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}
// The left button pressed (by default in the middle), moved with it held, released.
inline void press(QWidget* w, QPoint at = QPoint(-1, -1)) {
    mouse(QEvent::MouseButtonPress, w, at.x() < 0 ? w->rect().center() : at, Qt::LeftButton, Qt::LeftButton);
}
inline void move(QWidget* w, QPoint at) {
    mouse(QEvent::MouseMove, w, at, Qt::NoButton, Qt::LeftButton);
}
inline void release(QWidget* w, QPoint at) {
    mouse(QEvent::MouseButtonRelease, w, at, Qt::LeftButton, Qt::NoButton);
}

class WindowTest : public ::testing::Test {
protected:
    // A shown window of a usual size; `mode` 1 to 3 is stored first so the window starts in it.
    std::unique_ptr<LumoraV2> makeWindow(int mode = 0) {
        if (mode)
            settings::write(settings::WindowMode, mode);
        auto w = std::make_unique<LumoraV2>(messages_);
        w->resize(1200, 800);
        w->show();
        settle();
        return w;
    }
    template <typename T = QWidget> T* find(LumoraV2& w, const char* name) {
        return w.findChild<T*>(QString::fromLatin1(name));
    }
    // A file in the test's temporary folder.
    QString tempPath(const QString& name) const { return temp_.path() + QLatin1Char('/') + name; }
    // An 8-bit BGR image file of the given colour: JPEG for a ".jpg" name, PNG otherwise.
    QString writeImage(const QString& name, cv::Scalar colour = cv::Scalar(40, 90, 160), int w = 64,
                       int h = 48);
    QString writeText(const QString& name, const QByteArray& content = "not a picture");
    QString copyMedia(const char* mediaName, const QString& as);
    // The picture on screen, 8-bit BGR.
    static cv::Mat shownPicture(LumoraV2& w);
    // How many messages so far had the translation of `titleKey` as title.
    int countTitled(const char* titleKey) const;

    IsolatedUserStore store_;
    QTemporaryDir temp_;
    std::shared_ptr<ScriptedMessageService> messages_ = std::make_shared<ScriptedMessageService>();
};

} // namespace lumora::test
