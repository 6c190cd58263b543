#include "media/VideoDecoder.h"

#include "media/LibavLog.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avstring.h>
#include <libavutil/avutil.h>
#include <libavutil/dict.h>
#include <libavutil/display.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <opencv2/core.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace lumora {

namespace {

struct FormatCloser {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecCloser {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFreer {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFreer {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsFreer {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
using FormatPtr = std::unique_ptr<AVFormatContext, FormatCloser>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecCloser>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;
using SwsPtr = std::unique_ptr<SwsContext, SwsFreer>;

// The container demuxers a video may be read with (names as libavformat lists them; one name of a family is
// enough). Playlists, scripts, stream descriptions and picture sequences are missing on purpose: they open
// further files or network addresses named inside the file.
constexpr const char* kVideoDemuxers = "mov,avi,matroska,mpeg,mpegts,mpegvideo,mjpeg,flv,asf,ogg,mxf,dv";
constexpr int kInputBufferSize = 1 << 16;

// The one file a decoder reads, opened by us and handed to libavformat as a byte stream, so the demuxer never
// opens a path or URL of its own choosing.
class InputFile {
public:
    // Null (and `error` set) unless `path` is, after following links, a regular file we can read. A FIFO or
    // device is refused before anything reads from it; opening does not block on a FIFO.
    static std::unique_ptr<InputFile> open(const std::string& path, std::string* error) {
        auto fail = [error](const std::string& why) {
            if (error)
                *error = why;
            return nullptr;
        };
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return fail(std::strerror(errno));
        std::unique_ptr<InputFile> input(new InputFile(fd));
        struct stat st {};
        if (::fstat(fd, &st) != 0)
            return fail(std::strerror(errno));
        if (!S_ISREG(st.st_mode))
            return fail("not a regular file");
        auto* buffer = static_cast<unsigned char*>(av_malloc(kInputBufferSize));
        if (!buffer)
            return fail("out of memory");
        input->io_ = avio_alloc_context(buffer, kInputBufferSize, 0, input.get(), &InputFile::read, nullptr,
                                        &InputFile::seek);
        if (!input->io_) {
            av_free(buffer);
            return fail("out of memory");
        }
        return input;
    }
    ~InputFile() {
        if (io_) {
            av_freep(&io_->buffer); // libavformat may have replaced the buffer it was given
            avio_context_free(&io_);
        }
        ::close(fd_);
    }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    AVIOContext* io() const { return io_; }

private:
    explicit InputFile(int fd) : fd_(fd) {}

    static int read(void* opaque, uint8_t* buffer, int size) {
        const int fd = static_cast<InputFile*>(opaque)->fd_;
        for (;;) {
            const ssize_t n = ::read(fd, buffer, static_cast<size_t>(size));
            if (n > 0)
                return static_cast<int>(n);
            if (n == 0)
                return AVERROR_EOF;
            if (errno != EINTR)
                return AVERROR(errno);
        }
    }
    static int64_t seek(void* opaque, int64_t offset, int whence) {
        const int fd = static_cast<InputFile*>(opaque)->fd_;
        if (whence & AVSEEK_SIZE) {
            struct stat st {};
            return ::fstat(fd, &st) == 0 ? static_cast<int64_t>(st.st_size) : AVERROR(errno);
        }
        const off_t at = ::lseek(fd, static_cast<off_t>(offset), whence & ~AVSEEK_FORCE);
        return at < 0 ? AVERROR(errno) : static_cast<int64_t>(at);
    }

