#pragma once
// Helpers for the tests of the editing page: a photo opened for tone mapping with its first preview rendered,
// waiting for the edited picture's renders, and reading the picture on screen back as an image.

#include "FlowTestSupport.h"
#include "presets/PresetFiles.h"
#include "ui/EditingController.h"
#include "ui/SharpestImageSelection.h"

#include <QLabel>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace lumora::test {

class EditingTest : public FlowTest {
protected:
    // A 320 x 240 photo: a diagonal gradient with a bright square, so that every control changes the picture.
    QString writePhoto() {
        cv::Mat photo(240, 320, CV_8UC3);
        for (int y = 0; y < photo.rows; ++y)
            for (int x = 0; x < photo.cols; ++x)
                photo.at<cv::Vec3b>(y, x) = cv::Vec3b(uchar(x * 255 / 320), uchar(y * 255 / 240), uchar(128));
        photo(cv::Rect(200, 40, 60, 60)).setTo(cv::Scalar(250, 245, 240));
        const QString path = tempPath(QStringLiteral("photo.png"));
        cv::imwrite(path.toStdString(), photo);
        return path;
    }
    // The photo opened for tone mapping in `mode` (Classic shows every control), its first preview rendered.
    std::unique_ptr<LumoraV2> openPhoto(int mode = 2) {
        auto w = makeWindow(mode);
        loadUserPresets(); // this test's own (empty) user presets, not an earlier test's
        EXPECT_TRUE(w->openMediaByPath(writePhoto()));
        waitRendered(*w);
        return w;
    }
    static SharpestImageSelection* edited(LumoraV2& w) { return w.workspace()->edited.data(); }
    static bool waitRendered(LumoraV2& w) {
        const bool done = waitFor([&] { return edited(w) && !edited(w)->rendering(); });
        settle();
        return done;
    }
    // The picture on screen, 8-bit BGR.
    static cv::Mat shown(LumoraV2& w) {
        const QImage image = w.form()
                                 .video->label_VideoPreview->pixmap(Qt::ReturnByValue)
                                 .toImage()
                                 .convertToFormat(QImage::Format_RGB888);
        cv::Mat rgb(image.height(), image.width(), CV_8UC3, const_cast<uchar*>(image.bits()),
                    size_t(image.bytesPerLine()));
        cv::Mat bgr;
        cv::cvtColor(rgb, bgr, cv::COLOR_RGB2BGR);
        return bgr;
    }
    static double largestDifference(const cv::Mat& a, const cv::Mat& b) {
        if (a.size() != b.size() || a.type() != b.type())
            return 1e9;
        cv::Mat d;
        cv::absdiff(a, b, d);
        double m = 0;
        cv::minMaxLoc(d.reshape(1), nullptr, &m);
        return m;
    }
};

} // namespace lumora::test
