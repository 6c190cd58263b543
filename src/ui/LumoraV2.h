#pragma once
// The main window: owns the form and the open workspace and wires the per-feature controllers. It keeps only
// the behaviour that belongs to the window itself (texts, settings and log dialogs, about box, geometry).

#include <QMainWindow>
#include <memory>

namespace Ui {
class LumoraV2;
}

namespace lumora {

class MessageService;

class LumoraV2 : public QMainWindow {
    Q_OBJECT
public:
    // `messages` defaults to Qt's message boxes and file dialogs; tests pass a scripted service.
    explicit LumoraV2(std::shared_ptr<MessageService> messages = nullptr, QWidget* parent = nullptr);
    ~LumoraV2() override;

    // Opens a video, a burst or a single photo given by path; false (after telling the user) when it cannot.
    bool openMediaByPath(const QString& path);

    MessageService& messages() { return *messages_; }

public slots:
    void showGeneralSettings();
    void showLog();
    void about();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void prepareUserDirectories();
    void restoreWindowGeometry();
    void loadLanguage();
    void refreshTexts();

    std::unique_ptr<Ui::LumoraV2> ui_;
    std::shared_ptr<MessageService> messages_;
    int overExposedLimit_ = 98;
    int underExposedLimit_ = 2;
};

} // namespace lumora