    int fd_;
    AVIOContext* io_ = nullptr;
};

// Demuxers that would open another file or URL (references, segments) get a refusal instead.
int refuseNestedOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) {
    return AVERROR(EPERM);
}

constexpr int64_t kNoTs = AV_NOPTS_VALUE;
// Frames at the end of the stream whose decoding is checked at opening: containers often list a last frame or
// two that never decode (edit lists, truncated writes).
constexpr int kTailFrames = 20;
// Seek points tried further back when a seek lands after the requested frame, before decoding from the start.
constexpr int kSeekRetries = 3;
// Consecutive decoder errors tolerated before a read gives up.
constexpr int kMaxDecodeErrors = 32;

std::string avErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// libavformat opens still pictures as one-frame videos; those are photos, read by the image reader.
bool isStillImageDemuxer(const AVInputFormat* format) {
    const std::string name = format->name ? format->name : "";
    const std::string pipe = "_pipe";
    return name.rfind("image2", 0) == 0 ||
           (name.size() > pipe.size() && name.compare(name.size() - pipe.size(), pipe.size(), pipe) == 0);
}

bool headerDescribesStreams(const AVFormatContext* format) {
    const std::string name = format->iformat->name ? format->iformat->name : "";
    if (name.rfind("mov,", 0) != 0 && name.rfind("matroska", 0) != 0)
        return false;
    if (format->ctx_flags & AVFMTCTX_NOHEADER)
        return false;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVCodecParameters* par = format->streams[i]->codecpar;
        if (par->codec_type == AVMEDIA_TYPE_VIDEO && (par->codec_id == AV_CODEC_ID_NONE || par->width <= 0))
            return false;
    }
    return true;
}

// The video stream to decode: libavformat's choice unless that is a cover picture, then the largest other
// one.
int chooseVideoStream(AVFormatContext* format) {
    auto isMotion = [format](int i) {
        const AVStream* st = format->streams[i];
        return st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
               !(st->disposition & AV_DISPOSITION_ATTACHED_PIC);
    };
    const int best = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (best >= 0 && isMotion(best))
        return best;
    int chosen = -1;
    int64_t largest = -1;
    for (int i = 0; i < static_cast<int>(format->nb_streams); ++i) {
        const AVCodecParameters* par = format->streams[i]->codecpar;
        const int64_t area = static_cast<int64_t>(par->width) * par->height;
        if (isMotion(i) && area > largest) {
            chosen = i;
            largest = area;
        }
    }
    return chosen;
}

// A keyframe, by presentation timestamp. Seeking backward to that timestamp lands on it whether the demuxer's
// index holds presentation or decode timestamps (a keyframe is decoded no later than it is shown); a seek
// that lands on a later keyframe is noticed and retried from an earlier one.
struct SeekPoint {
    int64_t key;
};

enum class Run { Found, Missing, LandedLate, End };

// The frame's own tags first, the stream's where the frame states nothing, the untagged rule last.
VideoColour colourOf(const AVFrame* f, const AVCodecContext* codec) {
    VideoColour c;
    const auto format = static_cast<AVPixelFormat>(f->format);
    if (const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format))
        c.bitDepth = desc->comp[0].depth;
    const AVColorSpace space = f->colorspace != AVCOL_SPC_UNSPECIFIED ? f->colorspace : codec->colorspace;
    c.matrixTagged = true;
    switch (space) {
    case AVCOL_SPC_BT709:
        c.matrix = VideoColour::Matrix::BT709;
        break;
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M:
        c.matrix = VideoColour::Matrix::BT601;
        break;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL: // rare; the non-constant matrix is the closest swscale offers
        c.matrix = VideoColour::Matrix::BT2020;
        break;
    default:
        c.matrix = untaggedMatrix(f->width, f->height);
        c.matrixTagged = false;
    }
    const AVColorRange range =
        f->color_range != AVCOL_RANGE_UNSPECIFIED ? f->color_range : codec->color_range;
    c.fullRange = range == AVCOL_RANGE_JPEG || format == AV_PIX_FMT_YUVJ420P ||
                  format == AV_PIX_FMT_YUVJ422P || format == AV_PIX_FMT_YUVJ444P ||
                  format == AV_PIX_FMT_YUVJ440P || format == AV_PIX_FMT_YUVJ411P;
    const AVColorTransferCharacteristic trc =
        f->color_trc != AVCOL_TRC_UNSPECIFIED ? f->color_trc : codec->color_trc;
    if (trc == AVCOL_TRC_ARIB_STD_B67)
        c.transfer = VideoColour::Transfer::HLG;
    else if (trc == AVCOL_TRC_SMPTE2084)
        c.transfer = VideoColour::Transfer::PQ;
    const AVColorPrimaries prim =
        f->color_primaries != AVCOL_PRI_UNSPECIFIED ? f->color_primaries : codec->color_primaries;
    switch (prim) {
    case AVCOL_PRI_BT709:
        c.primaries = VideoColour::Primaries::BT709;
        break;
    case AVCOL_PRI_BT470BG:
    case AVCOL_PRI_SMPTE170M:
    case AVCOL_PRI_SMPTE240M:
        c.primaries = VideoColour::Primaries::BT601;
        break;
    case AVCOL_PRI_BT2020:
        c.primaries = VideoColour::Primaries::BT2020;
        break;
    default:
        // HDR transfers are only ever used with the wide primaries.
        c.primaries = c.isHdr() ? VideoColour::Primaries::BT2020 : VideoColour::Primaries::Unknown;
    }
    return c;
}

int swsMatrix(VideoColour::Matrix m) {
    switch (m) {
    case VideoColour::Matrix::BT709:
        return SWS_CS_ITU709;
    case VideoColour::Matrix::BT2020:
        return SWS_CS_BT2020;
    case VideoColour::Matrix::BT601:
        break;
    }
    return SWS_CS_ITU601;
}

} // namespace

struct VideoDecoder::Impl {
    std::string path;
    std::unique_ptr<InputFile> input; // declared before `format`, which reads from it and is closed first
    FormatPtr format;
    CodecPtr codec;
    FramePtr frame{av_frame_alloc()};
    FramePtr last{av_frame_alloc()}; // the frame at `position`, kept so a repeated request needs no decode
    PacketPtr packet{av_packet_alloc()};
    SwsPtr sws;
    VideoColour colour;
    int stream = -1;
    bool pendingPacket = false; // `packet` holds data the decoder has not taken yet
    bool draining = false;      // end of stream signalled to the decoder
    int decodeErrors = 0;
    // While seeking a frame, pictures presented before it are decoded only when other pictures refer to them.
    int64_t skipBefore = kNoTs;

