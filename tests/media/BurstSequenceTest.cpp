// Bursts of photos as sequences: frame order, depth, stepping, labels and unreadable files.

#include "MediaTestSupport.h"
#include "TestEnvironment.h"
#include "app/EventLog.h"
#include "media/ImagesSequence.h"

#include <QDir>
#include <QFile>
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

std::vector<std::string> reversed(std::vector<std::string> files) {
    std::reverse(files.begin(), files.end());
    return files;
}

double maxDifference(const cv::Mat& a, const cv::Mat& b) {
    if (a.size() != b.size() || a.type() != b.type())
        return -1.0;
    return cv::norm(a, b, cv::NORM_INF);
}

class CapturedLog {
public:
    CapturedLog() { lumora::setLogDirectory(dir_.path().toStdString() + "/"); }
    ~CapturedLog() { lumora::setLogDirectory(""); }
    std::string text() const {
        QFile file(QString::fromStdString(lumora::logPath()));
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
    }

private:
    QTemporaryDir dir_;
};

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
        // Chosen in reverse order: the sequence orders them itself.
        ImagesSequence sequence(reversed(files));
        ASSERT_TRUE(sequence.ready());
        EXPECT_EQ(sequence.kind(), ImagesSequence::Burst);
        EXPECT_EQ(sequence.files(), files);
        EXPECT_EQ(sequence.frameCount(), static_cast<int>(files.size()));
        EXPECT_FLOAT_EQ(sequence.fps(), 25.0f);
        for (int i : lumora::test::shuffledIndices(sequence.frameCount(), 3)) {
            const cv::Mat frame = sequence.getCvImageAt(i, false);
            const cv::Mat expected = cv::imread(files[static_cast<size_t>(i)], cv::IMREAD_UNCHANGED);
            ASSERT_EQ(frame.depth(), c.depth) << "frame " << i;
            ASSERT_EQ(frame.channels(), 3) << "frame " << i;
            const double difference = maxDifference(frame, expected);
            EXPECT_GE(difference, 0.0) << "frame " << i;
            EXPECT_LE(difference, c.tolerance) << "frame " << i;
            // Each frame is its own file's picture, not a neighbour's: the neighbours differ by far more.
            const size_t other = static_cast<size_t>((i + 1) % sequence.frameCount());
            EXPECT_GT(maxDifference(frame, cv::imread(files[other], cv::IMREAD_UNCHANGED)), c.tolerance);
        }
        const std::vector<cv::Mat> window = sequence.getCvImagesInRange(1, 3);
        ASSERT_EQ(window.size(), 3u);
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(maxDifference(window[static_cast<size_t>(k)], sequence.getCvImageAt(1 + k, false)),
                      0.0);
    }
}

TEST(BurstFrames, OrderIsCaseSensitive) {
    // Four different pictures under names that sort differently with and without case.
    const std::vector<std::string> sources = folderFiles("burst_png8");
    ASSERT_GE(sources.size(), 4u);
    QTemporaryDir dir;
    const char* names[] = {"b.png", "A.png", "a.png", "B.png"};
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(QFile::copy(QString::fromStdString(sources[static_cast<size_t>(i)]),
                                dir.filePath(QString::fromLatin1(names[i]))));
    std::vector<std::string> chosen;
    for (const char* name : names)
        chosen.push_back(dir.filePath(QString::fromLatin1(name)).toStdString());
    ImagesSequence sequence(chosen);
    ASSERT_TRUE(sequence.ready());
    // Upper case first: A, B, a, b, i.e. sources 1, 3, 2, 0.
    const int expectedSource[] = {1, 3, 2, 0};
    for (int i = 0; i < 4; ++i) {
        const cv::Mat expected =
            cv::imread(sources[static_cast<size_t>(expectedSource[i])], cv::IMREAD_UNCHANGED);
        EXPECT_EQ(maxDifference(sequence.getCvImageAt(i, false), expected), 0.0) << "frame " << i;
    }
    EXPECT_EQ(sequence.endText(0), "A.png");
    EXPECT_EQ(sequence.endText(3), "b.png");
}

TEST(BurstPlayer, StepsJumpsAndLabels) {
    const std::vector<std::string> files = folderFiles("burst_png8");
    const int n = static_cast<int>(files.size());
    ImagesSequence sequence(files);
    ASSERT_TRUE(sequence.ready());
    sequence.setSpeed(1); // above 50 ms per step: no frame is dropped to catch up
    auto isFile = [&](const cv::Mat& frame, int i) {
        return maxDifference(frame, cv::imread(files[static_cast<size_t>(i)], cv::IMREAD_UNCHANGED)) == 0.0;
    };
    EXPECT_EQ(sequence.positionText(), "1/" + std::to_string(n));
    EXPECT_EQ(sequence.endText(), "frame_000.png");
    EXPECT_EQ(sequence.fileName(), files[0]);
    EXPECT_EQ(sequence.durationText(), "00:00"); // 8 intervals of 40 ms
    EXPECT_FLOAT_EQ(sequence.duration(), static_cast<float>(n - 1) / 25.0f);

    EXPECT_TRUE(isFile(sequence.nextFrame(true), 1));
    EXPECT_TRUE(isFile(sequence.nextFrame(true), 2));
    EXPECT_EQ(sequence.positionText(), "3/" + std::to_string(n));
    EXPECT_EQ(sequence.fileName(), files[2]);
    EXPECT_TRUE(isFile(sequence.previousFrame(true), 1));
    EXPECT_TRUE(isFile(sequence.setCurrentFrame(n - 1, true), n - 1));
    EXPECT_TRUE(sequence.isLastFrame());
    EXPECT_TRUE(isFile(sequence.nextFrame(true), n - 1));
    EXPECT_EQ(sequence.currentIndex(), n - 1);

    // A worker's read does not move the player.
    EXPECT_TRUE(isFile(sequence.getCvImageAt(2, false), 2));
    EXPECT_EQ(sequence.currentIndex(), n - 1);
    EXPECT_TRUE(isFile(sequence.previousFrame(true), n - 2));

    sequence.setFirstIndex(3);
    sequence.setLastIndex(5);
    sequence.rewind(true);
    EXPECT_EQ(sequence.currentIndex(), 3);
    EXPECT_TRUE(isFile(sequence.currentImage(), 3));
    EXPECT_TRUE(isFile(sequence.previousFrame(true), 3));
    EXPECT_EQ(sequence.currentIndex(), 3);
}

