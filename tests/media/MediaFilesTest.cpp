// Which files count as media, and the frame order of bursts.

#include "media/MediaFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using namespace lumora;

TEST(MediaExtensions, AreMatchedWithoutRegardToCase) {
    EXPECT_TRUE(hasStillImageExtension("/a/b/IMG_0001.JPG"));
    EXPECT_TRUE(hasStillImageExtension("PHOTO.NEF"));
    EXPECT_TRUE(hasStillImageExtension("x.tif"));
    EXPECT_FALSE(hasStillImageExtension("x.tiff")); // the list holds "tif" only
    EXPECT_FALSE(hasStillImageExtension("clip.mp4"));
    EXPECT_TRUE(hasVideoExtension("clip.MOV"));
    EXPECT_TRUE(hasVideoExtension("/d.e/clip.mts"));
    EXPECT_FALSE(hasVideoExtension("/d.mp4/clip"));
    EXPECT_EQ(lowerSuffix("/d.mp4/clip"), "");
    EXPECT_EQ(lowerSuffix("archive.tar.GZ"), "gz");
    EXPECT_EQ(stillImageExtensions().size(), 44u);
    EXPECT_EQ(videoExtensions().size(), 9u);
}

TEST(BurstOrder, IsAscendingAndCaseSensitive) {
    const std::vector<std::string> chosen{"/p/b.jpg", "/p/A.jpg",     "/p/a.jpg",
                                          "/p/B.jpg", "/p/img10.jpg", "/p/img2.jpg"};
    const std::vector<std::string> expected{"/p/A.jpg", "/p/B.jpg",     "/p/a.jpg",
                                            "/p/b.jpg", "/p/img10.jpg", "/p/img2.jpg"};
    EXPECT_EQ(sortedBurstFiles(chosen), expected);
}

TEST(BurstOrder, AFolderGivesItsImageFilesSorted) {
    QTemporaryDir dir;
    for (const char* name : {"c.png", "A.jpg", "notes.txt", "b.TIF", "clip.mp4", ".hidden.jpg"}) {
        QFile file(dir.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("sub.jpg")));
    const std::string root = QDir(dir.path()).absolutePath().toStdString();
    const std::vector<std::string> expected{root + "/A.jpg", root + "/b.TIF", root + "/c.png"};
    EXPECT_EQ(burstFilesInFolder(dir.path().toStdString()), expected);
    EXPECT_TRUE(burstFilesInFolder(root + "/missing").empty());
}

} // namespace
