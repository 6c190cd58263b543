// Requests at and just past the ends of a video or a burst: nothing is read or logged, and the player stays
// on its frame. An index one past the end must never reach the decoder or the burst's file list.

#include "TestEnvironment.h"
#include "media/ImagesSequence.h"
#include "media/MediaFiles.h"

#include <QFileInfo>
#include <gtest/gtest.h>

#include <memory>

namespace {

using lumora::ImagesSequence;

TEST(SequenceBounds, RequestsPastEitherEndReadNothingAndLeaveThePlayer) {
    for (const char* medium : {"burst_png8", "counter_gop12.mp4"}) {
        SCOPED_TRACE(medium);
        const std::string path = lumora::test::testMediaPath(medium);
        lumora::test::LogCapture log;
        const auto sequence = QFileInfo(QString::fromStdString(path)).isDir()
                                  ? std::make_unique<ImagesSequence>(lumora::burstFilesInFolder(path))
                                  : std::make_unique<ImagesSequence>(path);
        ASSERT_TRUE(sequence->ready());
        const int n = sequence->frameCount();
        sequence->setCurrentFrame(n - 1, true);
        for (int index : {-1, n}) {
            EXPECT_TRUE(sequence->getCvImageAt(index, false).empty()) << index;
            // A read that would otherwise move the player's index there.
            EXPECT_TRUE(sequence->getCvImageAt(index, false, false, false).empty()) << index;
        }
        const std::vector<cv::Mat> window = sequence->getCvImagesInRange(n - 2, n);
        ASSERT_EQ(window.size(), 3u);
        EXPECT_FALSE(window[1].empty());
        EXPECT_TRUE(window[2].empty());
        EXPECT_EQ(sequence->currentIndex(), n - 1);
        EXPECT_TRUE(sequence->isLastFrame());
        // Asking outside the sequence is not a failure to read a frame.
        EXPECT_EQ(log.text(), "");
    }
}

} // namespace
