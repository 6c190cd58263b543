// Opening photos and bursts through the real window: dispatch by extension, file dialogs and their filters,
// drag and drop, the recent-files list, title and status texts, and closing with its questions.

#include "WindowTestSupport.h"
#include "ui/OpeningController.h"
#include "ui/StepsController.h"
#include "ui/Workspace.h"

#include <QAction>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QStackedWidget>
#include <QUrl>

namespace {

using namespace lumora;
using namespace lumora::test;

class OpeningTest : public WindowTest {
protected:
    void drop(LumoraV2& w, const QStringList& files) {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& f : files)
            urls << QUrl::fromLocalFile(f);
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&w, &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDropEvent event(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&w, &event);
    }
    QString statusText(LumoraV2& w) { return w.statusText()->text(); }
    const ScriptedMessageService::Call& onlyCall() {
        EXPECT_EQ(messages_->calls.size(), 1u);
        return messages_->calls.back();
    }
};

TEST_F(OpeningTest, PhotoOpensForToneMappingWhateverItsSuffixSays) {
    auto w = makeWindow(2);
    ASSERT_TRUE(
        w->openMediaByPath(writeImage(QStringLiteral("Holiday Shot.PNG"), cv::Scalar(9, 9, 9), 64, 48)));
    EXPECT_TRUE(messages_->calls.empty());
    EXPECT_EQ(w->model().workspace()->kind(), Workspace::Kind::Photo);
    EXPECT_EQ(w->model().workspace()->state, Editing);
    EXPECT_TRUE(w->windowTitle().contains(QStringLiteral("Holiday Shot[.png ")));
    EXPECT_EQ(statusText(*w), QStringLiteral("64x48"));
    EXPECT_EQ(w->opening().lastDirectory(), QDir(temp_.path()).absolutePath());

    messages_->choices = {1}; // edited work is discarded
    ASSERT_TRUE(w->opening().closeWorkspace());
    EXPECT_EQ(w->model().workspace(), nullptr);
    EXPECT_EQ(w->model().currentIndex(), -1);
    EXPECT_FALSE(w->windowTitle().contains(QStringLiteral("Holiday")));
    EXPECT_TRUE(statusText(*w).isEmpty());
    EXPECT_EQ(find<QStackedWidget>(*w, "stackedWidget_CentralWidget")->currentWidget()->objectName(),
              QStringLiteral("page_CentralHome"));

    // An unknown suffix that only the image reader takes opens as a photo too.
    ASSERT_TRUE(w->openMediaByPath(writeImage(QStringLiteral("scan.xyz"))));
    EXPECT_EQ(w->model().workspace()->kind(), Workspace::Kind::Photo);
    EXPECT_EQ(messages_->calls.size(), 1u) << "only the question on closing";
}

TEST_F(OpeningTest, FilesNoReaderTakesAreReportedEachByWhatTheyClaimToBe) {
    auto w = makeWindow(1);
    EXPECT_FALSE(w->openMediaByPath(writeText(QStringLiteral("notes.Xyz"))));
    EXPECT_FALSE(w->openMediaByPath(writeText(QStringLiteral("broken.jpg"))));
    EXPECT_FALSE(w->openMediaByPath(writeText(QStringLiteral("broken.MP4"))));
    ASSERT_EQ(messages_->calls.size(), 3u);
    for (const auto& call : messages_->calls)
        EXPECT_EQ(call.kind, MessageKind::Error);
    EXPECT_TRUE(messages_->calls[0].text.contains(QStringLiteral("xyz")));
    EXPECT_TRUE(messages_->calls[2].text.contains(QStringLiteral("mp4")));
    // Unknown file, unreadable photo, unreadable video: three different explanations.
    EXPECT_NE(messages_->calls[0].title, messages_->calls[1].title);
    EXPECT_NE(messages_->calls[1].title, messages_->calls[2].title);
    EXPECT_EQ(w->model().workspace(), nullptr);
    EXPECT_TRUE(w->opening().recentFiles().isEmpty());

    // A burst holding a file that is not a photo is refused as a whole.
    messages_->calls.clear();
    drop(*w, {writeImage(QStringLiteral("a.jpg")), writeText(QStringLiteral("list.TXT"))});
    EXPECT_TRUE(onlyCall().text.contains(QStringLiteral("txt")));
    EXPECT_EQ(w->model().workspace(), nullptr);
}

