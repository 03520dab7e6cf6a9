// The per-pixel arithmetic of the blend against a plain pixel-by-pixel reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "app/Misc.h"
#include "blend/BlendFixtures.h"
#include "blend/BlendKernel.h"

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
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> valores(0.0, 65535.0);
    for (int i = 0; i < 100000; ++i) {
        const double v = valores(random);
        ASSERT_EQ(PalabraSalida(v), PalabraReferencia(v)) << v;
        const double mitad = std::floor(v) + 0.5;
        ASSERT_EQ(PalabraSalida(mitad), PalabraReferencia(mitad)) << mitad;
    }
}

TEST(BlendOutputTransform, CurveCasesAndNegativeMix) {
    // Gamma 3.0 maps 8192 to 32767.67; nothing is clipped before the curve; gamma 1 leaves the
    // values exactly as they are.
    double v[3] = {8192.0, 0.0, 131070.0};
    AplicarTransformacion({false, {}, 0.33333334f}, v);
    EXPECT_NEAR(v[0], 32767.67, 0.005);
    EXPECT_EQ(v[1], 0.0);
    EXPECT_GT(v[2], 65535.0);
    double u[3] = {12.345, 70000.5, 1.0};
    AplicarTransformacion({false, {}, 1.0f}, u);
    EXPECT_EQ(u[0], 12.345);
    EXPECT_EQ(u[1], 70000.5);
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

}  // namespace
}  // namespace brimsal
