#pragma once
// Which text key labels which menu or action of the main window, so that a change of language can re-label
// everything in one pass.

#include <array>

namespace lumora::windowtexts {

struct Entry {
    const char* objectName;
    const char* key;
};

inline constexpr std::array<Entry, 5> kMenus{{
    {"menuFile", "File"},
    {"menuEdit", "Edit"},
    {"menuView", "View"},
    {"menuVideo", "Video"},
    {"menuHelp", "Help"},
}};

inline constexpr std::array<Entry, 2> kSubMenus{{
    {"menuRecent_videos", "RecentVideos"},
    {"menuPanels", "Panels"},
}};

inline constexpr std::array<Entry, 21> kActions{{
    {"actionOpen", "OpenAVideo"},
    {"actionOpen_photo_with_burst_mode", "OpenPhotosInBurstMode"},
    {"actionOpen_photo_for_tone_mapping", "OpenPhotoForToneMapping"},
    {"actionClose", "Close"},
    {"actionExit", "Exit"},
    {"actionUndo", "Undo"},
    {"actionRedo", "Redo"},
    {"actionSettingsMenu", "Settings"},
    {"actionHide_Show_histogram_panel", "ShowHistogramPanel"},
    {"actionShow_tone_curve", "ShowToneCurvePanel"},
    {"actionShow_EXIF", "ShowEXIF"},
    {"actionHighlight_over_exposed_pixels", "HighlightOverExposed"},
    {"actionHighlight_under_exposed_pixels", "HighlightUnderExposed"},
    {"actionPlay_Pause", "PlayPause"},
    {"actionPrevious_frame", "PreviousFrame"},
    {"actionNext_frame", "NextFrame"},
    {"actionSave_the_current_image", "SaveTheCurrentImage"},
    {"actionQuick_guide", "QuickGuide"},
    {"actionCheck_updates", "CheckUpdates"},
    {"actionShow_log", "ShowLog"},
    {"actionAbout", "About"},
}};

} // namespace lumora::windowtexts
