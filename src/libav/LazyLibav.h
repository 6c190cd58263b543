#pragma once
// libav (libavformat, libavcodec, libavutil, libswscale) loaded on the first call into it rather than when a
// program starts: its libraries pull in some hundred others, which every start would pay for, even one that
// never opens a video. The project calls libav as usual; the linked entry points bind themselves.

#include "app/Status.h"

namespace lumora::libav {

// Loads libav now if it is not loaded yet; fails with the loader's reason when a library is missing.
Status available();

} // namespace lumora::libav
