#pragma once
// Export flows of the window: the edited selections, the Pro result and the player's current frame. The
// export engine arrives with a later step; until then each request is refused and nothing is written.

#include <QObject>

namespace lumora {

class LumoraV2;
class SharpestImageSelection;

class ExportController : public QObject {
    Q_OBJECT
public:
    explicit ExportController(LumoraV2& window);

    // Exports every selection (closing the workspace asks for it); false when nothing was exported.
    bool exportAll();
    // Stops a running export at once.
    void stopExport();

public slots:
    void PushButtonEditingExportClicked(lumora::SharpestImageSelection* selection = nullptr);
    void PushButtonProEditingExportClicked();
    void saveCurrentFrame();

private:
    LumoraV2& window_;
};

} // namespace lumora