    bool timestamps = true;        // frames are identified by presentation timestamp
    std::vector<int64_t> keys;     // presentation timestamps of the frames, ascending: frame i has keys[i]
    std::vector<SeekPoint> points; // keyframes, ascending by key
    int ordinalCount = 0;          // frame count when frames are identified by decode order
    int position = -1;
    int64_t lastKey = kNoTs; // key of the last frame out of the decoder since it was last reset
    int64_t firstPos = -1, firstTs = kNoTs;
    int width = 0, height = 0;
    double fps = 0.0;
    int rotation = 0; // clockwise quarter turns, in degrees, that put decoded pictures upright

    bool openFormat(std::string* error);
    bool openCodec(std::string* error);
    void buildIndex();
    bool checkHead(std::string* error);
    void checkTail();
    bool collectTail();
    void countByDecoding();

    int frameCount() const { return timestamps ? static_cast<int>(keys.size()) : ordinalCount; }
    int readVideoPacket();
    int receiveNext();
    int64_t frameKey() const;
    int indexOfKey(int64_t key) const;
    int seekPointBefore(int64_t key) const;
    void resetPipeline();
    bool seekTo(const SeekPoint& point);
    bool restart();
    bool positionFor(int index, int point, int attempt);
    Run runTo(int index);
    bool decodeTo(int index);
    bool decodeOrdinalTo(int index);
    cv::Mat convert(const AVFrame* source);
};

bool VideoDecoder::Impl::openFormat(std::string* error) {
    auto fail = [error](const std::string& why) {
        if (error)
            *error = why;
        return false;
    };
    routeLibavMessages();
    format.reset();
    input.reset();
    std::unique_ptr<InputFile> file = InputFile::open(path, error);
    if (!file)
        return false;
    // The container is recognised before any demuxer reads the file's header: a demuxer that is not on the
    // list never runs.
    const AVInputFormat* detected = nullptr;
    int r = av_probe_input_buffer2(file->io(), &detected, path.c_str(), nullptr, 0, 0);
    if (r < 0 || !detected)
        return fail(r < 0 ? avErrorText(r) : "not a video file");
    if (isStillImageDemuxer(detected))
        return fail("a still image, not a video");
    if (av_match_list(detected->name, kVideoDemuxers, ',') <= 0)
        return fail(std::string("a '") + detected->name + "' file, not a video container we read");
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw)
        return fail("out of memory");
    raw->pb = file->io();
    raw->io_open = refuseNestedOpen;
    // The same limits again inside libavformat, for anything that would open a stream past io_open.
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    av_dict_set(&options, "format_whitelist", kVideoDemuxers, 0);
    r = avformat_open_input(&raw, path.c_str(), detected, &options); // frees `raw` on failure
    av_dict_free(&options);
    if (r < 0)
        return fail(avErrorText(r));
    FormatPtr opened(raw);
    // MP4/QuickTime and Matroska headers describe the streams fully; probing them by decoding a handful of
    // frames on one thread costs a few hundred milliseconds at 1080p.
    if (!headerDescribesStreams(opened.get())) {
        r = avformat_find_stream_info(opened.get(), nullptr);
        if (r < 0)
            return fail(avErrorText(r));
    }
    const int chosen = chooseVideoStream(opened.get());
    if (chosen < 0)
        return fail("no video stream");
    if (stream >= 0 && chosen != stream)
        return fail("the video stream changed on reopening");
    // Skipping the other streams spares reading their data.
    for (unsigned i = 0; i < opened->nb_streams; ++i)
        if (static_cast<int>(i) != chosen)
            opened->streams[i]->discard = AVDISCARD_ALL;
    input = std::move(file);
    format = std::move(opened);
    stream = chosen;
    return true;
}

bool VideoDecoder::Impl::openCodec(std::string* error) {
    const AVStream* st = format->streams[stream];
    const AVCodec* decoder = avcodec_find_decoder(st->codecpar->codec_id);
    if (!decoder) {
        if (error)
            *error = "no decoder for this video codec";
        return false;
    }
    codec.reset(avcodec_alloc_context3(decoder));
    int r = codec ? avcodec_parameters_to_context(codec.get(), st->codecpar) : AVERROR(ENOMEM);
    if (r >= 0) {
        codec->pkt_timebase = st->time_base;
        codec->thread_count = 0; // libavcodec picks the thread count from the cores
        r = avcodec_open2(codec.get(), decoder, nullptr);
    }
    if (r < 0) {
        if (error)
            *error = avErrorText(r);
        return false;
    }
    const AVRational rate = av_guess_frame_rate(format.get(), format->streams[stream], nullptr);
    fps = rate.num > 0 && rate.den > 0 ? av_q2d(rate) : 0.0;
    // Phones store portrait clips as landscape pictures with a display rotation; frames are delivered
    // upright.
    if (const uint8_t* matrix = av_stream_get_side_data(st, AV_PKT_DATA_DISPLAYMATRIX, nullptr)) {
        const double degrees = -av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix));
        if (std::isfinite(degrees))
            rotation = ((static_cast<int>(std::lround(degrees / 90.0)) % 4 + 4) % 4) * 90;
    }
    return true;
}

