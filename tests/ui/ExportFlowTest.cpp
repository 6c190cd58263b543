// Exports through the real window: a Classic run from grabbing to the files on disk, names taken or made
// unique, the overwrite question and its "same for the others" box, the saving options, extensions that are
// not export formats, failures told to the user, the current frame, and closing during an export.

#include "FlowTestSupport.h"
#include "export/ExportFormats.h"
#include "ui/ExportController.h"
#include "ui/OpeningController.h"
#include "ui/PlayerController.h"
#include "ui/SaveForm.h"
#include "ui/SelectionFlowController.h"

#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <opencv2/imgcodecs.hpp>

namespace {

using namespace lumora;
using namespace lumora::test;

class ExportFlowTest : public FlowTest {
protected:
    // Classic, the frames at `indices` grabbed, editing begun.
    std::unique_ptr<LumoraV2> grabbedAndEditing(const std::vector<int>& indices) {
        auto w = openScene(2);
        grab(*w, indices);
        w->flow().PushButtonSelectImageNextClicked();
        EXPECT_EQ(w->workspace()->state, Editing);
        // The editing panels, export button included, wait for the first preview.
        EXPECT_TRUE(waitRendered(*w));
        return w;
    }
    // Runs an export started by `start` to its end.
    void runExport(LumoraV2& w, const std::function<void()>& start) {
        start();
        EXPECT_TRUE(waitFor([&] { return !w.exports().running(); }));
        EXPECT_EQ(w.workspace()->state, Editing);
    }
    QString folder(const QString& name) {
        const QString dir = tempPath(name);
        QDir().mkpath(dir);
        return dir;
    }
    static cv::Size pictureSize(const QString& path) { return cv::imread(path.toStdString()).size(); }
    // The saving options dialog: what it offered, then accepted as it stood.
    struct Offered {
        QStringList depths;
        QString depth;
        bool formatShown = false;
    };
    std::shared_ptr<Offered> acceptSaveForms() {
        auto offered = std::make_shared<Offered>();
        watcher_ = std::make_unique<ModalWatcher<SaveForm>>([offered](SaveForm& form) {
            auto* depth = form.findChild<QComboBox*>(QStringLiteral("comboBox_OutputDepth"));
            offered->depths.clear();
            for (int i = 0; i < depth->count(); ++i)
                offered->depths << depth->itemText(i);
            offered->depth = depth->currentText();
            offered->formatShown =
                !form.findChild<QComboBox*>(QStringLiteral("comboBox_OutputExtension"))->isHidden();
            form.accept();
        });
        return offered;
    }
    std::unique_ptr<ModalWatcher<SaveForm>> watcher_;
};

// Classic, from grabbing to the files on disk beside existing ones: several pictures go to a folder and are
// asked about once with "same for the others" ticked, else once per existing file; a single picture gets its
// own name and no box. "Replace" overwrites; the unique name is the first free "-1".
TEST_F(ExportFlowTest, ExistingNamesAreAskedAboutThenReplacedOrMadeUnique) {
    struct Case {
        std::vector<int> frames;
        QStringList existing;
        bool tick;  // "DoSameForOtherImages"
        int answer; // 0 "Replace", 1 "UseUniqueName"
        int questions;
        QStringList after;
    };
    const QStringList three = {"1-1.jpg", "1.jpg", "2-1.jpg", "2.jpg", "3.jpg"};
    const Case cases[] = {
        {{2, 9, 17}, {"1.jpg", "2.jpg"}, true, 1, 1, three},
        {{2, 9, 17}, {"1.jpg", "2.jpg"}, false, 1, 2, three},
        {{5, 20}, {"1.jpg"}, false, 1, 1, {"1-1.jpg", "1.jpg", "2.jpg"}},
        {{4}, {"1.jpg"}, false, 0, 1, {"1.jpg"}},
    };
    const std::string old = "an earlier picture";
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.frames.size() << " pictures, ticked " << c.tick);
        messages_->calls.clear();
        flow_->checkTexts.clear();
        auto w = grabbedAndEditing(c.frames);
        const QString dir = folder(QStringLiteral("case%1").arg(&c - cases));
        for (const QString& name : c.existing)
            ASSERT_TRUE(writeFileText((dir + QLatin1Char('/') + name).toStdString(), old));
        messages_->fileNames = {{c.frames.size() == 1 ? dir + QStringLiteral("/1.jpg") : dir}};
        messages_->choices = std::deque<int>(std::size_t(c.questions), c.answer);
        flow_->checks = {c.tick};
        acceptSaveForms(); // JPEG, remembered from a fresh store
        runExport(*w, [&] { find<QPushButton>(*w, "pushButton_EditingExport")->click(); });
        EXPECT_EQ(countTitled("SavingFileAlreadyExist"), c.questions);
        ASSERT_EQ(int(flow_->checkTexts.size()), c.questions);
        EXPECT_EQ(flow_->checkTexts.front(),
                  c.frames.size() > 1 ? translatedText("DoSameForOtherImages") : QString());
        EXPECT_EQ(filesIn(dir), c.after);
        for (const QString& name : c.after) {
            const QString path = dir + QLatin1Char('/') + name;
            if (c.existing.contains(name) && c.answer == 1)
                EXPECT_EQ(fileText(path.toStdString()), old) << qPrintable(name);
            else
                EXPECT_EQ(pictureSize(path), cv::Size(320, 180)) << qPrintable(name);
        }
        EXPECT_EQ(countTitled("ErrorCopyingExifTitle"), 0);
    }
}