TEST_F(OpeningTest, DroppingTwoPhotosOpensABurstInFileOrder) {
    auto w = makeWindow(2);
    const QString b = writeImage(QStringLiteral("b.jpg"), cv::Scalar(200, 0, 0));
    const QString a = writeImage(QStringLiteral("a.jpg"), cv::Scalar(0, 200, 0));
    drop(*w, {b, a});
    ASSERT_NE(w->model().workspace(), nullptr);
    EXPECT_TRUE(messages_->calls.empty());
    EXPECT_EQ(w->model().workspace()->kind(), Workspace::Kind::Burst);
    EXPECT_EQ(w->model().workspace()->state, SelectingFrame);
    EXPECT_EQ(w->model().workspace()->sequence()->frameCount(), 2);
    EXPECT_TRUE(w->windowTitle().contains(QStringLiteral("a[.jpg ")));
    EXPECT_EQ(statusText(*w), QStringLiteral("64x48, 25fps"));
    // Bursts are not recent files.
    EXPECT_TRUE(w->opening().recentFiles().isEmpty());
}

TEST_F(OpeningTest, RecentFilesKeepTheTwentyLatestWithoutDuplicates) {
    auto w = makeWindow(1);
    // Each photo opens in editing; closing it to open the next one is answered "Discard".
    messages_->choices = std::deque<int>(40, 1);
    QStringList opened;
    for (int i = 0; i < 21; ++i) {
        opened << writeImage(QStringLiteral("p%1.png").arg(i, 2, 10, QLatin1Char('0')));
        ASSERT_TRUE(w->openMediaByPath(opened.back()));
    }
    QStringList expected;
    for (int i = 20; i >= 1; --i)
        expected << QDir::toNativeSeparators(opened[i]);
    EXPECT_EQ(w->opening().recentFiles(), expected);
    EXPECT_EQ(settings::read(settings::RecentFiles), expected);

    // Opening a listed file again moves it to the front.
    ASSERT_TRUE(w->openMediaByPath(opened[5]));
    expected.removeAll(QDir::toNativeSeparators(opened[5]));
    expected.prepend(QDir::toNativeSeparators(opened[5]));
    EXPECT_EQ(w->opening().recentFiles(), expected);

    auto* list = find<QListWidget>(*w, "listWidget_RecentFiles");
    ASSERT_EQ(list->count(), 20);
    EXPECT_EQ(list->item(0)->text(), expected[0]);
    const auto actions = find<QMenu>(*w, "menuRecent_videos")->actions();
    ASSERT_EQ(actions.size(), 20);
    EXPECT_EQ(actions[19]->data().toString(), expected[19]);
    EXPECT_FALSE(find(*w, "label_RecentFilesTitle")->isHidden());
    EXPECT_EQ(list->height(), list->sizeHintForRow(0) * 20 + 2 * list->frameWidth());

    // A menu entry opens its file; a new window starts with the same list.
    actions[3]->trigger();
    EXPECT_EQ(QDir::toNativeSeparators(w->model().workspace()->path()), expected[3]);
    auto again = makeWindow();
    EXPECT_EQ(again->opening().recentFiles().size(), 20);
    EXPECT_EQ(again->opening().recentFiles().front(), expected[3]);
}

