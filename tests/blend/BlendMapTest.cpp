// Reading the map: level decoding and the contribution sums (their report lines are checked by
// the whole-blend tests).
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "app/Misc.h"
#include "blend/BlendFixtures.h"
#include "blend/BlendMap.h"

namespace brimsal {
namespace {

using test::TablaIndicePorNivel;

TEST(BlendMapLevels, WholeFrameLevelsAreGenuineOthersMixNeighboursOutsideTheSetInvalid) {
    const TablaNiveles tabla = DecodificarNiveles(TablaIndicePorNivel(3), 3);
    EXPECT_EQ(test::NivelDeImagen(2, 3), 128);  // 127.5 goes to the even 128
    for (const auto& [nivel, k] : {std::pair{0, 3}, {128, 2}, {255, 1}}) {
        EXPECT_TRUE(tabla[nivel].genuino) << nivel;
        EXPECT_EQ(tabla[nivel].k, k) << nivel;
    }
    // Level 64: 3 - 2 x 64 / 255 = 2.498..., between frames 2 and 3.
    EXPECT_FALSE(tabla[64].genuino);
    EXPECT_EQ(tabla[64].k, 2);
    EXPECT_EQ(tabla[64].f, tabla[64].m - 2.0f);
    for (const NivelMapa& nivel : tabla) {
        EXPECT_TRUE(nivel.valido);
    }
    // A table built for five frames read with a set of three; a table never built; NaN.
    EXPECT_FALSE(DecodificarNiveles(TablaIndicePorNivel(5), 3)[0].valido);  // frame 5
    EXPECT_TRUE(DecodificarNiveles(TablaIndicePorNivel(5), 3)[255].valido);
    EXPECT_FALSE(DecodificarNiveles(std::array<float, 256>{}, 3)[0].valido);
    std::array<float, 256> nan{};
    nan.fill(std::nanf(""));
    EXPECT_FALSE(DecodificarNiveles(nan, 3)[7].valido);
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

TEST(BlendMapContributions, OnlyAnOccurringInvalidLevelIsASubscriptError) {
    const TablaNiveles tabla = DecodificarNiveles(TablaIndicePorNivel(5), 3);
    HistogramaNiveles histograma{};
    histograma[255] = 5;
    EXPECT_NO_THROW(CalcularContribuciones(histograma, tabla, 3));
    histograma[0] = 1;  // frame 5 of a set of 3
    try {
        CalcularContribuciones(histograma, tabla, 3);
        FAIL() << "no error";
    } catch (const RunTimeError& error) {
        EXPECT_EQ(error.number(), kErrSubscript);
    }
}

}  // namespace
}  // namespace brimsal
