#include "ui/ExportController.h"

#include "app/BackgroundRun.h"
#include "app/EventLog.h"
#include "app/MessageService.h"
#include "app/Settings.h"
#include "export/ExportFormats.h"
#include "export/ExportNames.h"
#include "i18n/LanguageEngine.h"
#include "recipe/RecipeBuilder.h"
#include "ui/ImageWrite.h"

#include "ui/SaveForm.h"
#include "ui/SharpestImageSelection.h"
#include "ui/WaitCursor.h"
#include "ui/WindowForm.h"
#include "ui/WindowModel.h"
#include "ui/WindowRecipe.h"
#include "ui/Workspace.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QProgressBar>
#include <algorithm>

namespace lumora {
namespace {

const Translator& translator() {
    static const Translator t = [](const std::string& key) { return translatedText(key); };
    return t;
}

} // namespace

struct ExportController::Job {
    std::vector<QPointer<SharpestImageSelection>> items;
    std::size_t index = 0;
    QPointer<SharpestImageSelection> current;
    QString directory;
    QString extension; // with its dot
    int format = 0;
    int bits = 8;
    int rememberedAnswer = -1; // for the other files once "do the same" was ticked
    bool stop = false;
    // The current picture's preview was still rendering: its end (cancelled) starts the export's render.
    bool awaitingPreview = false;
    quint64 session = 0;
    int failedWrites = 0;
    // The user's "what after export" is followed; not for the export that closing the medium asks for.
    bool followChoice = true;
    // Rendered, waiting for cancelled writes to end before it is written.
    cv::Mat awaitingWrite;
};

ExportController::ExportController(const WindowContext& context)
    : model_(context.model), form_(context.form), messages_(context.messages), window_(context.window),
      lastDirectory_(QDir::homePath()) {
    const WindowForm& f = form_;
    connect(f.basicClassic->pushButton_EditingExport, &QPushButton::clicked, this,
            [this] { PushButtonEditingExportClicked(nullptr); });
    connect(f.proEditing->pushButton_ProEditingExport, &QPushButton::clicked, this,
            &ExportController::PushButtonProEditingExportClicked);
}

// One image written in the background. A QObject so that it can be let go of from its own end signal.
struct ExportController::Write : QObject {
    explicit Write(std::string target, QObject* parent) : QObject(parent), path(std::move(target)) {}
    std::string path;
    // What was asked, without the pixels: the recipe written after the picture names its format and depth.
    ImageWriteRequest written;
    // The recipe written beside the picture once it is (outside export jobs), or why there is none.
    bool withRecipe = false;
    Recipe recipe;
    std::string recipeProblem;
    BackgroundRun<WriteResult> run{"ExportController"};
};

namespace {

// Deleted once the end signal that let go of it has returned.
void letGo(std::unique_ptr<QObject> write) {
    write.release()->deleteLater();
}

} // namespace

ExportController::~ExportController() {
    // A file the user saved is completed; the export's write is cancelled (it leaves no file). Each write's
    // destructor joins it. Saves that waited for cancelled writes start once those have ended.
    if (job_)
        job_->awaitingWrite.release();
    for (const auto& write : retired_)
        write->run.join();
    reapRetired();
    for (const auto& write : saves_)
        write->run.join();
    if (writer_)
        writer_->run.cancel();
}

std::unique_ptr<ExportController::Write> ExportController::startWrite(ImageWriteRequest request) {
    auto write = std::make_unique<Write>(request.path, this);
    write->written = request;
    write->written.image = cv::Mat();
    write->written.light = cv::Mat();
    write->run.start([request = std::move(request), hook = writeStepHook_](RunControl& run) {
        return writeExportImage(request, run, hook);
    });
    return write;
}

namespace {

HdrChoices rememberedHdrChoices() {
    HdrChoices c;
    c.peakNits = settings::read(settings::HdrPeakNits);
    c.transferIndex = settings::read(settings::HdrTransfer);
    return c;
}

void rememberHdrChoices(const HdrChoices& c) {
    settings::write(settings::HdrPeakNits, c.peakNits);
    settings::write(settings::HdrTransfer, c.transferIndex);
}

// A write of `image` with the settings' JPEG quality and HDR choices; `kind` and `whiteLight` say what the
// image is, for the formats that keep light above white.
ImageWriteRequest exportRequest(const QString& path, const cv::Mat& image, int bits, std::string exifSource,
                                ExportPicture::Kind kind, double whiteLight) {
    ImageWriteRequest request;
    request.path = path.toStdString();
    request.image = image;
    request.bits = bits;
    request.exifSource = std::move(exifSource);
    request.jpegQuality = settings::read(settings::JPGQuality);
    request.kind = kind;
    request.whiteLight = whiteLight;
    request.hdr = rememberedHdrChoices();
    return request;
}

} // namespace

bool ExportController::chooseFormat(QString* path, const char* extensionKey, int* format, int* bits) {
    const int index = exportFormatIndexForSuffix(QFileInfo(*path).suffix());
    if (index < 0) {
        messages_.show(MessageKind::Error, translatedText("Error"), translatedText(extensionKey));
        return false;
    }
    const ExportFormat& chosen = exportFormats()[std::size_t(index)];
    *format = index;
    *bits = chosen.defaultDepth();
    const bool hdr = isLinearFormat(path->toStdString());
    if (chosen.asksForDepth() || hdr) {
        SaveForm form(window_, false);
        form.setDepthChoices(chosen.sortedDepths(), chosen.defaultDepth());
        if (hdr)
            form.setHdrChoices(rememberedHdrChoices(), index);
        if (form.exec() != QDialog::Accepted)
            return false;
        *bits = form.chosenDepth();
        if (hdr)
            rememberHdrChoices(form.chosenHdr());
    }
    return true;
}

void ExportController::reportWrite(const QString& path, bool ok, const std::string& error,
                                   const std::string& exifWarning) {
    const QString name = QDir::toNativeSeparators(path);
    if (!ok)
        messages_.show(MessageKind::Error, translatedText("ErrorWritingImageTitle"),
                       translatedText("ErrorWritingImage").arg(name, QString::fromStdString(error)));
    else if (!exifWarning.empty())
        messages_.show(MessageKind::Warning, translatedText("ErrorCopyingExifTitle"),
                       translatedText("ErrorCopyingExif").arg(name, QString::fromStdString(exifWarning)));
}

bool ExportController::writesPending() const {
    return writer_ || !retired_.empty() || !saves_.empty() || !savesWaiting_.empty() ||
           (job_ && !job_->awaitingWrite.empty());
}

void ExportController::save(const ImageWriteRequest& request, const RecipeMaker& recipe) {
    PendingSave pending;
    pending.request = request;
    // Made now, from the medium and the choices as they are when the user saves.
    pending.withRecipe = settings::read(settings::WriteRecipe);
    if (pending.withRecipe) {
        Result<Recipe> made = recipe();
        pending.recipeProblem = made.reason();
        pending.recipe = made.take();
    }
    // A cancelled export may still be encoding, maybe for this very name.
    if (retiredRunning()) {
        savesWaiting_.push_back(std::move(pending));
        return;
    }
    startSave(std::move(pending));
}

void ExportController::startSave(PendingSave pending) {
    std::unique_ptr<Write> write = startWrite(std::move(pending.request));
    Write* started = write.get();
    started->withRecipe = pending.withRecipe;
    started->recipe = std::move(pending.recipe);
    started->recipeProblem = std::move(pending.recipeProblem);
    started->run.onEnded(this, [this, started] { saved(started); });
    saves_.push_back(std::move(write));
}

void ExportController::saved(Write* write) {
    const auto it =
        std::find_if(saves_.begin(), saves_.end(), [write](const auto& w) { return w.get() == write; });
    if (it == saves_.end() || write->run.running())
        return;
    const WriteResult r = write->run.takeResult();
    const QString path = QString::fromStdString(write->path);
    const bool withRecipe = write->withRecipe;
    const Recipe recipe = std::move(write->recipe);
    std::string problem = std::move(write->recipeProblem);
    letGo(std::move(*it));
    saves_.erase(it);
    reportWrite(path, r.ok, r.error, r.exifWarning);
    if (r.ok && withRecipe)
        writeRecipeBeside(path.toStdString(), recipe, std::move(problem));
}

void ExportController::saveCurrentFrame() {
    Workspace* ws = model_.hasMedium() ? model_.workspace() : nullptr;
    if (!ws || !ws->sequenceReady())
        return;
    ImagesSequence* sequence = ws->sequence();
    // Full size and, for HDR clips, 16-bit through the display transform: not the player's preview picture.
    const cv::Mat image = sequence->stillFrameAt(sequence->currentIndex());
    if (image.empty()) {
        messages_.show(MessageKind::Error, translatedText("Error"), translatedText("ErrorSaveImages"));
        return;
    }
    const int index = sequence->currentIndex();
    ExportNameRequest name;
    name.mediumPath = ws->path();
    name.isSequence = true;
    name.currentIndex = index;
    const QString start =
        QFileInfo(ws->path()).absolutePath() + QLatin1Char('/') + defaultExportName(name, translator());
    QString selected;
    QString path =
        messages_.saveFileName(translatedText("SaveAs"), start, exportDialogFilter(translator()), &selected);
    int format = 0, bits = 8;
    if (path.isEmpty() || !chooseFormat(&path, "ErrorExtension.", &format, &bits))
        return;
    ImageWriteRequest request =
        exportRequest(path, image, bits, exifSourceForFormat(format, sequence->sourceFileOf(index)),
                      ExportPicture::Kind::Display, 1.0);
    save(request, [&]() -> Result<Recipe> {
        Recipe recipe;
        if (Status started = startWindowRecipe(*ws, path, bits, request.hdr, request.jpegQuality, &recipe);
            !started)
            return started;
        recordFrame(&recipe, index);
        return recipe;
    });
}

void ExportController::saveHDRimage() {
    Workspace* ws = model_.hasMedium() ? model_.workspace() : nullptr;
    if (!ws || ws->state != Stacking)
        return;
    const cv::Mat light = ws->lightImage;
    if (light.empty()) {
        messages_.show(MessageKind::Error, translatedText("Error"), translatedText("ExplImagesUnavailable"));
        return;
    }
    QString selected =
        exportFilterEntry(settings::read(settings::SavingFilterIndexForHDRImage), translator());
    const QString start =
        lastDirectory_ + QLatin1Char('/') + (lightImageName_ ? lightImageName_() : QString());
    QString path =
        messages_.saveFileName(translatedText("SaveAs"), start, exportDialogFilter(translator()), &selected);
    if (path.isEmpty())
        return;
    WaitCursor wait;
    lastDirectory_ = QFileInfo(path).absolutePath();
    int format = 0, bits = 32;
    if (!chooseFormat(&path, "ErrorExtension", &format, &bits))
        return;
    settings::write(settings::SavingFilterIndexForHDRImage, format);
    ImageWriteRequest request =
        exportRequest(path, light, bits, exifSourceForFormat(format, ws->exifSourceOf(ws->centreIndex)),
                      ExportPicture::Kind::Light, ws->lightWhite);
    save(request, [&]() -> Result<Recipe> {
        Recipe recipe;
        if (Status started = startWindowRecipe(*ws, path, bits, request.hdr, request.jpegQuality, &recipe);
            !started)
            return started;
        if (Status recorded = recordStackOrigin(lastStackOf(*ws), &recipe); !recorded)
            return recorded;
        return recipe;
    });
}

void ExportController::PushButtonProEditingExportClicked() {
    if (model_.hasMedium())
        PushButtonEditingExportClicked(model_.workspace()->edited);
}

bool ExportController::prepareJob(Job& job) {
    const int remembered = settings::read(settings::SavingFilterIndexForTMImage);
    if (job.items.size() == 1) {
        SharpestImageSelection* item = job.items.front();
        QString selected = exportFilterEntry(remembered, translator());
        QString path = messages_.saveFileName(translatedText("SaveAs"),
                                              lastDirectory_ + QLatin1Char('/') + item->fileName(),
                                              exportDialogFilter(translator()), &selected);
        if (path.isEmpty() || !chooseFormat(&path, "ErrorExtension", &job.format, &job.bits))
            return false;
        const QFileInfo chosen(path);
        lastDirectory_ = chosen.absolutePath();
        item->renameExport(chosen.completeBaseName());
        job.extension = QLatin1Char('.') + chosen.suffix();
    } else {
        const QString directory = messages_.existingDirectory(translatedText("SaveAs"), lastDirectory_);
        if (directory.isEmpty())
            return false;
        lastDirectory_ = directory;
        SaveForm form(window_, true);
        form.setFormatChoices(remembered);
        form.setHdrChoices(rememberedHdrChoices());
        if (form.exec() != QDialog::Accepted)
            return false;
        job.format = form.chosenFormat();
        job.bits = form.chosenDepth();
        rememberHdrChoices(form.chosenHdr());
        job.extension = QLatin1Char('.') + QLatin1String(exportFormats()[std::size_t(job.format)].extension);
    }
    settings::write(settings::SavingFilterIndexForTMImage, job.format);
    job.directory = lastDirectory_;
    return true;
}

void ExportController::PushButtonEditingExportClicked(SharpestImageSelection* selection) {
    if (!model_.hasMedium() || job_)
        return;
    Workspace* ws = model_.workspace();
    auto job = std::make_unique<Job>();
    if (selection)
        job->items.emplace_back(selection);
    else
        for (SharpestImageSelection* s : ws->liveSelections())
            job->items.emplace_back(s);
    if (job->items.empty()) {
        messages_.show(MessageKind::Warning, translatedText("PleaseChooseFrameTitle"),
                       translatedText("PleaseChooseFrame"));
        return;
    }
    ws->undo.clear();
    if (!prepareJob(*job))
        return;
    job->session = model_.session();
    job->followChoice = !exportingToClose_;
    model_.setState(Exporting);
    emit windowUpdateRequested();
    job_ = std::move(job);
    renderNext();
}

void ExportController::renderNext() {
    Job& job = *job_;
    while (job.index < job.items.size() && !job.items[job.index])
        ++job.index;
    if (job.stop || job.index >= job.items.size()) {
        // Complete when every picture was written, also when a cancel came as the last write ended.
        finishJob(job.index >= job.items.size());
        return;
    }
    SharpestImageSelection* item = job.items[job.index];
    job.current = item;
    connect(item, &SharpestImageSelection::renderFinished, this, &ExportController::itemRendered,
            Qt::UniqueConnection);
    connect(item, &SharpestImageSelection::renderProgress, this, &ExportController::itemProgressed,
            Qt::UniqueConnection);
    QProgressBar* bar = form_.progress->progressBar_Computing;
    bar->setValue(0);
    bar->setFormat(QStringLiteral("%p%"));
    // A preview of this picture still rendering holds its engine: it is cancelled, and the window goes on
    // until its end comes.
    item->settleRender();
    job.awaitingPreview = item->rendering();
    if (job.awaitingPreview)
        item->cancelRender();
    else
        startItemRender(item);
}

void ExportController::startItemRender(SharpestImageSelection* item) {
    if (!item->startRender(true, false, 0))
        itemRendered(false);
}

void ExportController::itemProgressed(int percent) {
    if (job_ && job_->current && job_->current == sender())
        form_.progress->progressBar_Computing->setValue(percent);
}

void ExportController::itemRendered(bool) {
    if (!job_)
        return;
    Job& job = *job_;
    SharpestImageSelection* item = job.current;
    if (job.awaitingPreview && item && !job.stop) {
        job.awaitingPreview = false;
        startItemRender(item);
        return;
    }
    job.awaitingPreview = false;
    if (item) {
        disconnect(item, &SharpestImageSelection::renderFinished, this, &ExportController::itemRendered);
        disconnect(item, &SharpestImageSelection::renderProgress, this, &ExportController::itemProgressed);
    }
    const cv::Mat image = item ? item->takeFullRender() : cv::Mat();
    if (job.stop || !item) {
        finishJob(false);
        return;
    }
    if (image.empty()) {
        // Cancelled from the progress panel (nothing to say), or the picture could not be rendered: nothing
        // is written, and the user learns why.
        const std::string& failure = item->fullRenderFailure();
        if (!failure.empty()) {
            const QString name = item->fileName() + job.extension;
            logError("ExportController", name.toStdString() + " was not written: " + failure);
            messages_.show(MessageKind::Error, translatedText("ErrorRenderingImageTitle"),
                           translatedText("ErrorRenderingImage").arg(name, QString::fromStdString(failure)));
        }
        finishJob(false);
        return;
    }
    if (retiredRunning()) {
        // A cancelled earlier write ends first: it may hold a name this one is about to check or take.
        job.awaitingWrite = image;
        return;
    }
    writeRendered(image);
}

QString ExportController::resolveExisting(const QString& path, const QString& name) {
    Job& job = *job_;
    int answer = job.rememberedAnswer;
    if (answer < 0) {
        bool sameForOthers = false;
        const bool several = job.items.size() > 1;
        answer = messages_.chooseWithCheckBox(
            MessageKind::Question, translatedText("SavingFileAlreadyExist"),
            translatedText("SavingFileAlreadyExistText").arg(QDir::toNativeSeparators(path)),
            {translatedText("Replace"), translatedText("UseUniqueName")}, 1,
            several ? translatedText("DoSameForOtherImages") : QString(), &sameForOthers);
        // A closed box keeps the file: the unique name is the safe answer.
        if (answer != 0)
            answer = 1;
        if (sameForOthers)
            job.rememberedAnswer = answer;
    }
    return answer == 0 ? path : uniqueExportPath(job.directory, name, job.extension);
}

void ExportController::writeRendered(const cv::Mat& image) {
    if (!job_ || job_->stop || !job_->current) {
        if (job_)
            finishJob(false);
        return;
    }
    Job& job = *job_;
    SharpestImageSelection* item = job.current;
    QString format = translatedText("SavingImage");
    if (job.items.size() > 1)
        format += translatedText("n/N").arg(job.index + 1).arg(job.items.size());
    form_.progress->progressBar_Computing->setFormat(format);
    const QString name = item->fileName();
    QString path = job.directory + QLatin1Char('/') + name + job.extension;
    if (QFileInfo::exists(path)) {
        path = resolveExisting(path, name);
        if (!job_)
            return;
    }
    ImageWriteRequest request =
        exportRequest(path, image, job.bits, exifSourceForFormat(job.format, item->exifSource()),
                      ExportPicture::Kind::Display, item->lightWhite());
    if (isLinearFormat(request.path)) {
        // The light the picture was rendered from, under the same rotation and crop: the HDR formats take
        // the highlights from it. The engine is idle now; the writer gets its own copy of the pixels.
        request.light = item->engine().lightUnderGeometry().clone();
        request.exposureStops = item->engine().params().exposure;
    }
    writer_ = startWrite(std::move(request));
    writer_->run.onEnded(this, [this, ticket = ++writerTicket_] {
        if (ticket == writerTicket_)
            itemWritten();
        else
            reapRetired();
    });
}

void ExportController::itemWritten() {
    if (!writer_ || writer_->run.running())
        return;
    const WriteResult result = writer_->run.takeResult();
    const QString path = QString::fromStdString(writer_->path);
    const ImageWriteRequest written = writer_->written;
    letGo(std::move(writer_));
    reportWrite(path, result.ok, result.error, result.exifWarning);
    if (!job_)
        return;
    if (result.ok && job_->current && settings::read(settings::WriteRecipe))
        writeRecipeOf(*job_->current, written);
    if (!result.ok)
        ++job_->failedWrites;
    ++job_->index;
    renderNext();
}

void ExportController::writeRecipeOf(const SharpestImageSelection& picture,
                                     const ImageWriteRequest& written) {
    const Workspace* ws = model_.workspace();
    if (!ws || model_.session() != job_->session)
        return;
    const QString path = QString::fromStdString(written.path);
    Result<Recipe> recipe = windowRecipe(*ws, picture, path, written.bits, written.hdr, written.jpegQuality);
    const std::string problem = recipe.reason();
    writeRecipeBeside(written.path, recipe.take(), problem);
}

void ExportController::writeRecipeBeside(const std::string& picturePath, const Recipe& recipe,
                                         std::string problem) {
    if (problem.empty()) {
        const Status written = writeRecipe(recipe, picturePath);
        if (written)
            return;
        problem = written.reason();
    }
    logError("ExportController", picturePath + ": the recipe was not written: " + problem);
    messages_.show(MessageKind::Warning, translatedText("RecipeNotWrittenTitle"),
                   translatedText("RecipeNotWritten")
                       .arg(QDir::toNativeSeparators(QString::fromStdString(picturePath)),
                            QString::fromStdString(problem)));
}

void ExportController::finishJob(bool completed) {
    const std::unique_ptr<Job> job = std::move(job_);
    Workspace* ws = model_.workspace();
    const bool current = ws && model_.session() == job->session && ws->state == Exporting;
    if (current) {
        model_.setState(Editing);
        emit windowUpdateRequested();
    }
    emit exportEnded(completed);
    if (exportAllEnded_) {
        const auto ended = std::move(exportAllEnded_);
        exportAllEnded_ = nullptr;
        // A failed write leaves its picture to be exported again, so the medium stays open.
        ended(completed && job->failedWrites == 0);
    }
    // Only once every file is on disk: a failure leaves the user on the editing page to try again.
    if (current && completed && job->failedWrites == 0 && job->followChoice)
        actAfterExport();
}

void ExportController::actAfterExport() {
    switch (form_.exporting->comboBox_WhatAfterExport->currentIndex()) {
    case AfterExportSelection:
        // As the step label does; a single photo has no frame selection and stays in editing.
        emit stepRequested(1);
        break;
    case AfterExportExit:
        // Once this export's own handling has returned; everything edited is written, so nothing is asked.
        QTimer::singleShot(0, this, [this] { emit exitRequested(); });
        break;
    default:
        break;
    }
}

void ExportController::stopExport() {
    if (!job_)
        return;
    job_->stop = true;
    if (job_->current)
        job_->current->cancelRender();
    if (!job_->awaitingWrite.empty()) {
        // Rendered, and nothing written yet.
        finishJob(false);
        return;
    }
    if (!writer_)
        return; // rendering: the job ends when the render does
    if (!writer_->run.running()) {
        // Its end is only waiting in the queue: the file is complete (or its failure final) and is reported
        // as any other; then the job ends.
        itemWritten();
        return;
    }
    retireWriter();
    finishJob(false);
}

void ExportController::retireWriter() {
    ++writerTicket_;
    writer_->run.cancel();
    retired_.push_back(std::move(writer_));
}

void ExportController::reapRetired() {
    for (auto it = retired_.begin(); it != retired_.end();) {
        Write& writer = **it;
        if (writer.run.running()) {
            ++it;
            continue;
        }
        // The user asked for no file, so nothing is shown; the log keeps what did happen.
        const WriteResult r = writer.run.takeResult();
        if (r.ok)
            logError("ExportController", writer.path + " was already being renamed into place when "
                                                       "its export was cancelled; it is complete");
        else if (!r.canceled)
            logError("ExportController", "Cancelled export of " + writer.path + " failed: " + r.error);
        letGo(std::move(*it));
        it = retired_.erase(it);
    }
    if (!retired_.empty())
        return;
    std::vector<PendingSave> waiting;
    waiting.swap(savesWaiting_);
    for (PendingSave& pending : waiting)
        startSave(std::move(pending));
    if (job_ && !job_->awaitingWrite.empty()) {
        const cv::Mat image = job_->awaitingWrite;
        job_->awaitingWrite.release();
        writeRendered(image);
    }
}

bool ExportController::retiredRunning() const {
    return std::any_of(retired_.begin(), retired_.end(), [](const auto& w) { return w->run.running(); });
}

void ExportController::cancelNow() {
    // A write in progress is retired and the job ends; a render in progress keeps it until the render does.
    stopExport();
    if (job_ && job_->current) {
        disconnect(job_->current, &SharpestImageSelection::renderFinished, this,
                   &ExportController::itemRendered);
        disconnect(job_->current, &SharpestImageSelection::renderProgress, this,
                   &ExportController::itemProgressed);
        job_->current->document().joinRender();
    }
    reapRetired();
    if (job_)
        finishJob(false);
}

void ExportController::exportAll(std::function<void(bool allWritten)> ended) {
    // The answer always comes from the event loop, once this call and the export's own handling have
    // returned: closing the medium then never pulls the pictures from under a running export call.
    const auto answer = [this, ended](bool allWritten) {
        QTimer::singleShot(0, this, [ended, allWritten] { ended(allWritten); });
    };
    if (!model_.hasMedium() || job_) {
        answer(false);
        return;
    }
    exportAllEnded_ = answer;
    exportingToClose_ = true;
    PushButtonEditingExportClicked(nullptr);
    exportingToClose_ = false;
    if (!job_ && exportAllEnded_) {
        // Nothing was started (no picture, or the user refused the format).
        exportAllEnded_ = nullptr;
        answer(false);
    }
}

} // namespace lumora
