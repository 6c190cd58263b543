// HDR AVIF and OpenEXR exports against the standards' own formulas (written independently in the test media
// header): grey patches of known light decode to the PQ or HLG code values of their nits, diffuse white at
// 203 nits, highlights stop at the chosen peak, and the colour description and light levels are in the file.
// OpenEXR light comes back within half precision, through Lumora's decoder and through OpenCV alike.

#include "export/HdrExport.h"
#include "ExifTags.h"
#include "HdrPatches.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <libheif/heif.h>
#include <opencv2/imgcodecs.hpp>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <random>

namespace {

using namespace lumora;

// Patch levels relative to diffuse white: black, 100 nits, diffuse white, 1000 nits, far above any peak.
const std::vector<double> kLevels = {0.0, 100.0 / 203.0, 1.0, 1000.0 / 203.0, 8.0};
constexpr int kPatch = 32;

// A light image of the patches side by side, diffuse white at linear light `white`.
cv::Mat patchLight(double white) {
    cv::Mat light(kPatch, kPatch * int(kLevels.size()), CV_32FC3);
    for (std::size_t k = 0; k < kLevels.size(); ++k)
        light.colRange(int(k) * kPatch, int(k + 1) * kPatch)
            .setTo(cv::Scalar::all(std::pow(kLevels[k] * white, 1.0 / 2.2)));
    return light;
}

struct Avif {
    cv::Mat rgb; // 16-bit, the 10-bit codes
    heif_color_profile_nclx nclx{};
    heif_content_light_level cll{};
    heif_mastering_display_colour_volume mdcv{};
    bool hasCll = false, hasMdcv = false;
};

Avif decodeAvif(const std::string& path) {
    Avif out;
    std::unique_ptr<heif_context, void (*)(heif_context*)> ctx(heif_context_alloc(), heif_context_free);
    if (heif_context_read_from_file(ctx.get(), path.c_str(), nullptr).code != heif_error_Ok)
        return out;
    heif_image_handle* handle = nullptr;
    heif_context_get_primary_image_handle(ctx.get(), &handle);
    heif_color_profile_nclx* nclx = nullptr;
    if (heif_image_handle_get_nclx_color_profile(handle, &nclx).code == heif_error_Ok) {
        out.nclx = *nclx;
        heif_nclx_color_profile_free(nclx);
    }
    heif_image* image = nullptr;
    heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RRGGBB_LE, nullptr);
    if (image) {
        int stride = 0;
        const uint8_t* p = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
        out.rgb = cv::Mat(heif_image_get_height(image, heif_channel_interleaved),
                          heif_image_get_width(image, heif_channel_interleaved), CV_16UC3,
                          const_cast<uint8_t*>(p), std::size_t(stride))
                      .clone();
        out.hasCll = heif_image_has_content_light_level(image);
        heif_image_get_content_light_level(image, &out.cll);
        out.hasMdcv = heif_image_has_mastering_display_colour_volume(image);
        heif_image_get_mastering_display_colour_volume(image, &out.mdcv);
        heif_image_release(image);
    }
    heif_image_handle_release(handle);
    return out;
}

// The signal a grey of `nits` has, after the export's clip at `peak`.
double expectedSignal(HdrTransfer transfer, double nits, double peak) {
    if (transfer == HdrTransfer::PQ)
        return testmedia::pqInverseEotf(std::min(nits, peak));
    // HLG's reference display: 1000 nits at full signal, system gamma 1.2.
    return testmedia::hlgOetf(std::pow(std::min({nits, peak, 1000.0}) / 1000.0, 1.0 / 1.2));
}

