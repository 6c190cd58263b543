#pragma once
// The update check of the Help menu. The page reader arrives with a later step; until then the check is
// refused.

#include <QObject>

namespace lumora {

class LumoraV2;

class UpdatesController : public QObject {
    Q_OBJECT
public:
    explicit UpdatesController(LumoraV2& window) : window_(window) {}

public slots:
    void checkUpdates();

private:
    LumoraV2& window_;
};

} // namespace lumora
