#include "Scene.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "Random.h"

namespace brimsal::synth {

namespace {

// The window: a sky seen through four panes, its brightest channel 1.0.
constexpr Rgb kSky = {0.80, 0.92, 1.00};
// Window frame and mullions: dark wood, 9 EV below the sky.
constexpr Rgb kWindowFrame = {0.0025, 0.0019, 0.0013};
// Grey wedge: patches at -1, -3, ..., -15 EV. Odd EVs keep every patch two stops away from
// clipping in the brightest frame that holds it when frames are 2 EV apart.
constexpr int kWedgePatches = 8;
constexpr int kBrightestWedgeEv = -1;
constexpr int kWedgeEvStep = -2;
// Wall behind everything: a gradient from 14 EV to 1 EV below the window, so every pair of
// neighbouring frames shares well exposed pixels, with a fine mottled texture on top.
constexpr double kWallDarkEv = -14.0;
constexpr double kWallBrightEv = -1.5;
constexpr Rgb kWallTint = {1.0, 0.93, 0.82};
constexpr double kWallMottle = 0.35;
constexpr int kWallMottleCell = 6;  // pixels between the texture's lattice points
// Texture block: a fabric of stripes whose period runs from 2 to 12 pixels (left half) and a
// per-pixel grain in every channel (right half).
constexpr Rgb kFabric = {0.030, 0.026, 0.020};
constexpr double kStripeDepth = 0.8;
constexpr double kShortestPeriod = 2.0;
constexpr double kPeriodRange = 10.0;
constexpr Rgb kGrain = {0.006, 0.008, 0.007};
constexpr double kGrainDepth = 0.7;

struct ColourPatch {
    const char* name;
    Rgb radiance;
};
constexpr std::array<ColourPatch, 6> kColourPatches = {{
    {"red", {0.200, 0.030, 0.020}},
    {"green", {0.040, 0.160, 0.030}},
    {"blue", {0.020, 0.040, 0.220}},
    {"cyan", {0.030, 0.120, 0.160}},
    {"magenta", {0.150, 0.030, 0.140}},
    {"yellow", {0.220, 0.180, 0.030}},
}};

// The warm scene: the wall alternates tungsten-lit and sky-lit bands of rows, and the panes show
// a sunset and a blue sky; each brightest channel stays 1.0 so the exposures match the standard
// scene's.
constexpr Rgb kTungstenTint = {1.0, 0.42, 0.20};
constexpr Rgb kSkyTint = {0.22, 0.45, 1.0};
constexpr int kWarmWallBands = 8;
constexpr std::array<Rgb, 4> kWarmPanes = {{
    {1.00, 0.40, 0.12},
    {1.00, 0.55, 0.25},
    {0.25, 0.45, 1.00},
    {0.55, 0.35, 1.00},
}};

// Lamps and lights right of the colour patches. Every channel of a lamp, as either camera sees
// it, frees at least twice the well in the darkest frame. The red light clips red there and keeps
// the others; the cyan light clips green from the second frame on, where the mixing camera's
// sRGB mix of it stays below every output channel's share of the threshold.
struct Light {
    const char* name;
    Tone tone;
    Rgb radiance;
};
constexpr std::array<Light, 6> kLights = {{
    {"white lamp", Tone::kLamp, {12.0, 12.0, 12.0}},
    {"warm lamp", Tone::kLamp, {16.0, 9.0, 7.0}},
    {"blue lamp", Tone::kLamp, {10.0, 10.0, 22.0}},
    {"green lamp", Tone::kLamp, {10.0, 18.0, 9.0}},
    {"red light", Tone::kHighlight, {9.0, 1.2, 0.6}},
    {"cyan light", Tone::kHighlight, {0.12, 0.6, 0.6}},
}};

Tone WedgeTone(int ev) {
    return ev <= -11 ? Tone::kShadow : ev >= -1 ? Tone::kHighlight : Tone::kMidtone;
}

void Fill(float* out, int x0, int x1, const Rgb& radiance) {
    for (int x = x0; x < x1; ++x) {
        for (int c = 0; c < 3; ++c) {
            out[x * 3 + c] = static_cast<float>(radiance[c]);
        }
    }
}

}  // namespace

Scene::Scene(int width, int height, uint64_t seed, SceneStyle style)
    : width_(width), height_(height), seed_(seed), style_(style) {
    texture_ = FromFractions(0.04, 0.05, 0.58, 0.47);
    window_ = FromFractions(0.62, 0.05, 0.96, 0.47);

    for (int i = 0; i < kWedgePatches; ++i) {
        const int ev = kBrightestWedgeEv + kWedgeEvStep * (kWedgePatches - 1 - i);
        const double u0 = 0.04 + 0.115 * i;
        const Rect r = FromFractions(u0, 0.73, u0 + 0.105, 0.93);
        const double level = std::ldexp(1.0, ev);
        flat_.push_back({"grey " + std::to_string(ev) + " EV",
                         WedgeTone(ev),
                         r.x0,
                         r.y0,
                         r.x1,
                         r.y1,
                         {level, level, level}});
    }
    for (size_t i = 0; i < kColourPatches.size(); ++i) {
        const double u0 = 0.04 + 0.09 * static_cast<double>(i);
        const Rect r = FromFractions(u0, 0.53, u0 + 0.08, 0.67);
        flat_.push_back({kColourPatches[i].name, Tone::kColour, r.x0, r.y0, r.x1, r.y1,
                         kColourPatches[i].radiance});
    }
    if (style == SceneStyle::kLamps) {
        for (size_t i = 0; i < kLights.size(); ++i) {
            const double u0 = 0.595 + 0.062 * static_cast<double>(i);
            const Rect r = FromFractions(u0, 0.53, u0 + 0.052, 0.67);
            flat_.push_back(
                {kLights[i].name, kLights[i].tone, r.x0, r.y0, r.x1, r.y1, kLights[i].radiance});
        }
    }
    // Four panes inside a frame and a cross of mullions 3 % of the window's width and height.
    const double bar_u = 0.34 * 0.03;
    const double bar_v = 0.42 * 0.03;
    const double pane_w = (0.34 - 3 * bar_u) / 2;
    const double pane_h = (0.42 - 3 * bar_v) / 2;
    int pane = 1;
    for (int row = 0; row < 2; ++row) {
        for (int col = 0; col < 2; ++col) {
            const double u0 = 0.62 + bar_u + col * (pane_w + bar_u);
            const double v0 = 0.05 + bar_v + row * (pane_h + bar_v);
            const Rect r = FromFractions(u0, v0, u0 + pane_w, v0 + pane_h);
            const Rgb& sky =
                style != SceneStyle::kStandard ? kWarmPanes[static_cast<size_t>(pane - 1)] : kSky;
            flat_.push_back({"window pane " + std::to_string(pane++), Tone::kHighlight, r.x0, r.y0,
                             r.x1, r.y1, sky});
        }
    }
}

Scene::Rect Scene::FromFractions(double u0, double v0, double u1, double v1) const {
    auto at = [](double fraction, int size) {
        return static_cast<int>(std::nearbyint(fraction * size));
    };
    return {at(u0, width_), at(v0, height_), at(u1, width_), at(v1, height_)};
}

double Scene::RangeEv() const {
    double darkest = 1e30;
    for (const auto& region : flat_) {
        darkest =
            std::min(darkest, *std::min_element(region.radiance.begin(), region.radiance.end()));
    }
    return std::log2(1.0 / darkest);  // the window's brightest channel is 1.0 in both looks
}

void Scene::RadianceRow(int y, float* out) const {
    Wall(y, out);
    if (texture_.Contains(y)) {
        Texture(y, out);
    }
    if (window_.Contains(y)) {
        Fill(out, window_.x0, window_.x1, kWindowFrame);
    }
    for (const auto& region : flat_) {
        if (y >= region.y0 && y < region.y1) {
            Fill(out, region.x0, region.x1, region.radiance);
        }
    }
}

// A diagonal gradient in EV (darker to the left and at the bottom) times a smooth mottle: value
// noise on a lattice, bilinearly interpolated.
void Scene::Wall(int y, float* out) const {
    const double v = height_ > 1 ? static_cast<double>(y) / (height_ - 1) : 0.0;
    const int cell_y = y / kWallMottleCell;
    const double fy = static_cast<double>(y % kWallMottleCell) / kWallMottleCell;
    const bool tungsten_band = (y * kWarmWallBands / std::max(1, height_)) % 2 == 0;
    const Rgb& tint = style_ == SceneStyle::kStandard ? kWallTint
                      : tungsten_band                 ? kTungstenTint
                                                      : kSkyTint;
    for (int x = 0; x < width_; ++x) {
        const double u = width_ > 1 ? static_cast<double>(x) / (width_ - 1) : 0.0;
        const double ev = kWallDarkEv + (kWallBrightEv - kWallDarkEv) * (0.75 * u + 0.25 * (1 - v));
        const int cell_x = x / kWallMottleCell;
        const double fx = static_cast<double>(x % kWallMottleCell) / kWallMottleCell;
        auto lattice = [&](int cx, int cy) {
            return HashUniform(seed_, static_cast<uint64_t>(cx), static_cast<uint64_t>(cy));
        };
        const double noise =
            (1 - fy) * ((1 - fx) * lattice(cell_x, cell_y) + fx * lattice(cell_x + 1, cell_y)) +
            fy * ((1 - fx) * lattice(cell_x, cell_y + 1) + fx * lattice(cell_x + 1, cell_y + 1));
        const double level = std::exp2(ev) * (1 + kWallMottle * (2 * noise - 1));
        for (int c = 0; c < 3; ++c) {
            out[x * 3 + c] = static_cast<float>(level * tint[c]);
        }
    }
}

void Scene::Texture(int y, float* out) const {
    const int middle = (texture_.x0 + texture_.x1) / 2;
    const double row_fraction =
        static_cast<double>(y - texture_.y0) / std::max(1, texture_.y1 - texture_.y0);
    const double period = kShortestPeriod + kPeriodRange * row_fraction;
    for (int x = texture_.x0; x < middle; ++x) {
        const double phase = 2 * std::numbers::pi * (x - texture_.x0) / period;
        const double factor = 1 + kStripeDepth * std::sin(phase);
        for (int c = 0; c < 3; ++c) {
            out[x * 3 + c] = static_cast<float>(kFabric[c] * factor);
        }
    }
    for (int x = middle; x < texture_.x1; ++x) {
        for (int c = 0; c < 3; ++c) {
            const double h =
                HashUniform(seed_ + 1 + c, static_cast<uint64_t>(x), static_cast<uint64_t>(y));
            out[x * 3 + c] = static_cast<float>(kGrain[c] * (1 + kGrainDepth * (2 * h - 1)));
        }
    }
}

}  // namespace brimsal::synth
