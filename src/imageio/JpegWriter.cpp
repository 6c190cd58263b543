// Lumora's own JPEG writer, straight on libjpeg: exports and exiftool's warm-up write JPEGs, and reaching
// libjpeg through OpenCV's codecs would load those codecs and the hundred libraries behind them (a fifth of
// a second) for one small picture. It makes the calls OpenCV's writer makes (defaults, quality limited to
// baseline tables, 4:2:0, no optimised Huffman tables, no restart markers), so its files are the same bytes,
// and states 72 dots per inch as every Lumora JPEG does.

#include "imageio/LibraryAdapters.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio> // before libjpeg's headers, which use FILE
#include <cstdlib>

#include <jerror.h>
#include <jpeglib.h>

namespace lumora::imageio::jpeg {
namespace {

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

// libjpeg's errors end in a jump back to compress(); its default would end the process.
void errorExit(j_common_ptr info) {
    auto* errors = reinterpret_cast<ErrorManager*>(info->err);
    errors->pub.format_message(info, errors->message);
    std::longjmp(errors->jump, 1);
}

// Warnings (none are expected when writing) stay off the console.
void outputMessage(j_common_ptr) {}

// The encoded bytes grow in one malloc'd block that compress() frees or hands over, whatever libjpeg does.
struct Destination {
    jpeg_destination_mgr pub;
    unsigned char* data = nullptr;
    std::size_t capacity = 0;
};

void initDestination(j_compress_ptr info) {
    auto* d = reinterpret_cast<Destination*>(info->dest);
    d->capacity = std::size_t(1) << 16;
    d->data = static_cast<unsigned char*>(std::malloc(d->capacity));
    if (!d->data)
        ERREXIT1(info, JERR_OUT_OF_MEMORY, 0);
    d->pub.next_output_byte = d->data;
    d->pub.free_in_buffer = d->capacity;
}

boolean emptyDestination(j_compress_ptr info) {
    auto* d = reinterpret_cast<Destination*>(info->dest);
    auto* grown = static_cast<unsigned char*>(std::realloc(d->data, d->capacity * 2));
    if (!grown)
        ERREXIT1(info, JERR_OUT_OF_MEMORY, 1);
    d->data = grown;
    d->pub.next_output_byte = grown + d->capacity;
    d->pub.free_in_buffer = d->capacity;
    d->capacity *= 2;
    return TRUE;
}

void termDestination(j_compress_ptr) {}

// Only plain C data lives across the jump, so no destructor is skipped when libjpeg gives up. The bytes
// written are dest->data[0 .. capacity - free_in_buffer); false with `errors->message` set on failure.
bool compress(const cv::Mat& image, int quality, ErrorManager* errors, Destination* dest) {
    jpeg_compress_struct info{};
    info.err = jpeg_std_error(&errors->pub);
    errors->pub.error_exit = errorExit;
    errors->pub.output_message = outputMessage;
    if (setjmp(errors->jump)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    dest->pub.init_destination = initDestination;
    dest->pub.empty_output_buffer = emptyDestination;
    dest->pub.term_destination = termDestination;
    info.dest = &dest->pub;
    info.image_width = JDIMENSION(image.cols);
    info.image_height = JDIMENSION(image.rows);
    info.input_components = image.channels();
    // libjpeg-turbo takes BGR rows as they are, with the same colour conversion as RGB ones.
    info.in_color_space = image.channels() == 3 ? JCS_EXT_BGR : JCS_GRAYSCALE;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    info.density_unit = 1; // dots per inch
    info.X_density = 72;
    info.Y_density = 72;
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(image.ptr<unsigned char>(int(info.next_scanline)));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

} // namespace

bool encode(const cv::Mat& image, int quality, Bytes* out, std::string* error) {
    if (image.empty() || image.depth() != CV_8U || (image.channels() != 1 && image.channels() != 3)) {
        *error = "JPEG: only 8-bit grey or BGR pictures are written here";
        return false;
    }
    ErrorManager errors{};
    Destination dest{};
    const bool done = compress(image, std::clamp(quality, 1, 100), &errors, &dest);
    if (done)
        out->assign(dest.data, dest.data + (dest.capacity - dest.pub.free_in_buffer));
    else
        *error = std::string("JPEG: ") + errors.message;
    std::free(dest.data);
    return done;
}

} // namespace lumora::imageio::jpeg
