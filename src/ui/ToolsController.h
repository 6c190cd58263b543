#pragma once
// The crop and horizon tools of the editing step: their buttons, the tool overlays and leaving a tool. The
// overlays and applying a tool arrive with the rendering; until then the tools are refused.

#include <QObject>

namespace lumora {

class LumoraV2;

class ToolsController : public QObject {
    Q_OBJECT
public:
    explicit ToolsController(LumoraV2& window);

    // The window hides every overlay, then shows the active tool's (1 crop, 2 horizon) while a tool is
    // active.
    void hideOverlays();
    void showOverlay(int tool);

public slots:
    void PushButtonCropToolClicked();
    void PushButtonHorizonToolClicked();
    void PushButtonApplyToolsClicked();
    void PushButtonCancelToolsClicked();

private:
    LumoraV2& window_;
};

} // namespace lumora
