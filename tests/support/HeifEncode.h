#pragma once
// libheif's own encoder for tests that need what heif-enc cannot make (a stored rotation) or bytes without a
// program (fuzz seeds). Users link libheif.

#include <libheif/heif.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <string>

namespace lumora::test {

// `bgr` (8-bit colour) encoded as HEIC (HEVC) or AVIF (AV1) at quality 90, displayed turned by
// `orientation` (EXIF numbering, 1 = as stored). Empty when the encoder is missing or fails.
inline std::string encodeHeif(const cv::Mat& bgr, heif_compression_format compression,
                              heif_orientation orientation = heif_orientation_normal) {
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    heif_image* image = nullptr;
    heif_encoding_options* options = heif_encoding_options_alloc();
    std::string bytes;
    const bool ready =
        heif_context_get_encoder_for_format(context, compression, &encoder).code == heif_error_Ok &&
        heif_image_create(bgr.cols, bgr.rows, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image)
                .code == heif_error_Ok &&
        heif_image_add_plane(image, heif_channel_interleaved, bgr.cols, bgr.rows, 8).code == heif_error_Ok;
    if (ready) {
        int stride = 0;
        uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
        cv::Mat rgb(bgr.rows, bgr.cols, CV_8UC3, plane, std::size_t(stride));
        cv::cvtColor(bgr, rgb, cv::COLOR_BGR2RGB);
        heif_encoder_set_lossy_quality(encoder, 90);
        options->image_orientation = orientation;
        heif_writer writer{};
        writer.writer_api_version = 1;
        writer.write = [](heif_context*, const void* data, size_t size, void* out) {
            static_cast<std::string*>(out)->append(static_cast<const char*>(data), size);
            return heif_error{heif_error_Ok, heif_suberror_Unspecified, ""};
        };
        if (heif_context_encode_image(context, image, encoder, options, nullptr).code != heif_error_Ok ||
            heif_context_write(context, &writer, &bytes).code != heif_error_Ok)
            bytes.clear();
    }
    heif_encoding_options_free(options);
    if (image)
        heif_image_release(image);
    if (encoder)
        heif_encoder_release(encoder);
    heif_context_free(context);
    return bytes;
}

} // namespace lumora::test