// Lists the frames from the container's packets, without decoding: one frame per packet that is meant to be
// shown, identified by its presentation timestamp, and the keyframes to seek to.
void VideoDecoder::Impl::buildIndex() {
    const bool reorders = format->streams[stream]->codecpar->video_delay > 0;
    bool first = true;
    while (readVideoPacket() == 0) {
        const AVPacket& p = *packet;
        if (first) {
            firstPos = p.pos;
            firstTs = p.dts != kNoTs ? p.dts : p.pts;
            first = false;
        }
        // Without reordering the decode timestamp is the presentation timestamp.
        const int64_t key = p.pts != kNoTs ? p.pts : (reorders ? kNoTs : p.dts);
        if ((p.flags & AV_PKT_FLAG_KEY) && key != kNoTs)
            points.push_back({key});
        // A discarded packet is decoded for reference only; its picture is never delivered.
        if (!(p.flags & AV_PKT_FLAG_DISCARD)) {
            if (key == kNoTs)
                timestamps = false;
            keys.push_back(key);
        }
        av_packet_unref(packet.get());
    }
    std::sort(keys.begin(), keys.end());
    if (std::adjacent_find(keys.begin(), keys.end()) != keys.end())
        timestamps = false;
    std::sort(points.begin(), points.end(),
              [](const SeekPoint& a, const SeekPoint& b) { return a.key < b.key; });
}

