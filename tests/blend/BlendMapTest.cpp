// Reading the map: level decoding, level counts, contributions and their report lines.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "app/Misc.h"
#include "app/RecorderChannel.h"
#include "blend/BlendFixtures.h"
#include "blend/BlendMap.h"

namespace brimsal {
namespace {

using test::NivelDeImagen;
using test::TablaIndicePorNivel;

TEST(BlendMapLevels, WholeFrameLevelsAreGenuineAndOthersMixNeighbours) {
    const TablaNiveles tabla = DecodificarNiveles(TablaIndicePorNivel(3), 3);
    EXPECT_EQ(NivelDeImagen(2, 3), 128);  // 127.5 goes to the even 128
    EXPECT_TRUE(tabla[0].genuino);
    EXPECT_EQ(tabla[0].k, 3);
    EXPECT_TRUE(tabla[128].genuino);
    EXPECT_EQ(tabla[128].k, 2);
    EXPECT_TRUE(tabla[255].genuino);
    EXPECT_EQ(tabla[255].k, 1);
    // Level 64: 3 - 2 x 64 / 255 = 2.498..., between frames 2 and 3.
    EXPECT_FALSE(tabla[64].genuino);
    EXPECT_EQ(tabla[64].k, 2);
    EXPECT_EQ(tabla[64].f, tabla[64].m - 2.0f);
    for (const NivelMapa& nivel : tabla) {
        EXPECT_TRUE(nivel.valido);
    }
}

TEST(BlendMapLevels, IndicesOutsideTheSetAreInvalid) {
    // A table built for five frames read with a set of three.
    const TablaNiveles tabla = DecodificarNiveles(TablaIndicePorNivel(5), 3);
    EXPECT_FALSE(tabla[0].valido);  // frame 5
    EXPECT_TRUE(tabla[255].valido);
    std::array<float, 256> ceros{};  // a table never built
    EXPECT_FALSE(DecodificarNiveles(ceros, 3)[0].valido);
    std::array<float, 256> nan{};
    nan.fill(std::nanf(""));
    EXPECT_FALSE(DecodificarNiveles(nan, 3)[7].valido);
}

TEST(BlendMapContributions, TransitionPixelSplitsItsWeight) {
    std::array<float, 256> indice = TablaIndicePorNivel(3);
    indice[100] = 2.25f;
    HistogramaNiveles histograma{};
    histograma[100] = 1;
    const ContribucionMapa c = CalcularContribuciones(histograma, DecodificarNiveles(indice, 3), 3);
    EXPECT_EQ(c.Contribuciones, (std::vector<double>{0.0, 0.75, 0.25}));
    EXPECT_EQ(c.PixelesProgresivos, 1);
}

TEST(BlendMapContributions, OccurringInvalidLevelThrowsSubscriptError) {
    HistogramaNiveles histograma{};
    histograma[0] = 5;
    try {
        CalcularContribuciones(histograma, DecodificarNiveles(TablaIndicePorNivel(5), 3), 3);
        FAIL() << "no error";
    } catch (const RunTimeError& error) {
        EXPECT_EQ(error.number(), kErrSubscript);
    }
    // The same table is fine while no pixel uses the level.
    histograma[0] = 0;
    histograma[255] = 5;
    EXPECT_NO_THROW(
        CalcularContribuciones(histograma, DecodificarNiveles(TablaIndicePorNivel(5), 3), 3));
}

// The contribution sums are taken per level; the pixel-by-pixel sum in the column-by-column
// scan (x outer, y inner) must give the same doubles bit for bit, and so must any thread count.
TEST(BlendMapContributions, PerLevelSumEqualsPixelScanBitForBit) {
    const int ancho = 211;
    const int alto = 97;
    const int n = 7;
    std::array<float, 256> indice = TablaIndicePorNivel(n);
    indice[3] = 1.1f;  // odd fractions with long mantissas
    indice[4] = 6.9999995f;
    std::mt19937 random(12345);
    std::vector<uint8_t> niveles(static_cast<size_t>(ancho) * alto);
    for (auto& nivel : niveles) {
        nivel = static_cast<uint8_t>(random() & 0xFF);
    }
    const TablaNiveles tabla = DecodificarNiveles(indice, n);
    std::vector<double> esperado(n, 0.0);
    int64_t progresivos = 0;
    for (int x = 0; x < ancho; ++x) {
        for (int y = 0; y < alto; ++y) {
            const float m = indice[niveles[static_cast<size_t>(y) * ancho + x]];
            const int k = static_cast<int>(std::floor(m));
            if (m == static_cast<float>(k)) {
                esperado[k - 1] += 1;
            } else {
                const float f = m - static_cast<float>(k);
                esperado[k - 1] += 1.0 - static_cast<double>(f);
                esperado[k] += f;
                ++progresivos;
            }
        }
    }
    for (int hilos : {1, 2, 5}) {
        const ContribucionMapa c =
            CalcularContribuciones(ContarNiveles(niveles.data(), ancho * alto, hilos), tabla, n);
        EXPECT_EQ(c.Contribuciones, esperado) << hilos;
        EXPECT_EQ(c.PixelesProgresivos, progresivos);
    }
}

TEST(BlendMapReport, LinesRoundHalfToEvenWithOneDecimal) {
    ContribucionMapa c;
    // 8 pixels: 3 -> 37.5; 2.75 -> 34.375 -> 34.4; 2.25 -> 28.125 -> 28.1 (281.25 to 281).
    c.Contribuciones = {3.0, 2.75, 2.25};
    c.PixelesProgresivos = 1;
    RecorderChannel channel;
    RegistrarContribuciones(c, 8, {"/a/IMG_1.tiff", "/a/IMG_2.tiff", "/a/IMG_3.tiff"}, channel);
    EXPECT_EQ(channel.log(),
              (std::vector<std::string>{"IMG_1.tiff: 37.5%", "IMG_2.tiff: 34.4%",
                                        "IMG_3.tiff: 28.1%", "87.5% genuine pixels"}));
    channel.clear();
    c.Contribuciones = {0.0, 8.0, 0.0};
    c.PixelesProgresivos = 0;
    RegistrarContribuciones(c, 8, {"/a/x.tiff", "/a/y.tiff", "/a/z.tiff"}, channel);
    EXPECT_EQ(channel.log(), (std::vector<std::string>{"x.tiff: 0%", "y.tiff: 100%", "z.tiff: 0%",
                                                       "100% genuine pixels"}));
}

}  // namespace
}  // namespace brimsal
