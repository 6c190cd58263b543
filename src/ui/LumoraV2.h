#pragma once
// The main window: owns the form, the open workspace and the per-feature controllers, and wires them
// together. It keeps only what belongs to the window itself: the settings and log dialogs, the about box, its
// geometry and the window events (close, resize, drag and drop), which it hands to the controller that owns
// the behaviour.

#include "ui/WindowForm.h"
#include "ui/WindowModel.h"

#include <QMainWindow>
#include <memory>

class QLabel;

namespace lumora {

class MessageService;
class FormIndex;
class StepsController;
class MenuController;
class OpeningController;
class PlayerController;
class TimelineController;
class EditingController;
class PresetsController;
class SelectionFlowController;
class ExportController;
class StackingController;
class SharpestSearchController;
class ToolsController;
class UpdatesController;
class ViewPanelsController;
class FrameQualityController;
class RecipeController;

class LumoraV2 : public QMainWindow {
    Q_OBJECT
public:
    // `messages` defaults to Qt's message boxes and file dialogs; tests pass a scripted service.
    explicit LumoraV2(std::shared_ptr<MessageService> messages = nullptr, QWidget* parent = nullptr);
    ~LumoraV2() override;

    // Opens a video, a burst or a single photo given by path; false (after telling the user) when it cannot.
    bool openMediaByPath(const QString& path);

    const WindowForm& form() const { return form_; }
    // The label that the status bar keeps for the medium's size and rate.
    QLabel* statusText() const { return statusText_; }

    // The window's state: the open medium, the workflow state, the selections.
    WindowModel& model() { return *model_; }

    StepsController& steps() { return *steps_; }
    OpeningController& opening() { return *opening_; }
    PlayerController& player() { return *player_; }
    TimelineController& timeline() { return *timeline_; }
    EditingController& editing() { return *editing_; }
    PresetsController& presets() { return *presets_; }
    SelectionFlowController& flow() { return *flow_; }
    ExportController& exports() { return *exports_; }
    StackingController& stacking() { return *stacking_; }
    SharpestSearchController& search() { return *search_; }
    ToolsController& tools() { return *tools_; }
    UpdatesController& updates() { return *updates_; }
    ViewPanelsController& viewPanels() { return *viewPanels_; }
    FrameQualityController& frameQuality() { return *frameQuality_; }
    RecipeController& recipes() { return *recipes_; }

public slots:
    void showGeneralSettings();
    void showLog();
    void about();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // Each controller's requests go to the controller that owns the behaviour.
    void connectControllers();
    void prepareUserDirectories();
    void restoreWindowGeometry();
    void storeWindowGeometry();

    std::unique_ptr<Ui::LumoraV2> ui_;
    WindowForm form_;
    std::shared_ptr<MessageService> messages_;
    std::unique_ptr<FormIndex> index_;
    QLabel* statusText_ = nullptr;
    // Declared before the controllers: the medium outlives everything that works on it.
    std::unique_ptr<WindowModel> model_;
    std::unique_ptr<WindowContext> context_;

    std::unique_ptr<StepsController> steps_;
    std::unique_ptr<MenuController> menus_;
    std::unique_ptr<OpeningController> opening_;
    std::unique_ptr<PlayerController> player_;
    std::unique_ptr<TimelineController> timeline_;
    std::unique_ptr<EditingController> editing_;
    std::unique_ptr<PresetsController> presets_;
    std::unique_ptr<SelectionFlowController> flow_;
    std::unique_ptr<ExportController> exports_;
    std::unique_ptr<StackingController> stacking_;
    std::unique_ptr<SharpestSearchController> search_;
    std::unique_ptr<ToolsController> tools_;
    std::unique_ptr<UpdatesController> updates_;
    std::unique_ptr<ViewPanelsController> viewPanels_;
    std::unique_ptr<FrameQualityController> frameQuality_;
    std::unique_ptr<RecipeController> recipes_;
};

} // namespace lumora
