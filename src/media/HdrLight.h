#pragma once
// Linear light from the code values of HDR video frames (16-bit BGR, as the decoder delivers 10-bit HLG or
// PQ pictures): each channel through its transfer's inverse, then BT.2020 primaries converted to BT.709.

#include "media/VideoColour.h"

#include <opencv2/core.hpp>

namespace lumora {

// What a light sample of 1.0 stands for before normalisation: HLG scene light relative to HLG's reference
// white (a signal of 0.75), PQ display light in nits.
double hdrLightOfCode(VideoColour::Transfer transfer, double code);

// 32-bit float BGR linear light of a 16-bit BGR frame in `colour`'s transfer. BT.2020 frames are converted to
// BT.709 primaries; a colour outside BT.709 has its negative components set to 0 (the others are kept), so
// no negative or NaN sample leaves here. Empty for frames that are not 16-bit three-channel.
cv::Mat hdrLinearLight(const cv::Mat& frame, const VideoColour& colour);

// An SDR picture of an HLG or PQ frame, for showing and for editing a single frame: its linear BT.709 light
// scaled so that reference white is 1 (HLG: a signal of 0.75; PQ: 203 nits, as ITU-R BT.2408 places it),
// light above rolled off towards the transfer's usual peak (extended Reinhard, x (1 + x / p^2) / (1 + x),
// with p = 3.77 for HLG's peak and 1000 nits / 203 for PQ; brighter light clips), then coded with the 1/2.2
// power as 16-bit BGR. Other frames are returned as they are.
cv::Mat hdrDisplayFrame(const cv::Mat& frame, const VideoColour& colour);

// BT.2020 to BT.709, linear RGB (rows: R, G, B of BT.709).
extern const double kBt2020ToBt709[3][3];

} // namespace lumora
