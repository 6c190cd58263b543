#pragma once
// The tone-mapping controls of the editing page and the rotation sliders. They show the edited picture's
// positions (loaded with the undo history cleared and nothing recorded); each change the user makes sets the
// picture's value, is recorded for undo and refreshes the picture: the adjustments at once on the window's
// thread, the operator, its switch and the rotation on the picture's rendering thread. A double click takes
// a slider back to its designed position. The named slots live in OperatorControls and AdjustmentControls.

#include "tonemap/ControlMapping.h"
#include "ui/forms/FormPanels.h"

#include <QHash>
#include <QObject>
#include <QRect>

#include <memory>

class QGroupBox;
class QLCDNumber;
class QSlider;

namespace lumora {

class SharpestImageSelection;
class WindowModel;
struct WindowContext;
struct WindowForm;
class OperatorControls;
class AdjustmentControls;
struct OperatorSlider;
struct ToneControl;

// A slider of the tone-mapping panel, named by its member of the panel's form.
using PanelSlider = QSlider* Ui::ToneMappingPanel::*;

class EditingPanel : public QObject {
    Q_OBJECT
public:
    explicit EditingPanel(const WindowContext& context);
    ~EditingPanel() override;

    // Shows the edited picture's positions in the widgets, clears the undo history and, with `render`,
    // renders the picture from the tone-mapping stage.
    void load(bool render);
    // True while positions are being loaded into the widgets.
    bool restoring() const { return restoring_; }

    // What the slots do (OperatorControls, AdjustmentControls).
    void operatorSliderMoved(PanelSlider slider, int v);
    void adjustmentMoved(PanelSlider slider, int v);
    void operatorChosen(int comboIndex);
    void toneMappingToggled(bool on);
    void sharpeningToggled(bool on);
    void rotationMoved(QSlider* slider, int v);

    // The combo box cannot list operator 4, which only a preset or a picture's record chooses: its index is
    // then -1.
    static int comboIndexOf(int operatorIndex) { return operatorIndex >= 4 ? -1 : operatorIndex; }
    static int operatorOf(int comboIndex) { return comboIndex < 0 ? 4 : comboIndex; }

signals:
    // A change the user made to the edited picture's positions (not a load).
    void positionsChanged();
    // The edited picture is rendered again from `stage` on its thread.
    void renderRequested(int stage);
    // The picture's preview was refreshed here: it is shown again as it is.
    void displayRequested();
    // The tool's crop is recorded anew (empty: none); delivered before the change that asks for it goes on.
    void cropRecordRequested(const QRect& crop);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Number displays follow their sliders, also while a slider that delivers on release is dragged.
    void wireNumberDisplays();
    SharpestImageSelection* edited() const;
    // The edited picture when it may change now (editing, and its render is not running).
    SharpestImageSelection* editable() const;
    // Shows the picture's positions again, where a change could not be taken.
    void showPositions();
    // Refreshes the picture after a change: the quick stages on this thread when `quick` allows and the
    // picture has a preview to start from, else a render on its thread.
    void refresh(SharpestImageSelection* picture, bool quick);
    // Tone mapping or sharpening switched on or off.
    void switchToggled(const ToneControl& control, QGroupBox* Ui::ToneMappingPanel::*box, bool on);
    void setQuietly(QSlider* slider, int value) const;
    int designedPosition(const QSlider* slider) const;

    WindowModel& model_;
    const WindowForm& form_;
    // The window, where the number displays are found.
    QWidget* window_;
    bool restoring_ = false;
    QHash<QSlider*, const OperatorSlider*> operatorRows_;
    QHash<QSlider*, const ToneControl*> adjustmentRows_;
    QHash<QSlider*, QLCDNumber*> numberDisplays_;
    std::unique_ptr<OperatorControls> operators_;
    std::unique_ptr<AdjustmentControls> adjustments_;
};

} // namespace lumora
