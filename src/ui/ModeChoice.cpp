#include "ui/ModeChoice.h"

#include "i18n/LanguageEngine.h"
#include "ui_ModeChoice.h"

#include <QEvent>

namespace lumora {

ModeChoice::ModeChoice(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::ModeChoice>()) {
    ui_->setupUi(this);
    setWindowTitle(translatedText("ModeChoiceTitle"));
    ui_->label_BasicTitle->setText(translatedText("BasicModetitle"));
    ui_->label_ClassicTitle->setText(translatedText("ClassicModeTitle"));
    ui_->label_ProTitle->setText(translatedText("ProModeTitle"));
    ui_->label_BasicText->setText(translatedText("BasicModeText"));
    ui_->label_ClassicText->setText(translatedText("ClassicModeText"));
    ui_->label_ProText->setText(translatedText("ProModeText"));
    ui_->checkBox_OpenModeAuto->setText(translatedText("OpenModeAuto"));
    // Shown and ticked as on the home page: without it a mode chosen here would be asked for at every start.
    ui_->checkBox_OpenModeAuto->setChecked(true);
    for (QWidget* frame : {ui_->frame_Basic, ui_->frame_Classic, ui_->frame_Pro})
        frame->installEventFilter(this);
}

ModeChoice::~ModeChoice() = default;

bool ModeChoice::keepChoice() const {
    return ui_->checkBox_OpenModeAuto->isChecked();
}

bool ModeChoice::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress) {
        const QObject* frames[] = {ui_->frame_Basic, ui_->frame_Classic, ui_->frame_Pro};
        for (int i = 0; i < 3; ++i)
            if (watched == frames[i]) {
                choice_ = i;
                accept();
                return true;
            }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace lumora
