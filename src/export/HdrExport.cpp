#include "export/HdrExport.h"

#include "app/Parallel.h"
#include "imageio/HdrSignal.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace lumora {
namespace {

constexpr float kDisplayGamma = 2.2f;

// Three-channel float, any depth and channel count in; values as they were, 8 and 16 bits scaled to 0..1.
cv::Mat threeChannelFloat(const cv::Mat& image) {
    cv::Mat f = image.depth() == CV_32F ? image : convertDepth(image, 32);
    if (f.empty())
        return {};
    if (f.channels() == 1)
        cv::cvtColor(f, f, cv::COLOR_GRAY2BGR);
    else if (f.channels() == 4)
        cv::cvtColor(f, f, cv::COLOR_BGRA2BGR);
    return f.channels() == 3 ? f : cv::Mat();
}

// max(v, 0)^2.2 / divisor, every sample; NaNs become 0.
cv::Mat linearised(const cv::Mat& coded, float divisor) {
    cv::Mat out(coded.size(), CV_32FC3);
    const float inverse = 1.f / divisor;
    parallelFor(coded.rows, workerCount(WorkerUse::Waiting), "linearised", [&](int y) {
        const float* in = coded.ptr<float>(y);
        float* o = out.ptr<float>(y);
        for (int i = 0; i < coded.cols * 3; ++i)
            o[i] = in[i] > 0.f ? std::pow(in[i], kDisplayGamma) * inverse : 0.f;
    });
    return out;
}

} // namespace

int hdrTransferIndexOf(const QString& name) {
    const QString lower = name.toLower();
    return lower == QLatin1String("pq") ? 0 : lower == QLatin1String("hlg") ? 1 : -1;
}

LinearWriteOptions linearWriteOptions(const HdrChoices& choices, int bits) {
    LinearWriteOptions o;
    o.transfer = choices.transferIndex == 1 ? HdrTransfer::HLG : HdrTransfer::PQ;
    o.peakNits = std::clamp(choices.peakNits, kMinPeakNits, kMaxPeakNits);
    o.halfFloat = bits != 32;
    o.whiteNits = kDiffuseWhiteNits;
    return o;
}

double diffuseWhiteLight(double lightOneMeans, bool hlg) {
    if (!(lightOneMeans > 0.0))
        return 1.0;
    return hlg ? 1.0 / lightOneMeans : kDiffuseWhiteNits / lightOneMeans;
}

cv::Mat hdrRendition(const cv::Mat& sdr, const cv::Mat& light, double whiteLight, float exposureStops,
                     double peakRelative) {
    const cv::Mat s = threeChannelFloat(sdr), l = threeChannelFloat(light);
    if (s.empty() || l.empty() || s.size() != l.size() || !(whiteLight > 0.0))
        return {};
    const float lift = float(std::exp2(double(exposureStops)) / whiteLight);
    const float maxGain = float(std::max(peakRelative, 1.0));
    cv::Mat out(s.size(), CV_32FC3);
    parallelFor(s.rows, workerCount(WorkerUse::Waiting), "hdrRendition", [&](int y) {
        const float* ps = s.ptr<float>(y);
        const float* pl = l.ptr<float>(y);
        float* o = out.ptr<float>(y);
        for (int x = 0; x < s.cols; ++x, ps += 3, pl += 3, o += 3) {
            const float brightest = std::max({pl[0], pl[1], pl[2], 0.f});
            const float gain = std::clamp(std::pow(brightest, kDisplayGamma) * lift, 1.f, maxGain);
            for (int c = 0; c < 3; ++c) {
                const float v = ps[c] > 0.f ? std::min(ps[c], 1.f) : 0.f; // NaN too becomes 0
                o[c] = std::pow(v, kDisplayGamma) * gain;
            }
        }
    });
    return out;
}

cv::Mat linearPicture(const ExportPicture& picture, double peakNits) {
    const cv::Mat image = threeChannelFloat(picture.image);
    if (image.empty())
        return {};
    if (picture.kind == ExportPicture::Kind::Light)
        return picture.whiteLight > 0.0 ? linearised(image, float(picture.whiteLight)) : cv::Mat();
    if (picture.light.empty())
        return linearised(image, 1.f);
    return hdrRendition(image, picture.light, picture.whiteLight, picture.exposureStops,
                        peakNits / kDiffuseWhiteNits);
}

WriteResult exportPicture(const std::string& path, const ExportPicture& picture, int bits,
                          const HdrChoices& choices, const std::string& exifSource, int jpegQuality,
                          const WriteWatch& watch) {
    if (!isLinearFormat(path))
        return saveImage(path, picture.image, bits, exifSource, jpegQuality, watch);
    const LinearWriteOptions options = linearWriteOptions(choices, bits);
    const bool exr =
        path.size() >= 4 && QString::fromStdString(path).endsWith(QLatin1String(".exr"), Qt::CaseInsensitive);
    const cv::Mat linear = linearPicture(
        picture, exr ? options.peakNits : effectivePeakNits(options.transfer, options.peakNits));
    if (linear.empty() && !picture.image.empty()) {
        WriteResult result;
        result.error = "the picture could not be turned into linear light";
        return result;
    }
    return writeLinearImage(path, linear, options, exifSource, "Lumora", watch);
}

} // namespace lumora
