// Bursts of photos as sequences: frames are their sorted files at their own depth, stepping and labels, and
// unreadable files.

#include "MediaTestSupport.h"
#include "TestEnvironment.h"
#include "media/ImagesSequence.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

using lumora::ImagesSequence;

namespace {

std::vector<std::string> folderFiles(const std::string& folder) {
    std::vector<std::string> files;
    const QDir dir(QString::fromStdString(lumora::test::testMediaPath(folder)));
    for (const QFileInfo& f : dir.entryInfoList(QDir::Files, QDir::Name))
        files.push_back(f.absoluteFilePath().toStdString());
    return files;
}

double maxDifference(const cv::Mat& a, const cv::Mat& b) {
    if (a.size() != b.size() || a.type() != b.type())
        return -1.0;
    return cv::norm(a, b, cv::NORM_INF);
}

bool isFile(const cv::Mat& frame, const std::string& file) {
    return maxDifference(frame, cv::imread(file, cv::IMREAD_UNCHANGED)) == 0.0;
}

TEST(BurstFrames, FollowTheSortedFileNamesAndKeepTheirDepth) {
    struct Case {
        const char* folder;
        int depth;
        double tolerance; // JPEG decoders may round the inverse DCT differently
    };
    for (const Case& c :
         {Case{"burst_png8", CV_8U, 0.0}, Case{"burst_tif16", CV_16U, 0.0}, Case{"burst_jpg8", CV_8U, 8.0}}) {
        SCOPED_TRACE(c.folder);
        const std::vector<std::string> files = folderFiles(c.folder);
        ASSERT_GE(files.size(), 3u);
        ImagesSequence sequence(
            std::vector<std::string>(files.rbegin(), files.rend())); // it orders them itself
        ASSERT_TRUE(sequence.ready());
        EXPECT_EQ(sequence.kind(), ImagesSequence::Burst);
        EXPECT_EQ(sequence.files(), files);
        EXPECT_EQ(sequence.frameCount(), static_cast<int>(files.size()));
        EXPECT_FLOAT_EQ(sequence.fps(), 25.0f);
        for (int i : lumora::test::shuffledIndices(sequence.frameCount(), 3)) {
            const cv::Mat frame = sequence.getCvImageAt(i, false);
            ASSERT_EQ(frame.depth(), c.depth) << "frame " << i;
            ASSERT_EQ(frame.channels(), 3) << "frame " << i;
            const double difference =
                maxDifference(frame, cv::imread(files[size_t(i)], cv::IMREAD_UNCHANGED));
            EXPECT_GE(difference, 0.0) << "frame " << i;
            EXPECT_LE(difference, c.tolerance) << "frame " << i;
            // Each frame is its own file's picture, not a neighbour's: the neighbours differ by far more.
            const size_t other = static_cast<size_t>((i + 1) % sequence.frameCount());
            EXPECT_GT(maxDifference(frame, cv::imread(files[other], cv::IMREAD_UNCHANGED)), c.tolerance);
        }
        const std::vector<cv::Mat> window = sequence.getCvImagesInRange(1, 3);
        ASSERT_EQ(window.size(), 3u);
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(maxDifference(window[size_t(k)], sequence.getCvImageAt(1 + k, false)), 0.0);
    }
}

TEST(BurstPlayer, StepsJumpsAndLabels) {
    const std::vector<std::string> files = folderFiles("burst_png8");
    const int n = static_cast<int>(files.size());
    ImagesSequence sequence(files);
    ASSERT_TRUE(sequence.ready());
    sequence.setSpeed(1); // above 50 ms per step: no frame is dropped to catch up
    EXPECT_EQ(sequence.positionText(), "1/" + std::to_string(n));
    EXPECT_EQ(sequence.endText(), "frame_000.png");
    EXPECT_FLOAT_EQ(sequence.duration(), static_cast<float>(n - 1) / 25.0f);
    EXPECT_TRUE(isFile(sequence.nextFrame(true), files[1]));
    EXPECT_TRUE(isFile(sequence.nextFrame(true), files[2]));
    EXPECT_EQ(sequence.positionText(), "3/" + std::to_string(n));
    EXPECT_EQ(sequence.fileName(), files[2]);
    EXPECT_TRUE(isFile(sequence.previousFrame(true), files[1]));
    EXPECT_TRUE(isFile(sequence.setCurrentFrame(n - 1, true), files[size_t(n - 1)]));
    EXPECT_TRUE(sequence.isLastFrame());
    EXPECT_TRUE(isFile(sequence.nextFrame(true), files[size_t(n - 1)]));
    // A worker's read does not move the player.
    EXPECT_TRUE(isFile(sequence.getCvImageAt(2, false), files[2]));
    EXPECT_EQ(sequence.currentIndex(), n - 1);
    sequence.setFirstIndex(3);
    sequence.setLastIndex(5);
    sequence.rewind(true);
    EXPECT_EQ(sequence.currentIndex(), 3);
    EXPECT_TRUE(isFile(sequence.previousFrame(true), files[3]));
    EXPECT_EQ(sequence.currentIndex(), 3);
}

TEST(BurstFailures, UnreadableFilesAreLoggedAndSkippedButNotAsTheFirstFrame) {
    lumora::test::LogCapture log;
    const std::vector<std::string> sources = folderFiles("burst_png8");
    QTemporaryDir dir;
    std::vector<std::string> files;
    for (int i = 0; i < 4; ++i) {
        files.push_back(dir.filePath(QStringLiteral("f%1.png").arg(i)).toStdString());
        ASSERT_TRUE(i == 2 ? lumora::test::writeFileText(files.back(), "not a picture")
                           : QFile::copy(QString::fromStdString(sources[size_t(i)]),
                                         QString::fromStdString(files.back())));
    }
    ImagesSequence sequence(files);
    ASSERT_TRUE(sequence.ready());
    sequence.setSpeed(1);
    // A worker's range read gets an empty frame for it, the others, and the reason in the log.
    const std::vector<cv::Mat> range = sequence.getCvImagesInRange(1, 3);
    EXPECT_TRUE(range.at(1).empty() && !range.at(0).empty() && !range.at(2).empty());
    EXPECT_NE(log.text().find(files[2]), std::string::npos) << log.text();
    // Stepping onto the broken file moves the position and keeps the picture.
    const cv::Mat shownAt1 = sequence.nextFrame(true);
    EXPECT_EQ(sequence.nextFrame(true).data, shownAt1.data);
    EXPECT_EQ(sequence.currentIndex(), 2);
    EXPECT_TRUE(isFile(sequence.nextFrame(true), files[3]));

    // An unreadable first file leaves the burst not ready.
    ImagesSequence brokenFirst(std::vector<std::string>{files[3], files[2]});
    EXPECT_FALSE(brokenFirst.ready());
    EXPECT_FALSE(ImagesSequence(std::vector<std::string>{}).ready());
}

} // namespace
