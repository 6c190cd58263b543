#include "media/HdrLight.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace lumora {

const double kBt2020ToBt709[3][3] = {
    {1.660491, -0.587641, -0.072850}, {-0.124551, 1.132900, -0.008349}, {-0.018151, -0.100579, 1.118730}};

namespace {

// HLG inverse OETF (ITU-R BT.2100): scene light in [0, 1] of a signal in [0, 1].
double hlgSceneLight(double e) {
    constexpr double a = 0.17883277, b = 0.28466892, c = 0.55991073;
    e = std::clamp(e, 0.0, 1.0);
    return e <= 0.5 ? e * e / 3.0 : (std::exp((e - c) / a) + b) / 12.0;
}

// PQ EOTF (SMPTE ST 2084): display light in nits of a signal in [0, 1].
double pqNits(double e) {
    constexpr double m1 = 2610.0 / 16384.0, m2 = 2523.0 / 4096.0 * 128.0;
    constexpr double c1 = 3424.0 / 4096.0, c2 = 2413.0 / 4096.0 * 32.0, c3 = 2392.0 / 4096.0 * 32.0;
    const double p = std::pow(std::clamp(e, 0.0, 1.0), 1.0 / m2);
    return 10000.0 * std::pow(std::max(p - c1, 0.0) / (c2 - c3 * p), 1.0 / m1);
}

std::vector<float> buildTable(VideoColour::Transfer transfer) {
    std::vector<float> t(65536);
    for (size_t v = 0; v < t.size(); ++v)
        t[v] = static_cast<float>(hdrLightOfCode(transfer, static_cast<double>(v) / 65535.0));
    return t;
}

const float* tableFor(VideoColour::Transfer transfer) {
    static const std::vector<float> hlg = buildTable(VideoColour::Transfer::HLG);
    static const std::vector<float> pq = buildTable(VideoColour::Transfer::PQ);
    return transfer == VideoColour::Transfer::PQ ? pq.data() : hlg.data();
}

} // namespace

double hdrLightOfCode(VideoColour::Transfer transfer, double code) {
    switch (transfer) {
    case VideoColour::Transfer::HLG:
        return hlgSceneLight(code) / hlgSceneLight(0.75);
    case VideoColour::Transfer::PQ:
        return pqNits(code);
    case VideoColour::Transfer::SDR:
        break;
    }
    return code;
}

cv::Mat hdrLinearLight(const cv::Mat& frame, const VideoColour& colour) {
    if (frame.empty() || frame.type() != CV_16UC3 || !colour.isHdr())
        return {};
    const float* table = tableFor(colour.transfer);
    const bool wide = colour.primaries == VideoColour::Primaries::BT2020;
    float m[3][3]; // BGR in, BGR out
    for (int o = 0; o < 3; ++o)
        for (int i = 0; i < 3; ++i)
            m[o][i] = wide ? static_cast<float>(kBt2020ToBt709[2 - o][2 - i]) : (o == i ? 1.0f : 0.0f);
    cv::Mat out(frame.size(), CV_32FC3);
    for (int y = 0; y < frame.rows; ++y) {
        const ushort* src = frame.ptr<ushort>(y);
        float* dst = out.ptr<float>(y);
        for (int x = 0; x < frame.cols; ++x, src += 3, dst += 3) {
            const float l[3] = {table[src[0]], table[src[1]], table[src[2]]};
            for (int o = 0; o < 3; ++o)
                dst[o] = std::max(0.0f, m[o][0] * l[0] + m[o][1] * l[1] + m[o][2] * l[2]);
        }
    }
    return out;
}

cv::Mat hdrDisplayFrame(const cv::Mat& frame, const VideoColour& colour) {
    cv::Mat light = hdrLinearLight(frame, colour);
    if (light.empty())
        return frame;
    const bool pq = colour.transfer == VideoColour::Transfer::PQ;
    constexpr double kPqReferenceWhite = 203.0;
    const float scale =
        pq ? static_cast<float>(1.0 / kPqReferenceWhite) : 1.0f; // HLG light is already relative
    const float peak = pq ? static_cast<float>(1000.0 / kPqReferenceWhite)
                          : static_cast<float>(hdrLightOfCode(VideoColour::Transfer::HLG, 1.0));
    const float inversePeak2 = 1.0f / (peak * peak);
    // The 1/2.2 power by table: the player converts every frame it shows.
    static const std::vector<ushort> encode = [] {
        std::vector<ushort> t(65536);
        for (size_t v = 0; v < t.size(); ++v)
            t[v] = cv::saturate_cast<ushort>(std::pow(static_cast<double>(v) / 65535.0, 1.0 / 2.2) * 65535.0);
        return t;
    }();
    cv::Mat out(frame.size(), CV_16UC3);
    const size_t n = static_cast<size_t>(frame.cols) * 3;
    for (int y = 0; y < frame.rows; ++y) {
        const float* src = light.ptr<float>(y);
        ushort* dst = out.ptr<ushort>(y);
        for (size_t i = 0; i < n; ++i) {
            const float x = src[i] * scale;
            const float mapped = std::min(1.0f, x * (1.0f + x * inversePeak2) / (1.0f + x));
            dst[i] = encode[static_cast<size_t>(mapped * 65535.0f + 0.5f)];
        }
    }
    return out;
}

} // namespace lumora
