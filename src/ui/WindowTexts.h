#pragma once
// Which text key labels which object of the main window, so that a change of language can re-label everything
// in one pass. The step labels are not here: they depend on the mode and are written by the steps controller.

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

inline constexpr std::array<Entry, 22> kActions{{
    {"actionOpen", "OpenAVideo"},
    {"actionOpen_photo_with_burst_mode", "OpenPhotosInBurstMode"},
    {"actionOpen_photo_for_tone_mapping", "OpenPhotoForToneMapping"},
    {"actionOpen_recipe", "OpenRecipe"},
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

// Texts of labels, buttons and check boxes, and titles of group boxes.
inline constexpr std::array<Entry, 91> kWidgets{{
    // Mode choice and home page.
    {"label_VersionChoiceTitle", "ModeChoiceTitle"},
    {"label_VersionChoiceHint", "ModeChoiceHint"},
    {"label_SelectModeBasicTitle", "BasicModetitle"},
    {"label_SelectModeClassicTitle", "ClassicModeTitle"},
    {"label_SelectModeProTitle", "ProModeTitle"},
    {"label_SelectModeBasicText", "BasicModeText"},
    {"label_SelectModeClassicText", "ClassicModeText"},
    {"label_SelectModeProText", "ProModeText"},
    {"checkBox_UseThisMode", "OpenModeAuto"},
    {"label_DropFilesHere", "DropFilesHere"},
    {"label_DropFilesHereOr", "DropFilesHereOr"},
    {"pushButton_OpenVideo", "OpenAVideoHome"},
    {"label_RecentFilesTitle", "RecentVideos"},
    // Progress, presets, comparison and tools.
    {"pushButton_ComputingCancel", "Cancel"},
    {"label_ByClickingStop", "ByClickingStop"},
    {"pushButton_UserPresetsNew", "CreationPreset"},
    {"pushButton_UserPresetsModify", "ModifyPreset"},
    {"pushButton_UserPresetsRemove", "RemovingPresets"},
    {"label_ShowOriginal", "ShowOriginal"},
    {"pushButton_ApplyTool", "ApplyTool"},
    {"pushButton_CancelTool", "Cancel"},
    // Basic and Classic frame selection and editing.
    {"label_BasicClassicTitle", "GrabFramesTitle"},
    {"label_GrabFrameHint", "GrabFrameHint"},
    {"label_EditingOptionsTitle", "EditTitle"},
    {"pushButton_GrabFrame", "GrabFrame"},
    {"label_Rotation", "Rotation"},
    {"pushButton_Crop", "Crop"},
    {"pushButton_Horizon", "Horizon"},
    {"label_GrabbedFramesTitle", "GrabbedFrames"},
    {"pushButton_BASICCLASSICSelectImageNext", "Next"},
    {"pushButton_EditingExport", "ExportAll"},
    // Pro frame choice.
    {"label_ProSelectTitle", "ChooseFrameTitle"},
    {"label_ProSelectHint", "ChooseFrameHint"},
    {"label_CurrentFrameTitle", "CurrentFrame"},
    {"groupBox_FindSharpest", "SharpestFrameSearch"},
    {"label_FindSharpestImage", "FramesAroundCursor"},
    {"pushButton_FindSharpestImage", "FindSharpestImage"},
    {"label_SelectedImageTitle", "SharpestFrame"},
    {"pushButton_SelectImageNext", "Next"},
    // Pro stacking parameters.
    {"label_DefineParamsTitle", "MergeSettingsTitle"},
    {"groupBox_FramesToMerge", "FramesToMerge"},
    {"label_ImageStackingBefore", "FramesBefore"},
    {"label_ImageStackingAfter", "FramesAfter"},
    {"groupBox_Antighosting", "Antighosting"},
    {"radioButton_LongExposure", "LongExposure"},
    {"radioButton_MediumAntighosting", "MediumAntighosting"},
    {"radioButton_HighAntighosting", "HighAntighosting"},
    {"radioButton_CustomAntighosting", "CustomAntighosting"},
    {"checkBox_AutoAntighostingP2", "AutoMovement"},
    {"groupBox_StackingOptions", "Options"},
    {"checkBox_Align", "AlignFrames"},
    {"label_Quality", "Quality"},
    {"pushButton_ReturnToVideo", "ReturnToVideo"},
    {"pushButton_DefineParamsNext", "Merge"},
    // Pro editing and export.
    {"label_ProEditingTitle", "EditTitle"},
    {"label_Rotation_2", "Rotation"},
    {"pushButton_Crop_2", "Crop"},
    {"pushButton_Horizon_2", "Horizon"},
    {"pushButton_ProEditingExport", "Export"},
    {"label_ExportingTitle", "ExportingTitle"},
    {"label_WhatAfterExport", "WhatAfterExport"},
    // Tone mapping.
    {"label_TMChoice", "ToneMapping"},
    {"groupBox_TMOptions", "ApplyToneMapping"},
    {"label_TM5NoSetting", "NoSetting"},
    {"label_TMAlpha", "TMDetail"},
    {"label_TMBeta", "TMCompression"},
    {"label_TM2_Alpha", "TMBias"},
    {"label_TM4_Alpha", "TMFloor"},
    {"label_TM4_Beta", "TMSlope"},
    {"label_TM4_Gamma", "TMMidpoint"},
    {"label_TM3_Alpha", "TMCompression"},
    {"label_TM3_Beta", "TMColourfulness"},
    {"label_TM3_Gamma", "TMMaxLuminance"},
    {"label_TMStrength", "Strength"},
    {"groupBox_Adjustments", "Adjustments"},
    {"label_TMExposition", "Exposure"},
    {"label_TMContrast", "Contrast"},
    {"label_TMHighlights", "Highlights"},
    {"label_TMShadows", "Shadows"},
    {"label_TMWhites", "Whites"},
    {"label_TMBlacks", "Blacks"},
    {"label_TMHue", "Hue"},
    {"label_TMSaturation", "Saturation"},
    {"label_TMVibrance", "Vibrance"},
    {"label_TMBlackClip", "BlackClip"},
    {"label_TMWhiteClip", "WhiteClip"},
    {"groupBox_Sharpening", "Sharpening"},
    {"label_TMSharpeningAmount", "Amount"},
    {"label_TMSharpeningRadius", "Radius"},
    {"label_TMSharpeningThreshold", "Threshold"},
    {"checkBox_FastPreview", "FastPreview"},
}};

inline constexpr std::array<Entry, 17> kToolTips{{
    {"label_ModeIconBasic", "ChangeMode"},
    {"label_ModeIconClassic", "ChangeMode"},
    {"label_ModeIconPro", "ChangeMode"},
    {"pushButton_PlayPause", "PlayPause"},
    {"pushButton_Previous", "PreviousFrame"},
    {"pushButton_Next", "NextFrame"},
    {"pushButton_ToBegin", "ToBegin"},
    {"pushButton_ToEnd", "ToEnd"},
    {"horizontalSlider_VideoSpeed", "VideoSpeed"},
    {"horizontalSlider_VideoBrightness", "VideoBrightness"},
    {"horizontalSlider_AntighostingP1", "AntighostingStrength"},
    {"horizontalSlider_AntighostingP2", "MovementEstimation"},
    {"frame_CursorSelectorFlag", "ChosenFrameTooltip"},
    {"pushButton_ImageStacking_Before", "UpToCursor"},
    {"pushButton_ImageStacking_After", "UpToCursor"},
    {"frame_BeforeAfterLogo", "ShowOriginal"},
    {"label_VideoPreview", "RightClickToSave"},
}};

// Tab titles, by the tab's page.
inline constexpr std::array<Entry, 2> kTabs{{
    {"BuiltInTab", "Presets"},
    {"UserTab", "UserPresets"},
}};

// Combo box items, in order, by combo box.
inline constexpr std::array<Entry, 10> kComboItems{{
    {"comboBox_TM", "TM1"},
    {"comboBox_TM", "TM2"},
    {"comboBox_TM", "TM3"},
    {"comboBox_TM", "TM4"},
    {"comboBox_Quality", "Fast"},
    {"comboBox_Quality", "Good"},
    {"comboBox_Quality", "Optimal"},
    {"comboBox_WhatAfterExport", "ReturnEditionPage"},
    {"comboBox_WhatAfterExport", "ReturnSelectionPage"},
    {"comboBox_WhatAfterExport", "ExitLumora"},
}};

} // namespace lumora::windowtexts
