// The synthetic scene: linear RGB radiance per pixel, with a bright window, deep shadows, fine
// texture, colour patches and a grey step wedge, laid out in fractions of the picture so that
// any size (from a few hundred pixels to 24 MP and more) shows the same scene.
//
// Radiance is relative: the window's brightest channel is 1.0 and the darkest wedge patch is
// 2^-15, so the scene spans 15 EV from its darkest flat patch to the window. y = 0 is the top.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace brimsal::synth {

using Rgb = std::array<double, 3>;

// What a flat region is for in quality checks. kLamp: beyond every frame's range, clipped in
// every channel of the darkest frame.
enum class Tone { kShadow, kMidtone, kHighlight, kColour, kLamp };

// The look of the scene. kWarm keeps the layout but makes the bright areas strongly red and
// blue (tungsten light, skin, a sunset and a blue sky), where a white-balanced development
// clips red and blue long before the sensor does. kLamps is the warm scene with lamps of
// several colours beside the colour patches, each clipped in every channel of the darkest frame,
// a red light clipped in red there and a cyan light clipped in green from the second frame on.
enum class SceneStyle { kStandard, kWarm, kLamps };

// A flat rectangle of the scene, [x0, x1) x [y0, y1) in pixels, of constant radiance.
struct FlatRegion {
    std::string name;  // e.g. "grey -15 EV", "red", "window pane 1"
    Tone tone;
    int x0, y0, x1, y1;
    Rgb radiance;
};

class Scene {
  public:
    // The scene at `width` x `height`; `seed` varies the texture, nothing else.
    Scene(int width, int height, uint64_t seed, SceneStyle style = SceneStyle::kStandard);

    int width() const { return width_; }
    int height() const { return height_; }

    // Radiance of row y: width * 3 floats, interleaved R, G, B.
    void RadianceRow(int y, float* out) const;

    // The flat regions, darkest grey patch first.
    const std::vector<FlatRegion>& flatRegions() const { return flat_; }

    // EV from the darkest flat patch to the window's brightest channel.
    double RangeEv() const;

  private:
    struct Rect {
        int x0, y0, x1, y1;
        bool Contains(int y) const { return y >= y0 && y < y1; }
    };
    Rect FromFractions(double u0, double v0, double u1, double v1) const;
    void Wall(int y, float* out) const;
    void Texture(int y, float* out) const;

    int width_;
    int height_;
    uint64_t seed_;
    SceneStyle style_;
    Rect texture_;
    Rect window_;
    std::vector<FlatRegion> flat_;
};

}  // namespace brimsal::synth
