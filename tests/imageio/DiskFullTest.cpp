// Writing onto a full disk: a 1 MiB tmpfs mounted in a private mount namespace of this test process. Image
// libraries happily report success for truncated files; writeImage must not.

#include "ExifTags.h"
#include "TestEnvironment.h"
#include "imageio/ImageFile.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sched.h>
#include <sys/mount.h>

namespace {

using namespace lumora;

cv::Mat noise(int side) {
    cv::Mat m(side, side, CV_8UC3);
    cv::randu(m, 0, 256); // incompressible, so the file size is predictable
    return m;
}

class DiskFull : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        mountPoint_ = new QTemporaryDir;
        // A private mount namespace keeps the tiny file system invisible outside this process.
        if (::unshare(CLONE_NEWNS) != 0) {
            skipReason_ = std::string("cannot create a mount namespace: ") + std::strerror(errno);
            return;
        }
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", mountPoint_->path().toLocal8Bit().constData(), "tmpfs", 0, "size=1m") != 0) {
            skipReason_ = std::string("cannot mount a 1 MiB tmpfs: ") + std::strerror(errno);
            return;
        }
        mounted_ = true;
    }
    static void TearDownTestSuite() {
        if (mounted_)
            ::umount(mountPoint_->path().toLocal8Bit().constData());
        mounted_ = false;
        delete mountPoint_;
        mountPoint_ = nullptr;
    }
    void SetUp() override {
        if (!mounted_)
            GTEST_SKIP() << skipReason_;
        for (const auto& e : std::filesystem::directory_iterator(root()))
            std::filesystem::remove_all(e.path());
    }
    static std::string root() { return mountPoint_->path().toStdString(); }
    static std::string path(const std::string& name) { return root() + "/" + name; }
    static std::vector<std::string> entries() { return test::folderEntries(root()); }

    static inline QTemporaryDir* mountPoint_ = nullptr;
    static inline bool mounted_ = false;
    static inline std::string skipReason_;
    test::LogCapture log_;
};

TEST_F(DiskFull, ATooLargeImageFailsWithTheSystemsReasonAndLeavesNothingWhileASmallOneFits) {
    for (const char* name : {"big.tif", "big.bmp", "big.jpg"}) {
        const WriteResult r = writeImage(path(name), noise(1000));
        EXPECT_FALSE(r.ok) << name;
        EXPECT_NE(r.error.find(std::strerror(ENOSPC)), std::string::npos) << r.error;
        EXPECT_TRUE(entries().empty()) << name << " left files behind";
    }
    const cv::Mat small = noise(100);
    const WriteResult r = writeImage(path("small.tif"), small);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(cv::norm(readImage(path("small.tif")), small, cv::NORM_INF), 0.0);
}

TEST_F(DiskFull, AnExistingFileOfTheSameNameStaysByteIdentical) {
    ASSERT_TRUE(writeImage(path("photo.tif"), noise(200)).ok);
    const std::string before = test::fileText(path("photo.tif"));
    const WriteResult r = saveImage(path("photo.tif"), noise(1000), 16);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(test::fileText(path("photo.tif")), before);
    EXPECT_EQ(entries(), std::vector<std::string>{"photo.tif"});
}

TEST_F(DiskFull, NoRoomForTheExifCopyStillDeliversTheImage) {
    // The image fits once but not twice: exiftool's rewritten copy cannot be made beside it.
    QTemporaryDir scratch;
    const std::string source = scratch.path().toStdString() + "/tagged.jpg";
    ASSERT_TRUE(writeImage(source, noise(16)).ok);
    ASSERT_TRUE(test::runExiftool({"-Make=Probe", QString::fromStdString(source)}))
        << "exiftool is needed for this test";

    const cv::Mat image = noise(380);
    ASSERT_TRUE(writeImage(scratch.path().toStdString() + "/probe.tif", image).ok);
    const auto size = std::filesystem::file_size(scratch.path().toStdString() + "/probe.tif");
    ASSERT_GT(size * 2, 1u << 20) << "test image too small to fill the disk";
    ASSERT_LT(size, 900u * 1024) << "test image too large for the disk";

    const WriteResult r = writeImage(path("tagged.tif"), image, source, "Lumora");
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_FALSE(r.exifWarning.empty());
    EXPECT_EQ(entries(), std::vector<std::string>{"tagged.tif"});
    EXPECT_EQ(cv::norm(readImage(path("tagged.tif")), image, cv::NORM_INF), 0.0);
    EXPECT_NE(log_.text().find(path("tagged.tif")), std::string::npos) << "failure not logged";
}

} // namespace
