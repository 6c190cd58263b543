#pragma once
// libav (libavformat, libavcodec, libavutil, libswscale) loaded on the first call into it rather than when a
// program starts: its libraries pull in some hundred others, which every start would pay for, even one that
// never opens a video. The project calls libav as usual; the linked entry points bind themselves.

#include <string>

namespace lumora::libav {

// Loads libav now if it is not loaded yet; false with the loader's reason when a library is missing.
bool available(std::string* error = nullptr);

} // namespace lumora::libav
