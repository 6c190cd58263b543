// Preset files: the reading rules, writing and removing user presets, and that user.xml is never left
// truncated or emptied by a malformed file or a failed write (the atomic replacement itself is QSaveFile's).

#include "presets/PresetFiles.h"
#include "TestEnvironment.h"
#include "app/EventLog.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace lumora;

namespace {

// Every field different from its neighbours and from the blank record.
PresetRecord distinctRecord(const std::string& name) {
    PresetRecord r;
    r.name = name;
    r.applyTM = false;
    r.TMAlgo = 4;
    r.alpha = -71, r.beta = 33, r.gamma = -5;
    r.blackClip = 7, r.whiteClip = 9, r.strength = -40;
    r.exposure = -12, r.contrast = 61, r.highlights = -88, r.shadows = 44, r.whites = 13, r.blacks = -27;
    r.hue = 3, r.saturation = -66, r.vibrance = 21;
    r.applySharpening = false;
    r.sharpeningAmount = 77, r.sharpeningRadius = 6, r.sharpeningThreshold = 19;
    return r;
}

class PresetFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        root_ = dir_.path().toStdString() + "/";
        setLogDirectory(root_);
        setUserPresetsDirectory(root_);
        setDefaultPresetsDirectory(root_);
        ControlPositions start;
        start.TMAlgo = 3;
        start.strength = 25;
        start.sharpeningAmount = 50;
        start.sharpeningRadius = 8;
        start.sharpeningThreshold = 40;
        start.applySharpening = false;
        setStartPositions(start);
        loadUserPresets(); // empty list: no file yet
    }
    void TearDown() override { setStartPositions(ControlPositions{}); }
    std::string path(const char* name) const { return root_ + name; }
    std::string log() const { return test::fileText(root_ + "LumoraLog.txt"); }

    QTemporaryDir dir_;
    std::string root_;
};

} // namespace

TEST_F(PresetFilesTest, ReadingRules) {
    test::writeFileText(path("a.xml"),
                        "<note>skipped: before the first preset</note>"
                        "<preset><name>No algo</name><alpha>12</alpha></preset>"
                        "<preset><name>x</name><alpha>abc</alpha><beta>-17</beta><applyTM>maybe</applyTM>"
                        "<applySharpening>0</applySharpening></preset>"
                        "<other><TMAlgo>2</TMAlgo></other>"
                        "<preset><name>" +
                            std::string(80, 'n') + "</name></preset>");
    const auto list = readPresetFile(path("a.xml"), true);
    ASSERT_EQ(list.size(), 4u);
    // Missing children take the blank record: the window's start positions, sharpening on at its defaults.
    EXPECT_EQ(list[0].TMAlgo, 3);
    EXPECT_EQ(list[0].strength, 25);
    EXPECT_EQ(list[0].alpha, 12);
    EXPECT_TRUE(list[0].applyTM);
    EXPECT_TRUE(list[0].applySharpening) << "on in a blank record whatever the window had";
    EXPECT_EQ(list[0].sharpeningRadius, 3);
    // The amount a file lacks is 10, not the window's 50; a missing threshold is the window's.
    EXPECT_EQ(list[0].sharpeningAmount, 10);
    EXPECT_EQ(list[0].sharpeningThreshold, 40);
    // Unparsable text leaves the field at its default; integer text is accepted for booleans.
    EXPECT_EQ(list[1].alpha, blankPresetRecord().alpha);
    EXPECT_EQ(list[1].beta, -17);
    EXPECT_TRUE(list[1].applyTM);
    EXPECT_FALSE(list[1].applySharpening);
    // Siblings of any name are read; a nameless preset is named by its position; long names are cut.
    EXPECT_EQ(list[2].name, "3");
    EXPECT_EQ(list[2].TMAlgo, 2);
    EXPECT_EQ(list[3].name, std::string(49, 'n'));
}

TEST_F(PresetFilesTest, MalformedOrMissingFilesGiveEmptyListsAndOneReport) {
    test::writeFileText(path("default.xml"), "<preset><name>broken</name>");
    EXPECT_TRUE(readPresetFile(path("default.xml"), false).empty());
    EXPECT_TRUE(log().empty()) << "silent without reportErrors";
    loadDefaultPresets();
    EXPECT_TRUE(defaultPresetsLoaded());
    EXPECT_TRUE(defaultPresets().empty());
    EXPECT_NE(log().find(path("default.xml")), std::string::npos) << "reported once, naming the file";
    EXPECT_TRUE(readPresetFile(path("nothing.xml"), false).empty());
}

