// HDR AVIF stills through libheif's AV1 encoder: 10-bit BT.2020 with PQ or HLG, full range, 4:2:2, the
// colour description as an nclx box, and the content light level and mastering display boxes that HDR screens
// read to place the picture's highlights. libheif turns the RGB codes into YCbCr with the nclx matrix.

#include "imageio/HdrSignal.h"
#include "imageio/LibraryAdapters.h"

#include <libheif/heif.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace lumora::imageio::avif {
namespace {

template <auto Free> struct Releaser {
    template <typename T> void operator()(T* p) const {
        if (p)
            Free(p);
    }
};
using Context = std::unique_ptr<heif_context, Releaser<heif_context_free>>;
using Image = std::unique_ptr<heif_image, Releaser<heif_image_release>>;
using Encoder = std::unique_ptr<heif_encoder, Releaser<heif_encoder_release>>;
using Nclx = std::unique_ptr<heif_color_profile_nclx, Releaser<heif_nclx_color_profile_free>>;
using EncodingOptions = std::unique_ptr<heif_encoding_options, Releaser<heif_encoding_options_free>>;

// CICP code points (ITU-T H.273).
constexpr uint16_t kPrimariesBt2020 = 9;
constexpr uint16_t kTransferPq = 16;
constexpr uint16_t kTransferHlg = 18;
constexpr uint16_t kMatrixBt2020Ncl = 9;

// Visually lossless for AV1; flat areas come back within a code value.
constexpr int kQuality = 90;

std::string describe(const heif_error& error) {
    return error.message && *error.message ? error.message : "libheif error " + std::to_string(error.code);
}

heif_error appendBytes(heif_context*, const void* data, size_t size, void* userdata) {
    auto* out = static_cast<Bytes*>(userdata);
    const auto* p = static_cast<const unsigned char*>(data);
    out->insert(out->end(), p, p + size);
    return heif_error{heif_error_Ok, heif_suberror_Unspecified, "ok"};
}

uint16_t levelField(double nits) {
    return static_cast<uint16_t>(std::clamp(std::ceil(nits), 0.0, 65535.0));
}

// BT.2020 primaries and D65 in units of 0.00002, green, blue, red as the HEVC SEI orders them; luminance in
// units of 0.0001 nits.
heif_mastering_display_colour_volume masteringDisplay(double peakNits) {
    heif_mastering_display_colour_volume m{};
    const double x[3] = {0.170, 0.131, 0.708}, y[3] = {0.797, 0.046, 0.292};
    for (int i = 0; i < 3; ++i) {
        m.display_primaries_x[i] = static_cast<uint16_t>(std::lround(x[i] / 0.00002));
        m.display_primaries_y[i] = static_cast<uint16_t>(std::lround(y[i] / 0.00002));
    }
    m.white_point_x = static_cast<uint16_t>(std::lround(0.3127 / 0.00002));
    m.white_point_y = static_cast<uint16_t>(std::lround(0.3290 / 0.00002));
    m.max_display_mastering_luminance = static_cast<uint32_t>(std::lround(peakNits * 10000.0));
    m.min_display_mastering_luminance = 1; // 0.0001 nits
    return m;
}

} // namespace

bool encode(const cv::Mat& linearBgr, HdrTransfer transfer, double peakNits, Bytes* out, std::string* error) {
    const auto fail = [&](const std::string& why) {
        *error = "AVIF: " + why;
        return false;
    };
    HdrLightLevels levels;
    const cv::Mat codes = hdrCodes10(linearBgr, transfer, peakNits, &levels);
    if (codes.empty())
        return fail("only a three-channel float picture can be written as HDR");

    heif_image* created = nullptr;
    heif_error status = heif_image_create(codes.cols, codes.rows, heif_colorspace_RGB,
                                          heif_chroma_interleaved_RRGGBB_LE, &created);
    Image image(created);
    if (status.code != heif_error_Ok)
        return fail(describe(status));
    status = heif_image_add_plane(image.get(), heif_channel_interleaved, codes.cols, codes.rows, 10);
    if (status.code != heif_error_Ok)
        return fail(describe(status));
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image.get(), heif_channel_interleaved, &stride);
    if (!plane)
        return fail("libheif gave no picture to fill");
    for (int y = 0; y < codes.rows; ++y) {
        const uint16_t* row = codes.ptr<uint16_t>(y);
        uint8_t* dst = plane + std::size_t(y) * std::size_t(stride);
        // Little-endian samples, whatever this processor's order.
        for (int i = 0; i < codes.cols * 3; ++i) {
            dst[2 * i] = static_cast<uint8_t>(row[i] & 0xff);
            dst[2 * i + 1] = static_cast<uint8_t>(row[i] >> 8);
        }
    }

    Nclx nclx(heif_nclx_color_profile_alloc());
    if (!nclx)
        return fail("libheif could not describe the colours");
    heif_nclx_color_profile_set_color_primaries(nclx.get(), kPrimariesBt2020);
    heif_nclx_color_profile_set_transfer_characteristics(
        nclx.get(), transfer == HdrTransfer::PQ ? kTransferPq : kTransferHlg);
    heif_nclx_color_profile_set_matrix_coefficients(nclx.get(), kMatrixBt2020Ncl);
    nclx->full_range_flag = 1;
    status = heif_image_set_nclx_color_profile(image.get(), nclx.get());
    if (status.code != heif_error_Ok)
        return fail(describe(status));
    const heif_content_light_level cll{levelField(levels.maxContentNits),
                                       levelField(levels.maxFrameAverageNits)};
    heif_image_set_content_light_level(image.get(), &cll);
    const heif_mastering_display_colour_volume mdcv = masteringDisplay(effectivePeakNits(transfer, peakNits));
    heif_image_set_mastering_display_colour_volume(image.get(), &mdcv);

    Context context(heif_context_alloc());
    if (!context)
        return fail("libheif could not start");
    heif_encoder* found = nullptr;
    status = heif_context_get_encoder_for_format(context.get(), heif_compression_AV1, &found);
    Encoder encoder(found);
    if (status.code != heif_error_Ok || !encoder)
        return fail("this libheif has no AV1 encoder (" + describe(status) + ")");
    heif_encoder_set_lossy_quality(encoder.get(), kQuality);
    // 4:2:2: for samples of more than 8 bits this libheif asks libaom for AV1's profile 2, which at 10 bits
    // holds 4:2:2 only; libaom aborts the whole process on 4:2:0 or 4:4:4 pictures with it. Decoders built
    // on dav1d or libaom read every profile.
    heif_encoder_set_parameter_string(encoder.get(), "chroma", "422");
    EncodingOptions options(heif_encoding_options_alloc());
    if (!options)
        return fail("libheif could not start");
    options->output_nclx_profile = nclx.get();
    options->save_alpha_channel = 0;
    status = heif_context_encode_image(context.get(), image.get(), encoder.get(), options.get(), nullptr);
    if (status.code != heif_error_Ok)
        return fail(describe(status));

    heif_writer writer{1, &appendBytes};
    out->clear();
    status = heif_context_write(context.get(), &writer, out);
    if (status.code != heif_error_Ok)
        return fail(describe(status));
    return true;
}

} // namespace lumora::imageio::avif