// Decodes the first frame. It stays in the decoder as frame 0, so showing it after opening costs nothing
// more.
bool VideoDecoder::Impl::checkHead(std::string* error) {
    if (!restart() || receiveNext() < 0) {
        if (error)
            *error = "no frame of the video decodes";
        return false;
    }
    const bool quarterTurn = rotation == 90 || rotation == 270;
    width = quarterTurn ? frame->height : frame->width;
    height = quarterTurn ? frame->width : frame->height;
    if (timestamps) {
        // Frames listed before the first one that decodes are never delivered: drop them.
        const int first = indexOfKey(frameKey());
        if (first < 0)
            timestamps = false;
        else
            keys.erase(keys.begin(), keys.begin() + first);
    }
    lastKey = frameKey();
    colour = colourOf(frame.get(), codec.get());
    av_frame_move_ref(last.get(), frame.get());
    position = 0;
    return true;
}

// Decodes the last frames the index lists, up to the end of the stream, and keeps those that really came out.
void VideoDecoder::Impl::checkTail() {
    // Only which frames come out matters here, not their pixels: the loop filter is left out.
    codec->skip_loop_filter = AVDISCARD_ALL;
    if (!collectTail())
        timestamps = false;
    codec->skip_loop_filter = AVDISCARD_DEFAULT;
    resetPipeline(); // drops the reference pictures decoded without the loop filter
}

bool VideoDecoder::Impl::collectTail() {
    const int wanted = std::max(0, frameCount() - kTailFrames);
    int start = wanted;
    while (start >= 0 && start > wanted - kTailFrames && !decodeTo(start))
        --start; // that frame does not decode: begin the check earlier
    if (start < 0 || start <= wanted - kTailFrames)
        return false;
    std::vector<int64_t> tail{lastKey};
    while (receiveNext() >= 0) {
        const int64_t key = frameKey();
        if (indexOfKey(key) < 0 || key <= tail.back())
            return false; // the decoder invents timestamps the container does not list
        tail.push_back(key);
    }
    keys.resize(start);
    keys.insert(keys.end(), tail.begin(), tail.end());
    return true;
}

void VideoDecoder::Impl::countByDecoding() {
    ordinalCount = 0;
    if (!restart())
        return;
    while (receiveNext() >= 0)
        ++ordinalCount;
    resetPipeline();
}

int VideoDecoder::Impl::readVideoPacket() {
    for (;;) {
        const int r = av_read_frame(format.get(), packet.get());
        if (r < 0)
            return r;
        if (packet->stream_index == stream)
            return 0;
        av_packet_unref(packet.get());
    }
}

// Next frame out of the decoder, in presentation order, into `frame`. Packets that fail to decode are
// skipped.
int VideoDecoder::Impl::receiveNext() {
    for (;;) {
        int r = avcodec_receive_frame(codec.get(), frame.get());
        if (r == 0) {
            decodeErrors = 0;
            return 0;
        }
        if (r == AVERROR_EOF)
            return r;
        if (r != AVERROR(EAGAIN)) {
            if (++decodeErrors > kMaxDecodeErrors)
                return r;
            continue;
        }
        if (draining)
            return AVERROR_EOF;
        if (!pendingPacket) {
            if (readVideoPacket() < 0) {
                avcodec_send_packet(codec.get(), nullptr);
                draining = true;
                continue;
            }
            pendingPacket = true;
        }
        const int64_t key = packet->pts != kNoTs ? packet->pts : packet->dts;
        codec->skip_frame =
            skipBefore != kNoTs && key != kNoTs && key < skipBefore ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
        r = avcodec_send_packet(codec.get(), packet.get());
        if (r == AVERROR(EAGAIN))
            continue; // the decoder wants its output taken first; the packet stays pending
        av_packet_unref(packet.get());
        pendingPacket = false;
        if (r < 0 && ++decodeErrors > kMaxDecodeErrors)
            return r;
    }
}

int64_t VideoDecoder::Impl::frameKey() const {
    return frame->pts != kNoTs ? frame->pts : frame->best_effort_timestamp;
}

int VideoDecoder::Impl::indexOfKey(int64_t key) const {
    const auto it = std::lower_bound(keys.begin(), keys.end(), key);
    return it != keys.end() && *it == key ? static_cast<int>(it - keys.begin()) : -1;
}

