// The edited picture as a document: set aside, it keeps its light image and control positions but not its
// render caches, and edited again it renders the same picture as before.

#include "ui/PictureDocument.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

namespace {

using namespace lumora;

bool renderAndWait(PictureDocument& document, bool fullSize) {
    if (!document.startRender(fullSize, false, ToneMapEngine::StageRotation))
        return false;
    QElapsedTimer clock;
    clock.start();
    while (document.rendering() && clock.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return !document.rendering();
}

cv::Mat gradientScene() {
    cv::Mat image(240, 320, CV_32FC3);
    for (int y = 0; y < image.rows; ++y)
        for (int x = 0; x < image.cols; ++x)
            image.at<cv::Vec3f>(y, x) = cv::Vec3f(x / 320.f, y / 240.f, 0.5f * (x + y) / 560.f);
    return image;
}

TEST(PictureDocument, SetAsideItDropsItsCachesAndEditedAgainItRendersTheSamePreview) {
    ToneMapEngine::setPreviewSize(160, 120);
    PictureDocument document(gradientScene(), "scene.mp4");
    document.setEdited(true);
    document.positions().controls.exposure = 30;
    applyEditPositions(document.engine(), document.positions());
    ASSERT_TRUE(renderAndWait(document, false));
    const cv::Mat before = document.preview().clone();
    ASSERT_EQ(before.size(), cv::Size(160, 120));

    document.setEdited(false);
    EXPECT_TRUE(document.preview().empty());
    // The engine's output is the light image itself again: no stage image is kept for it.
    EXPECT_EQ(document.engine().previewImage().data, document.engine().lightImage().data);
    EXPECT_EQ(document.positions().controls.exposure, 30);

    document.setEdited(true);
    ASSERT_TRUE(renderAndWait(document, false));
    ASSERT_EQ(document.preview().size(), before.size());
    EXPECT_LE(cv::norm(document.preview(), before, cv::NORM_INF), 1e-5);
}

TEST(PictureDocument, AFullSizeRenderOfAPictureSetAsideIsHandedOverAndNotKept) {
    ToneMapEngine::setPreviewSize(160, 120);
    PictureDocument document(gradientScene(), "scene.mp4");
    ASSERT_TRUE(renderAndWait(document, true));
    const cv::Mat full = document.takeFullRender();
    EXPECT_EQ(full.size(), cv::Size(320, 240));
    // Only the taker holds the picture: neither the document, its engine nor its finished run keeps it.
    ASSERT_NE(full.u, nullptr);
    EXPECT_EQ(full.u->refcount, 1);
    EXPECT_TRUE(document.takeFullRender().empty());
    EXPECT_EQ(document.engine().previewImage().data, document.engine().lightImage().data);
}

} // namespace
