#pragma once
// Ground truth of the generated scene clips and bursts: per-frame camera shift, disc position and blur.

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <string>
#include <vector>

namespace lumora::test {

struct SceneFrameTruth {
    double shiftX = 0, shiftY = 0, objectX = 0, objectY = 0, objectRadius = 0;
    bool blurred = false;
};

// Empty when the file cannot be read.
inline std::vector<SceneFrameTruth> readSceneSidecar(const std::string& path) {
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QJsonArray frames = QJsonDocument::fromJson(f.readAll()).object().value("frames").toArray();
    std::vector<SceneFrameTruth> out;
    for (const QJsonValue& v : frames) {
        const QJsonObject o = v.toObject();
        out.push_back({o.value("shiftX").toDouble(), o.value("shiftY").toDouble(),
                       o.value("objectX").toDouble(), o.value("objectY").toDouble(),
                       o.value("objectRadius").toDouble(), o.value("blurred").toBool()});
    }
    return out;
}

} // namespace lumora::test