TEST_F(ExportFlowTest, PngIsRefusedTiffOffersItsThreeDepthsAndIsPreselectedNextTime) {
    auto w = grabbedAndEditing({6});
    const QString dir = folder(QStringLiteral("tif"));
    messages_->fileNames = {{dir + QStringLiteral("/shot.png")}};
    w->exports().PushButtonEditingExportClicked(selections(*w).front());
    EXPECT_EQ(said("ErrorExtension"), 1);
    EXPECT_EQ(countTitled("Error"), 1);
    EXPECT_TRUE(filesIn(dir).isEmpty());
    EXPECT_FALSE(w->exports().running());
    EXPECT_EQ(w->workspace()->state, Editing);

    auto offered = acceptSaveForms();
    messages_->fileNames = {{dir + QStringLiteral("/a.tif")}};
    runExport(*w, [&] { w->exports().PushButtonEditingExportClicked(selections(*w).front()); });
    EXPECT_EQ(offered->depths, (QStringList{"8 bits", "16 bits", "32 bits"}));
    EXPECT_EQ(offered->depth, QStringLiteral("16 bits"));
    EXPECT_FALSE(offered->formatShown);
    const cv::Mat written = cv::imread((dir + QStringLiteral("/a.tif")).toStdString(), cv::IMREAD_UNCHANGED);
    EXPECT_EQ(written.depth(), CV_16U);
    // The chosen name becomes the selection's, and the next dialog starts in that folder with TIFF chosen.
    EXPECT_EQ(selections(*w).front()->exportName(), QStringLiteral("a"));
    messages_->fileNames = {};
    w->exports().PushButtonEditingExportClicked(selections(*w).front());
    const Translator translate = [](const std::string& key) { return translatedText(key); };
    ASSERT_EQ(flow_->saveFilters.size(), 3u);
    EXPECT_EQ(flow_->saveFilters[1], exportFilterEntry(0, translate));
    EXPECT_EQ(flow_->saveFilters[2], exportFilterEntry(2, translate));
    EXPECT_EQ(flow_->saveStarts[2], dir + QStringLiteral("/a"));
}

TEST_F(ExportFlowTest, FailuresToWriteOrToCopyTheExifAreTold) {
    // A folder that does not exist: nothing can be written, and the user is told which file.
    {
        auto w = grabbedAndEditing({4});
        const QString missing = tempPath(QStringLiteral("gone/deeper/x.jpg"));
        messages_->fileNames = {{missing}};
        runExport(*w, [&] { w->exports().PushButtonEditingExportClicked(nullptr); });
        EXPECT_EQ(countTitled("ErrorWritingImageTitle"), 1);
        ASSERT_FALSE(messages_->calls.empty());
        EXPECT_TRUE(messages_->calls.back().text.contains(QDir::toNativeSeparators(missing)));
        EXPECT_FALSE(QFileInfo::exists(missing));
    }
    // The source is gone by export time: the picture is written, its EXIF cannot be, and that is told.
    {
        messages_->calls.clear();
        auto w = makeWindow(2);
        const QString clip = copyMedia("scene_180p.mp4", QStringLiteral("moved.mp4"));
        ASSERT_TRUE(w->openMediaByPath(clip));
        moveTo(*w, 3);
        find<QPushButton>(*w, "pushButton_GrabFrame")->click();
        w->flow().PushButtonSelectImageNextClicked();
        ASSERT_TRUE(QFile::remove(clip));
        const QString out = folder(QStringLiteral("exif")) + QStringLiteral("/kept.jpg");
        messages_->fileNames = {{out}};
        runExport(*w, [&] { w->exports().PushButtonEditingExportClicked(nullptr); });
        EXPECT_TRUE(QFileInfo::exists(out));
        EXPECT_EQ(countTitled("ErrorCopyingExifTitle"), 1);
        EXPECT_EQ(countTitled("ErrorWritingImageTitle"), 0);
    }
}

