#pragma once
// The libav functions Lumora calls, bound on first call (LazyLibav.S, LazyLibav.cpp). A function used anywhere
// in the project that is missing here fails at link time, so the list cannot fall behind the code.

// clang-format off
#define LUMORA_LIBAV_FUNCTIONS(X) \
    X(av_dict_free) X(av_dict_set) X(av_display_rotation_get) X(av_find_best_stream) X(av_frame_alloc) \
    X(av_frame_free) X(av_frame_move_ref) X(av_frame_unref) X(av_free) X(av_freep) X(av_guess_frame_rate) \
    X(av_log_format_line2) X(av_log_set_callback) X(av_malloc) X(av_match_list) X(av_packet_alloc) \
    X(av_packet_free) X(av_packet_unref) X(av_pix_fmt_desc_get) X(av_probe_input_buffer2) X(av_read_frame) \
    X(av_seek_frame) X(av_stream_get_side_data) X(av_strerror) X(avcodec_alloc_context3) X(avcodec_find_decoder) \
    X(avcodec_flush_buffers) X(avcodec_free_context) X(avcodec_open2) X(avcodec_parameters_to_context) \
    X(avcodec_receive_frame) X(avcodec_send_packet) X(avformat_alloc_context) X(avformat_close_input) \
    X(avformat_find_stream_info) X(avformat_open_input) X(avio_alloc_context) X(avio_context_free) \
    X(sws_freeContext) X(sws_getCachedContext) X(sws_getCoefficients) X(sws_scale) X(sws_setColorspaceDetails)
// clang-format on
