// End to end: frames made from a scene of known radiance (exposure x radiance + noise, clipped
// at full scale), a map choosing in each region the brightest frame not near saturation, and
// the blend recovering the scene on the scale of the darkest frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "app/RecorderChannel.h"
#include "blend/Blend.h"
#include "blend/BlendFixtures.h"

namespace brimsal {
namespace {

constexpr int kAncho = 120;
constexpr int kAlto = 80;
constexpr int kFranjas = 6;
constexpr int kFilaTransicion = 60;  // rows from here on mix two neighbouring frames
constexpr int kImagenes = 5;
constexpr double kRuido = 30.0;  // standard deviation of each frame's noise, in its own words
constexpr double kUmbral = 58982.0;
// Radiance of each stripe, red channel, on the scale of frame 1; green and blue are fractions.
constexpr double kRadiancia[kFranjas] = {50000, 12000, 3000, 700, 150, 40};
constexpr double kCanal[3] = {1.0, 0.8, 0.6};

double Exposicion(int k) {  // frame k (1-based) is 2 EV brighter than frame k - 1
    return std::pow(4.0, k - 1);
}

double Escena(int x, int c) {
    return kRadiancia[x * kFranjas / kAncho] * kCanal[c];
}

TEST(BlendScene, BlendRecoversTheSceneWithinTheChosenFrameNoise) {
    std::mt19937 random(99);
    std::normal_distribution<double> ruido(0.0, kRuido);
    std::vector<Frame> frames;
    std::vector<double> exp_relativas;
    for (int k = 1; k <= kImagenes; ++k) {
        frames.push_back(test::MakeFrame(kAncho, kAlto, [&](int x, int, int c) {
            const double v = Escena(x, c) * Exposicion(k) + ruido(random);
            return static_cast<uint16_t>(std::clamp(std::nearbyint(v), 0.0, 65535.0));
        }));
        exp_relativas.push_back(Exposicion(1) / Exposicion(k));
    }
    // The map: per stripe, the brightest frame whose noiseless values stay below the threshold;
    // the transition rows use the next level up, between that frame and the darker one.
    std::vector<int> elegida(kFranjas, 1);
    for (int s = 0; s < kFranjas; ++s) {
        for (int k = kImagenes; k >= 1; --k) {
            if (kRadiancia[s] * Exposicion(k) + 6 * kRuido <= kUmbral) {
                elegida[s] = k;
                break;
            }
        }
    }
    EXPECT_EQ(elegida, (std::vector<int>{1, 2, 3, 4, 5, 5}));
    std::vector<uint8_t> niveles(kAncho * kAlto);
    for (int y = 0; y < kAlto; ++y) {
        for (int x = 0; x < kAncho; ++x) {
            const int k = elegida[x * kFranjas / kAncho];
            int nivel = test::NivelDeImagen(k, kImagenes);
            if (y >= kFilaTransicion && k > 1) {
                ++nivel;
            }
            niveles[y * kAncho + x] = static_cast<uint8_t>(nivel);
        }
    }
    test::SesionPrueba prueba(std::move(frames), exp_relativas, niveles);
    BlendSettings settings;
    settings.Gamma10 = 10;
    RecorderChannel channel;
    ASSERT_EQ(FusionarImagenes(prueba.session.Ruta, false, settings, prueba.session.set,
                               prueba.session.mapa, channel, 2),
              1);
    const Frame salida = prueba.Salida(test::SalidasDelLog(channel.log()).at(0));

    const std::array<float, 256>& indice = prueba.session.mapa.IndicePorNivel;
    for (int s = 0; s < kFranjas; ++s) {
        for (bool transicion : {false, true}) {
            const int k = elegida[s];
            if (transicion && k == 1) {
                continue;
            }
            // Noise of the output: each frame's noise (plus its rounding) scaled by its factor;
            // a transition mixes two independent noises.
            double sigma = kRuido * exp_relativas[k - 1];
            if (transicion) {
                const double f = indice[test::NivelDeImagen(k, kImagenes) + 1] - (k - 1);
                sigma = std::hypot(kRuido * exp_relativas[k - 2] * (1 - f),
                                   kRuido * exp_relativas[k - 1] * f);
            }
            const int y0 = transicion ? kFilaTransicion : 0;
            const int y1 = transicion ? kAlto : kFilaTransicion;
            for (int c = 0; c < 3; ++c) {
                double suma = 0;
                int cuenta = 0;
                for (int y = y0; y < y1; ++y) {
                    for (int x = s * kAncho / kFranjas; x < (s + 1) * kAncho / kFranjas; ++x) {
                        const double esperado = Escena(x, c);
                        const double obtenido = salida.at(x, y)[c];
                        ASSERT_LE(std::abs(obtenido - esperado), 5 * sigma + 1.0)
                            << "stripe " << s << " pixel " << x << "," << y << " channel " << c;
                        suma += obtenido - esperado;
                        ++cuenta;
                    }
                }
                EXPECT_LE(std::abs(suma / cuenta), 4 * sigma / std::sqrt(cuenta) + 0.5)
                    << "stripe " << s << (transicion ? " transition" : " genuine") << " channel "
                    << c;
            }
        }
    }
}

}  // namespace
}  // namespace brimsal
