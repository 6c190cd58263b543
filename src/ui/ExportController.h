#pragma once
// Export flows of the window: the player's current frame, the light image right after stacking, and the
// edited selections, rendered at full size on their own threads and written (with the source's EXIF data) on
// another, so the window keeps repainting. File names are proposed from the medium and the run; an existing
// file is replaced or kept under a numbered name as the user answers; every failure is told to the user.

#include "app/Status.h"
#include "recipe/Recipe.h"
#include "ui/ImageWrite.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <opencv2/core.hpp>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QWidget;

namespace lumora {

class MessageService;
class SharpestImageSelection;
class WindowModel;
struct WindowContext;
struct WindowForm;
enum class WriteStep;

class ExportController : public QObject {
    Q_OBJECT
public:
    // The items of the export page's "what after export" list, in order.
    enum AfterExport { AfterExportEditing, AfterExportSelection, AfterExportExit };

    explicit ExportController(const WindowContext& context);
    ~ExportController() override;

    // Exports every selection (closing the workspace asks for it) and returns at once; `ended` is called
    // later, from the event loop, with true when every picture was written.
    void exportAll(std::function<void(bool allWritten)> ended);
    bool running() const { return job_ != nullptr; }
    // The cancel button: the rendering in progress stops and the export ends after it; a write in progress
    // is cancelled and the export ends at once, without waiting for the encoder (see retireWriter).
    void stopExport();
    // Stops the export and joins its render; cancelled writes end by themselves (they leave no file and read
    // nothing of the medium). Closing the medium or the window.
    void cancelNow();
    // A write is still running, a cancelled one included.
    bool writesPending() const;
    // For tests: runs on the writer thread as each step of the following writes begins.
    void setWriteStepHook(std::function<void(WriteStep)> hook) { writeStepHook_ = std::move(hook); }
    const QString& lastDirectory() const { return lastDirectory_; }
    // The name the light image of the last run is proposed under; the stacking knows it.
    void setLightImageName(std::function<QString()> name) { lightImageName_ = std::move(name); }

signals:
    void exportEnded(bool completed);
    // The workflow state changed: the window lays out its pages again.
    void windowUpdateRequested();
    // After an export the user chose to go back to step `step`.
    void stepRequested(int step);
    // After an export the user chose to leave: the medium is closed and the window too.
    void exitRequested();

public slots:
    void PushButtonEditingExportClicked(lumora::SharpestImageSelection* selection = nullptr);
    void PushButtonProEditingExportClicked();
    void saveCurrentFrame();
    void saveHDRimage();

private:
    struct Job;
    // The format index and depth for `path` (asking for the depth when the format offers several); -1 when
    // the user refused or the extension is not an export format (told with `extensionKey`).
    bool chooseFormat(QString* path, const char* extensionKey, int* format, int* bits);
    bool prepareJob(Job& job);
    void renderNext();
    void startItemRender(SharpestImageSelection* item);
    void itemRendered(bool ok);
    void writeRendered(const cv::Mat& image);
    void itemWritten();
    // Writes the recipe beside a picture just exported; a failure is logged and shown.
    void writeRecipeOf(const SharpestImageSelection& picture, const ImageWriteRequest& written);
    struct Write;
    // Starts writing `request` in the background.
    std::unique_ptr<Write> startWrite(ImageWriteRequest request);
    // Cancels the job's write and keeps it until it ends (it leaves no file); its end no longer drives the
    // job.
    void retireWriter();
    // Lets go of the cancelled writes that have ended; once none is left, starts the writes that waited for
    // them (a cancelled write may still hold a name the next one is about to check or take).
    void reapRetired();
    bool retiredRunning() const;
    void finishJob(bool completed);
    // Follows the export page's "what after export" choice.
    void actAfterExport();
    void itemProgressed(int percent);
    // Writes in the background, outside any export job; failures are told when it ends. With the setting
    // on, `recipe` makes the picture's recipe now (or the reason there is none), written beside it once it
    // is.
    using RecipeMaker = std::function<Result<Recipe>()>;
    void save(const ImageWriteRequest& request, const RecipeMaker& recipe);
    // A save with its recipe made (or why there is none), waiting for a cancelled write or starting now.
    struct PendingSave {
        ImageWriteRequest request;
        bool withRecipe = false;
        Recipe recipe;
        std::string recipeProblem;
    };
    void startSave(PendingSave pending);
    // Writes the recipe beside `picturePath`, or tells why it was not (`problem`): logged and shown, the
    // picture stays.
    void writeRecipeBeside(const std::string& picturePath, const Recipe& recipe, std::string problem);
    void saved(Write* write);
    void reportWrite(const QString& path, bool ok, const std::string& error, const std::string& exifWarning);
    QString resolveExisting(const QString& path, const QString& name);

    WindowModel& model_;
    const WindowForm& form_;
    MessageService& messages_;
    // Parent of the dialogs.
    QWidget* window_;
    std::function<QString()> lightImageName_;
    QString lastDirectory_;
    std::unique_ptr<Job> job_;
    std::unique_ptr<Write> writer_;
    std::vector<std::unique_ptr<Write>> retired_;
    std::vector<std::unique_ptr<Write>> saves_;
    // Saves asked for while a cancelled write was still running.
    std::vector<PendingSave> savesWaiting_;
    // Tells the end of the job's current writer from the ends of writers handled or retired before.
    quint64 writerTicket_ = 0;
    std::function<void(WriteStep)> writeStepHook_;
    bool exportingToClose_ = false;
    std::function<void(bool)> exportAllEnded_;
};

} // namespace lumora
