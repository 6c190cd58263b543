#pragma once
// Whether a newer version is published: checked quietly once after start-up and on demand from the Help menu.
// The page is read by a PageFetcher under its limits; the offer is shown through the message service and
// its download page opened by the desktop's handler for web addresses.

#include "net/PageFetcher.h"

#include <QObject>

namespace lumora {

class MessageService;
struct WindowContext;

class UpdatesController : public QObject {
    Q_OBJECT
public:
    explicit UpdatesController(const WindowContext& context);

    // The start-up check: silent unless there is news the user has not declined.
    void startAutomaticCheck();
    // Drops a check in progress without a word (the window is closing).
    void abort() { fetcher_.abort(); }
    // Time and size limits of the page read; tests shorten them.
    PageFetcher& fetcher() { return fetcher_; }

public slots:
    // The Help menu's check: always answers, and ignores an earlier "do not show again".
    void checkUpdates();
    void resultCheckingUpdates(bool ok, const QString& text, const QString& failure);

private:
    void check(bool automatic);

    MessageService& messages_;
    PageFetcher fetcher_;
    // Whether the check in progress was started without the user asking.
    bool automatic_ = true;
};

} // namespace lumora
