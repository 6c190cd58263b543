#pragma once
// The presets of the editing page: applying a preset by a click on its thumbnail, marking the presets that
// show what the controls show, and the user's own presets (new from the controls, modified in place under
// their name, removed). user.xml is only ever replaced by a complete new file; a failed write is reported.

#include <QObject>

namespace lumora {

class EditingPanel;
class MessageService;
class PresetImage;
class PresetStrips;
class WindowModel;
struct WindowContext;

class PresetsController : public QObject {
    Q_OBJECT
public:
    // The strips and the panel belong to the editing page, which the window destroys after this.
    PresetsController(const WindowContext& context, PresetStrips& strips, EditingPanel& panel);

public slots:
    void onClickPresetImage(lumora::PresetImage* image);
    void newUserPreset();
    void modifyUserPreset();
    void removeUserPreset();
    // Every thumbnail whose preset matches the edited picture's controls is marked selected.
    void syncPresetHighlight();

private:
    bool noUserPreset(const char* textKey);
    void reportWriteFailure(const std::string& error);

    WindowModel& model_;
    MessageService& messages_;
    // The parent of the dialogs.
    QWidget* window_;
    PresetStrips& strips_;
    EditingPanel& panel_;
};

} // namespace lumora