TEST_F(ExportFlowTest, WithoutASelectionTheCurrentFrameIsSavedAsDecodedUnderItsFrameName) {
    auto w = openScene(1);
    // Nothing grabbed: the export button has no picture to export.
    w->exports().PushButtonEditingExportClicked(nullptr);
    EXPECT_EQ(said("PleaseChooseFrame"), 1);
    EXPECT_EQ(countTitled("PleaseChooseFrameTitle"), 1);
    EXPECT_EQ(w->workspace()->state, SelectingFrame);

    moveTo(*w, 7);
    const QString dir = folder(QStringLiteral("frames"));
    // As TIFF the depth is asked; as JPEG it is not; a PNG name is refused with its own key.
    auto offered = acceptSaveForms();
    messages_->fileNames = {
        {dir + QStringLiteral("/f.tif")}, {dir + QStringLiteral("/f.jpg")}, {dir + QStringLiteral("/f.png")}};
    w->exports().saveCurrentFrame();
    w->exports().saveCurrentFrame();
    w->exports().saveCurrentFrame();
    EXPECT_EQ(offered->depths, (QStringList{"8 bits", "16 bits", "32 bits"}));
    ASSERT_EQ(flow_->saveStarts.size(), 3u);
    EXPECT_EQ(QFileInfo(flow_->saveStarts[0]).fileName(), QStringLiteral("scene_180p (7)"));
    EXPECT_TRUE(flow_->saveFilters[0].isEmpty());
    EXPECT_EQ(filesIn(dir), (QStringList{"f.jpg", "f.tif"}));
    EXPECT_EQ(said("ErrorExtension."), 1);
    const cv::Mat tif = cv::imread((dir + QStringLiteral("/f.tif")).toStdString(), cv::IMREAD_UNCHANGED);
    const cv::Mat frame = w->workspace()->sequence()->getCvImageAt(7, false);
    ASSERT_EQ(tif.depth(), CV_16U);
    cv::Mat frame16;
    frame.convertTo(frame16, CV_16U, 257.0);
    EXPECT_EQ(cv::norm(tif, frame16, cv::NORM_INF), 0.0);
}

TEST_F(ExportFlowTest, ClosingDuringAnExportAsksThenLeavesOnlyWholeFiles) {
    auto w = grabbedAndEditing({1, 8, 15, 22});
    const QString dir = folder(QStringLiteral("closing"));
    messages_->fileNames = {{dir}};
    acceptSaveForms();
    w->exports().PushButtonEditingExportClicked(nullptr);
    ASSERT_TRUE(w->exports().running());
    messages_->answers = {false, true};
    EXPECT_FALSE(w->opening().closeWorkspace()); // "No": the export goes on
    EXPECT_TRUE(w->exports().running());
    EXPECT_TRUE(w->opening().closeWorkspace());
    EXPECT_EQ(w->workspace(), nullptr);
    EXPECT_FALSE(w->exports().running());
    EXPECT_EQ(said("ExplClosingWorkspaceDuringExport"), 2);
    // What was written is whole; nothing half-written or temporary is left.
    for (const QString& name : QDir(dir).entryList(QDir::Files | QDir::Hidden)) {
        EXPECT_FALSE(name.startsWith(QLatin1Char('.'))) << qPrintable(name);
        EXPECT_EQ(pictureSize(dir + QLatin1Char('/') + name), cv::Size(320, 180)) << qPrintable(name);
    }
}

} // namespace
