#pragma once
// The window's form is split into one Designer file per page or panel. Each panel is promoted in its parent
// form to one of the classes below, a widget that builds its own form in its constructor, so every object
// name stays a descendant of the main window and the controllers reach the widgets through typed members.
//
// The forms include this header for their promoted panels, and this header includes the forms; the forward
// declarations come first so that either may be included first.

#include <QFrame>
#include <QWidget>

namespace Ui {
class StepBar;
class VersionChoicePage;
class HomePage;
class VideoPage;
class TimelinePanel;
class ProgressPanel;
class PresetsPanel;
class BasicClassicDock;
class ProSelectDock;
class ProParamsDock;
class ProEditingDock;
class ExportingDock;
class ToneMappingPanel;
} // namespace Ui

namespace lumora {

template <typename Base, typename Form> class FormPanel : public Base {
public:
    explicit FormPanel(QWidget* parent = nullptr) : Base(parent) { form.setupUi(this); }
    Form form;
};

using StepBar = FormPanel<QFrame, Ui::StepBar>;
using VersionChoicePage = FormPanel<QWidget, Ui::VersionChoicePage>;
using HomePage = FormPanel<QWidget, Ui::HomePage>;
using VideoPage = FormPanel<QWidget, Ui::VideoPage>;
using TimelinePanel = FormPanel<QWidget, Ui::TimelinePanel>;
using ProgressPanel = FormPanel<QWidget, Ui::ProgressPanel>;
using PresetsPanel = FormPanel<QWidget, Ui::PresetsPanel>;
using BasicClassicDock = FormPanel<QWidget, Ui::BasicClassicDock>;
using ProSelectDock = FormPanel<QWidget, Ui::ProSelectDock>;
using ProParamsDock = FormPanel<QWidget, Ui::ProParamsDock>;
using ProEditingDock = FormPanel<QWidget, Ui::ProEditingDock>;
using ExportingDock = FormPanel<QWidget, Ui::ExportingDock>;
using ToneMappingPanel = FormPanel<QFrame, Ui::ToneMappingPanel>;

} // namespace lumora

// Panels without promoted children first: a form needs the complete classes of the panels it contains. Only
// this header includes the generated forms.
#include "ui_BasicClassicDock.h"
#include "ui_ExportingDock.h"
#include "ui_HomePage.h"
#include "ui_PresetsPanel.h"
#include "ui_ProEditingDock.h"
#include "ui_ProParamsDock.h"
#include "ui_ProSelectDock.h"
#include "ui_ProgressPanel.h"
#include "ui_StepBar.h"
#include "ui_TimelinePanel.h"
#include "ui_ToneMappingPanel.h"
#include "ui_VersionChoicePage.h"

// The video page holds the panels above.
#include "ui_VideoPage.h"

// The main window holds the pages.
#include "ui_LumoraV2.h"
