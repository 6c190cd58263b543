// Exports through the real window: a Classic run from grabbing to the files on disk, names taken or made
// unique, the overwrite question and its "same for the others" box, the saving options, extensions that are
// not export formats, failures told to the user, the current frame, closing during an export, and cancelling
// while the file is written.

#include "FlowTestSupport.h"
#include "app/EventLog.h"
#include "export/ExportFormats.h"
#include "imageio/ImageFile.h"
#include "tonemap/ToneMappingBase.h"
#include "ui/ExportController.h"
#include "ui/OpeningController.h"
#include "ui/PlayerController.h"
#include "ui/SaveForm.h"
#include "ui/SelectionFlowController.h"

#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QStackedWidget>
#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <future>
#include <mutex>
#include <new>
#include <thread>

namespace {

using namespace lumora;
using namespace lumora::test;

// Holds the export's writer as it begins step `at` until opened (at the latest when the gate goes); records
// the steps the writer began, read once it has ended.
class WriteGate {
public:
    explicit WriteGate(WriteStep at) : at_(at) {}
    ~WriteGate() { open(); }
    std::function<void(WriteStep)> hook() const {
        return [s = state_, at = at_](WriteStep step) {
            s->steps.push_back(step);
            if (step == at) {
                s->held = true;
                s->opened.wait();
            }
        };
    }
    void open() {
        std::call_once(state_->once, [this] { state_->open.set_value(); });
    }
    bool held() const { return state_->held; }
    const std::vector<WriteStep>& steps() const { return state_->steps; }

private:
    struct State {
        std::promise<void> open;
        std::shared_future<void> opened = open.get_future().share();
        std::once_flag once;
        std::atomic<bool> held{false};
        std::vector<WriteStep> steps;
    };
    WriteStep at_;
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

class ExportFlowTest : public FlowTest {
protected:
    // Classic, the frames at `indices` grabbed, editing begun.
    std::unique_ptr<LumoraV2> grabbedAndEditing(const std::vector<int>& indices) {
        auto w = openScene(2);
        grab(*w, indices);
        w->flow().PushButtonSelectImageNextClicked();
        EXPECT_EQ(w->model().workspace()->state, Editing);
        // The editing panels, export button included, wait for the first preview.
        EXPECT_TRUE(waitRendered(*w));
        return w;
    }
    // Runs an export started by `start` to its end.
    void runExport(LumoraV2& w, const std::function<void()>& start) {
        start();
        EXPECT_TRUE(waitFor([&] { return !w.exports().running(); }));
        EXPECT_EQ(w.model().workspace()->state, Editing);
    }
    QString folder(const QString& name) {
        const QString dir = tempPath(name);
        QDir().mkpath(dir);
        return dir;
    }
    // Every entry of `dir`, hidden ones (the writer's temporary files) included.
    static QStringList entriesIn(const QString& dir) {
        return withoutRecipes(QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name));
    }
    // One selection of the scene exporting to `target` with `gate` holding its writer; returns once held.
    std::unique_ptr<LumoraV2> exportHeldAt(const WriteGate& gate, const QString& target) {
        auto w = grabbedAndEditing({4});
        w->exports().setWriteStepHook(gate.hook());
        messages_->fileNames = {{target}};
        w->exports().PushButtonEditingExportClicked(nullptr);
        EXPECT_TRUE(waitFor([&] { return gate.held(); }));
        return w;
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
    EXPECT_EQ(w->model().workspace()->state, Editing);

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
        grab(*w, {3});
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

// Fails the way an operator fails on a picture too large for the memory left.
class RunsOutOfMemory : public ToneMappingBase {
public:
    cv::Mat& toneMap(cv::Mat&, const cv::Mat&, const float*) override { throw std::bad_alloc(); }
};

TEST_F(ExportFlowTest, AFullSizeRenderThatFailsWritesNothingAndIsTold) {
    auto w = grabbedAndEditing({4});
    SharpestImageSelection* picture = w->model().workspace()->liveSelections().front();
    ASSERT_TRUE(picture->engine().params().applyToneMapping);
    picture->engine().installOperator(std::make_unique<RunsOutOfMemory>());
    const QString dir = folder(QStringLiteral("failed"));
    messages_->fileNames = {{dir + QStringLiteral("/big.jpg")}};
    runExport(*w, [&] { w->exports().PushButtonEditingExportClicked(nullptr); });
    // Not the preview under the export's name: no file at all, not even a temporary one.
    EXPECT_TRUE(entriesIn(dir).isEmpty()) << entriesIn(dir).join(QLatin1Char(' ')).toStdString();
    // One message, an error naming the file and the reason; the log has it too.
    const auto& calls = messages_->calls;
    EXPECT_EQ(
        std::count_if(calls.begin(), calls.end(), [](const auto& c) { return c.kind == MessageKind::Error; }),
        1);
    ASSERT_EQ(calls.back().kind, MessageKind::Error);
    EXPECT_EQ(countTitled("ErrorRenderingImageTitle"), 1);
    EXPECT_TRUE(calls.back().text.contains(QStringLiteral("big.jpg")) &&
                calls.back().text.contains(QStringLiteral("bad_alloc")));
    EXPECT_NE(fileText(logPath()).find("big.jpg was not written"), std::string::npos);
}

TEST_F(ExportFlowTest, WhatAfterExportIsFollowedOnceEveryFileIsWritten) {
    struct Case {
        int choice;
        bool writable; // the folder exists
        WorkspaceState after;
        bool closed;
    };
    const Case cases[] = {
        {ExportController::AfterExportEditing, true, Editing, false},
        {ExportController::AfterExportSelection, true, SelectingFrame, false},
        {ExportController::AfterExportExit, true, Editing, true},
        {ExportController::AfterExportExit, false, Editing, false}, // nothing written: stay and tell
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "choice " << c.choice << (c.writable ? "" : ", unwritable"));
        auto w = grabbedAndEditing({4});
        auto* after = find<QComboBox>(*w, "comboBox_WhatAfterExport");
        ASSERT_EQ(after->count(), 3) << "no shutting the computer down";
        EXPECT_EQ(after->currentIndex(), ExportController::AfterExportEditing);
        EXPECT_TRUE(find(*w, "page_Exporting")->isEnabled());
        after->setCurrentIndex(c.choice);
        const QString out = c.writable
                                ? folder(QStringLiteral("after%1").arg(c.choice)) + QStringLiteral("/x.jpg")
                                : tempPath(QStringLiteral("missing/x.jpg"));
        messages_->fileNames = {{out}};
        w->exports().PushButtonEditingExportClicked(nullptr);
        ASSERT_TRUE(waitFor([&] { return !w->exports().running(); }));
        settle();
        EXPECT_EQ(QFileInfo::exists(out), c.writable);
        EXPECT_EQ(w->isVisible(), !c.closed);
        if (c.closed) {
            EXPECT_EQ(w->model().workspace(), nullptr);
        } else {
            EXPECT_EQ(w->model().workspace()->state, c.after);
        }
    }
}

// "Export all" when closing the window: the close returns at once, with the export running, and the window
// closes once every picture is written; a write that fails keeps the medium, and its picture, open.
TEST_F(ExportFlowTest, ClosingWithExportAllClosesOnlyOnceEveryPictureIsWritten) {
    for (const bool writable : {true, false}) {
        SCOPED_TRACE(writable ? "writable" : "unwritable");
        // Two pictures go to a folder; one goes to a file in a folder that does not exist.
        auto w = writable ? grabbedAndEditing({4, 11}) : grabbedAndEditing({4});
        const QString dir = writable ? folder(QStringLiteral("exportall")) : tempPath(QStringLiteral("none"));
        messages_->fileNames = {{writable ? dir : dir + QStringLiteral("/x.jpg")}};
        acceptSaveForms();
        messages_->choices = {0}; // "ExportAll"
        EXPECT_FALSE(w->close());
        EXPECT_TRUE(w->exports().running()) << "the close waited for the export";
        ASSERT_TRUE(waitFor([&] { return !w->exports().running(); }));
        settle();
        EXPECT_EQ(w->isVisible(), !writable);
        EXPECT_EQ(w->model().workspace() == nullptr, writable);
        EXPECT_EQ(entriesIn(dir).size(), writable ? 2 : 0);
    }
}

TEST_F(ExportFlowTest, WithoutASelectionTheCurrentFrameIsSavedAsDecodedUnderItsFrameName) {
    auto w = openScene(1);
    // Nothing grabbed: the export button has no picture to export.
    w->exports().PushButtonEditingExportClicked(nullptr);
    EXPECT_EQ(said("PleaseChooseFrame"), 1);
    EXPECT_EQ(countTitled("PleaseChooseFrameTitle"), 1);
    EXPECT_EQ(w->model().workspace()->state, SelectingFrame);

    moveTo(*w, 7);
    const QString dir = folder(QStringLiteral("frames"));
    // As TIFF the depth is asked; as JPEG it is not; a PNG name is refused with its own key.
    auto offered = acceptSaveForms();
    messages_->fileNames = {
        {dir + QStringLiteral("/f.tif")}, {dir + QStringLiteral("/f.jpg")}, {dir + QStringLiteral("/f.png")}};
    w->exports().saveCurrentFrame();
    w->exports().saveCurrentFrame();
    w->exports().saveCurrentFrame();
    ASSERT_TRUE(waitFor([&] { return !w->exports().writesPending(); }));
    EXPECT_EQ(offered->depths, (QStringList{"8 bits", "16 bits", "32 bits"}));
    ASSERT_EQ(flow_->saveStarts.size(), 3u);
    EXPECT_EQ(QFileInfo(flow_->saveStarts[0]).fileName(), QStringLiteral("scene_180p (7)"));
    EXPECT_TRUE(flow_->saveFilters[0].isEmpty());
    EXPECT_EQ(filesIn(dir), (QStringList{"f.jpg", "f.tif"}));
    EXPECT_EQ(said("ErrorExtension."), 1);
    const cv::Mat tif = cv::imread((dir + QStringLiteral("/f.tif")).toStdString(), cv::IMREAD_UNCHANGED);
    const cv::Mat frame = w->model().workspace()->sequence()->getCvImageAt(7, false);
    ASSERT_EQ(tif.depth(), CV_16U);
    cv::Mat frame16;
    frame.convertTo(frame16, CV_16U, 257.0);
    EXPECT_EQ(cv::norm(tif, frame16, cv::NORM_INF), 0.0);
}

// The player shows raw files from their half-size preview decode; a grabbed frame and a saved one are the
// whole picture.
TEST_F(ExportFlowTest, ARawBurstIsGrabbedAndSavedAtFullSize) {
    const QString cr2 = QStringLiteral("/usr/share/doc/rawtran/IMG_5952.CR2"); // Debian package rawtran-doc
    if (!QFileInfo::exists(cr2))
        GTEST_SKIP() << "the raw sample is not installed";
    const QString dir = folder(QStringLiteral("raw"));
    const QStringList burst{dir + QStringLiteral("/IMG_1.CR2"), dir + QStringLiteral("/IMG_2.CR2")};
    for (const QString& f : burst)
        ASSERT_TRUE(QFile::copy(cr2, f));
    const cv::Size full = readImage(cr2.toStdString(), false).size();
    const cv::Size preview = readImage(cr2.toStdString(), true).size();
    ASSERT_LT(preview.width, full.width);

    auto w = makeWindow(1);
    ASSERT_TRUE(w->opening().openBurst(burst));
    grab(*w, {1});
    EXPECT_EQ(w->model().workspace()->sequence()->displayImage().size(), preview);
    ASSERT_EQ(selections(*w).size(), 1u);
    EXPECT_EQ(selections(*w)[0]->image().size(), full);

    acceptSaveForms();
    messages_->fileNames = {{dir + QStringLiteral("/frame.tif")}};
    w->exports().saveCurrentFrame();
    ASSERT_TRUE(waitFor([&] { return !w->exports().writesPending(); }));
    const cv::Mat saved =
        cv::imread((dir + QStringLiteral("/frame.tif")).toStdString(), cv::IMREAD_UNCHANGED);
    EXPECT_EQ(saved.size(), full);
    EXPECT_EQ(saved.depth(), CV_16U);
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
    EXPECT_EQ(w->model().workspace(), nullptr);
    EXPECT_FALSE(w->exports().running());
    EXPECT_EQ(said("ExplClosingWorkspaceDuringExport"), 2);
    // What was written is whole; nothing half-written or temporary is left.
    for (const QString& name : QDir(dir).entryList(QDir::Files | QDir::Hidden)) {
        EXPECT_FALSE(name.startsWith(QLatin1Char('.'))) << qPrintable(name);
        EXPECT_EQ(pictureSize(dir + QLatin1Char('/') + name), cv::Size(320, 180)) << qPrintable(name);
    }
}

// The cancel button during the write ends the export at once, not when the encoder is done; the write then
// stops at its next step and takes its temporary file with it. Nothing is told: the user asked for it.
TEST_F(ExportFlowTest, CancelDuringTheWriteEndsTheExportAtOnceAndLeavesNoFile) {
    const QString dir = folder(QStringLiteral("cancelled")), target = dir + QStringLiteral("/held.jpg");
    std::vector<bool> ended;
    WriteGate gate(WriteStep::CopyExif);
    auto w = exportHeldAt(gate, target);
    ASSERT_EQ(entriesIn(dir).size(), 1) << "the temporary file is there while the writer is held";
    QObject::connect(&w->exports(), &ExportController::exportEnded,
                     [&](bool done) { ended.push_back(done); });
    const std::size_t told = messages_->calls.size();
    const auto logSize = [] { return QFileInfo(QString::fromStdString(logPath())).size(); };
    const qint64 logged = logSize();

    find<QPushButton>(*w, "pushButton_ComputingCancel")->click();
    EXPECT_TRUE(w->exports().writesPending());
    EXPECT_FALSE(w->exports().running());
    EXPECT_EQ(ended, std::vector<bool>{false});
    EXPECT_EQ(w->model().workspace()->state, Editing);
    EXPECT_NE(find<QStackedWidget>(*w, "stackedWidget_CentralWidgetBottom")->currentWidget()->objectName(),
              QStringLiteral("page_ProgressBar"));
    gate.open();
    ASSERT_TRUE(waitFor([&] { return !w->exports().writesPending(); }));
    EXPECT_EQ(gate.steps().back(), WriteStep::CopyExif) << "the write went on after the cancel";
    EXPECT_TRUE(entriesIn(dir).isEmpty()) << qPrintable(entriesIn(dir).join(QLatin1Char(' ')));
    EXPECT_EQ(messages_->calls.size(), told);
    EXPECT_EQ(logSize(), logged) << "a cancelled write is no error";

    // The next export, of the same name, is whole.
    w->exports().setWriteStepHook({});
    messages_->fileNames = {{target}};
    runExport(*w, [&] { w->exports().PushButtonEditingExportClicked(nullptr); });
    EXPECT_EQ(entriesIn(dir), QStringList{"held.jpg"});
    EXPECT_EQ(pictureSize(target), cv::Size(320, 180));
    EXPECT_EQ(ended, (std::vector<bool>{false, true}));
}

// A new export of the same name while the cancelled write is still held: the rendered picture waits for it,
// the window going on meanwhile, and is written whole once the cancelled write has ended.
TEST_F(ExportFlowTest, ANewWriteWaitsForACancelledOneWithoutHoldingTheWindow) {
    const QString dir = folder(QStringLiteral("waiting")), target = dir + QStringLiteral("/held.jpg");
    WriteGate gate(WriteStep::CopyExif);
    auto w = exportHeldAt(gate, target);
    find<QPushButton>(*w, "pushButton_ComputingCancel")->click();
    // Were the window's thread to wait for the held write, only this watchdog would let it go on.
    std::promise<void> checked;
    std::atomic<bool> rescued{false};
    std::thread watchdog([&gate, &rescued, until = checked.get_future()] {
        if (until.wait_for(std::chrono::seconds(30)) == std::future_status::timeout) {
            rescued = true;
            gate.open();
        }
    });
    w->exports().setWriteStepHook({});
    messages_->fileNames = {{target}};
    w->exports().PushButtonEditingExportClicked(nullptr);
    EXPECT_TRUE(waitRendered(*w));
    EXPECT_FALSE(rescued) << "the window waited for the cancelled write";
    EXPECT_TRUE(w->exports().running());
    EXPECT_EQ(entriesIn(dir).size(), 1) << "only the held write's temporary file";
    checked.set_value();
    watchdog.join();
    gate.open();
    ASSERT_TRUE(waitFor([&] { return !w->exports().writesPending(); }));
    EXPECT_EQ(entriesIn(dir), QStringList{"held.jpg"});
    EXPECT_EQ(pictureSize(target), cv::Size(320, 180));
}

// The window may go right after such a cancel: it waits for the writer, still held when the window starts
// going (the events it processes meanwhile open the gate), instead of destroying a running thread.
TEST_F(ExportFlowTest, DestroyingTheWindowRightAfterACancelledWriteJoinsTheWriter) {
    const QString dir = folder(QStringLiteral("destroyed"));
    WriteGate gate(WriteStep::WriteFile);
    auto w = exportHeldAt(gate, dir + QStringLiteral("/held.jpg"));
    find<QPushButton>(*w, "pushButton_ComputingCancel")->click();
    ASSERT_FALSE(w->exports().running());
    // The window's destructor blocks on the join: the gate opens from elsewhere, a little later.
    std::thread opener([&gate] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        gate.open();
    });
    w.reset();
    opener.join();
    EXPECT_EQ(gate.steps().back(), WriteStep::WriteFile);
    EXPECT_TRUE(entriesIn(dir).isEmpty());
}

} // namespace
