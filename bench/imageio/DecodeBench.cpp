// bench_decode: what reading photos through the lumora-decode helper costs compared with decoding in Lumora's
// own process. Reads a 12 MP JPEG and the same picture as HEIC (made by heif-enc when it is installed), a 12
// MP 16-bit TIFF, 12 MP float HDR and TIFF light images (all made here), the Canon CR2 of rawtran-doc (full
// and preview decode, by LibRaw; and by the dcraw program where it is installed, as raw files used to be
// read) and an 8x8 PNG for the fixed cost of one request; first, how soon a new helper answers (alone with
// --start-only). Prints min and median of each and the ratio pooled / in-process. Then each image library on
// its own against OpenCV's, for the readers (HDR, TIFF) and the JPEG writer.
//
// usage: bench_decode [--reps N] [--raw FILE] [--no-sandbox] [--start-only]

#include "imageio/DecoderPool.h"
#include "imageio/ImageFile.h"
#include "imageio/LibraryAdapters.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Stats {
    double min = 0, median = 0;
};

Stats measure(int reps, const std::function<bool()>& run) {
    std::vector<double> times;
    for (int i = 0; i < reps; ++i) {
        const auto start = std::chrono::steady_clock::now();
        if (!run()) {
            std::fprintf(stderr, "a read failed\n");
            return {};
        }
        times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return {times.front(), times[times.size() / 2]};
}

cv::Mat photoLike(int width, int height, int depth) {
    // Smooth gradients with noise: compresses like a photograph, not like a flat test card.
    cv::Mat img(height, width, CV_32FC3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            img.at<cv::Vec3f>(y, x) =
                cv::Vec3f(float(x) / width, float(y) / height, float(x + y) / (width + height));
    cv::Mat noise(height, width, CV_32FC3);
    cv::randn(noise, 0.0, 0.03);
    img += noise;
    cv::Mat out;
    img.convertTo(out, depth, depth == CV_16U ? 65535.0 : 255.0);
    return out;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int reps = 7;
    std::string raw = "/usr/share/doc/rawtran/IMG_5952.CR2";
    lumora::DecoderPoolOptions options;
    bool startOnly = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--reps") && i + 1 < argc)
            reps = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--raw") && i + 1 < argc)
            raw = argv[++i];
        else if (!std::strcmp(argv[i], "--no-sandbox"))
            options.sandbox = false;
        else if (!std::strcmp(argv[i], "--start-only"))
            startOnly = true;
    }
    QTemporaryDir dir;
    const std::string base = dir.path().toStdString() + "/";
    // How soon a helper started afresh answers: a new pool's first read of an 8x8 Radiance file, which the
    // helper's own reader decodes in microseconds, so the figure is the start (bwrap's sandbox, the loader,
    // the helper's set-up) plus one round trip. In the sandbox when bwrap works here, and without it.
    cv::imwrite(base + "tiny.hdr", cv::Mat(8, 8, CV_32FC3, cv::Scalar(0.25, 0.5, 1.0)));
    for (const bool sandbox : {true, false}) {
        lumora::DecoderPoolOptions fresh = options;
        fresh.sandbox = sandbox && options.sandbox;
        bool sandboxed = false;
        std::vector<double> times;
        for (int i = 0; i < reps; ++i) {
            const auto start = std::chrono::steady_clock::now();
            lumora::DecoderPool once(fresh); // its helper ends with it, outside the time taken
            if (once.read(base + "tiny.hdr", false).image.empty()) {
                std::fprintf(stderr, "a new helper could not read an 8x8 Radiance file\n");
                return 1;
            }
            times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
            sandboxed = once.sandboxed(); // settled by the read: no second start
        }
        std::sort(times.begin(), times.end());
        std::printf("helper ready to decode, %-19s min %7.2f ms  median %7.2f ms  (new helper per run)\n",
                    sandboxed ? "inside bwrap:" : "without a sandbox:", times.front() * 1e3,
                    times[times.size() / 2] * 1e3);
        if (!options.sandbox)
            break;
    }
    if (startOnly)
        return 0;

    std::printf("writing test images...\n");
    cv::imwrite(base + "photo12mp.jpg", photoLike(4000, 3000, CV_8U), {cv::IMWRITE_JPEG_QUALITY, 95});
    // Quality 90 is about what phones store.
    QProcess::execute(QStringLiteral("heif-enc"),
                      {QStringLiteral("-q"), QStringLiteral("90"),
                       QString::fromStdString(base + "photo12mp.jpg"), QStringLiteral("-o"),
                       QString::fromStdString(base + "photo12mp.heic")});
    cv::imwrite(base + "photo12mp16.tif", photoLike(4000, 3000, CV_16U));
    cv::imwrite(base + "tiny.png", photoLike(8, 8, CV_8U));
    cv::Mat light;
    photoLike(4000, 3000, CV_16U).convertTo(light, CV_32F, 1.0 / 65535.0);
    cv::imwrite(base + "light12mp.hdr", light);
    lumora::writeImage(base + "light12mp.tif", light); // our own float TIFF, as an export leaves it

    lumora::DecoderPool pool(options);
    std::printf("helpers sandboxed by bwrap: %s\n", pool.sandboxed() ? "yes" : "no");
    // The first request starts the helper; that start is not part of any read below.
    pool.read(base + "tiny.png", false);

    struct Case {
        std::string name, path;
        bool preview;
    };
    const std::vector<Case> cases = {{"8x8 PNG (fixed cost)", base + "tiny.png", false},
                                     {"12 MP JPEG", base + "photo12mp.jpg", false},
                                     {"12 MP HEIC", base + "photo12mp.heic", false},
                                     {"12 MP 16-bit TIFF", base + "photo12mp16.tif", false},
                                     {"12 MP float HDR", base + "light12mp.hdr", false},
                                     {"12 MP float TIFF", base + "light12mp.tif", false},
                                     {"CR2 full", raw, false},
                                     {"CR2 preview", raw, true}};
    std::printf("%-22s %12s %12s %12s %12s %8s %12s\n", "file", "in-proc min", "in-proc med", "pooled min",
                "pooled med", "ratio", "extra med");
    for (const Case& c : cases) {
        if (!QFileInfo::exists(QString::fromStdString(c.path))) {
            std::printf("%-22s missing: %s\n", c.name.c_str(), c.path.c_str());
            continue;
        }
        const Stats local =
            measure(reps, [&] { return !lumora::readImageInProcess(c.path, c.preview).empty(); });
        const Stats pooled = measure(reps, [&] { return !pool.read(c.path, c.preview).image.empty(); });
        std::printf("%-22s %10.2fms %10.2fms %10.2fms %10.2fms %8.3f %10.2fms\n", c.name.c_str(),
                    local.min * 1e3, local.median * 1e3, pooled.min * 1e3, pooled.median * 1e3,
                    local.median > 0 ? pooled.median / local.median : 0.0,
                    (pooled.median - local.median) * 1e3);
    }
    // The dcraw program with the arguments raw files were once developed with, its TIFF on a pipe decoded in
    // memory: what LibRaw in the helper replaced.
    for (const bool preview : {false, true}) {
        if (!QFileInfo::exists(QString::fromStdString(raw)))
            break;
        QStringList args{"-T", "-w", "-6", "-o", "3", "-g", "2.4", "12.92", "-H", "5"};
        args << (preview ? QStringList{"-q", "0", "-h"} : QStringList{"-q", "3"}) << "-c"
             << QString::fromStdString(raw);
        const Stats dcraw = measure(reps, [&] {
            QProcess process;
            process.start(QStringLiteral("dcraw"), args);
            if (!process.waitForFinished(300000) || process.exitCode() != 0)
                return false;
            const QByteArray tiff = process.readAllStandardOutput();
            return !cv::imdecode(cv::Mat(1, tiff.size(), CV_8U, const_cast<char*>(tiff.constData())),
                                 cv::IMREAD_ANYDEPTH | cv::IMREAD_ANYCOLOR)
                        .empty();
        });
        std::printf("%-22s %10.2fms %10.2fms   (dcraw program, TIFF on a pipe)\n",
                    preview ? "CR2 preview, dcraw" : "CR2 full, dcraw", dcraw.min * 1e3, dcraw.median * 1e3);
    }

    // Each library alone, against OpenCV's own reader and writer (readImage gives OpenCV every format it
    // knows, DevIL then FreeImage the rest; writeImage tries FreeImage, OpenCV, DevIL).
    namespace io = lumora::imageio;
    std::printf("\n%-22s %12s %12s %12s %12s\n", "reader (median)", "DevIL", "OpenCV", "FreeImage", "Lumora");
    for (const auto& [name, file] :
         std::vector<std::pair<std::string, std::string>>{{"12 MP JPEG", base + "photo12mp.jpg"},
                                                          {"12 MP float HDR", base + "light12mp.hdr"},
                                                          {"12 MP 16-bit TIFF", base + "photo12mp16.tif"},
                                                          {"12 MP float TIFF", base + "light12mp.tif"}}) {
        const auto ms = [&](const std::function<cv::Mat()>& read) {
            return measure(reps, [&] { return !read().empty(); }).median * 1e3;
        };
        // Lumora's own reader takes Radiance files only.
        const double own = file.size() < 4 || file.compare(file.size() - 4, 4, ".hdr") != 0 ? 0.0 : ms([&] {
            cv::Mat image;
            std::string why;
            io::radiance::read(file, &image, &why);
            return image;
        });
        std::printf("%-22s %10.1fms %10.1fms %10.1fms %10.1fms\n", name.c_str(),
                    ms([&] { return io::devil::read(file); }), ms([&] { return io::opencv::read(file); }),
                    ms([&] { return io::freeimage::read(file, false); }), own);
    }
    cv::Mat jpeg8;
    cv::imread(base + "photo12mp.jpg").copyTo(jpeg8);
    io::Bytes bytes;
    std::string error;
    const auto encodeMs =
        [&](bool (*encode)(const cv::Mat&, const std::string&, int, io::Bytes*, std::string*)) {
            return measure(reps, [&] { return encode(jpeg8, "jpg", 99, &bytes, &error); }).median * 1e3;
        };
    std::printf("%-22s %10.1fms %10.1fms %10.1fms\n", "12 MP JPEG writer", encodeMs(io::devil::encode),
                encodeMs(io::opencv::encode), encodeMs(io::freeimage::encode));
    std::printf("writeImage of that JPEG (encode, temporary file, rename; no EXIF): %.1f ms\n",
                measure(reps, [&] { return lumora::writeImage(base + "written.jpg", jpeg8).ok; }).median *
                    1e3);
    return 0;
}
