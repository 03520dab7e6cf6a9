// The arithmetic of the blend: the kernel against a plain pixel-by-pixel reference, output words
// and transform, derived settings, ETTR, and the map's levels and contribution sums.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "app/Misc.h"
#include "app/RecorderChannel.h"
#include "blend/BlendFixtures.h"
#include "blend/BlendKernel.h"
#include "blend/BlendMap.h"
#include "blend/BlendSettings.h"
#include "blend/Ettr.h"

namespace brimsal {
namespace {

// The reference: every step written as the blend describes it, one pixel at a time.
uint16_t PalabraReferencia(double v) {
    const double r = std::nearbyint(v);
    return static_cast<uint16_t>(std::clamp(r, 0.0, 65535.0));
}

std::vector<std::vector<uint16_t>> FusionReferencia(const DatosFusion& d) {
    std::vector<std::vector<uint16_t>> salidas(d.factores_salida.size(),
                                               std::vector<uint16_t>(d.ancho * d.alto * 3));
    for (int x = 0; x < d.ancho; ++x) {
        for (int y = 0; y < d.alto; ++y) {
            const NivelMapa& n = d.tabla[d.niveles[y * d.ancho + x]];
            const float m = n.m;
            const int k = static_cast<int>(std::floor(m));
            double v[3];
            if (m == static_cast<float>(k)) {
                const uint16_t* c = d.imagenes[k - 1]->at(x, y);
                for (int i = 0; i < 3; ++i) {
                    v[i] = c[i] * d.factores[k - 1];
                }
            } else {
                const float f = m - static_cast<float>(k);
                const uint16_t* c1 = d.imagenes[k - 1]->at(x, y);
                const uint16_t* c2 = d.imagenes[k]->at(x, y);
                for (int i = 0; i < 3; ++i) {
                    v[i] = c1[i] * d.factores[k - 1] * (1.0 - f) + c2[i] * d.factores[k] * f;
                }
            }
            if (d.transformacion.salida_bn) {
                const PesosMezcla& p = d.transformacion.pesos;
                const double l = std::max(0.0, static_cast<double>(p.r) * v[0] +
                                                   static_cast<double>(p.g) * v[1] +
                                                   static_cast<double>(p.b) * v[2]);
                v[0] = v[1] = v[2] = l;
            }
            if (d.transformacion.gamma_inversa != 1.0f) {
                for (double& valor : v) {
                    valor = 65535 * std::pow(valor / 65535,
                                             static_cast<double>(d.transformacion.gamma_inversa));
                }
            }
            for (size_t b = 0; b < salidas.size(); ++b) {
                for (int i = 0; i < 3; ++i) {
                    salidas[b][(y * d.ancho + x) * 3 + i] =
                        PalabraReferencia(v[i] * d.factores_salida[b]);
                }
            }
        }
    }
    return salidas;
}

struct Caso {
    std::vector<Frame> frames;
    std::vector<uint8_t> niveles;
    DatosFusion datos;
};

// Random frames (with clipped pixels), a map using every level of a 4-frame table plus two
// hand-set fractions, and exposure factors that are not powers of two.
Caso CasoAleatorio(bool bn, float gamma_inversa, std::vector<double> factores_salida) {
    const int ancho = 61;
    const int alto = 37;
    const int n = 4;
    Caso caso;
    std::mt19937 random(2024);
    for (int k = 0; k < n; ++k) {
        caso.frames.push_back(test::MakeFrame(ancho, alto, [&](int, int, int) {
            const uint32_t r = random() % 70000;
            return static_cast<uint16_t>(std::min<uint32_t>(r, 65535));
        }));
    }
    caso.niveles.resize(ancho * alto);
    for (auto& nivel : caso.niveles) {
        nivel = static_cast<uint8_t>(random() & 0xFF);
    }
    std::array<float, 256> indice = test::TablaIndicePorNivel(n);
    indice[17] = 2.25f;
    indice[18] = 3.5f;
    DatosFusion& d = caso.datos;
    d.ancho = ancho;
    d.alto = alto;
    d.niveles = caso.niveles.data();
    d.tabla = DecodificarNiveles(indice, n);
    for (const Frame& f : caso.frames) {
        d.imagenes.push_back(&f);
    }
    d.factores = {1.7, 0.41, 0.1337, 0.029};
    d.transformacion = {bn, {0.33f, 0.33999994f, 0.33f}, gamma_inversa};
    d.factores_salida = std::move(factores_salida);
    return caso;
}

// Computes the whole image in uneven bands, as the band writer may cut it.
std::vector<std::vector<uint16_t>> FusionEnBandas(const DatosFusion& datos) {
    const FusionPorFilas fusion(datos);
    std::vector<std::vector<uint16_t>> salidas(datos.factores_salida.size(),
                                               std::vector<uint16_t>(datos.ancho * datos.alto * 3));
    const int cortes[] = {0, 1, 8, 9, 30, datos.alto};
    for (int i = 0; i + 1 < 6; ++i) {
        std::vector<uint16_t*> destinos;
        for (auto& s : salidas) {
            destinos.push_back(s.data() + cortes[i] * datos.ancho * 3);
        }
        fusion.CalcularFilas(cortes[i], cortes[i + 1], destinos.data());
    }
    return salidas;
}

TEST(BlendKernel, MatchesThePixelByPixelReference) {
    // Colour linear; colour through the curve (genuine pixels use the per-word table); B&W
    // through the curve.
    const float g22 = static_cast<float>(1.0 / 2.2);
    const struct {
        bool bn;
        float gamma_inversa;
        std::vector<double> factores_salida;
    } casos[] = {
        {false, 1.0f, {1.0, 4.0}},
        {false, g22, {1.0, std::pow(4.0, double{g22}), std::pow(16.0, double{g22})}},
        {true, 0.33333334f, {1.0, 2.0}},
    };
    for (const auto& c : casos) {
        const Caso caso = CasoAleatorio(c.bn, c.gamma_inversa, c.factores_salida);
        const auto salidas = FusionEnBandas(caso.datos);
        EXPECT_EQ(salidas, FusionReferencia(caso.datos)) << c.bn << " " << c.gamma_inversa;
        for (size_t p = 0; c.bn && p < salidas[0].size(); p += 3) {
            ASSERT_EQ(salidas[0][p], salidas[0][p + 1]);
            ASSERT_EQ(salidas[0][p], salidas[0][p + 2]);
        }
    }
}

TEST(BlendOutputWord, RoundsHalfToEvenAndClamps) {
    EXPECT_EQ(PalabraSalida(562.5), 562);
    EXPECT_EQ(PalabraSalida(563.5), 564);
    EXPECT_EQ(PalabraSalida(65534.5), 65534);
    EXPECT_EQ(PalabraSalida(65535.5), 65535);
    EXPECT_EQ(PalabraSalida(1e300), 65535);
    EXPECT_EQ(PalabraSalida(0.5), 0);
    EXPECT_EQ(PalabraSalida(std::nan("")), 0);
}

// (The curve itself is the reference's, above.)
TEST(BlendOutputTransform, NegativeMixIsBlackNeverANaN) {
    // Weights 9 and 91 leave a float green a hair below zero: a green-only pixel mixes below
    // zero, which is 0 before the curve, never a NaN.
    const float r = 0.09f;
    const float b = 0.91f;
    ASSERT_LT((1.0f - r) - b, 0.0f);
    double w[3] = {0.0, 60000.0, 0.0};
    AplicarTransformacion({true, {r, (1.0f - r) - b, b}, static_cast<float>(1.0 / 2.2)}, w);
    EXPECT_EQ(w[0], 0.0);
    EXPECT_EQ(w[2], 0.0);
}

BlendSettings Settings(int bwr, int bwb, int gamma10 = 22, int num = 1, int step = 2) {
    BlendSettings settings;
    settings.BWR = bwr;
    settings.BWB = bwb;
    settings.Gamma10 = gamma10;
    settings.NumBracketing = num;
    settings.PasoBracketing = step;
    return settings;
}

TEST(BlendSettings, FloatWeightsInverseGammaBracketsAndNames) {
    // 0.33f is 11072963 x 2^-25; 1 - 0.33f falls halfway between two floats and goes to the
    // even one below (0.66999996f), so green ends at 11408505 x 2^-25 = 0.33999994f.
    EXPECT_EQ(PesoR(Settings(33, 10)), 0.33f);
    EXPECT_EQ(PesoB(Settings(10, 33)), 0.33f);
    EXPECT_EQ(PesoG(Settings(33, 33)), 0.33999994f);
    EXPECT_EQ(PesoG(Settings(50, 50)), 0.0f);
    // The double quotient stored as a float: 0.45454547 (the float quotient would be 0.45454544).
    EXPECT_EQ(GammaInversa(Settings(0, 0, 22)), 0.45454547f);
    EXPECT_EQ(GammaInversa(Settings(0, 0, 10)), 1.0f);
    for (int g10 = 10; g10 <= 30; ++g10) {
        const std::string tenths = g10 % 10 == 0 ? "" : "." + std::to_string(g10 % 10);
        EXPECT_EQ(TextoGammaNombre(GammaInversa(Settings(0, 0, g10))),
                  std::to_string(g10 / 10) + tenths);
    }
    EXPECT_NEAR(FactorBracketing(Settings(0, 0, 22, 3, 2), 2), 1.87786, 1e-5);  // 4 ^ 0.45454547
    EXPECT_EQ(TextoBracket(1, 2), "NO BRACKETING");
    EXPECT_EQ(TextoBracket(3, 4), "0 +4 +8");
    // Blanks leave the profile's name; the step and gamma are in the name.
    BlendSettings settings = Settings(33, 33, 18, 3, 4);
    settings.Perfil = "Adobe RGB";
    EXPECT_EQ(NombreBaseSalida(settings, false, "143052") + SufijoBracket(settings, 3),
              "BR_143052_AdobeRGB_g1.8_+8EV");
}

TEST(Ettr, CorrectionLineAndFactors) {
    const PesosMezcla thirds{0.33f, 0.33999994f, 0.33f};
    const PesosMezcla green{0.0f, 1.0f, 0.0f};
    // A dark frame with one bright pixel (r, g, b) somewhere inside.
    auto dark = [](uint16_t r, uint16_t g, uint16_t b) {
        Frame frame = test::ConstantFrame(37, 23, 100, 200, 150);
        uint16_t* p = frame.at(30, 17);
        p[0] = r;
        p[1] = g;
        p[2] = b;
        return frame;
    };
    const struct {
        const char* name;
        Frame dark;
        bool bw;
        PesosMezcla weights;
        std::string line;  // the line after "Calculating ETTR correction..."
        double m;          // the brightest value the factors are scaled by; 0: factors unchanged
    } cases[] = {
        // 65535 / 32768 = 1.99997: C = 0.99998, logged +1EV; the largest channel counts.
        {"half scale", dark(1000, 32768, 20), false, thirds, "Histogram correction by +1EV", 32768},
        {"two thirds", dark(43690, 0, 0), false, thirds, "Histogram correction by +0.585EV", 43690},
        {"clipped", dark(0, 0, 65535), false, thirds, "Already clipped highlights", 0},
        {"all black", test::ConstantFrame(5, 4, 0, 0, 0), false, thirds, "No highlights to correct",
         0},
        // B&W tests the mix: one clipped channel, 0.33 x 65535 = 21626.55 rounds to 21627, and
        // log2(65535 / 21627) = 1.5994.
        {"B&W one channel", dark(65535, 0, 0), true, thirds, "Histogram correction by +1.599EV",
         21627},
        // All three clipped: the float weights add up to a hair below 1; the mix rounds back.
        {"B&W all clipped", dark(65535, 65535, 65535), true, thirds, "Already clipped highlights",
         0},
        {"B&W pure green", dark(65535, 300, 65535), true, green, "Histogram correction by +7.771EV",
         300},
        {"B&W green black", test::ConstantFrame(5, 4, 900, 0, 900), true, green,
         "No highlights to correct", 0},
    };
    const std::vector<double> relative = {1.0, 0.25, 0.0625};
    for (const auto& c : cases) {
        std::vector<double> factors = relative;
        RecorderChannel channel;
        CorreccionETTR(c.dark, c.bw, c.weights, relative, factors, channel, 2);
        EXPECT_EQ(channel.log(),
                  (std::vector<std::string>{"\nCalculating ETTR correction...", c.line}))
            << c.name;
        std::vector<double> expected = relative;
        if (c.m > 0) {
            EXPECT_EQ(BrilloMaximoETTR(c.dark, c.bw, c.weights), c.m) << c.name;
            for (double& e : expected) {
                e = e * 65535 / c.m;  // E(i) x 65535 / M, left to right
            }
        }
        EXPECT_EQ(factors, expected) << c.name;
    }
}

TEST(BlendMapLevels, WholeFrameLevelsAreGenuineOthersMixNeighboursOutsideTheSetInvalid) {
    const TablaNiveles table = DecodificarNiveles(test::TablaIndicePorNivel(3), 3);
    for (const auto& [level, k] : {std::pair{0, 3}, {128, 2}, {255, 1}}) {  // 127.5 -> 128
        EXPECT_TRUE(table[level].genuino) << level;
        EXPECT_EQ(table[level].k, k) << level;
    }
    // Level 64: 3 - 2 x 64 / 255 = 2.498..., between frames 2 and 3.
    EXPECT_FALSE(table[64].genuino);
    EXPECT_EQ(table[64].k, 2);
    EXPECT_EQ(table[64].f, table[64].m - 2.0f);
    // A table built for five frames read with a set of three; a table never built; NaN.
    const TablaNiveles five = DecodificarNiveles(test::TablaIndicePorNivel(5), 3);
    EXPECT_FALSE(five[0].valido);  // frame 5
    EXPECT_TRUE(five[255].valido);
    EXPECT_FALSE(DecodificarNiveles(std::array<float, 256>{}, 3)[0].valido);
    std::array<float, 256> nan{};
    nan.fill(std::nanf(""));
    EXPECT_FALSE(DecodificarNiveles(nan, 3)[7].valido);
    // Only an invalid level that occurs in the map is a subscript error.
    HistogramaNiveles histogram{};
    histogram[255] = 5;
    EXPECT_NO_THROW(CalcularContribuciones(histogram, five, 3));
}

// The contribution sums are taken per level; the pixel-by-pixel sum in the column-by-column
// scan (x outer, y inner) must give the same doubles bit for bit, and so must any thread count.
TEST(BlendMapContributions, PerLevelSumEqualsPixelScanBitForBit) {
    const int width = 211;
    const int height = 97;
    const int n = 7;
    std::array<float, 256> index = test::TablaIndicePorNivel(n);
    index[3] = 1.1f;  // odd fractions with long mantissas
    index[4] = 6.9999995f;
    std::mt19937 random(12345);
    std::vector<uint8_t> levels(static_cast<size_t>(width) * height);
    for (auto& level : levels) {
        level = static_cast<uint8_t>(random() & 0xFF);
    }
    std::vector<double> expected(n, 0.0);
    int64_t progressive = 0;
    for (int x = 0; x < width; ++x) {
        for (int y = 0; y < height; ++y) {
            const float m = index[levels[static_cast<size_t>(y) * width + x]];
            const int k = static_cast<int>(std::floor(m));
            const float f = m - static_cast<float>(k);
            expected[k - 1] += f == 0.0f ? 1.0 : 1.0 - static_cast<double>(f);
            if (f != 0.0f) {
                expected[k] += f;
                ++progressive;
            }
        }
    }
    const TablaNiveles table = DecodificarNiveles(index, n);
    for (int threads : {1, 2, 5}) {
        const ContribucionMapa c =
            CalcularContribuciones(ContarNiveles(levels.data(), width * height, threads), table, n);
        EXPECT_EQ(c.Contribuciones, expected) << threads;
        EXPECT_EQ(c.PixelesProgresivos, progressive);
    }
}

}  // namespace
}  // namespace brimsal
