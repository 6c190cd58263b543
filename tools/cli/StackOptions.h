#pragma once
// What `stack` and `render` share: opening MEDIA as a sequence, and the stacking options in the positions the
// window's controls use.

#include "CommandLine.h"
#include "stacking/StackingChoices.h"

#include <QStringList>
#include <memory>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

namespace lumora {
class ImagesSequence;
}

namespace lumora::cli {

// The window's defaults: 8 frames each side, quality good, anti-ghosting high, automatic motion, aligned.
using StackOptions = StackingChoices;

// Declares the stacking options (--before, --after, --quality, --antighost, --motion, --align, --no-align,
// --search) and reads them into `options`; false after printing a usage error.
void addStackOptions(CommandLine& line);
bool readStackOptions(CommandLine& line, StackOptions& options);

// A video, a folder of photos or several photos; null with the reason in `problem` otherwise.
std::unique_ptr<ImagesSequence> openSequence(const std::vector<std::string>& media, std::string* problem);

// Opens MEDIA and checks that frame `index` exists; otherwise prints "lumora-cli COMMAND: reason" on stderr
// and returns null.
std::unique_ptr<ImagesSequence> openSequenceAt(const char* command, const std::vector<std::string>& media,
                                               int index);

// The window of frames around `index`, clipped to the sequence (the window's own mapping).
StackingParams stackingParams(const StackOptions& options, ImagesSequence& sequence, int index);

// Runs the stack on the calling thread: the light image, or empty with the reason in `why`. `whiteLight`,
// when given, receives the light image's level of diffuse white (see HdrExport.h).
cv::Mat stackLightImage(StackingParams& params, std::string* why, double* whiteLight = nullptr);

} // namespace lumora::cli
