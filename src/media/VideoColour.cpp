#include "media/VideoColour.h"

namespace lumora {

const char* matrixName(VideoColour::Matrix m) {
    switch (m) {
    case VideoColour::Matrix::BT601:
        return "BT.601";
    case VideoColour::Matrix::BT709:
        return "BT.709";
    case VideoColour::Matrix::BT2020:
        return "BT.2020";
    }
    return "unknown";
}

const char* transferName(VideoColour::Transfer t) {
    switch (t) {
    case VideoColour::Transfer::SDR:
        return "SDR";
    case VideoColour::Transfer::HLG:
        return "HLG";
    case VideoColour::Transfer::PQ:
        return "PQ";
    }
    return "unknown";
}

const char* primariesName(VideoColour::Primaries p) {
    switch (p) {
    case VideoColour::Primaries::BT709:
        return "BT.709";
    case VideoColour::Primaries::BT601:
        return "BT.601";
    case VideoColour::Primaries::BT2020:
        return "BT.2020";
    case VideoColour::Primaries::Unknown:
        return "unknown";
    }
    return "unknown";
}

VideoColour::Matrix untaggedMatrix(int width, int height) {
    return width >= 1280 || height >= 720 ? VideoColour::Matrix::BT709 : VideoColour::Matrix::BT601;
}

} // namespace lumora