TEST(HdrAvif, GreyPatchesDecodeToTheCodesOfTheirNitsUpToThePeak) {
    QTemporaryDir dir;
    struct Case {
        HdrTransfer transfer;
        int peak;
        int transferCode;
    };
    for (const Case c : {Case{HdrTransfer::PQ, 1000, 16}, Case{HdrTransfer::PQ, 4000, 16},
                         Case{HdrTransfer::PQ, 600, 16}, Case{HdrTransfer::HLG, 1000, 18}}) {
        SCOPED_TRACE(c.peak);
        ExportPicture picture;
        picture.kind = ExportPicture::Kind::Light;
        picture.whiteLight = 0.1;
        picture.image = patchLight(picture.whiteLight);
        HdrChoices choices{c.peak, c.transfer == HdrTransfer::HLG ? 1 : 0};
        const std::string path = dir.filePath(QStringLiteral("p.avif")).toStdString();
        ASSERT_TRUE(exportPicture(path, picture, 10, choices, {}).ok);
        const Avif avif = decodeAvif(path);
        ASSERT_EQ(avif.rgb.size(), picture.image.size());
        for (std::size_t k = 0; k < kLevels.size(); ++k) {
            const cv::Rect centre(int(k) * kPatch + 8, 8, kPatch - 16, kPatch - 16);
            const double expected = expectedSignal(c.transfer, kLevels[k] * 203.0, c.peak) * 1023.0;
            for (int ch = 0; ch < 3; ++ch)
                EXPECT_NEAR(cv::mean(avif.rgb(centre))[ch], expected, 1.0) << "patch " << k;
        }
        // Diffuse white where BT.2408 puts it: 58 % of PQ, 75 % of HLG.
        const double white = cv::mean(avif.rgb(cv::Rect(2 * kPatch + 8, 8, 16, 16)))[1] / 1023.0;
        EXPECT_NEAR(white, c.transfer == HdrTransfer::PQ ? 0.5806 : 0.75, 1.5 / 1023.0);

        EXPECT_EQ(avif.nclx.color_primaries, 9);
        EXPECT_EQ(avif.nclx.transfer_characteristics, c.transferCode);
        EXPECT_EQ(avif.nclx.matrix_coefficients, 9);
        EXPECT_EQ(avif.nclx.full_range_flag, 1);
        // The brightest patch is at most the peak (HLG's at most 1000 nits); the average over the patches.
        const double peak = std::min<double>(c.peak, c.transfer == HdrTransfer::HLG ? 1000 : 10000);
        ASSERT_TRUE(avif.hasCll);
        EXPECT_NEAR(avif.cll.max_content_light_level, std::min(8 * 203.0, peak), 1.0);
        const double average =
            (0.0 + 100.0 + 203.0 + std::min(1000.0, peak) + std::min(8 * 203.0, peak)) / 5.0;
        EXPECT_NEAR(avif.cll.max_pic_average_light_level, average, 1.0);
        ASSERT_TRUE(avif.hasMdcv);
        EXPECT_EQ(avif.mdcv.max_display_mastering_luminance, uint32_t(peak * 10000));
    }
}

TEST(HdrAvif, TheSourcesExifIsCopiedIn) {
    QTemporaryDir dir;
    const std::string source = dir.filePath(QStringLiteral("s.jpg")).toStdString();
    ASSERT_TRUE(cv::imwrite(source, cv::Mat(8, 8, CV_8UC3, cv::Scalar::all(90))));
    ASSERT_TRUE(
        test::runExiftool({QStringLiteral("-Make=Lumora Test Camera"), QString::fromStdString(source)}));
    ExportPicture picture;
    picture.image = cv::Mat(16, 16, CV_8UC3, cv::Scalar::all(200));
    const std::string out = dir.filePath(QStringLiteral("e.avif")).toStdString();
    const WriteResult written = exportPicture(out, picture, 10, HdrChoices{}, source);
    ASSERT_TRUE(written.ok) << written.error;
    EXPECT_TRUE(written.exifWarning.empty()) << written.exifWarning;
    EXPECT_EQ(test::exifTags(out, {QStringLiteral("Make")}).value(QStringLiteral("Make")).toString(),
              QStringLiteral("Lumora Test Camera"));
}