TEST_F(PresetFilesTest, ShippedDefaultFileReadsCompletely) {
    const auto list = readPresetFile(lumora::test::sourceDir() + "/resources/Presets/default.xml", true);
    ASSERT_GE(list.size(), 4u);
    for (const PresetRecord& r : list) {
        EXPECT_TRUE(r.TMAlgo >= 0 && r.TMAlgo <= 4) << r.name;
        EXPECT_FALSE(r.name.empty());
    }
}

TEST_F(PresetFilesTest, AddReplaceAndRemoveKeepTheFileInOrder) {
    // The first preset creates the file; every field reads back as written.
    const PresetRecord first = distinctRecord("first"), third = distinctRecord("third");
    ASSERT_TRUE(addUserPreset(first));
    EXPECT_EQ(readPresetFile(userPresetsPath(), false), std::vector<PresetRecord>{first});
    ASSERT_TRUE(addUserPreset(distinctRecord("second")));
    ASSERT_TRUE(addUserPreset(third));
    // Replacing keeps the place and the others; an index past the end changes nothing.
    const PresetRecord changed = PresetRecord::fromPositions("second", ControlPositions{});
    ASSERT_TRUE(replaceUserPreset(1, changed));
    EXPECT_FALSE(replaceUserPreset(3, first));
    EXPECT_EQ(readPresetFile(userPresetsPath(), false), (std::vector<PresetRecord>{first, changed, third}));
    EXPECT_EQ(userPresets(), readPresetFile(userPresetsPath(), false));
    // Removing the first leaves the others in order.
    ASSERT_TRUE(removeUserPreset(0));
    EXPECT_EQ(readPresetFile(userPresetsPath(), false), (std::vector<PresetRecord>{changed, third}));
    EXPECT_EQ(userPresets().size(), 2u);

    // A folder that does not exist: the failure is reported and logged.
    setUserPresetsDirectory(root_ + "no/such/folder/");
    const Status lost = addUserPreset(distinctRecord("lost"));
    EXPECT_FALSE(lost);
    EXPECT_FALSE(lost.reason().empty());
    EXPECT_FALSE(log().empty());
}

TEST_F(PresetFilesTest, MalformedUserFileIsNeverOverwritten) {
    const std::string broken = "<preset><name>mine</name><alpha>5</alpha></preset><preset><name>cut off";
    test::writeFileText(userPresetsPath(), broken);
    loadUserPresets();
    EXPECT_TRUE(userPresets().empty());
    EXPECT_TRUE(log().empty()) << "user file errors are silent on reading";

    const Status removed = removeUserPreset(0);
    EXPECT_FALSE(removed);
    EXPECT_FALSE(removed.reason().empty());
    EXPECT_EQ(test::fileText(userPresetsPath()), broken);
    EXPECT_FALSE(log().empty()) << "the refusal to write is logged";

    EXPECT_FALSE(addUserPreset(distinctRecord("new")));
    EXPECT_EQ(test::fileText(userPresetsPath()), broken);
    EXPECT_FALSE(replaceUserPreset(0, distinctRecord("new")));
    EXPECT_EQ(test::fileText(userPresetsPath()), broken);
}

// The disk filling up in the middle of a save (here: a file-size limit below the new file's size) leaves the
// old file byte for byte and reports the failure.
TEST_F(PresetFilesTest, FailedWriteKeepsTheOldFile) {
    std::vector<PresetRecord> some;
    for (int i = 0; i < 200; ++i)
        some.push_back(distinctRecord("p" + std::to_string(i)));
    test::writeFileText(userPresetsPath(), presetDocumentText(some));
    const std::string before = test::fileText(userPresetsPath());

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ,
                    SIG_IGN); // a write past the limit fails with EFBIG instead of ending the process
        rlimit limit{};
        limit.rlim_cur = limit.rlim_max = before.size() / 2;
        setrlimit(RLIMIT_FSIZE, &limit);
        const Status saved = addUserPreset(distinctRecord("too much"));
        _exit(!saved && !saved.reason().empty() ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the failure was not reported";
    EXPECT_EQ(test::fileText(userPresetsPath()), before);
}