TEST(BurstBrightness, SixteenBitFramesSaturateAt65535) {
    ImagesSequence sequence(folderFiles("burst_tif16"));
    ASSERT_TRUE(sequence.ready());
    const cv::Mat current = sequence.currentImage();
    ASSERT_EQ(current.depth(), CV_16U);
    sequence.setBrightness(3);
    cv::Mat expected;
    current.convertTo(expected, CV_16U, 2.0);
    const cv::Mat shown = sequence.displayImage();
    ASSERT_EQ(shown.depth(), CV_16U);
    EXPECT_EQ(cv::norm(shown, expected, cv::NORM_INF), 0.0);
    double maxShown = 0.0, maxCurrent = 0.0;
    cv::minMaxLoc(shown.reshape(1), nullptr, &maxShown);
    cv::minMaxLoc(current.reshape(1), nullptr, &maxCurrent);
    EXPECT_EQ(maxShown, std::min(65535.0, 2.0 * maxCurrent));
    sequence.setBrightness(-3);
    cv::Mat shownF, halfF;
    sequence.displayImage().convertTo(shownF, CV_32F);
    current.convertTo(halfF, CV_32F, 0.5);
    EXPECT_LE(cv::norm(shownF, halfF, cv::NORM_INF), 0.5);
    // Frames for work stay as read.
    EXPECT_EQ(cv::norm(sequence.getCvImageAt(0, false), current, cv::NORM_INF), 0.0);
}

TEST(BurstFailures, UnreadableFilesAreLoggedAndSkipped) {
    CapturedLog log;
    const std::vector<std::string> sources = folderFiles("burst_png8");
    QTemporaryDir dir;
    std::vector<std::string> files;
    for (int i = 0; i < 4; ++i) {
        const QString target = dir.filePath(QStringLiteral("f%1.png").arg(i));
        files.push_back(target.toStdString());
        if (i == 2) {
            QFile broken(target);
            ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
            broken.write("not a picture");
        } else {
            ASSERT_TRUE(QFile::copy(QString::fromStdString(sources[static_cast<size_t>(i)]), target));
        }
    }
    ImagesSequence sequence(files);
    ASSERT_TRUE(sequence.ready());
    sequence.setSpeed(1);
    EXPECT_TRUE(sequence.getCvImageAt(2, false).empty());
    EXPECT_NE(log.text().find("ERROR at function getCvImageAt => The image '" + files[2] +
                              "' does not exist or we can not open it."),
              std::string::npos)
        << log.text();

    sequence.nextFrame(true);
    const cv::Mat shownAt1 = sequence.displayImage();
    const cv::Mat afterBroken = sequence.nextFrame(true);
    EXPECT_EQ(sequence.currentIndex(), 2); // the position moves on, the picture stays
    EXPECT_EQ(afterBroken.data, shownAt1.data);
    EXPECT_NE(log.text().find("ERROR at function main => The image'" + files[2] +
                              "' does not exist or we can not open it."),
              std::string::npos);
    const cv::Mat third = sequence.nextFrame(true);
    EXPECT_EQ(maxDifference(third, cv::imread(files[3], cv::IMREAD_UNCHANGED)), 0.0);
}

TEST(BurstFailures, AnUnreadableFirstFileLeavesTheBurstNotReady) {
    CapturedLog log;
    QTemporaryDir dir;
    const std::string broken = dir.filePath(QStringLiteral("a.jpg")).toStdString();
    QFile file(QString::fromStdString(broken));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("nothing");
    file.close();
    const std::string good = dir.filePath(QStringLiteral("b.jpg")).toStdString();
    ASSERT_TRUE(
        QFile::copy(QString::fromStdString(folderFiles("burst_jpg8")[0]), QString::fromStdString(good)));
    ImagesSequence sequence(std::vector<std::string>{good, broken}); // a.jpg is the first frame
    EXPECT_FALSE(sequence.ready());
    EXPECT_NE(log.text().find("ERROR at function main => The image'" + broken +
                              "' does not exist or we can not open it."),
              std::string::npos)
        << log.text();
    EXPECT_FALSE(ImagesSequence(std::vector<std::string>{}).ready());
}

} // namespace
