#include "Jobs.h"

#include "ColourBars.h"
#include "CounterFrames.h"
#include "FfmpegEncoder.h"
#include "HdrPatches.h"
#include "SceneRenderer.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <cmath>
#include <memory>

namespace lumora::testmedia {

namespace {

// Bump when any generated content changes, so old stamps stop matching.
constexpr int kGeneratorVersion = 2;
constexpr int kFps = 25;
constexpr int kBurstFrames = 9;
const cv::Size k720p(1280, 720);

bool writeAtomically(const QString& path, const QByteArray& data, QString* error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

QString stampPath(const Job& job, const QDir& outDir) {
    return outDir.filePath(job.name + QStringLiteral(".done"));
}

// The conversion of the generated BGR pictures into YUV (matrix "bt601", "bt709" or "bt2020", limited or
// full range, into `pixFmt`) and, when `tagged`, tags that say so: decoders must not have to guess.
QStringList colourArgs(const QString& matrix, bool fullRange, bool tagged,
                       const QString& pixFmt = QStringLiteral("yuv420p")) {
    const QString range = fullRange ? QStringLiteral("pc") : QStringLiteral("tv");
    QStringList a{
        QStringLiteral("-vf"),
        QStringLiteral(
            "scale=out_color_matrix=%1:out_range=%2:flags=bicubic+accurate_rnd+full_chroma_int,format=%3")
            .arg(matrix, range, pixFmt)};
    if (!tagged)
        return a;
    const bool hd = matrix == QLatin1String("bt709");
    const QString space = hd ? QStringLiteral("bt709") : QStringLiteral("smpte170m");
    return a << QStringLiteral("-colorspace") << space << QStringLiteral("-color_primaries") << space
             << QStringLiteral("-color_trc") << space << QStringLiteral("-color_range") << range;
}

// Every clip is tagged: BT.601 as the generator has always converted.
QStringList x264Args(const QString& preset, int crf, int gop, int bframes) {
    QStringList a{QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-preset"), preset,
                  QStringLiteral("-crf"), QString::number(crf)};
    a += colourArgs(QStringLiteral("bt601"), false, true);
    if (gop > 0)
        a << QStringLiteral("-g") << QString::number(gop);
    if (bframes >= 0) {
        // b-adapt=0 makes x264 use every allowed B-frame instead of deciding per scene, so the clips really
        // exercise decoders with reordered frames; no scene-cut keyframes keeps the GOP length as named.
        a << QStringLiteral("-bf") << QString::number(bframes) << QStringLiteral("-x264-params")
          << QStringLiteral("b-adapt=0") << QStringLiteral("-sc_threshold") << QStringLiteral("0");
    }
    return a;
}

QJsonDocument sceneSidecar(const SceneRenderer& r, int frameCount) {
    QJsonArray frames;
    for (int i = 0; i < frameCount; ++i) {
        const SceneFrameInfo f = r.frameInfo(i);
        frames.append(QJsonObject{{QStringLiteral("index"), f.index},
                                  {QStringLiteral("shiftX"), f.shiftX},
                                  {QStringLiteral("shiftY"), f.shiftY},
                                  {QStringLiteral("objectX"), f.objectX},
                                  {QStringLiteral("objectY"), f.objectY},
                                  {QStringLiteral("objectRadius"), f.objectRadius},
                                  {QStringLiteral("blurred"), f.blurred}});
    }
    QJsonArray blurred;
    for (int i = 0; i < frameCount; ++i)
        if (r.frameInfo(i).blurred)
            blurred.append(i);
    return QJsonDocument(QJsonObject{
        {QStringLiteral("generator"), QStringLiteral("lumora-testmedia %1").arg(kGeneratorVersion)},
        {QStringLiteral("width"), r.frameSize().width},
        {QStringLiteral("height"), r.frameSize().height},
        {QStringLiteral("fps"), kFps},
        {QStringLiteral("frameCount"), frameCount},
        {QStringLiteral("coordinates"),
         QStringLiteral(
             "pixels of the frame; a scene point p appears at p + (shiftX, shiftY); objectX/objectY "
             "is the disc centre in the frame, shift included")},
        {QStringLiteral("objectVelocity"),
         QJsonObject{{QStringLiteral("x"), r.velocityX()}, {QStringLiteral("y"), r.velocityY()}}},
        {QStringLiteral("blurKernelLength"), SceneRenderer::kBlurLength},
        {QStringLiteral("blurAngleDeg"), SceneRenderer::kBlurAngleDeg},
        {QStringLiteral("noiseSigma8bit"), r.noiseSigma8()},
        {QStringLiteral("blurredFrames"), blurred},
        {QStringLiteral("frames"), frames}});
}

Job counterJob(const QString& name, const QStringList& codec, const QString& container) {
    Job job{name, false, {name}, {}, {}};
    job.signature = QStringLiteral("v%1 counter 320x240 300 %2").arg(kGeneratorVersion).arg(codec.join(' '));
    job.run = [name, codec, container](const QDir& outDir, QString* error) {
        const cv::Size size(320, 240);
        FfmpegEncoder enc(outDir.filePath(name), size, kFps, codec, container, 120000);
        if (!enc.start()) {
            *error = enc.error();
            return false;
        }
        for (int i = 0; i < 300; ++i)
            if (!enc.writeFrame(renderCounterFrame(i, size))) {
                *error = enc.error();
                return false;
            }
        if (!enc.finish()) {
            *error = enc.error();
            return false;
        }
        return true;
    };
    return job;
}

// A scene clip, with its sidecar when `sidecar` is not empty.
Job sceneJob(const QString& name, const QString& sidecar, cv::Size size, int frameCount,
             const QStringList& codec, bool benchOnly, int timeoutMs) {
    Job job{name, benchOnly, {name}, {}, {}};
    if (!sidecar.isEmpty())
        job.outputs << sidecar;
    job.signature = QStringLiteral("v%1 scene %2x%3 %4 %5")
                        .arg(kGeneratorVersion)
                        .arg(size.width)
                        .arg(size.height)
                        .arg(frameCount)
                        .arg(codec.join(' '));
    job.run = [=](const QDir& outDir, QString* error) {
        const SceneRenderer renderer(size);
        FfmpegEncoder enc(outDir.filePath(name), size, kFps, codec, QStringLiteral("mp4"), timeoutMs);
        bool ok = enc.start();
        for (int i = 0; ok && i < frameCount; ++i)
            ok = enc.writeFrame(toBgr8(renderer.renderFloat(i)));
        if (!ok || !enc.finish()) {
            *error = enc.error();
            return false;
        }
        return sidecar.isEmpty() ||
               writeAtomically(outDir.filePath(sidecar), sceneSidecar(renderer, frameCount).toJson(), error);
    };
    return job;
}

// A burst folder of 9 still frames of the 720p scene, plus the shared sidecar "burst.json".
Job burstJob(const QString& folder, const QString& pattern, const QString& ext, int depth, int jpegQuality) {
    Job job{folder, false, {QStringLiteral("burst.json")}, {}, {}};
    for (int i = 0; i < kBurstFrames; ++i)
        job.outputs << folder + QLatin1Char('/') + pattern.arg(i, 3, 10, QLatin1Char('0'));
    job.signature =
        QStringLiteral("v%1 burst %2 %3 %4").arg(kGeneratorVersion).arg(ext).arg(depth).arg(jpegQuality);
    const QStringList outputs = job.outputs;
    job.run = [=](const QDir& outDir, QString* error) {
        if (!outDir.mkpath(folder)) {
            *error = QStringLiteral("cannot create folder %1").arg(outDir.filePath(folder));
            return false;
        }
        const SceneRenderer renderer(k720p);
        std::vector<int> params;
        if (jpegQuality > 0)
            params = {cv::IMWRITE_JPEG_QUALITY, jpegQuality};
        if (depth == 16) // sensor noise fills the low bits, so LZW would only make the files larger
            params = {cv::IMWRITE_TIFF_COMPRESSION, 1};
        for (int i = 0; i < kBurstFrames; ++i) {
            const cv::Mat f = renderer.renderFloat(i);
            std::vector<uchar> buf;
            const bool encoded =
                cv::imencode(ext.toStdString(), depth == 16 ? toBgr16(f) : toBgr8(f), buf, params);
            const QString path = outDir.filePath(outputs.at(i + 1));
            if (!encoded) {
                *error = QStringLiteral("cannot encode %1").arg(path);
                return false;
            }
            const QByteArray data(reinterpret_cast<const char*>(buf.data()), static_cast<int>(buf.size()));
            if (!writeAtomically(path, data, error))
                return false;
        }
        QJsonDocument doc = sceneSidecar(renderer, kBurstFrames);
        QJsonObject o = doc.object();
        o.insert(
            QStringLiteral("folders"),
            QJsonObject{{QStringLiteral("burst_png8"), QStringLiteral("frame_%03d.png, 8-bit")},
                        {QStringLiteral("burst_jpg8"), QStringLiteral("IMG_%03d.jpg, 8-bit, quality 95")},
                        {QStringLiteral("burst_tif16"), QStringLiteral("frame_%03d.tif, 16-bit")}});
        doc.setObject(o);
        return writeAtomically(outDir.filePath(QStringLiteral("burst.json")), doc.toJson(), error);
    };
    return job;
}

bool writePng(const QString& path, const cv::Mat& image, QString* error) {
    std::vector<uchar> buf;
    if (!cv::imencode(".png", image, buf)) {
        *error = QStringLiteral("cannot encode %1").arg(path);
        return false;
    }
    return writeAtomically(
        path, QByteArray(reinterpret_cast<const char*>(buf.data()), static_cast<int>(buf.size())), error);
}

// Three lossless bursts of one scene for the anti-ghosting quality checks, with the sidecar of the first:
// PREFIX_moving (the disc crosses at `speed` pixels a frame, noise of 3 code values), PREFIX_still (the disc
// stays where the centre frame has it, same noise) and PREFIX_clean (moving, no noise).
Job motionJob(const QString& prefix, cv::Size size, int frameCount, double speed, bool benchOnly) {
    const QString sidecar = prefix + QStringLiteral(".json");
    Job job{prefix, benchOnly, {sidecar}, {}, {}};
    const QStringList kinds{QStringLiteral("moving"), QStringLiteral("still"), QStringLiteral("clean")};
    for (const QString& kind : kinds)
        for (int i = 0; i < frameCount; ++i)
            job.outputs
                << QStringLiteral("%1_%2/frame_%3.png").arg(prefix, kind).arg(i, 3, 10, QLatin1Char('0'));
    job.signature = QStringLiteral("v%1 motion %2x%3 %4 %5")
                        .arg(kGeneratorVersion)
                        .arg(size.width)
                        .arg(size.height)
                        .arg(frameCount)
                        .arg(speed);
    const QStringList outputs = job.outputs;
    job.run = [=](const QDir& outDir, QString* error) {
        SceneMotion motion;
        motion.velocityX = speed;
        motion.velocityY = speed / 4.0;
        motion.centreFrame = frameCount / 2;
        for (int k = 0; k < kinds.size(); ++k) {
            motion.still = kinds[k] == QLatin1String("still");
            motion.noiseSigma8 = kinds[k] == QLatin1String("clean") ? 0.0 : 3.0;
            if (!outDir.mkpath(prefix + QLatin1Char('_') + kinds[k])) {
                *error = QStringLiteral("cannot create a folder in %1").arg(outDir.path());
                return false;
            }
            const SceneRenderer renderer(size, motion);
            for (int i = 0; i < frameCount; ++i)
                if (!writePng(outDir.filePath(outputs.at(1 + k * frameCount + i)),
                              toBgr8(renderer.renderFloat(i)), error))
                    return false;
        }
        motion.still = false;
        motion.noiseSigma8 = 3.0;
        QJsonDocument doc = sceneSidecar(SceneRenderer(size, motion), frameCount);
        QJsonObject o = doc.object();
        o.insert(QStringLiteral("centreFrame"), motion.centreFrame);
        o.insert(
            QStringLiteral("bursts"),
            QStringLiteral("%1_moving: as listed; %1_still: the disc of frame %2 in every frame; %1_clean: "
                           "as listed without noise")
                .arg(prefix)
                .arg(motion.centreFrame));
        doc.setObject(o);
        return writeAtomically(outDir.filePath(sidecar), doc.toJson(), error);
    };
    return job;
}

// A clip of `frameCount` pictures (8-bit, or 16-bit when `deep`), encoded with `codec` into MP4; `kind` names
// the content in the stamp. `source` is called when the job runs (what it prepares may be costly) and gives
// the function that renders picture i.
Job encodedClipJob(const QString& name, bool benchOnly, const QString& kind, cv::Size size, int frameCount,
                   const QStringList& codec, bool deep, int timeoutMs,
                   std::function<std::function<cv::Mat(int)>()> source) {
    Job job{name, benchOnly, {name}, {}, {}};
    job.signature = QStringLiteral("v%1 %2 %3x%4 %5 %6")
                        .arg(kGeneratorVersion)
                        .arg(kind)
                        .arg(size.width)
                        .arg(size.height)
                        .arg(frameCount)
                        .arg(codec.join(' '));
    job.run = [=](const QDir& outDir, QString* error) {
        FfmpegEncoder enc(outDir.filePath(name), size, kFps, codec, QStringLiteral("mp4"), timeoutMs, deep);
        const std::function<cv::Mat(int)> picture = source();
        bool ok = enc.start();
        for (int i = 0; ok && i < frameCount; ++i)
            ok = enc.writeFrame(picture(i));
        if (!ok || !enc.finish()) {
            *error = enc.error();
            return false;
        }
        return true;
    };
    return job;
}

// A few frames of colour bars, coded losslessly with one matrix and range, tagged or not: what a decode
// gives back is the conversion the tags (or the untagged rule) ask for, with nothing lost in between.
Job colourBarsJob(const QString& name, const QString& matrix, bool fullRange, bool tagged) {
    const QStringList codec =
        QStringList{QStringLiteral("-c:v"),      QStringLiteral("libx264"), QStringLiteral("-preset"),
                    QStringLiteral("ultrafast"), QStringLiteral("-qp"),     QStringLiteral("0")} +
        colourArgs(matrix, fullRange, tagged);
    return encodedClipJob(name, false, QStringLiteral("bars"), k720p, 3, codec, false, 120000, [] {
        const cv::Mat bars = renderColourBars(k720p);
        return [bars](int) { return bars; };
    });
}

// A phone's HDR video made exact: 10-bit BT.2020 HEVC with the HLG or PQ transfer, coded losslessly, of the
// HdrPatches.h scene. `frames` copies of one picture, so a stack of it has a known light.
// 10-bit BT.2020 HEVC with the transfer `trc` ("arib-std-b67" for HLG, "smpte2084" for PQ), tagged as
// phones tag it; `x265Params` sets the quality.
QStringList hdrCodecArgs(const QString& trc, const QString& x265Params) {
    QStringList codec{QStringLiteral("-c:v"),         QStringLiteral("libx265"),
                      QStringLiteral("-x265-params"), x265Params + QStringLiteral(":log-level=error"),
                      QStringLiteral("-tag:v"),       QStringLiteral("hvc1")};
    codec += colourArgs(QStringLiteral("bt2020"), false, false, QStringLiteral("yuv420p10le"));
    return codec << QStringLiteral("-colorspace") << QStringLiteral("bt2020nc")
                 << QStringLiteral("-color_primaries") << QStringLiteral("bt2020")
                 << QStringLiteral("-color_trc") << trc << QStringLiteral("-color_range")
                 << QStringLiteral("tv");
}

Job hdrJob(const QString& name, HdrScene scene, cv::Size size, int frames) {
    const QStringList codec =
        hdrCodecArgs(scene == HdrScene::Hlg ? QStringLiteral("arib-std-b67") : QStringLiteral("smpte2084"),
                     QStringLiteral("lossless=1"));
    return encodedClipJob(name, false, QStringLiteral("hdr"), size, frames, codec, true, 600000,
                          [scene, size] {
                              const cv::Mat picture = renderHdrScene(scene, size);
                              return [picture](int) { return picture; };
                          });
}

// The moving scene as a phone's HLG clip (lossy 10-bit HEVC): its pictures taken as BT.709 video, their
// light placed in BT.2020 primaries with reference white at the scene's white, coded with the HLG OETF.
cv::Mat hlgPicture(const cv::Mat& bgrFloat) {
    static const double toWide[3][3] = {
        {0.627404, 0.329283, 0.043313}, {0.069097, 0.919541, 0.011362}, {0.016391, 0.088013, 0.895595}};
    const double white = 0.26496256; // HLG scene light of reference white
    cv::Mat out(bgrFloat.size(), CV_16UC3);
    for (int y = 0; y < out.rows; ++y)
        for (int x = 0; x < out.cols; ++x) {
            const cv::Vec3f v = bgrFloat.at<cv::Vec3f>(y, x);
            const double rgb[3] = {std::pow(std::clamp<double>(v[2], 0, 1), 2.2),
                                   std::pow(std::clamp<double>(v[1], 0, 1), 2.2),
                                   std::pow(std::clamp<double>(v[0], 0, 1), 2.2)};
            cv::Vec3w& o = out.at<cv::Vec3w>(y, x);
            for (int c = 0; c < 3; ++c) {
                const double wide = toWide[c][0] * rgb[0] + toWide[c][1] * rgb[1] + toWide[c][2] * rgb[2];
                o[2 - c] = cv::saturate_cast<ushort>(hlgOetf(std::min(1.0, wide * white)) * 65535.0);
            }
        }
    return out;
}

Job hlgSceneJob(const QString& name, cv::Size size, int frameCount) {
    const QStringList codec = hdrCodecArgs(QStringLiteral("arib-std-b67"), QStringLiteral("crf=16"))
                              << QStringLiteral("-preset") << QStringLiteral("fast");
    return encodedClipJob(name, true, QStringLiteral("hlg scene"), size, frameCount, codec, true, 1800000,
                          [size] {
                              auto renderer = std::make_shared<SceneRenderer>(size);
                              return [renderer](int i) { return hlgPicture(renderer->renderFloat(i)); };
                          });
}

Job longJob() {
    const QString name = QStringLiteral("long_1080p.mp4");
    const cv::Size size(1920, 1080);
    const int frameCount = 60 * kFps;
    const QStringList codec = x264Args(QStringLiteral("veryfast"), 23, 50, -1);
    Job job{name, true, {name}, {}, {}};
    job.signature = QStringLiteral("v%1 long 1920x1080 %2 %3")
                        .arg(kGeneratorVersion)
                        .arg(frameCount)
                        .arg(codec.join(' '));
    job.run = [=](const QDir& outDir, QString* error) {
        const ScrollingCounter pattern(size);
        FfmpegEncoder enc(outDir.filePath(name), size, kFps, codec, QStringLiteral("mp4"), 1800000);
        bool ok = enc.start();
        for (int i = 0; ok && i < frameCount; ++i)
            ok = enc.writeFrame(pattern.frame(i));
        if (!ok || !enc.finish()) {
            *error = enc.error();
            return false;
        }
        return true;
    };
    return job;
}

} // namespace

std::vector<Job> allJobs() {
    const QString mp4 = QStringLiteral("mp4");
    const QString fast = QStringLiteral("fast");
    std::vector<Job> jobs;
    jobs.push_back(
        counterJob(QStringLiteral("counter_gop12.mp4"), x264Args(QStringLiteral("medium"), 20, 12, 3), mp4));
    jobs.push_back(counterJob(QStringLiteral("counter_gop250.mp4"),
                              x264Args(QStringLiteral("medium"), 20, 250, 3), mp4));
    jobs.push_back(counterJob(QStringLiteral("counter_mjpg.avi"),
                              QStringList{QStringLiteral("-c:v"), QStringLiteral("mjpeg"),
                                          QStringLiteral("-q:v"), QStringLiteral("3")} +
                                  colourArgs(QStringLiteral("bt601"), true, true, QStringLiteral("yuvj420p")),
                              QStringLiteral("avi")));
    jobs.push_back(sceneJob(QStringLiteral("scene_720p.mp4"), QStringLiteral("scene_720p.json"), k720p, 50,
                            x264Args(fast, 12, 0, 2), false, 300000));
    // Small enough that the window's tests stack it in seconds.
    jobs.push_back(sceneJob(QStringLiteral("scene_180p.mp4"), QStringLiteral("scene_180p.json"), {320, 180},
                            30, x264Args(fast, 12, 0, 2), false, 120000));
    jobs.push_back(sceneJob(QStringLiteral("scene_1080p.mp4"), QStringLiteral("scene_1080p.json"),
                            {1920, 1080}, 50, x264Args(fast, 12, 0, 2), false, 300000));
    jobs.push_back(
        burstJob(QStringLiteral("burst_png8"), QStringLiteral("frame_%1.png"), QStringLiteral(".png"), 8, 0));
    jobs.push_back(
        burstJob(QStringLiteral("burst_jpg8"), QStringLiteral("IMG_%1.jpg"), QStringLiteral(".jpg"), 8, 95));
    jobs.push_back(burstJob(QStringLiteral("burst_tif16"), QStringLiteral("frame_%1.tif"),
                            QStringLiteral(".tif"), 16, 0));
    jobs.push_back(
        sceneJob(QStringLiteral("demo.mp4"), QString(), k720p, 75, x264Args(fast, 18, 0, 3), false, 300000));
    jobs.push_back(sceneJob(QStringLiteral("scene_4k.mp4"), QStringLiteral("scene_4k.json"), {3840, 2160}, 25,
                            x264Args(fast, 12, 0, 2), true, 900000));
    jobs.push_back(longJob());
    jobs.push_back(colourBarsJob(QStringLiteral("bars_bt709.mp4"), QStringLiteral("bt709"), false, true));
    jobs.push_back(colourBarsJob(QStringLiteral("bars_bt601.mp4"), QStringLiteral("bt601"), false, true));
    jobs.push_back(colourBarsJob(QStringLiteral("bars_untagged.mp4"), QStringLiteral("bt709"), false, false));
    jobs.push_back(colourBarsJob(QStringLiteral("bars_full.mp4"), QStringLiteral("bt709"), true, true));
    jobs.push_back(hdrJob(QStringLiteral("hdr_hlg.mp4"), HdrScene::Hlg, k720p, 5));
    jobs.push_back(hdrJob(QStringLiteral("hdr_pq.mp4"), HdrScene::Pq, k720p, 5));
    jobs.push_back(hlgSceneJob(QStringLiteral("scene_hlg_1080p.mp4"), {1920, 1080}, 50));
    jobs.push_back(motionJob(QStringLiteral("motion"), {320, 180}, 7, 20.0, false));
    jobs.push_back(motionJob(QStringLiteral("motion_720p"), k720p, 17, 40.0, true));
    return jobs;
}

bool isUpToDate(const Job& job, const QDir& outDir) {
    for (const QString& out : job.outputs)
        if (!QFile::exists(outDir.filePath(out)))
            return false;
    QFile stamp(stampPath(job, outDir));
    return stamp.open(QIODevice::ReadOnly) && stamp.readAll() == job.signature.toUtf8();
}

bool runJob(const Job& job, const QDir& outDir, QString* error) {
    // Drop the stamp first: an interrupted run must not leave old outputs looking current.
    const QString stamp = stampPath(job, outDir);
    if (QFile::exists(stamp) && !QFile::remove(stamp)) {
        *error = QStringLiteral("cannot remove %1").arg(stamp);
        return false;
    }
    if (!job.run(outDir, error))
        return false;
    return writeAtomically(stamp, job.signature.toUtf8(), error);
}

} // namespace lumora::testmedia
