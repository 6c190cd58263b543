#pragma once
// Which files are media: the still-image and video extensions the program opens, and the frame order of a
// burst of photos.

#include <string>
#include <vector>

namespace lumora {

// Lower-case extensions without the dot.
const std::vector<std::string>& stillImageExtensions();
const std::vector<std::string>& videoExtensions();

// The text after the last '.' of the file name, lower-cased; empty when there is none.
std::string lowerSuffix(const std::string& path);
bool hasStillImageExtension(const std::string& path);
bool hasVideoExtension(const std::string& path);

// Frame order of a burst: ascending, case-sensitive order of the paths.
std::vector<std::string> sortedBurstFiles(std::vector<std::string> files);

// The still-image files directly inside `folder`, in burst order; empty when there are none.
std::vector<std::string> burstFilesInFolder(const std::string& folder);

} // namespace lumora
