#pragma once
// What a video's pictures mean: sample depth, the matrix and range their YUV samples were coded with, and the
// transfer and primaries of the light they describe. Read from the stream's tags, with the rule players use
// for untagged streams.

#include <string>

namespace lumora {

struct VideoColour {
    enum class Matrix { BT601, BT709, BT2020 };
    enum class Transfer { SDR, HLG, PQ };
    enum class Primaries { BT709, BT601, BT2020, Unknown };

    int bitDepth = 8;
    Matrix matrix = Matrix::BT601;
    bool fullRange = false;
    Transfer transfer = Transfer::SDR;
    Primaries primaries = Primaries::BT709;
    // False when the stream states no matrix and the untagged rule chose it.
    bool matrixTagged = false;

    bool isHdr() const { return transfer != Transfer::SDR; }
};

const char* matrixName(VideoColour::Matrix m);
const char* transferName(VideoColour::Transfer t);
const char* primariesName(VideoColour::Primaries p);

// Untagged streams: HD and larger pictures are taken as BT.709, smaller ones as BT.601, as players do.
VideoColour::Matrix untaggedMatrix(int width, int height);

} // namespace lumora