// Last keyframe presented no later than `key`; -1 when there is none.
int VideoDecoder::Impl::seekPointBefore(int64_t key) const {
    const auto it = std::upper_bound(points.begin(), points.end(), key,
                                     [](int64_t k, const SeekPoint& p) { return k < p.key; });
    return static_cast<int>(it - points.begin()) - 1;
}

void VideoDecoder::Impl::resetPipeline() {
    avcodec_flush_buffers(codec.get());
    av_packet_unref(packet.get());
    av_frame_unref(last.get());
    pendingPacket = false;
    draining = false;
    decodeErrors = 0;
    position = -1;
    lastKey = kNoTs;
    skipBefore = kNoTs;
}

bool VideoDecoder::Impl::seekTo(const SeekPoint& point) {
    resetPipeline();
    return av_seek_frame(format.get(), stream, point.key, AVSEEK_FLAG_BACKWARD) >= 0;
}

// Puts the demuxer on the first packet of the stream. Seeking there is tried first; a demuxer that cannot (or
// lands elsewhere) gets the file opened again.
bool VideoDecoder::Impl::restart() {
    resetPipeline();
    if (firstTs != kNoTs && av_seek_frame(format.get(), stream, firstTs, AVSEEK_FLAG_BACKWARD) >= 0 &&
        readVideoPacket() == 0) {
        const int64_t ts = packet->dts != kNoTs ? packet->dts : packet->pts;
        if (packet->pos == firstPos && ts == firstTs) {
            pendingPacket = true;
            return true;
        }
        av_packet_unref(packet.get());
    }
    return openFormat(nullptr);
}

// Decodes forward until frame `index` (by key) is out. Leaves that frame in `last`.
Run VideoDecoder::Impl::runTo(int index) {
    const int64_t target = keys[index];
    skipBefore = target;
    for (;;) {
        if (receiveNext() < 0) {
            av_frame_unref(last.get());
            position = -1;
            return Run::End;
        }
        const int64_t key = frameKey();
        const int64_t previous = lastKey;
        av_frame_unref(last.get());
        av_frame_move_ref(last.get(), frame.get());
        lastKey = key;
        position = indexOfKey(key); // -1 for pictures that are decoded but never shown
        if (key == target)
            return Run::Found;
        if (key > target) {
            // Past the target: it is missing if its predecessor just came out, else the seek went too far.
            const bool predecessorSeen = index > 0 && previous == keys[index - 1];
            return predecessorSeen ? Run::Missing : Run::LandedLate;
        }
    }
}

bool VideoDecoder::Impl::decodeTo(int index) {
    if (!timestamps)
        return decodeOrdinalTo(index);
    int point = seekPointBefore(keys[index]);
    if (position >= 0 && index > position) {
        // Decoding on is cheaper than seeking unless a keyframe lies well after the current frame.
        const int pointIndex =
            point < 0 ? 0
                      : static_cast<int>(std::lower_bound(keys.begin(), keys.end(), points[point].key) -
                                         keys.begin());
        if (pointIndex <= position + 2) {
            const Run r = runTo(index);
            if (r == Run::Found || r == Run::Missing)
                return r == Run::Found;
        }
    }
    for (int attempt = 0;; ++attempt) {
        // After the retries, without a keyframe before the target, or when the demuxer cannot seek, decode
        // from the start of the stream.
        bool fromStart = point < 0 || attempt > kSeekRetries;
        if (!fromStart && !seekTo(points[point]))
            fromStart = true;
        if (fromStart && !restart())
            return false;
        const Run r = runTo(index);
        if (r == Run::Found || r == Run::Missing || fromStart)
            return r == Run::Found;
        // Landed late, or ran out of stream before the target: demuxers without an index (MPEG transport and
        // program streams) seek by timestamp search and can land past the keyframe asked for, so nothing
        // before the next keyframe decodes. An earlier keyframe is tried.
        --point;
    }
}

bool VideoDecoder::Impl::decodeOrdinalTo(int index) {
    if (position < 0 || index <= position) {
        if (!restart())
            return false;
    }
    while (position < index) {
        if (receiveNext() < 0) {
            av_frame_unref(last.get());
            position = -1;
            return false;
        }
        av_frame_unref(last.get());
        av_frame_move_ref(last.get(), frame.get());
        ++position;
    }
    return true;
}

