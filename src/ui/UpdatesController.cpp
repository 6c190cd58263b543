#include "ui/UpdatesController.h"

#include "app/AppIdentity.h"
#include "app/EventLog.h"
#include "app/MessageService.h"
#include "app/Settings.h"
#include "i18n/LanguageEngine.h"
#include "net/UpdatePage.h"
#include "ui/WindowModel.h"

#include <QDesktopServices>

namespace lumora {

UpdatesController::UpdatesController(const WindowContext& context) : messages_(context.messages) {
    connect(&fetcher_, &PageFetcher::finished, this, &UpdatesController::resultCheckingUpdates);
}

void UpdatesController::startAutomaticCheck() {
    check(true);
}

void UpdatesController::checkUpdates() {
    check(false);
}

void UpdatesController::check(bool automatic) {
    // A check asked for while the start-up one is still waiting replaces it and is answered as asked.
    const QString address = settings::read(settings::UpdateAddress);
    if (automatic && address.isEmpty())
        return; // turned off by the packager or the user
    automatic_ = automatic;
    fetcher_.fetch(QUrl(address));
}

void UpdatesController::resultCheckingUpdates(bool ok, const QString& text, const QString& failure) {
    MessageService& messages = messages_;
    const UpdateOffer offer = ok ? readUpdatePage(text) : UpdateOffer{};
    if (!offer.isValid()) {
        logError("checkUpdates", ok ? "the update page names no readable version and download address"
                                    : failure.toStdString());
        if (!automatic_)
            messages.show(MessageKind::Error, translatedText("Error"), translatedText("ExplanationError"));
        return;
    }

    const QString running = QString::fromLatin1(kApplicationVersion);
    const bool wanted = !automatic_ || !settings::read(settings::DoNotShowUpdates);
    if (!wanted || !isNewerVersion(offer.version, running)) {
        if (!automatic_)
            messages.show(MessageKind::Information, translatedText("LumoraUpdates"),
                          translatedText("NoUpdates"));
        return;
    }

    QString question = translatedText("NewVersionText").arg(offer.version);
    if (versionNumbers(offer.version).front() > versionNumbers(running).front())
        question += translatedText("NoteForNewVersion");
    bool doNotShowAgain = false;
    const bool open =
        messages.askWithCheckBox(translatedText("NewVersion"), question,
                                 automatic_ ? translatedText("DoNotShowAgain") : QString(), &doNotShowAgain);
    if (open && !QDesktopServices::openUrl(offer.address))
        logError("checkUpdates", "no program opened " + offer.address.toString().toStdString());
    if (doNotShowAgain)
        settings::write(settings::DoNotShowUpdates, true);
}

} // namespace lumora