// The same edit, a wider range: at or below diffuse white the HDR picture is the SDR picture; with a neutral
// edit (the SDR picture being the light clipped at white) it is the light itself, clipped at the peak.
TEST(HdrRendition, EqualsTheSdrPictureBelowWhiteAndTheLightAboveIt) {
    const double white = 0.25, peakRelative = 1000.0 / 203.0;
    cv::Mat light(1, 400, CV_32FC3), sdr(1, 400, CV_32FC3);
    for (int x = 0; x < light.cols; ++x) {
        const double level = x / 50.0; // 0 .. 8 times diffuse white
        light.at<cv::Vec3f>(0, x) = cv::Vec3f::all(float(std::pow(level * white, 1.0 / 2.2)));
        sdr.at<cv::Vec3f>(0, x) = cv::Vec3f::all(float(std::pow(std::min(level, 1.0), 1.0 / 2.2)));
    }
    const cv::Mat hdr = hdrRendition(sdr, light, white, 0.f, peakRelative);
    ASSERT_EQ(hdr.size(), light.size());
    for (int x = 0; x < light.cols; ++x)
        EXPECT_NEAR(hdr.at<cv::Vec3f>(0, x)[1], std::min(x / 50.0, peakRelative), 1e-4) << x;

    // An edit that darkens the SDR picture darkens the HDR one alike below white.
    const cv::Mat dark = hdrRendition(sdr * 0.5, light, white, 0.f, peakRelative);
    for (int x = 0; x <= 50; ++x)
        EXPECT_NEAR(dark.at<cv::Vec3f>(0, x)[1], std::pow(0.5, 2.2) * x / 50.0, 1e-4) << x;
    // One stop more exposure doubles the highlight gain: light at twice white shines four times as bright.
    EXPECT_NEAR(hdrRendition(sdr, light, white, 1.f, peakRelative).at<cv::Vec3f>(0, 100)[1], 4.0, 1e-3);
}

TEST(OpenExr, LightComesBackWithinHalfPrecisionThroughLumoraAndOpenCv) {
    QTemporaryDir dir;
    cv::Mat light(24, 40, CV_32FC3);
    std::mt19937 random(7);
    std::uniform_real_distribution<float> exponent(-6.f, 3.f);
    cv::Mat samples = light.reshape(1);
    for (auto it = samples.begin<float>(); it != samples.end<float>(); ++it)
        *it = std::exp2(exponent(random));
    for (const int bits : {16, 32}) {
        SCOPED_TRACE(bits);
        const std::string path = dir.filePath(QStringLiteral("l%1.exr").arg(bits)).toStdString();
        ExportPicture picture;
        picture.kind = ExportPicture::Kind::Light;
        picture.image = light;
        const WriteResult written = exportPicture(path, picture, bits, HdrChoices{}, {});
        ASSERT_TRUE(written.ok) << written.error;
        // What the file should hold: linear light, diffuse white (here the light's 1.0) at 1.
        cv::Mat linear;
        cv::pow(light, 2.2, linear);
        const cv::Mat back = readImage(path);
        ASSERT_EQ(back.type(), CV_32FC3);
        ASSERT_EQ(back.size(), light.size());
        // Half floats keep 11 significant bits: a relative error of at most 2^-11, or half the spacing of
        // half's subnormals (2^-25) below its normal range. Floats: the 2.2 power's own rounding.
        const double tolerance = bits == 16 ? 1.0 / 2048.0 : 4e-6;
        cv::Mat relative;
        cv::divide(
            cv::max(cv::abs(back - linear) - cv::Scalar::all(bits == 16 ? std::ldexp(1.0, -25) : 0.0), 0.0),
            linear, relative);
        double worst = 0.0;
        cv::Point at;
        cv::minMaxLoc(relative.reshape(1), nullptr, &worst, nullptr, &at);
        EXPECT_LE(worst, tolerance) << linear.reshape(1).at<float>(at) << " came back as "
                                    << back.reshape(1).at<float>(at);

        setenv("OPENCV_IO_ENABLE_OPENEXR", "1", 1);
        const cv::Mat viaOpenCv = cv::imread(path, cv::IMREAD_UNCHANGED);
        if (viaOpenCv.empty())
            GTEST_SKIP() << "this OpenCV reads no OpenEXR";
        EXPECT_EQ(cv::norm(viaOpenCv, back, cv::NORM_INF), 0.0);
    }
}

} // namespace
