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

} // namespace
