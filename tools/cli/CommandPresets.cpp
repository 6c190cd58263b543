#include "CliCommands.h"

#include "presets/PresetFiles.h"
#include "tonemap/ToneControls.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

namespace lumora::cli {

namespace {

QJsonObject toJson(const PresetRecord& r, const char* source) {
    QJsonObject o;
    o[QStringLiteral("source")] = QString::fromLatin1(source);
    o[QStringLiteral("name")] = QString::fromStdString(r.name);
    for (const ToneControl& c : kToneControls) {
        if (c.onOff)
            o[QLatin1String(c.key)] = r.*c.onOff;
        else
            o[QLatin1String(c.key)] = r.*c.position;
    }
    return o;
}

} // namespace

int runPresets(const QStringList& args) {
    bool json = false;
    for (const QString& a : args) {
        if (a == QLatin1String("--json")) {
            json = true;
        } else if (a == QLatin1String("--help")) {
            std::puts(
                "usage: lumora-cli presets [--json]\n"
                "Lists the built-in presets, those of the default.xml shipped with the program and those\n"
                "of the user's user.xml, with their control positions.");
            return 0;
        } else {
            std::fprintf(stderr, "lumora-cli presets: unexpected argument '%s'\n",
                         a.toLocal8Bit().constData());
            return 2;
        }
    }
    usePresetFolders();
    loadDefaultPresets();
    loadUserPresets();
    const struct {
        const char* source;
        std::vector<PresetRecord> list;
    } groups[] = {{"built-in", builtInPresets()}, {"default", defaultPresets()}, {"user", userPresets()}};

    if (json) {
        QJsonArray all;
        for (const auto& g : groups)
            for (const PresetRecord& r : g.list)
                all.append(toJson(r, g.source));
        QJsonObject o;
        o[QStringLiteral("defaultFile")] = QString::fromStdString(defaultPresetsPath());
        o[QStringLiteral("userFile")] = QString::fromStdString(userPresetsPath());
        o[QStringLiteral("presets")] = all;
        std::fputs(QJsonDocument(o).toJson(QJsonDocument::Indented).constData(), stdout);
        return 0;
    }
    std::printf("%-9s %-30s %-4s %-3s %5s %5s %5s %5s %5s %5s\n", "source", "name", "tm", "op", "alpha",
                "beta", "gamma", "str", "exp", "con");
    for (const auto& g : groups)
        for (const PresetRecord& r : g.list)
            std::printf("%-9s %-30s %-4s %-3d %5d %5d %5d %5d %5d %5d\n", g.source, r.name.c_str(),
                        r.applyTM ? "on" : "off", r.TMAlgo, r.alpha, r.beta, r.gamma, r.strength, r.exposure,
                        r.contrast);
    std::printf("default file: %s\nuser file:    %s\n", defaultPresetsPath().c_str(),
                userPresetsPath().c_str());
    return 0;
}

} // namespace lumora::cli
