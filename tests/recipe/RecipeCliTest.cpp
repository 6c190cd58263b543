// Recipes through lumora-cli: a rendered picture made again from its recipe is the same file, and a recipe
// whose source moved or changed, or that lacks, adds or garbles fields, gives the behaviour the user is told.

#include "TestEnvironment.h"
#include "tonemap/ToneControls.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>

namespace {

using namespace lumora;

class RecipeCli : public ::testing::Test {
protected:
    void SetUp() override {
        QDir().mkpath(home_.path() + QStringLiteral("/config"));
        ASSERT_TRUE(
            QFile::copy(QString::fromStdString(test::testMediaPath("scene_180p.mp4")), path("clip.mp4")));
        // Non-default controls, rotation and crop.
        const auto run = cli({"render",       path("clip.mp4"),
                              "--index",      "12",
                              "--before",     "1",
                              "--after",      "1",
                              "--exposure",   "35",
                              "--saturation", "-20",
                              "--operator",   "2",
                              "--alpha",      "40",
                              "--rotate",     "-9",
                              "--crop",       "12,8,200,110",
                              "-o",           path("pic.jpg")});
        ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    }
    QString path(const QString& name) const { return work_.filePath(name); }
    test::CliRun cli(const QStringList& args) const { return test::runCli(args, home_.path()); }
    QByteArray bytes(const QString& name) const {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QJsonObject recipe() const { return QJsonDocument::fromJson(bytes("pic.lumora.json")).object(); }

    QTemporaryDir home_, work_;
};

TEST_F(RecipeCli, RecordsEveryControlAndRendersTheSameBytesAgain) {
    const QJsonObject r = recipe();
    const QJsonObject tone = r.value("tone").toObject();
    for (const ToneControl& c : kToneControls)
        EXPECT_TRUE(tone.contains(QLatin1String(c.key))) << c.key;
    EXPECT_EQ(tone.value("exposure").toInt(), 35);
    EXPECT_EQ(tone.value("TMAlgo").toInt(), 2);
    EXPECT_EQ(r.value("geometry").toObject().value("rotation").toInt(), -9);
    EXPECT_EQ(r.value("geometry").toObject().value("crop").toObject().value("width").toInt(), 200);
    EXPECT_EQ(r.value("frames").toObject().value("first").toInt(), 11);
    EXPECT_EQ(r.value("frames").toObject().value("count").toInt(), 3);

    const auto again = cli({"render", "--recipe", path("pic.lumora.json")});
    ASSERT_EQ(again.exitCode, 0) << again.err.constData();
    EXPECT_TRUE(again.err.isEmpty()) << again.err.constData();
    ASSERT_FALSE(bytes("pic.jpg").isEmpty());
    EXPECT_EQ(bytes("pic-1.jpg"), bytes("pic.jpg"))
        << "the original is kept; the new picture takes a free name";
    EXPECT_TRUE(QFile::exists(path("pic-1.lumora.json")));

    const auto refused = cli({"render", "--recipe", path("pic.lumora.json"), "--exposure", "3"});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_TRUE(refused.err.contains("--exposure cannot be given with --recipe")) << refused.err.constData();
}

TEST_F(RecipeCli, DamagedRecipesAndSourcesGiveTheStatedBehaviour) {
    using Edit = std::function<void(QJsonObject&, RecipeCli&)>;
    const auto setSource = [](QJsonObject& r, const char* key, const QJsonValue& v) {
        QJsonArray sources = r.value("sources").toArray();
        QJsonObject s = sources[0].toObject();
        s.insert(QLatin1String(key), v);
        sources[0] = s;
        r.insert("sources", sources);
    };
    const struct {
        const char* name;
        Edit edit;
        QByteArray text; // replaces the recipe's text when given
        int status;
        const char* message;
        bool samePicture;
    } cases[] = {
        {"moved source",
         [&](QJsonObject& r, RecipeCli&) { setSource(r, "path", "/nonexistent/dir/clip.mp4"); },
         {},
         0,
         "has moved; using",
         true},
        {"changed source",
         [&](QJsonObject& r, RecipeCli&) { setSource(r, "sha256", QString(64, '0')); },
         {},
         0,
         "has changed since the recipe was written",
         true},
        {"source gone",
         [&](QJsonObject& r, RecipeCli&) { setSource(r, "path", "/nonexistent/dir/gone.mp4"); },
         {},
         1,
         "neither there nor beside the recipe",
         false},
        {"missing field",
         [](QJsonObject& r, RecipeCli&) { r.remove("frames"); },
         {},
         1,
         "lacks the field 'frames'",
         false},
        {"missing control",
         [](QJsonObject& r, RecipeCli&) {
             QJsonObject tone = r.value("tone").toObject();
             tone.remove("hue");
             r.insert("tone", tone);
         },
         {},
         0,
         "does not give tone.hue; the designed positions are used",
         true},
        {"malformed field",
         [](QJsonObject& r, RecipeCli&) {
             QJsonObject frames = r.value("frames").toObject();
             frames.insert("chosen", 2.5);
             r.insert("frames", frames);
         },
         {},
         1,
         "'frames.chosen' must be a whole number",
         false},
        {"unknown fields",
         [](QJsonObject& r, RecipeCli&) {
             QJsonObject tone = r.value("tone").toObject();
             tone.insert("glow", 7);
             r.insert("tone", tone);
             r.insert("camera", QJsonObject{{"lens", "35mm"}});
         },
         {},
         0,
         "this program does not know were ignored: camera, tone.glow",
         true},
        {"newer format",
         [](QJsonObject& r, RecipeCli&) { r.insert("lumoraRecipe", 7); },
         {},
         0,
         "written by a newer program (format 7",
         true},
        {"broken JSON", nullptr, "{\n  \"lumoraRecipe\": 1,\n  \"sources\": [ }\n", 1, "not valid JSON",
         false},
    };
    const QByteArray original = bytes("pic.jpg");
    int k = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QJsonObject r = recipe();
        if (c.edit)
            c.edit(r, *this);
        const QString file = path(QStringLiteral("case%1.lumora.json").arg(k)),
                      out = path(QStringLiteral("case%1.jpg").arg(k));
        ++k;
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(c.text.isEmpty() ? QJsonDocument(r).toJson() : c.text);
        f.close();
        const auto run = cli({"render", "--recipe", file, "-o", out, "--no-recipe"});
        EXPECT_EQ(run.exitCode, c.status) << run.err.constData();
        EXPECT_TRUE(run.err.contains(c.message)) << run.err.constData();
        EXPECT_EQ(QFile::exists(out), c.status == 0);
        if (c.samePicture) {
            EXPECT_EQ(bytes(QFileInfo(out).fileName()), original);
        }
    }
    // The broken file's message says where the text went wrong.
    EXPECT_TRUE(cli({"render", "--recipe", path("case8.lumora.json"), "-o", path("x.jpg")})
                    .err.contains("line 3, column"));
}

} // namespace
