// Static background of the synthetic scene. Layout is given in fractions of the frame so every resolution
// shows the same room; surfaces carry multi-scale texture so that alignment and optical flow find structure
// everywhere, and the window sits close to saturation so the scene has a real dynamic range to compress.

#include "SceneRenderer.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <vector>

namespace lumora::testmedia {

namespace {

// Maps scene fractions to canvas pixels.
struct Layout {
    double w, h;
    int margin;
    cv::Point pt(double fx, double fy) const {
        return {static_cast<int>(std::lround(margin + fx * w)),
                static_cast<int>(std::lround(margin + fy * h))};
    }
    cv::Rect rect(double fx0, double fy0, double fx1, double fy1) const {
        return {pt(fx0, fy0), pt(fx1, fy1)};
    }
};

// Smooth random field: a random grid upsampled bicubically; cellPx sets the feature size.
cv::Mat valueNoise(cv::Size size, double cellPxX, double cellPxY, cv::RNG& rng) {
    const int gw = std::max(2, static_cast<int>(std::ceil(size.width / cellPxX)) + 1);
    const int gh = std::max(2, static_cast<int>(std::ceil(size.height / cellPxY)) + 1);
    cv::Mat grid(gh, gw, CV_32F);
    rng.fill(grid, cv::RNG::UNIFORM, -1.0, 1.0);
    cv::Mat out;
    cv::resize(grid, out, size, 0, 0, cv::INTER_CUBIC);
    return out;
}

// Sum of octaves from coarse blotches down to a few pixels: texture at every scale the tests look at.
cv::Mat fractalNoise(cv::Size size, double scale, cv::RNG& rng) {
    const double cells[] = {96, 32, 12, 5, 2.5};
    const double amps[] = {0.35, 0.25, 0.2, 0.15, 0.12};
    cv::Mat sum = cv::Mat::zeros(size, CV_32F);
    for (int i = 0; i < 5; ++i) {
        const double c = std::max(2.0, cells[i] * scale);
        cv::scaleAdd(valueNoise(size, c, c, rng), amps[i], sum, sum);
    }
    return sum;
}

// Fills a rectangle with a colour modulated by the texture, so flat-looking surfaces still have detail.
void paintRect(cv::Mat& canvas, const cv::Mat& tex, cv::Rect r, cv::Vec3f colour, float texAmount) {
    r &= cv::Rect(0, 0, canvas.cols, canvas.rows);
    if (tex.empty()) {
        canvas(r).setTo(cv::Scalar(colour[0], colour[1], colour[2]));
        return;
    }
    for (int y = r.y; y < r.y + r.height; ++y) {
        auto* dst = canvas.ptr<cv::Vec3f>(y);
        const float* t = tex.ptr<float>(y);
        for (int x = r.x; x < r.x + r.width; ++x)
            dst[x] = colour * (1.f + texAmount * t[x]);
    }
}

void scaleRect(cv::Mat& canvas, cv::Rect r, double factor) {
    r &= cv::Rect(0, 0, canvas.cols, canvas.rows);
    canvas(r) *= factor;
}

cv::Vec3f hsvToBgr(double hueDeg, double sat, double val) {
    const double c = val * sat;
    const double hp = std::fmod(hueDeg, 360.0) / 60.0;
    const double x = c * (1 - std::abs(std::fmod(hp, 2.0) - 1));
    double r = 0, g = 0, b = 0;
    if (hp < 1)
        r = c, g = x;
    else if (hp < 2)
        r = x, g = c;
    else if (hp < 3)
        g = c, b = x;
    else if (hp < 4)
        g = x, b = c;
    else if (hp < 5)
        r = x, b = c;
    else
        r = c, b = x;
    const double m = val - c;
    return {static_cast<float>(b + m), static_cast<float>(g + m), static_cast<float>(r + m)};
}

// Dim room lit from the window at the upper right, warm tint, textured walls.
void paintRoom(cv::Mat& canvas, const cv::Mat& tex, const Layout& L) {
    const double aspect = L.w / L.h;
    for (int y = 0; y < canvas.rows; ++y) {
        auto* row = canvas.ptr<cv::Vec3f>(y);
        const float* t = tex.ptr<float>(y);
        const double fy = (y - L.margin) / L.h;
        for (int x = 0; x < canvas.cols; ++x) {
            const double fx = (x - L.margin) / L.w;
            const double dx = (fx - 0.75) * aspect;
            const double dy = fy - 0.3;
            const double light = 0.06 + 0.17 * std::exp(-(dx * dx + dy * dy) / (2 * 0.5 * 0.5));
            const float v = static_cast<float>(light * (1.0 + 0.5 * t[x]));
            row[x] = cv::Vec3f(0.72f * v, 0.86f * v, v);
        }
    }
}

// Wooden floor: planks of random length and tone with dark joints and grain, plus a sunlit patch.
void paintFloor(cv::Mat& canvas, const Layout& L, double scale, cv::RNG& rng) {
    const cv::Mat grain = valueNoise(canvas.size(), 70 * scale, 3 * scale, rng);
    const int top = L.pt(0, 0.76).y;
    for (int y = top; y < canvas.rows; ++y) {
        auto* row = canvas.ptr<cv::Vec3f>(y);
        const float* g = grain.ptr<float>(y);
        for (int x = 0; x < canvas.cols; ++x)
            row[x] = cv::Vec3f(0.55f, 0.75f, 1.0f) * (0.55f * (row[x][2] + 0.03f) * (1.f + 0.3f * g[x]));
    }
    const int joint = std::max(1, static_cast<int>(std::lround(1.5 * scale)));
    for (double fy = 0.76; fy < 1.0 + double(L.margin) / L.h; fy += 0.045) {
        double fx = -double(L.margin) / L.w - rng.uniform(0.0, 0.15);
        while (fx < 1.0 + double(L.margin) / L.w) {
            const double len = rng.uniform(0.08, 0.25);
            const cv::Rect plank = L.rect(fx, fy, fx + len, fy + 0.045);
            scaleRect(canvas, plank, rng.uniform(0.75, 1.25));
            cv::rectangle(canvas, plank, cv::Scalar(0.012, 0.015, 0.02), joint);
            fx += len;
        }
    }
    // Sunlight through the window falls on the floor as a slanted, soft-edged patch.
    cv::Mat patch = cv::Mat::zeros(canvas.size(), CV_32F);
    const std::vector<cv::Point> quad{L.pt(0.52, 0.80), L.pt(0.80, 0.80), L.pt(0.72, 0.98), L.pt(0.38, 0.98)};
    cv::fillConvexPoly(patch, quad, cv::Scalar(1.0));
    cv::GaussianBlur(patch, patch, cv::Size(), 4 * scale);
    for (int y = top; y < canvas.rows; ++y) {
        auto* row = canvas.ptr<cv::Vec3f>(y);
        const float* p = patch.ptr<float>(y);
        for (int x = 0; x < canvas.cols; ++x)
            row[x] *= 1.f + 3.f * p[x];
    }
}

// Bookshelf: many small rectangles of varied colour give plenty of corners for feature tracking.
void paintShelf(cv::Mat& canvas, const cv::Mat& tex, const Layout& L, cv::RNG& rng) {
    paintRect(canvas, tex, L.rect(0.03, 0.12, 0.30, 0.74), {0.05f, 0.07f, 0.10f}, 0.4f);
    paintRect(canvas, tex, L.rect(0.045, 0.14, 0.285, 0.72), {0.025f, 0.03f, 0.04f}, 0.4f);
    const double levels[] = {0.14, 0.285, 0.43, 0.575, 0.72};
    for (int i = 0; i < 4; ++i) {
        const double base = levels[i + 1];
        const double room = base - levels[i] - 0.015;
        double fx = 0.045 + rng.uniform(0.0, 0.01);
        while (true) {
            const double bw = rng.uniform(0.008, 0.022);
            if (fx + bw > 0.285)
                break;
            const double bh = room * rng.uniform(0.6, 0.95);
            const cv::Vec3f c =
                hsvToBgr(rng.uniform(0.0, 360.0), rng.uniform(0.3, 0.8), rng.uniform(0.12, 0.45));
            paintRect(canvas, tex, L.rect(fx, base - bh, fx + bw, base), c, 0.25f);
            // Label near the top of the spine.
            paintRect(canvas, tex, L.rect(fx + bw * 0.2, base - bh * 0.85, fx + bw * 0.8, base - bh * 0.75),
                      c * 1.8f, 0.1f);
            fx += bw + rng.uniform(0.0, 0.004);
        }
        paintRect(canvas, tex, L.rect(0.03, base - 0.006, 0.30, base + 0.008), {0.07f, 0.10f, 0.14f}, 0.3f);
    }
}

// Framed checkerboard poster: strong, regular corners.
void paintPoster(cv::Mat& canvas, const cv::Mat& tex, const Layout& L) {
    paintRect(canvas, tex, L.rect(0.335, 0.125, 0.505, 0.415), {0.02f, 0.02f, 0.025f}, 0.2f);
    const int nx = 8, ny = 6;
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i) {
            const double x0 = 0.345 + i * 0.15 / nx, y0 = 0.135 + j * 0.27 / ny;
            const cv::Vec3f c =
                ((i + j) % 2) ? cv::Vec3f(0.40f, 0.38f, 0.34f) : cv::Vec3f(0.05f, 0.06f, 0.08f);
            paintRect(canvas, tex, L.rect(x0, y0, x0 + 0.15 / nx, y0 + 0.27 / ny), c, 0.15f);
        }
}

// Window onto a bright exterior: sky and clouds near saturation, pale buildings, a blind of bright slats, the
// sun clipping, and dark mullions that make hard edges against the highlights.
void paintWindow(cv::Mat& canvas, const Layout& L, double scale, cv::RNG& rng) {
    const cv::Rect win = L.rect(0.56, 0.07, 0.94, 0.53);
    const cv::Mat clouds = valueNoise(canvas.size(), 40 * scale, 16 * scale, rng);
    const cv::Mat fine = valueNoise(canvas.size(), 4 * scale, 4 * scale, rng);
    for (int y = win.y; y < win.y + win.height; ++y) {
        auto* row = canvas.ptr<cv::Vec3f>(y);
        const float* c = clouds.ptr<float>(y);
        const float* f = fine.ptr<float>(y);
        const double t = double(y - win.y) / win.height;
        for (int x = win.x; x < win.x + win.width; ++x) {
            const float v = static_cast<float>(0.95 - 0.1 * t + 0.06 * std::max(0.f, c[x]) + 0.012 * f[x]);
            row[x] = cv::Vec3f(v, 0.97f * v, 0.9f * v);
        }
    }
    // Skyline in the lower part of the window, bright but below clipping, with rows of lit windows.
    double fx = 0.56;
    while (fx < 0.94) {
        const double bw = rng.uniform(0.02, 0.05);
        const double top = rng.uniform(0.32, 0.45);
        const float v = static_cast<float>(rng.uniform(0.70, 0.84));
        const cv::Rect b = L.rect(fx, top, std::min(fx + bw, 0.94), 0.53) & win;
        canvas(b).setTo(cv::Scalar(v * 0.95, v * 0.93, v * 0.9));
        for (double wy = top + 0.01; wy < 0.52; wy += 0.018)
            for (double wx = fx + 0.004; wx + 0.004 < std::min(fx + bw, 0.94); wx += 0.009) {
                const float lv = static_cast<float>(rng.uniform(0.86, 0.98));
                canvas(L.rect(wx, wy, wx + 0.004, wy + 0.008) & win).setTo(cv::Scalar(lv, lv, lv * 0.95));
            }
        fx += bw;
    }
    // Blind: slats alternating just below and at saturation, a few pixels each.
    const int slat = std::max(2, static_cast<int>(std::lround(4 * scale)));
    const int blindEnd = L.pt(0, 0.16).y;
    for (int y = win.y, k = 0; y < blindEnd; y += slat, ++k) {
        const double v = (k % 2) ? 0.995 : 0.9;
        canvas(cv::Rect(win.x, y, win.width, std::min(slat, blindEnd - y))).setTo(cv::Scalar(v, v, v * 0.97));
    }
    canvas(cv::Rect(win.x, blindEnd, win.width, slat)).setTo(cv::Scalar(0.25, 0.3, 0.35));
    // Sun: clipped disc with a glow.
    const cv::Point sun = L.pt(0.88, 0.22);
    const double sunR = 0.035 * L.h;
    for (int y = win.y; y < win.y + win.height; ++y) {
        auto* row = canvas.ptr<cv::Vec3f>(y);
        for (int x = win.x; x < win.x + win.width; ++x) {
            const double d = std::hypot(x - sun.x, y - sun.y);
            const float glow = static_cast<float>(d < sunR ? 1.0 : 0.12 * std::exp(-(d - sunR) / (2 * sunR)));
            row[x] += cv::Vec3f(glow, glow, glow);
        }
    }
    // Frame and mullions.
    const cv::Vec3f frame(0.06f, 0.07f, 0.08f);
    const cv::Mat flat; // no texture: mullions are flat paint
    const double bar = 0.012;
    paintRect(canvas, flat, L.rect(0.56, 0.07, 0.94, 0.07 + bar * 1.6), frame, 0);
    paintRect(canvas, flat, L.rect(0.56, 0.53 - bar * 1.6, 0.94, 0.53), frame, 0);
    paintRect(canvas, flat, L.rect(0.56, 0.07, 0.56 + bar, 0.53), frame, 0);
    paintRect(canvas, flat, L.rect(0.94 - bar, 0.07, 0.94, 0.53), frame, 0);
    paintRect(canvas, flat, L.rect(0.75 - bar / 2, 0.07, 0.75 + bar / 2, 0.53), frame, 0);
    paintRect(canvas, flat, L.rect(0.56, 0.33 - bar * 0.8, 0.94, 0.33 + bar * 0.8), frame, 0);
    paintRect(canvas, flat, L.rect(0.545, 0.53, 0.955, 0.55), {0.30f, 0.33f, 0.36f}, 0);
}

// Table under the window with a lamp: a second highlight inside the room.
void paintFurniture(cv::Mat& canvas, const cv::Mat& tex, const Layout& L) {
    const cv::Vec3f wood(0.05f, 0.09f, 0.15f);
    paintRect(canvas, tex, L.rect(0.52, 0.66, 0.96, 0.685), wood, 0.35f);
    paintRect(canvas, tex, L.rect(0.54, 0.685, 0.555, 0.90), wood * 0.8f, 0.35f);
    paintRect(canvas, tex, L.rect(0.925, 0.685, 0.94, 0.90), wood * 0.8f, 0.35f);
    const std::vector<cv::Point> shade{L.pt(0.60, 0.56), L.pt(0.64, 0.56), L.pt(0.655, 0.615),
                                       L.pt(0.585, 0.615)};
    cv::fillConvexPoly(canvas, shade, cv::Scalar(0.45, 0.68, 0.85));
    paintRect(canvas, tex, L.rect(0.617, 0.615, 0.623, 0.66), {0.1f, 0.1f, 0.1f}, 0.2f);
    const cv::Point bulb = L.pt(0.62, 0.625);
    const double r = 0.05 * L.h;
    const cv::Rect box = cv::Rect(bulb.x - 4 * int(r), bulb.y - 4 * int(r), 8 * int(r), 8 * int(r)) &
                         cv::Rect(0, 0, canvas.cols, canvas.rows);
    for (int y = box.y; y < box.y + box.height; ++y) {
        auto* row = canvas.ptr<cv::Vec3f>(y);
        for (int x = box.x; x < box.x + box.width; ++x) {
            const double d2 = (x - bulb.x) * (x - bulb.x) + (y - bulb.y) * (y - bulb.y);
            const float g = static_cast<float>(0.5 * std::exp(-d2 / (2 * r * r)));
            row[x] += cv::Vec3f(0.6f * g, 0.85f * g, g);
        }
    }
}

} // namespace

cv::Mat buildSceneCanvas(cv::Size frameSize, int margin) {
    const cv::Size cs(frameSize.width + 2 * margin, frameSize.height + 2 * margin);
    const double scale = frameSize.height / 720.0;
    const Layout L{double(frameSize.width), double(frameSize.height), margin};
    cv::RNG rng(0x5CE4E); // fixed: the scene must be identical on every run

    const cv::Mat tex = fractalNoise(cs, scale, rng);
    cv::Mat canvas(cs, CV_32FC3);
    paintRoom(canvas, tex, L);
    paintFloor(canvas, L, scale, rng);
    paintShelf(canvas, tex, L, rng);
    paintPoster(canvas, tex, L);
    paintWindow(canvas, L, scale, rng);
    paintFurniture(canvas, tex, L);
    cv::max(canvas, 0.0, canvas);
    cv::min(canvas, 1.0, canvas);
    return canvas;
}

} // namespace lumora::testmedia
