// Which files count as media (one table for every extension rule of the program), and the frame order of
// bursts.

#include "media/MediaFiles.h"
#include "TestEnvironment.h"
#include "imageio/ExifCopy.h"
#include "imageio/ImageFile.h"

#include <QDir>
#include <gtest/gtest.h>

namespace {

using namespace lumora;

TEST(MediaExtensions, AreMatchedOnTheLastSuffixWithoutRegardToCase) {
    struct Case {
        const char* path;
        bool still, video, raw,
            exifVideo; // opened as a photo, as a video; developed by dcraw; EXIF from a video
    };
    const Case cases[] = {
        {"/a/b/IMG_0001.JPG", true, false, false, false},
        {"x.tif", true, false, false, false},
        {"x.tiff", false, false, false, false}, // the list holds "tif" only
        {"PHOTO.NEF", true, false, true, false},
        {"shot.dng", true, false, true, false},
        {"clip.MOV", false, true, false, true},
        {"/d.e/clip.mts", false, true, false, true},
        {"g.3gp", false, false, false, true}, // not offered by the open dialog, yet a video's EXIF
        {"/d.mp4/clip", false, false, false, false},
        {"/d.jpg/e.nef", true, false, true, false},
        {"a.nef.tif", true, false, false, false},
        {"a.", false, false, false, false},
        {"a.neff", false, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(hasStillImageExtension(c.path), c.still);
        EXPECT_EQ(hasVideoExtension(c.path), c.video);
        EXPECT_EQ(isRawFile(c.path), c.raw);
        EXPECT_EQ(isVideoFile(c.path), c.exifVideo);
    }
    EXPECT_EQ(lowerSuffix("archive.tar.GZ"), "gz");
    // No extension is both a photo and a video, and every video the window opens gives its EXIF as a video.
    for (const std::string& e : stillImageExtensions())
        EXPECT_FALSE(hasVideoExtension("x." + e)) << e;
    for (const std::string& e : videoExtensions())
        EXPECT_TRUE(isVideoFile("x." + e)) << e;
}

TEST(BurstOrder, IsAscendingAndCaseSensitiveAndAFolderGivesItsImageFiles) {
    EXPECT_EQ(
        sortedBurstFiles({"/p/b.jpg", "/p/A.jpg", "/p/a.jpg", "/p/B.jpg", "/p/img10.jpg", "/p/img2.jpg"}),
        std::vector<std::string>(
            {"/p/A.jpg", "/p/B.jpg", "/p/a.jpg", "/p/b.jpg", "/p/img10.jpg", "/p/img2.jpg"}));

    QTemporaryDir dir;
    for (const char* name : {"c.png", "A.jpg", "notes.txt", "b.TIF", "clip.mp4", ".hidden.jpg"})
        ASSERT_TRUE(test::writeFileText(dir.filePath(QString::fromLatin1(name)).toStdString(), "x"));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("sub.jpg")));
    const std::string root = QDir(dir.path()).absolutePath().toStdString();
    EXPECT_EQ(burstFilesInFolder(dir.path().toStdString()),
              std::vector<std::string>({root + "/A.jpg", root + "/b.TIF", root + "/c.png"}));
    EXPECT_TRUE(burstFilesInFolder(root + "/missing").empty());
}

} // namespace
