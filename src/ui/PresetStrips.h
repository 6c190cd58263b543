#pragma once
// The two preset strips under the edited picture: the built-in strip (Basic: the three built-in presets;
// otherwise the presets of default.xml) and the user's presets, each a row of thumbnails of the edited
// picture. What a click on a thumbnail does belongs to the editing page; the strips only report it. The mouse
// wheel over a strip scrolls it sideways.

#include "presets/PresetFiles.h"

#include <QObject>
#include <opencv2/core.hpp>

#include <vector>

class QBoxLayout;
class QThread;

namespace lumora {

class PresetImage;
struct WindowForm;

class PresetStrips : public QObject {
    Q_OBJECT
public:
    explicit PresetStrips(const WindowForm& form);

    // Empties both strips and fills them again (preset lists read on first use).
    void build(bool builtInOnly);
    // Thumbnails of `image` (any depth, full size) in every strip; the same image again renders nothing.
    void setSource(const cv::Mat& image);
    void clear();
    std::vector<PresetImage*> builtIn() const { return builtIn_; }
    std::vector<PresetImage*> user() const { return user_; }
    // The user strip follows the user's list: a preset added at its end, changed or removed in place.
    void appendUser(const PresetRecord& preset);
    void replaceUser(int index, const PresetRecord& preset);
    void removeUser(int index);

signals:
    void presetClicked(lumora::PresetImage* image);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    PresetImage* add(QBoxLayout* layout, const PresetRecord& preset, std::vector<PresetImage*>& into);
    void fill(QBoxLayout* layout, const std::vector<PresetRecord>& presets, std::vector<PresetImage*>& into);
    void stopWork() const;

    const WindowForm& form_;
    std::vector<PresetImage*> builtIn_;
    std::vector<PresetImage*> user_;
    cv::Mat source_; // the picture shown, as given
    cv::Mat small_;  // the same at thumbnail size
};

} // namespace lumora
