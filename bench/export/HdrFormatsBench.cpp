// bench_export_formats: a 12 MP light image written as HDR AVIF and OpenEXR against today's 16-bit TIFF, in
// this process through the same calls the window and lumora-cli make (no EXIF copy). Prints, per format, min
// and median time of several runs, the file's size, and both as ratios to the 16-bit TIFF measured in the
// same run.
//
// usage: bench_export_formats [--image PHOTO] [--runs N]

#include "export/HdrExport.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>

#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

double median(std::vector<double> t) {
    std::sort(t.begin(), t.end());
    return t.size() % 2 ? t[t.size() / 2] : 0.5 * (t[t.size() / 2 - 1] + t[t.size() / 2]);
}

// A photograph made a light image (the 2.2 power, brightest at 1, stored with the 1/2.2 power, as stacking
// stores it), highlights stretched so the HDR formats have light above white to keep; synthetic without it.
cv::Mat lightImage(const std::string& photo) {
    cv::Mat img = cv::imread(photo, cv::IMREAD_COLOR), f;
    if (img.empty()) {
        f.create(3000, 4000, CV_32FC3);
        cv::RNG rng(5);
        rng.fill(f, cv::RNG::UNIFORM, 0.0, 1.0);
        return f;
    }
    img.convertTo(f, CV_32F, 1.0 / 255.0);
    cv::pow(f, 4.0, f); // a wider range than the photo's: its whites four times brighter than its greys
    cv::pow(f, 1.0 / 2.2, f);
    return f;
}

std::string loadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one;
    in >> one;
    return one.empty() ? "?" : one;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::string photo = "/usr/share/forensics-samples/original-files/pic2/IMG_20200608_111614.jpg";
    int runs = 3;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == QLatin1String("--image"))
            photo = args[++i].toStdString();
        else if (args[i] == QLatin1String("--runs"))
            runs = std::max(1, args[++i].toInt());
    }
    const cv::Mat light = lightImage(photo);
    std::printf("bench_export_formats: a %dx%d light image (%s), %d runs per format, load %s\n", light.cols,
                light.rows, QFileInfo(QString::fromStdString(photo)).exists() ? photo.c_str() : "synthetic",
                runs, loadAverage().c_str());
    struct Case {
        const char* name;
        const char* extension;
        int bits;
    };
    const Case cases[] = {{"TIFF 16-bit (baseline)", "tif", 16},
                          {"OpenEXR half", "exr", 16},
                          {"OpenEXR float", "exr", 32},
                          {"HDR AVIF PQ 10-bit", "avif", 10}};
    QTemporaryDir dir;
    lumora::ExportPicture picture;
    picture.image = light;
    picture.kind = lumora::ExportPicture::Kind::Light;
    picture.whiteLight = 0.25; // highlights up to four times diffuse white
    double baseSeconds = 0.0, baseBytes = 0.0;
    std::printf("  %-24s %9s %9s %11s %9s %9s\n", "format", "min s", "median s", "size MB", "time x",
                "size x");
    for (const Case& c : cases) {
        const std::string path = dir.filePath(QStringLiteral("out.%1").arg(c.extension)).toStdString();
        std::vector<double> seconds;
        for (int r = 0; r < runs; ++r) {
            const auto start = std::chrono::steady_clock::now();
            const lumora::WriteResult written = lumora::exportPicture(path, picture, c.bits, {}, {});
            seconds.push_back(
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
            if (!written.ok) {
                std::fprintf(stderr, "bench_export_formats: %s: %s\n", c.name, written.error.c_str());
                return 1;
            }
        }
        const double bytes = double(QFileInfo(QString::fromStdString(path)).size());
        const double m = median(seconds);
        if (baseSeconds == 0.0) {
            baseSeconds = m;
            baseBytes = bytes;
        }
        std::printf("  %-24s %9.3f %9.3f %11.2f %9.2f %9.2f\n", c.name,
                    *std::min_element(seconds.begin(), seconds.end()), m, bytes / 1e6, m / baseSeconds,
                    bytes / baseBytes);
    }
    return 0;
}