TEST_F(OpeningTest, RecentFileThatIsGoneIsReportedAndForgotten) {
    auto w = makeWindow(1);
    const QString kept = writeImage(QStringLiteral("kept.png"));
    const QString gone = writeImage(QStringLiteral("gone.png"));
    messages_->choices = {1, 1};
    ASSERT_TRUE(w->openMediaByPath(kept));
    ASSERT_TRUE(w->openMediaByPath(gone));
    ASSERT_TRUE(w->opening().closeWorkspace());
    ASSERT_TRUE(QFile::remove(gone));
    messages_->calls.clear();
    auto* list = find<QListWidget>(*w, "listWidget_RecentFiles");
    ASSERT_EQ(list->count(), 2);
    emit list->itemClicked(list->item(0));
    const auto& call = onlyCall();
    EXPECT_EQ(call.kind, MessageKind::Error);
    EXPECT_TRUE(call.text.contains(QDir::toNativeSeparators(gone)));
    EXPECT_EQ(w->opening().recentFiles(), QStringList{QDir::toNativeSeparators(kept)});
    EXPECT_EQ(list->count(), 1);
    EXPECT_EQ(w->model().workspace(), nullptr);

    ASSERT_TRUE(QFile::remove(kept));
    find<QMenu>(*w, "menuRecent_videos")->actions().front()->trigger();
    EXPECT_TRUE(w->opening().recentFiles().isEmpty());
    EXPECT_TRUE(find(*w, "listWidget_RecentFiles")->isHidden());
    EXPECT_TRUE(find(*w, "label_RecentFilesTitle")->isHidden());
    EXPECT_TRUE(find<QMenu>(*w, "menuRecent_videos")->actions().isEmpty());
}

TEST_F(OpeningTest, ClosingOrOpeningAnotherWhileEditingAsksAndCancelKeepsTheWork) {
    auto w = makeWindow(1);
    ASSERT_TRUE(w->openMediaByPath(writeImage(QStringLiteral("photo.png"))));
    ASSERT_EQ(w->model().workspace()->state, Editing);
    auto* close = find<QAction>(*w, "actionClose");
    EXPECT_EQ(close->shortcut(), QKeySequence(QStringLiteral("Ctrl+W")));
    EXPECT_TRUE(close->isEnabled());

    messages_->choices = {2};
    close->trigger();
    ASSERT_EQ(messages_->calls.size(), 1u);
    EXPECT_EQ(messages_->calls[0].what, QStringLiteral("choose"));
    EXPECT_EQ(messages_->calls[0].kind, MessageKind::Warning);
    EXPECT_EQ(messages_->choiceButtons[0].size(), 3) << "export all, discard, cancel";
    EXPECT_NE(w->model().workspace(), nullptr);

    // Closing the window asks the same; Cancel keeps it open.
    messages_->choices = {2};
    EXPECT_FALSE(w->close());
    EXPECT_TRUE(w->isVisible());
    EXPECT_NE(w->model().workspace(), nullptr);
    EXPECT_EQ(messages_->calls.size(), 2u);

    // A dismissed question keeps everything too.
    EXPECT_FALSE(w->close());
    EXPECT_NE(w->model().workspace(), nullptr);

    // Opening another medium asks too: Cancel keeps this one and opens nothing, Discard opens the other.
    messages_->choices = {2};
    EXPECT_FALSE(w->openMediaByPath(writeImage(QStringLiteral("second.png"))));
    EXPECT_TRUE(w->model().workspace()->path().endsWith(QStringLiteral("photo.png")));
    messages_->choices = {1};
    EXPECT_TRUE(w->openMediaByPath(writeImage(QStringLiteral("second.png"))));
    EXPECT_TRUE(w->model().workspace()->path().endsWith(QStringLiteral("second.png")));

    // Frame selection closes without asking.
    const size_t asked = messages_->calls.size();
    messages_->choices = {1};
    drop(*w, {writeImage(QStringLiteral("a.png")), writeImage(QStringLiteral("b.png"))});
    ASSERT_EQ(messages_->calls.size(), asked + 1); // the Editing question for second.png
    ASSERT_EQ(w->model().workspace()->kind(), Workspace::Kind::Burst);
    close->trigger();
    EXPECT_EQ(w->model().workspace(), nullptr);
    EXPECT_EQ(messages_->calls.size(), asked + 1);
    EXPECT_TRUE(w->close());
}

} // namespace
