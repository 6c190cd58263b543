#include "WindowTestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <opencv2/imgcodecs.hpp>

namespace lumora::test {

QString WindowTest::writeImage(const QString& name, cv::Scalar colour, int w, int h) {
    const QString path = tempPath(name);
    const cv::Mat image(h, w, CV_8UC3, colour);
    // A JPEG name gets a real JPEG; any other name (known or not) holds a PNG.
    const QString suffix = QFileInfo(name).suffix().toLower();
    std::vector<uchar> bytes;
    cv::imencode(suffix == QLatin1String("jpg") ? ".jpg" : ".png", image, bytes);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
    return path;
}

QString WindowTest::writeText(const QString& name, const QByteArray& content) {
    const QString path = tempPath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
    return path;
}

QString WindowTest::copyMedia(const char* mediaName, const QString& as) {
    const QString path = tempPath(as);
    EXPECT_TRUE(QFile::copy(QString::fromStdString(testMediaPath(mediaName)), path)) << mediaName;
    return path;
}

} // namespace lumora::test
