// Large pictures' memory: 2 MiB-aligned blocks that behave as ordinary matrices and are reused once freed.

#include "app/ImageMemory.h"

#include <opencv2/core.hpp>

#include <sys/mman.h>

#include <cerrno>
#include <cstdint>
#include <gtest/gtest.h>
#include <vector>

namespace {

TEST(ImageMemory, LargeMatricesAreAlignedWorkAndAreReusedSmallOnesAreLeftAlone) {
    lumora::useLargePagesForImages();
    lumora::useLargePagesForImages(); // a second call changes nothing

    cv::Mat big(2000, 1500, CV_32FC3); // 36 MB
    ASSERT_EQ(reinterpret_cast<std::uintptr_t>(big.data) % (2u << 20), 0u);
    big.setTo(cv::Scalar(1, 2, 3));
    cv::Mat sum;
    cv::reduce(big.reshape(1, 1), sum, 1, cv::REDUCE_SUM, CV_64F);
    EXPECT_DOUBLE_EQ(sum.at<double>(0), 6.0 * 2000 * 1500);
    EXPECT_EQ(big.step[0], 1500u * 12);
    cv::Mat part = big(cv::Rect(10, 20, 30, 40)).clone(); // 14 KB: OpenCV's own allocator
    EXPECT_EQ(cv::sum(part)[1], 2.0 * 30 * 40);
    // Freed, its mapping serves the next large matrix that fits in it; a larger one gets a new mapping.
    const uchar* where = big.data;
    big.release();
    cv::Mat smaller(1700, 1700, CV_32FC3, cv::Scalar(4, 5, 6)); // 34.7 MB
    EXPECT_EQ(smaller.data, where);
    EXPECT_EQ(smaller.at<cv::Vec3f>(1699, 1699), cv::Vec3f(4, 5, 6));
    smaller.release();
    cv::Mat larger(3000, 2000, CV_32FC3, cv::Scalar(7, 8, 9));
    EXPECT_EQ(larger.at<cv::Vec3f>(2999, 1999), cv::Vec3f(7, 8, 9));

    // Small matrices and matrices over someone else's samples are left to OpenCV.
    float outside[4] = {1, 2, 3, 4};
    cv::Mat wrapped(2, 2, CV_32F, outside);
    EXPECT_EQ(wrapped.ptr<float>(1)[1], 4.f);
    cv::Mat small(10, 10, CV_8U, cv::Scalar(7));
    EXPECT_EQ(cv::sum(small)[0], 700.0);

    // A lower bound gives back at once what it no longer keeps, and a freed matrix beyond it is not kept.
    const auto isMapped = [](const uchar* p, std::size_t bytes) {
        std::vector<unsigned char> pages((bytes + 4095) / 4096);
        return mincore(const_cast<uchar*>(p), bytes, pages.data()) == 0 || errno != ENOMEM;
    };
    const uchar* kept = larger.data;
    larger.release();
    EXPECT_TRUE(isMapped(kept, 2u << 20));
    lumora::keepFreedImageMemoryUpTo(0);
    EXPECT_FALSE(isMapped(kept, 2u << 20));
    cv::Mat again(2000, 1500, CV_32FC3, cv::Scalar(1));
    const uchar* freed = again.data;
    again.release();
    EXPECT_FALSE(isMapped(freed, 2u << 20));
    lumora::keepFreedImageMemoryUpTo(std::size_t(512) << 20);

    // A program working one picture at a time lowers the bar: a 1 MP light image (12 MB) then takes a mapping
    // too, and matrices below the bar still do not.
    const auto aligned = [](const cv::Mat& m) {
        return reinterpret_cast<std::uintptr_t>(m.data) % (2u << 20) == 0;
    };
    cv::Mat before(866, 1155, CV_32FC3);
    lumora::useLargePagesForImages(lumora::kOneAtATimeImageBytes);
    cv::Mat after(866, 1155, CV_32FC3, cv::Scalar(1, 2, 3));
    cv::Mat below(500, 500, CV_8U, cv::Scalar(1));
    EXPECT_TRUE(aligned(after));
    EXPECT_EQ(cv::sum(after)[2], 3.0 * 866 * 1155);
    EXPECT_FALSE(aligned(before));
    EXPECT_FALSE(aligned(below));
    lumora::useLargePagesForImages(lumora::kLargeImageBytes);
}

} // namespace
