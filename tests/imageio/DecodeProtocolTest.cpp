// The decode messages: what one side writes the other reads back, data arriving in pieces, and every field a
// broken or hostile peer could use to make the reader allocate or misread.

#include "imageio/DecodeProtocol.h"
#include "imageio/ImageLimits.h"

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

namespace {

using namespace lumora::decode;

// Feeds the frame one byte more at a time: every proper prefix must ask for more, the whole frame completes.
template <typename Parse> void expectNeedMoreUntilComplete(const Bytes& frame, Parse parse) {
    for (std::size_t n = 0; n < frame.size(); ++n)
        ASSERT_EQ(parse(frame.data(), n), ParseStatus::NeedMore) << "prefix of " << n << " bytes";
    ASSERT_EQ(parse(frame.data(), frame.size()), ParseStatus::Complete);
}

// A field of a message set to a bad value.
struct Case {
    std::size_t offset;
    std::uint32_t value;
    const char* what;
};

void set32(Bytes& b, std::size_t offset, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[offset + i] = static_cast<unsigned char>(v >> (8 * i));
}

TEST(DecodeRequest, RoundTripsInPiecesAndBackToBack) {
    const std::vector<Request> requests = {
        {RequestKind::Read, false, Fault::None, "/photos/a b.jpg"},
        {RequestKind::Read, true, Fault::None, "/r\xC3\xA9pertoire/IMG_0001.CR2"},
        {RequestKind::Fault, false, Fault::Hang, ""},
        {RequestKind::Read, false, Fault::None, std::string(kMaxPathBytes, 'x')},
    };
    Bytes stream;
    for (const Request& r : requests) {
        const Bytes frame = encodeRequest(r);
        expectNeedMoreUntilComplete(frame, [](const unsigned char* d, std::size_t n) {
            return parseRequest(d, n, nullptr, nullptr, nullptr);
        });
        stream.insert(stream.end(), frame.begin(), frame.end());
    }
    std::size_t offset = 0;
    for (const Request& expected : requests) {
        Request got;
        std::size_t used = 0;
        ASSERT_EQ(parseRequest(stream.data() + offset, stream.size() - offset, &got, &used, nullptr),
                  ParseStatus::Complete);
        EXPECT_EQ(got, expected);
        offset += used;
    }
    EXPECT_EQ(offset, stream.size());
}

TEST(DecodeRequest, RejectsEachBadFieldAsSoonAsItArrives) {
    const Bytes good = encodeRequest({RequestKind::Read, true, Fault::None, "/a.png"});
    const Case cases[] = {{0, 0x12345678, "magic"},
                          {4, 2, "version"},
                          {8, 3, "kind"},
                          {12, 2, "flags"},
                          {16, 6, "fault"},
                          {20, kMaxPathBytes + 1, "path length"},
                          {20, 0xFFFFFFFFu, "huge path length"}};
    for (const Case& c : cases) {
        Bytes bad = good;
        set32(bad, c.offset, c.value);
        std::string error;
        // Only the bytes up to the broken field: the reader must not wait for a path it will never accept.
        EXPECT_EQ(parseRequest(bad.data(), c.offset + 4, nullptr, nullptr, &error), ParseStatus::Invalid)
            << c.what;
        EXPECT_FALSE(error.empty()) << c.what;
    }

    Bytes withNul = encodeRequest({RequestKind::Read, false, Fault::None, "/a.png"});
    withNul[24 + 2] = '\0';
    EXPECT_EQ(parseRequest(withNul.data(), withNul.size(), nullptr, nullptr, nullptr), ParseStatus::Invalid)
        << "a NUL would cut the path short in the helper";
    const Bytes noPath = encodeRequest({RequestKind::Read, false, Fault::None, ""});
    EXPECT_EQ(parseRequest(noPath.data(), noPath.size(), nullptr, nullptr, nullptr), ParseStatus::Invalid);
}

TEST(DecodeResponse, RoundTripsAndCountsPixelBytes) {
    const ResponseHeader ok{Status::Ok, 480, 641, CV_16UC3, "notes"},
        refused{Status::Refused, 0, 0, 0, "too large"};
    EXPECT_EQ(ok.pixelBytes(), 480u * 641u * 6u);
    EXPECT_EQ(refused.pixelBytes(), 0u);

    for (const ResponseHeader& h : {ok, refused}) {
        const Bytes frame = encodeResponseHeader(h);
        expectNeedMoreUntilComplete(frame, [](const unsigned char* d, std::size_t n) {
            return parseResponseHeader(d, n, nullptr, nullptr, nullptr);
        });
        ResponseHeader got;
        std::size_t used = 0;
        ASSERT_EQ(parseResponseHeader(frame.data(), frame.size(), &got, &used, nullptr),
                  ParseStatus::Complete);
        EXPECT_EQ(got, h);
        EXPECT_EQ(used, frame.size());
    }

    ResponseHeader chatty = refused;
    chatty.error.assign(kMaxErrorBytes * 3, 'e');
    const Bytes frame = encodeResponseHeader(chatty);
    ResponseHeader got;
    ASSERT_EQ(parseResponseHeader(frame.data(), frame.size(), &got, nullptr, nullptr), ParseStatus::Complete);
    EXPECT_EQ(got.error.size(), kMaxErrorBytes);
}

TEST(DecodeResponse, RefusesSizesAndTypesThatWouldMisallocate) {
    const Bytes good = encodeResponseHeader({Status::Ok, 10, 10, CV_8UC3, ""});
    const std::uint32_t side = std::uint32_t(lumora::kMaxImageSide);
    const Case cases[] = {
        {12, 0, "no rows"},
        {16, side + 1, "a side beyond the limit"},
        {12, 0x80000000u, "a negative row count"},
        {12, 20000, "more pixels than the limit (20000 x 10000)"},
        {20, CV_8UC4, "four channels"},
        {20, CV_64FC3, "doubles"},
        {20, 0xFFFFFFFFu, "garbage type"},
        {8, 9, "unknown status"},
        {24, std::uint32_t(kMaxErrorBytes + 1), "error text too long"},
        {0, 0x12345678, "magic"},
        {4, 2, "version"},
    };
    for (const Case& c : cases) {
        Bytes bad = good;
        set32(bad, c.offset, c.value);
        if (c.offset == 12 && c.value == 20000)
            set32(bad, 16, 10000);
        EXPECT_EQ(parseResponseHeader(bad.data(), bad.size(), nullptr, nullptr, nullptr),
                  ParseStatus::Invalid)
            << c.what;
        // The fields that need no other are refused as soon as they arrive, as in requests.
        if (c.offset != 12 && c.offset != 16 && c.offset != 20) {
            EXPECT_EQ(parseResponseHeader(bad.data(), c.offset + 4, nullptr, nullptr, nullptr),
                      ParseStatus::Invalid)
                << c.what << " in a prefix";
        }
    }

    Bytes sized = encodeResponseHeader({Status::Unreadable, 0, 0, 0, ""});
    set32(sized, 12, 5);
    EXPECT_EQ(parseResponseHeader(sized.data(), sized.size(), nullptr, nullptr, nullptr),
              ParseStatus::Invalid)
        << "a failure carries no image size";
}

} // namespace