// BGR through swscale with bicubic chroma, with the matrix and range the frame's tags ask for (swscale's
// default is BT.601 whatever the stream says). Frames of more than 8 bits become 16-bit BGR, their samples
// scaled to the full 16-bit range. Rows are aligned to 32 bytes as the OpenCV video reader aligns them, so
// BT.601 frames match it pixel for pixel.
cv::Mat VideoDecoder::Impl::convert(const AVFrame* source) {
    const auto format = static_cast<AVPixelFormat>(source->format);
    const VideoColour tags = colourOf(source, codec.get());
    const bool deep = tags.bitDepth > 8;
    const AVPixelFormat target = deep ? AV_PIX_FMT_BGR48 : AV_PIX_FMT_BGR24;
    sws.reset(sws_getCachedContext(sws.release(), source->width, source->height, format, source->width,
                                   source->height, target, SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!sws)
        return {};
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
    const bool yuv = desc && !(desc->flags & AV_PIX_FMT_FLAG_RGB) && desc->nb_components >= 3;
    if (yuv) {
        // Set on every frame: a context the cache replaced starts again from swscale's defaults.
        const int* table = sws_getCoefficients(swsMatrix(tags.matrix));
        sws_setColorspaceDetails(sws.get(), table, tags.fullRange ? 1 : 0, table, 1, 0, 1 << 16, 1 << 16);
    }
    const int type = deep ? CV_16UC3 : CV_8UC3;
    cv::Mat out(source->height, source->width, type);
    const int rowBytes = static_cast<int>(source->width * out.elemSize());
    const int alignedBytes = (rowBytes + 31) / 32 * 32;
    cv::Mat staging = rowBytes == alignedBytes ? out : cv::Mat(source->height, alignedBytes, CV_8UC1);
    uint8_t* dst[4] = {staging.data, nullptr, nullptr, nullptr};
    const int dstStride[4] = {static_cast<int>(staging.step[0]), 0, 0, 0};
    sws_scale(sws.get(), source->data, source->linesize, 0, source->height, dst, dstStride);
    if (staging.data != out.data)
        cv::Mat(source->height, source->width, type, staging.data, staging.step[0]).copyTo(out);
    if (rotation == 90)
        cv::rotate(out, out, cv::ROTATE_90_CLOCKWISE);
    else if (rotation == 180)
        cv::rotate(out, out, cv::ROTATE_180);
    else if (rotation == 270)
        cv::rotate(out, out, cv::ROTATE_90_COUNTERCLOCKWISE);
    return out;
}

VideoDecoder::VideoDecoder(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
VideoDecoder::~VideoDecoder() = default;

Result<std::unique_ptr<VideoDecoder>> VideoDecoder::open(const std::string& path) {
    auto impl = std::make_unique<Impl>();
    impl->path = path;
    if (!impl->frame || !impl->last || !impl->packet)
        return failure("out of memory");
    std::string why;
    if (!impl->openFormat(&why) || !impl->openCodec(&why))
        return failure(why);
    impl->buildIndex();
    if (impl->keys.empty())
        return failure("the video stream holds no frames");
    if (impl->timestamps)
        impl->checkTail();
    if (!impl->checkHead(&why))
        return failure(why);
    if (!impl->timestamps)
        impl->countByDecoding();
    if (impl->frameCount() < 1)
        return failure("no frame of the video decodes");
    return std::unique_ptr<VideoDecoder>(new VideoDecoder(std::move(impl)));
}

int VideoDecoder::frameCount() const {
    return impl_->frameCount();
}
int VideoDecoder::width() const {
    return impl_->width;
}
int VideoDecoder::height() const {
    return impl_->height;
}
double VideoDecoder::reportedFps() const {
    return impl_->fps;
}
bool VideoDecoder::hasTimestampIndex() const {
    return impl_->timestamps;
}
const VideoColour& VideoDecoder::colour() const {
    return impl_->colour;
}
int VideoDecoder::position() const {
    return impl_->position;
}

cv::Mat VideoDecoder::frameAt(int index) {
    if (index < 0 || index >= impl_->frameCount())
        return {};
    if (index == impl_->position && impl_->last->data[0])
        return impl_->convert(impl_->last.get());
    return impl_->decodeTo(index) ? impl_->convert(impl_->last.get()) : cv::Mat();
}

} // namespace lumora
