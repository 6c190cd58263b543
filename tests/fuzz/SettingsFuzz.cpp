#include "FuzzTargets.h"

#include "app/Settings.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <memory>
#include <string>

namespace lumora::fuzz {
namespace {

constexpr const char* kOrganization = "LumoraFuzz";

// The store lives in a private temporary folder for the whole process.
QString storeRoot() {
    static const std::unique_ptr<QTemporaryDir> dir = [] {
        auto d = std::make_unique<QTemporaryDir>();
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, d->path());
        return d;
    }();
    return dir->path();
}

// The value as the INI file holds it, read without the facade.
QVariant storedValue(const QString& file, const char* group, const char* name) {
    QSettings raw(file, QSettings::IniFormat);
    if (group)
        raw.beginGroup(QString::fromLatin1(group));
    return raw.value(QString::fromLatin1(name));
}

// A value other than the default must be the integer the file holds.
bool intReadable(const QString& file, const settings::Key<int>& key) {
    const int value = settings::read(key);
    if (value == key.fallback)
        return true;
    const QVariant v = storedValue(file, key.group, key.name);
    bool ok = false;
    const qlonglong stored = v.toString().trimmed().toLongLong(&ok);
    return v.isValid() && ok && stored == value;
}

// A value other than the default must be spelt as a boolean in the file.
bool boolReadable(const QString& file, const settings::Key<bool>& key) {
    const bool value = settings::read(key);
    if (value == key.fallback)
        return true;
    const QString text = storedValue(file, key.group, key.name).toString().trimmed().toLower();
    return text == QLatin1String(value ? "true" : "false") || text == QLatin1String(value ? "1" : "0");
}

} // namespace

int fuzzSettings(const std::uint8_t* data, std::size_t size) {
    // QSettings keeps parsed files by name and re-reads one only when its size or time changed, so every
    // input gets its own modification time. (A fresh file name per input instead grows that cache without
    // bound, and the growth makes the fuzzer look for leaks after every input.)
    static qint64 counter = 0;
    storeRoot();
    const QString oldOrganization = QCoreApplication::organizationName();
    const QString oldApplication = QCoreApplication::applicationName();
    QCoreApplication::setOrganizationName(QString::fromLatin1(kOrganization));
    QCoreApplication::setApplicationName(QStringLiteral("input"));

    const QString file = QSettings().fileName();
    QDir().mkpath(QFileInfo(file).absolutePath());
    {
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            out.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size) || !out.flush() ||
            !out.setFileTime(QDateTime::fromSecsSinceEpoch(1000000000 + ++counter),
                             QFileDevice::FileModificationTime)) {
            QCoreApplication::setOrganizationName(oldOrganization);
            QCoreApplication::setApplicationName(oldApplication);
            return 0; // the temporary folder is unusable; nothing to learn from this input
        }
    }

    using namespace settings;
    for (const Key<int>* key :
         {&WindowMode, &OverExposedLimit, &UnderExposedLimit, &JPGQuality, &PNGCompression, &NbSharpenImages,
          &SavingFilterIndexForHDRImage, &SavingFilterIndexForTMImage, &MainWindowWidth, &MainWindowHeight,
          &MainWindowPosX, &MainWindowPosY})
        if (!intReadable(file, *key))
            failed(
                ("integer setting " + std::string(key->name) + " neither read from the file nor the default")
                    .c_str());
    for (const Key<bool>* key : {&FastPreviewChecked, &HighlightOverExposed, &HighlightUnderExposed,
                                 &DoNotShowUpdates, &IsFirstRunVersion, &MainWindowMaximized})
        if (!boolReadable(file, *key))
            failed(
                ("boolean setting " + std::string(key->name) + " neither read from the file nor the default")
                    .c_str());
    read(ChosenLanguage);
    read(CurrentVersion);
    read(RecentFiles);
    for (const char* group : {kSettingsDialogGroup, kLogDialogGroup}) {
        const DialogGeometry g = readDialogGeometry(group);
        const QRect placed = placeDialog(g, QSize(1920, 1080));
        if (g.position && (placed.x() < 100 || placed.x() > 1820 || placed.y() < 40 || placed.y() > 980))
            failed("a dialog placed off the screen");
        if (placed.width() > 1820 || placed.height() > 980)
            failed("a dialog larger than the screen");
    }

    QFile::remove(file);
    QCoreApplication::setOrganizationName(oldOrganization);
    QCoreApplication::setApplicationName(oldApplication);
    return 0;
}

} // namespace lumora::fuzz
