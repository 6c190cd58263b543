#include "FuzzSeeds.h"

#include "presets/PresetFiles.h"

#ifdef LUMORA_FUZZ_DECODE
#include "HeifEncode.h"
#include "imageio/DecodeProtocol.h"
#include "imageio/LibraryAdapters.h"
#endif
#ifdef LUMORA_FUZZ_IMAGE_HEADER
#include "ImageHeaderBytes.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#endif

#include <fstream>
#include <sstream>

namespace lumora::fuzz {
namespace {

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The seeds that could be made: a codec this build lacks leaves its seed empty.
[[maybe_unused]] std::vector<Seed> nonEmpty(std::vector<Seed> seeds) {
    std::vector<Seed> kept;
    for (Seed& s : seeds)
        if (!s.bytes.empty())
            kept.push_back(std::move(s));
    return kept;
}

std::vector<Seed> presetSeeds(const std::string& sourceDir) {
    const std::string shipped = fileText(sourceDir + "/resources/Presets/default.xml");
    PresetRecord user = blankPresetRecord();
    user.name = "Évening <glow> & \"haze\"";
    user.applyTM = false;
    user.TMAlgo = 3;
    user.alpha = -45;
    user.sharpeningAmount = 120;
    return {
        {"default.xml", shipped},
        {"default-cut.xml", shipped.substr(0, shipped.size() / 2)},
        {"builtin.xml", presetDocumentText(builtInPresets())},
        {"user.xml", presetDocumentText({user})},
        {"odd-values.xml",
         "<?xml version=\"1.0\"?>\n<preset><name/><applyTM>1</applyTM><alpha>0x1f</alpha>"
         "<beta>-2147483648</beta><gamma>99999999999</gamma></preset>\n<other><name>b</name>"
         "</other><!-- c --><preset><name><![CDATA[x]]></name></preset>"},
    };
}

std::vector<Seed> languageSeeds(const std::string& sourceDir) {
    return {
        {"English.txt", fileText(sourceDir + "/resources/Lang/English.txt")},
        {"Francais.txt", fileText(sourceDir + "/resources/Lang/Francais.txt")},
        {"small.txt",
         "#lang:Deutsch\r\n#V:2.0.3.1\r\n# comment\r\nOk:=OK\r\nTwo lines:=a\\nb\\\\n\r\n:=empty key\r\n"},
    };
}

std::vector<Seed> settingsSeeds() {
    const std::string ini =
        "[GeneralSettings]\n"
        "ChosenLanguage=Francais\nWindowMode=1\nOverExposedLimit=97\nUnderExposedLimit=3\n"
        "JPGQuality=90\nPNGCompression=6\nNbSharpenImages=5\n\n"
        "[UserParameters]\n"
        "savingFilterIndexForHDRImage=2\nsavingFilterIndexForTMImage=1\n"
        "fastPreviewChecked=true\nhighlightOverExposed=false\nhighlightUnderExposed=1\n"
        "DoNotShowUpdates=false\nisFirstRunVersion=false\n\n"
        "[MainWindow]\nwidth=1400\nheight=900\nposX=-20\nposY=35\nmaximized=true\n\n"
        "[RecentFiles]\nrecentFiles=/home/ann/burst/IMG_0001.jpg, \"/home/ann/a, b.mp4\"\n\n"
        "[DialogSettings]\nwidth=640\nheight=480\nposX=3000\nposY=-5\n\n"
        "[ShowLogDialog]\nwidth=99999\nheight=0\n\n"
        "[General]\ncurrentVersion=2.0.3\n";
    return {
        {"typical.ini", ini},
        {"odd.ini", "[GeneralSettings]\nWindowMode=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x1)\nJPGQuality=1e3\n"
                    "OverExposedLimit=\"98\"\n[UserParameters]\nfastPreviewChecked=@ByteArray(true)\n"
                    "[MainWindow]\nwidth=2147483648\n%U4E00=\\x4e00\n"},
    };
}

#ifdef LUMORA_FUZZ_DECODE
std::string bytesOf(const decode::Bytes& b) {
    return std::string(b.begin(), b.end());
}

std::vector<Seed> decodeSeeds() {
    using namespace decode;
    Request read{RequestKind::Read, false, Fault::None, "/home/ann/burst/IMG_0001.jpg"};
    Request preview{RequestKind::Read, true, Fault::None, "/tmp/x.CR2"};
    Request fault{RequestKind::Fault, false, Fault::Hang, ""};
    ResponseHeader ok;
    ok.status = decode::Status::Ok;
    ok.rows = 3000;
    ok.cols = 4000;
    ok.type = 18; // CV_16UC3
    ResponseHeader unreadable;
    unreadable.status = decode::Status::Unreadable;
    unreadable.error = "no reader could decode /tmp/x.psd";
    ResponseHeader refused;
    refused.status = decode::Status::Refused;
    refused.error = "not a regular file";
    return {
        {"request-read", bytesOf(encodeRequest(read))},
        {"request-preview", bytesOf(encodeRequest(preview))},
        {"request-fault", bytesOf(encodeRequest(fault))},
        {"response-ok", bytesOf(encodeResponseHeader(ok))},
        {"response-unreadable", bytesOf(encodeResponseHeader(unreadable))},
        {"response-refused", bytesOf(encodeResponseHeader(refused))},
        {"two-requests", bytesOf(encodeRequest(read)) + bytesOf(encodeRequest(fault))},
    };
}

// Small HEIC and AVIF photos, one turned, two small OpenEXR light images, and the start of the Canon raw file
// of rawtran-doc when it is installed (its header and directories; the sensor data would only slow the
// fuzzer).
std::vector<Seed> photoSeeds() {
    cv::Mat image(24, 32, CV_8UC3);
    for (int y = 0; y < image.rows; ++y)
        for (int x = 0; x < image.cols; ++x)
            image.at<cv::Vec3b>(y, x) = cv::Vec3b(uchar(x * 7), uchar(y * 9), uchar((x + y) * 4));
    std::vector<Seed> seeds = {
        {"small.heic", test::encodeHeif(image, heif_compression_HEVC)},
        {"turned.heic", test::encodeHeif(image, heif_compression_HEVC, heif_orientation_rotate_90_cw)},
        {"small.avif", test::encodeHeif(image, heif_compression_AV1)},
        {"canon-head.cr2", fileText("/usr/share/doc/rawtran/IMG_5952.CR2").substr(0, 64 * 1024)},
    };
    // OpenEXR light as Lumora writes it, in half and in full float.
    cv::Mat light;
    image.convertTo(light, CV_32FC3, 1.0 / 64.0);
    for (const bool half : {true, false}) {
        imageio::Bytes bytes;
        std::string why;
        if (imageio::exr::encode(light, half, 203.0, &bytes, &why))
            seeds.push_back({half ? "half.exr" : "float.exr", std::string(bytes.begin(), bytes.end())});
    }
    return nonEmpty(std::move(seeds));
}
#endif

#ifdef LUMORA_FUZZ_IMAGE_HEADER
std::string encoded(const std::string& ext, const cv::Mat& image) {
    std::vector<unsigned char> out;
    try {
        if (!cv::imencode(ext, image, out))
            return {};
    } catch (const cv::Exception&) {
        return {}; // a codec this OpenCV build lacks
    }
    return std::string(out.begin(), out.end());
}

std::vector<Seed> imageSeeds() {
    cv::Mat image(11, 17, CV_8UC3);
    for (int y = 0; y < image.rows; ++y)
        for (int x = 0; x < image.cols; ++x)
            image.at<cv::Vec3b>(y, x) = cv::Vec3b(uchar(x * 15), uchar(y * 23), uchar((x + y) * 9));
    cv::Mat gray, wide, real;
    cv::cvtColor(image, gray, cv::COLOR_BGR2GRAY);
    image.convertTo(wide, CV_16UC3, 257.0);
    image.convertTo(real, CV_32FC3, 1.0 / 255.0);
    const cv::Mat narrow = real.colRange(0, 5); // too narrow for run-length rows

    std::vector<Seed> seeds = {
        {"small.png", encoded(".png", image)},   {"small16.png", encoded(".png", wide)},
        {"small.jpg", encoded(".jpg", image)},   {"small.tif", encoded(".tif", image)},
        {"small16.tif", encoded(".tif", wide)},  {"small32.tif", encoded(".tif", real)},
        {"small.bmp", encoded(".bmp", image)},   {"small.hdr", encoded(".hdr", real)},
        {"small.pgm", encoded(".pgm", gray)},    {"small.ppm", encoded(".ppm", image)},
        {"small.pfm", encoded(".pfm", real)},    {"small.pam", encoded(".pam", image)},
        {"small.webp", encoded(".webp", image)}, {"narrow.hdr", encoded(".hdr", narrow)},
    };
    // Formats OpenCV does not write: their headers built to the same size.
    const auto text = [](const test::Bytes& b) { return std::string(b.begin(), b.end()); };
    seeds.push_back({"small.psd", text(test::psdDeclaring(17, 11))});
    seeds.push_back({"small.gif", text(test::gifDeclaring(17, 11, 0, 0, 17, 11))});
    seeds.push_back({"exr-header", text(test::exrWindow(0, 0, 16, 10))});
    return nonEmpty(std::move(seeds));
}
#endif

} // namespace

std::vector<std::string> harnessNames() {
    std::vector<std::string> names = {"presets", "language", "settings"};
#ifdef LUMORA_FUZZ_DECODE
    names.push_back("decode");
    names.push_back("photos");
#endif
#ifdef LUMORA_FUZZ_IMAGE_HEADER
    names.push_back("imageheader");
#endif
    return names;
}

std::vector<Seed> seedsFor(const std::string& harness, const std::string& sourceDir) {
    if (harness == "presets")
        return presetSeeds(sourceDir);
    if (harness == "language")
        return languageSeeds(sourceDir);
    if (harness == "settings")
        return settingsSeeds();
#ifdef LUMORA_FUZZ_DECODE
    if (harness == "decode")
        return decodeSeeds();
    if (harness == "photos")
        return photoSeeds();
#endif
#ifdef LUMORA_FUZZ_IMAGE_HEADER
    if (harness == "imageheader")
        return imageSeeds();
#endif
    return {};
}

} // namespace lumora::fuzz
