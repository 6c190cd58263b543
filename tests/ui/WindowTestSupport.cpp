#include "WindowTestSupport.h"

#include "i18n/LanguageEngine.h"

#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace lumora::test {

QString WindowTest::writeImage(const QString& name, cv::Scalar colour, int w, int h) {
    // A JPEG name gets a real JPEG; any other name (known or not) holds a PNG.
    const QString suffix = QFileInfo(name).suffix().toLower();
    std::vector<uchar> bytes;
    cv::imencode(suffix == QLatin1String("jpg") ? ".jpg" : ".png", cv::Mat(h, w, CV_8UC3, colour), bytes);
    return writeText(name, QByteArray(reinterpret_cast<const char*>(bytes.data()), int(bytes.size())));
}

QString WindowTest::writeText(const QString& name, const QByteArray& content) {
    const QString path = tempPath(name);
    EXPECT_TRUE(writeFileText(path.toStdString(), content.toStdString()));
    return path;
}

cv::Mat WindowTest::shownPicture(LumoraV2& w) {
    const QImage image = w.findChild<QLabel*>(QStringLiteral("label_VideoPreview"))
                             ->pixmap(Qt::ReturnByValue)
                             .toImage()
                             .convertToFormat(QImage::Format_RGB888);
    const cv::Mat rgb(image.height(), image.width(), CV_8UC3, const_cast<uchar*>(image.bits()),
                      size_t(image.bytesPerLine()));
    cv::Mat bgr;
    cv::cvtColor(rgb, bgr, cv::COLOR_RGB2BGR);
    return bgr;
}

QString WindowTest::copyMedia(const char* mediaName, const QString& as) {
    const QString path = tempPath(as);
    EXPECT_TRUE(QFile::copy(QString::fromStdString(testMediaPath(mediaName)), path)) << mediaName;
    return path;
}

int WindowTest::countTitled(const char* titleKey) const {
    int n = 0;
    for (const auto& c : messages_->calls)
        n += c.title == translatedText(titleKey);
    return n;
}

} // namespace lumora::test
