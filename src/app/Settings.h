#pragma once
// Every persistent setting of the program, with its group, key, type and default, in one place, and a small
// typed facade over the per-user QSettings store. A missing or unreadable value reads as the key's default.

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <optional>

namespace lumora::settings {

template <typename T> struct Key {
    const char* group; // nullptr: top level of the store
    const char* name;
    T fallback;
};

// Group "GeneralSettings": application-wide choices.
inline const Key<QString> ChosenLanguage{"GeneralSettings", "ChosenLanguage", QStringLiteral("English")};
inline const Key<int> WindowMode{"GeneralSettings", "WindowMode", 0};
inline const Key<int> OverExposedLimit{"GeneralSettings", "OverExposedLimit", 98};
inline const Key<int> UnderExposedLimit{"GeneralSettings", "UnderExposedLimit", 2};
inline const Key<int> JPGQuality{"GeneralSettings", "JPGQuality", 99};
inline const Key<int> PNGCompression{"GeneralSettings", "PNGCompression", 3};
inline const Key<int> NbSharpenImages{"GeneralSettings", "NbSharpenImages", 3};
// The frame-quality strip under the timeline, computed in the background whenever a clip or burst opens.
inline const Key<bool> FrameQualityStrip{"GeneralSettings", "FrameQualityStrip", true};
// Every export writes its recipe (NAME.lumora.json) beside the picture.
inline const Key<bool> WriteRecipe{"GeneralSettings", "WriteRecipe", true};
// Remote services. Packagers may point the addresses elsewhere; an empty update address turns the check off.
// Nothing is reported before the user agrees to it in the settings dialog.
inline const Key<QString> UpdateAddress{"GeneralSettings", "UpdateAddress",
                                        QStringLiteral("https://lumora.example/UIUpdate.html")};
inline const Key<QString> AnalyticsEndpoint{"GeneralSettings", "AnalyticsEndpoint",
                                            QStringLiteral("https://stats.lumora.example/collect")};
inline const Key<bool> SendUsageStatistics{"GeneralSettings", "SendUsageStatistics", false};

// Group "UserParameters": remembered user choices.
inline const Key<int> SavingFilterIndexForHDRImage{"UserParameters", "savingFilterIndexForHDRImage", 1};
inline const Key<int> SavingFilterIndexForTMImage{"UserParameters", "savingFilterIndexForTMImage", 0};
// HDR AVIF and OpenEXR exports: the peak brightness in nits, and the transfer (0 PQ, 1 HLG).
inline const Key<int> HdrPeakNits{"UserParameters", "hdrPeakNits", 1000};
inline const Key<int> HdrTransfer{"UserParameters", "hdrTransfer", 0};
inline const Key<bool> FastPreviewChecked{"UserParameters", "fastPreviewChecked", false};
inline const Key<bool> HighlightOverExposed{"UserParameters", "highlightOverExposed", false};
inline const Key<bool> HighlightUnderExposed{"UserParameters", "highlightUnderExposed", false};
// The View panels beside the picture, as last shown or hidden from the View menu.
inline const Key<bool> ShowHistogramPanel{"UserParameters", "showHistogramPanel", false};
inline const Key<bool> ShowToneCurvePanel{"UserParameters", "showToneCurvePanel", false};
inline const Key<bool> ShowExifPanel{"UserParameters", "showExifPanel", false};
inline const Key<bool> DoNotShowUpdates{"UserParameters", "DoNotShowUpdates", false};
inline const Key<bool> IsFirstRunVersion{"UserParameters", "isFirstRunVersion", true};

// Group "MainWindow": the window's geometry (designed size 1155 x 858).
inline const Key<int> MainWindowWidth{"MainWindow", "width", 1155};
inline const Key<int> MainWindowHeight{"MainWindow", "height", 858};
inline const Key<int> MainWindowPosX{"MainWindow", "posX", 0};
inline const Key<int> MainWindowPosY{"MainWindow", "posY", 0};
inline const Key<bool> MainWindowMaximized{"MainWindow", "maximized", false};

// Group "RecentFiles".
inline const Key<QStringList> RecentFiles{"RecentFiles", "recentFiles", QStringList()};
inline constexpr int kMaxRecentFiles = 20;

// Top level: the version recorded by the install-time mode.
inline const Key<QString> CurrentVersion{nullptr, "currentVersion", QString()};

// Groups holding a dialog's geometry.
inline constexpr const char* kSettingsDialogGroup = "DialogSettings";
inline constexpr const char* kLogDialogGroup = "ShowLogDialog";

bool contains(const char* group, const char* name);

int read(const Key<int>& key);
bool read(const Key<bool>& key);
QString read(const Key<QString>& key);
QStringList read(const Key<QStringList>& key);

void write(const Key<int>& key, int value);
void write(const Key<bool>& key, bool value);
void write(const Key<QString>& key, const QString& value);
void write(const Key<QStringList>& key, const QStringList& value);

template <typename T> bool contains(const Key<T>& key) {
    return contains(key.group, key.name);
}
// Writes the default when the key is missing (used at start-up for the export format indices).
template <typename T> void writeDefaultIfMissing(const Key<T>& key) {
    if (!contains(key))
        write(key, key.fallback);
}

// Stored geometry of a dialog: size with defaults 800 x 600, position only when both coordinates are stored.
struct DialogGeometry {
    QSize size{800, 600};
    std::optional<QPoint> position;
};
DialogGeometry readDialogGeometry(const char* group);
void writeDialogGeometry(const char* group, const QRect& frame);

// Where a dialog opens on a screen of the given size: position raised to at least (100, 40) and lowered to at
// most screen - 100 per axis; size lowered to at most screen - 100. Keeps dialogs reachable after a change of
// screen.
QRect placeDialog(const DialogGeometry& stored, const QSize& screen);

} // namespace lumora::settings
