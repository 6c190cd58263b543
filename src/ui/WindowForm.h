#pragma once
// Typed access to every panel of the main window's form, so controllers name widgets through compiled members
// instead of looking them up by string.

#include "ui/forms/FormPanels.h"

namespace lumora {

struct WindowForm {
    Ui::LumoraV2* main = nullptr;
    Ui::StepBar* steps = nullptr;
    Ui::VersionChoicePage* versionChoice = nullptr;
    Ui::HomePage* home = nullptr;
    Ui::VideoPage* video = nullptr;
    Ui::TimelinePanel* timeline = nullptr;
    Ui::ProgressPanel* progress = nullptr;
    Ui::PresetsPanel* presets = nullptr;
    Ui::BasicClassicDock* basicClassic = nullptr;
    Ui::ProSelectDock* proSelect = nullptr;
    Ui::ProParamsDock* proParams = nullptr;
    Ui::ProEditingDock* proEditing = nullptr;
    Ui::ExportingDock* exporting = nullptr;
    Ui::ToneMappingPanel* toneMapping = nullptr;
};

// `main` must have been set up on its window.
inline WindowForm makeWindowForm(Ui::LumoraV2& main) {
    WindowForm f;
    f.main = &main;
    f.steps = &main.frame_TopTopMenu->form;
    f.versionChoice = &main.page_VersionChoice->form;
    f.home = &main.page_CentralHome->form;
    f.video = &main.page_Video->form;
    f.timeline = &f.video->page_TimeLine->form;
    f.progress = &f.video->page_ProgressBar->form;
    f.presets = &f.video->page_TM->form;
    f.basicClassic = &f.video->page_BASICCLASSIC_SelectImage->form;
    f.proSelect = &f.video->page_PRO_SelectImage->form;
    f.proParams = &f.video->page_PRO_DefineParams->form;
    f.proEditing = &f.video->page_PRO_Editing->form;
    f.exporting = &f.video->page_Exporting->form;
    f.toneMapping = &f.video->frame_SecondOptions->form;
    return f;
}

} // namespace lumora
