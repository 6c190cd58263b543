// lumora-cli's command lines: what is refused (status 2 and a message naming the argument as written), "--"
// before a name that looks like an option, and the last of a repeated option counting.

#include "TestEnvironment.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

namespace {

using lumora::test::runCli;

TEST(CliArguments, RefusalsNameTheArgumentAndNothingIsWritten) {
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("-p.png")), out = dir.filePath(QStringLiteral("x.tif"));
    ASSERT_TRUE(cv::imwrite(in.toStdString(), cv::Mat(6, 8, CV_8UC3, cv::Scalar(40, 90, 160))));
    const struct {
        QStringList args;
        const char* message;
    } cases[] = {
        {{"frame", "--index", "0", "--bogus", "-o", out, "--", in}, "unexpected argument '--bogus'"},
        {{"frame", "-o", out, "--index"}, "unexpected argument '--index'"},
        {{"frame", "--index", "0", "-o", out, "--bits", "12", "--", in}, "--bits takes 8, 10, 16 or 32"},
        {{"tonemap", "--", in, "-o", out, "--exposure", "101"},
         "--exposure takes a position from -100 to 100"},
        {{"tonemap", "--", in, "-o", out, "--sharpening-radius", "21"}, "from 0 to 20"},
        {{"tonemap", "--", in, "extra.png", "-o", out}, "unexpected argument 'extra.png'"},
        {{"render", "--operator", "5", "--index", "0", "-o", out, "--", in}, "--operator takes 0..4"},
        {{"stack", "--quality", "best", "--index", "0", "-o", out, "--", in}, "--quality takes fast, good"},
        {{"sharpest", "--radius", "-1", "--index", "0", "--", in}, "--radius takes a number from 0"},
    };
    for (const auto& c : cases) {
        const auto run = runCli(c.args, dir.path());
        EXPECT_EQ(run.exitCode, 2) << c.args.join(' ').toStdString();
        EXPECT_TRUE(run.err.contains(c.message)) << run.err.constData();
        EXPECT_FALSE(QFile::exists(out));
    }
}

TEST(CliArguments, TheLastOfARepeatedOptionCounts) {
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("p.png"));
    cv::Mat ramp(8, 32, CV_8UC3);
    for (int x = 0; x < ramp.cols; ++x)
        ramp.col(x).setTo(cv::Scalar::all(x * 8));
    ASSERT_TRUE(cv::imwrite(in.toStdString(), ramp));
    const auto render = [&](const QString& name, const QStringList& options) {
        const QString out = dir.filePath(name);
        const auto run =
            runCli(QStringList{"tonemap", in, "-o", out, "--operator", "3"} + options, dir.path());
        EXPECT_EQ(run.exitCode, 0) << run.err.constData();
        return cv::imread(out.toStdString(), cv::IMREAD_UNCHANGED);
    };
    const cv::Mat twice = render("twice.tif", {"--exposure", "60", "--exposure", "-40"});
    const cv::Mat once = render("once.tif", {"--exposure", "-40"});
    // A range end is a position like any other.
    const cv::Mat brighter = render("brighter.tif", {"--exposure", "100"});
    ASSERT_FALSE(twice.empty());
    EXPECT_EQ(cv::norm(twice, once, cv::NORM_INF), 0.0);
    EXPECT_GT(cv::mean(brighter)[0], cv::mean(once)[0]);
}

} // namespace
