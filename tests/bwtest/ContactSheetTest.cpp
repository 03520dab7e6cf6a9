// TestImagenesBN: sheet size, cell layout and weights, grey levels, labels, report and failures.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <tuple>
#include <vector>

#include "app/Misc.h"
#include "app/RecorderChannel.h"
#include "blend/BlendFixtures.h"
#include "bwtest/ContactSheet.h"
#include "image/Picture.h"

namespace brimsal {
namespace {

using test::ConstantFrame;
using test::SesionPrueba;

// The colour of a rendered pixel of mixed value s.
uint32_t Gris(double s) {
    const int nivel = NivelGrisHoja(s);
    return RGB(nivel, nivel, nivel);
}

// The sheet written by a run, loaded, and its log.
struct Hoja {
    int resultado = 0;
    RecorderChannel channel;
    Picture imagen;
    std::string nombre;
};

std::unique_ptr<Hoja> Generar(SesionPrueba& prueba, int threads = 2) {
    auto hoja = std::make_unique<Hoja>();
    hoja->resultado = TestImagenesBN(prueba.session.Ruta, prueba.session.set, prueba.session.mapa,
                                     hoja->channel, threads);
    const std::string prefijo = "\nSaving B&W samples as ";
    for (const auto& linea : hoja->channel.log()) {
        if (linea.rfind(prefijo, 0) == 0) {
            hoja->nombre = linea.substr(prefijo.size(), linea.size() - prefijo.size() - 3);
            hoja->imagen.LoadFromFile(prueba.dir.file(hoja->nombre));
        }
    }
    return hoja;
}

TEST(ContactSheetSize, DecimationBySevenDropsTheRemainderAndGreyClampsToWhite) {
    const TamanoHoja hoja = CalcularTamanoHoja(706, 496);
    EXPECT_EQ(std::tie(hoja.ancho_celda, hoja.alto_celda, hoja.ancho, hoja.alto),
              std::tuple(100, 70, 1110, 780));
    EXPECT_EQ(NivelGrisHoja(32768.0), 186);  // 255 x 0.5^(1/2.2) = 186.1
    // Above full scale (only exposure factors above 1 can give it): white, not a wrapped value.
    EXPECT_EQ(NivelGrisHoja(70000.0), 255);
    EXPECT_EQ(NivelGrisHoja(1e12), 255);
}

// A set of two frames: `uno` and a black frame 2 with factor 0.5, with the map `niveles`.
std::unique_ptr<SesionPrueba> Conjunto(const Frame& uno, const std::vector<uint8_t>& niveles) {
    return std::make_unique<SesionPrueba>(
        std::vector<Frame>{uno, ConstantFrame(uno.width, uno.height, 0, 0, 0)},
        std::vector<double>{1.0, 0.5}, niveles);
}

// Pixels of one colour inside a rectangle.
int Contar(const Picture& imagen, int x0, int y0, int ancho, int alto, uint32_t color) {
    int n = 0;
    for (int y = y0; y < y0 + alto; ++y) {
        for (int x = x0; x < x0 + ancho; ++x) {
            n += imagen.GetPixelColor(x, y) == color ? 1 : 0;
        }
    }
    return n;
}

// Red, green and blue thirds of a scene in columns: each drawn cell renders each third with its
// weight (red kPesosMezcla[i], blue kPesosMezcla[j], green the rest) and carries its labels.
TEST(ContactSheetRun, LogSizeCellWeightsAndLabelsWhereTheyBelong) {
    const Frame uno = test::MakeFrame(420, 280, [](int x, int, int c) {
        return static_cast<uint16_t>(c == x / 140 ? 65535 : 0);
    });
    auto prueba = Conjunto(uno, std::vector<uint8_t>(420 * 280, 255));
    const auto hoja = Generar(*prueba);
    ASSERT_EQ(hoja->resultado, 1);
    EXPECT_EQ(hoja->nombre.rfind("BWTest_", 0), 0u);
    EXPECT_EQ(hoja->channel.log(),
              (std::vector<std::string>{
                  "Loading blending map...", "Decimating blending map to 60x40...",
                  "Decimated image contribution...", "IMG_1.tiff: 100%", "IMG_2.tiff: 0%",
                  "100% genuine pixels", "\nGenerating B&W contact sheet...",
                  "\nSaving B&W samples as " + hoja->nombre + "...", "DONE"}));
    EXPECT_EQ(hoja->channel.beeps(), 1);
    const auto progreso = hoja->channel.progress();
    ASSERT_EQ(progreso.size(), 66u);
    EXPECT_EQ(progreso[0], "1%");
    EXPECT_EQ(progreso[32], "50%");  // 33 / 66
    EXPECT_EQ(progreso[65], "100%");
    ASSERT_EQ(hoja->imagen.GetWidth(), 11 * 60 + 10);
    ASSERT_EQ(hoja->imagen.GetHeight(), 11 * 40 + 10);

    // Renderings of 60 x 40 on a black sheet, the thirds sampled on their bottom row, below the
    // labels; cells whose weights would add up to more than 100 are not drawn.
    for (int i = 0; i <= 10; ++i) {
        for (int j = 0; j <= 10; ++j) {
            const int pesos[3] = {kPesosMezcla[i], 100 - kPesosMezcla[i] - kPesosMezcla[j],
                                  kPesosMezcla[j]};
            for (int tercio = 0; tercio < 3; ++tercio) {
                EXPECT_EQ(hoja->imagen.GetPixelColor(61 * i + 10 + 20 * tercio, 41 * j + 39),
                          j > 10 - i ? kBlack : Gris(pesos[tercio] * 65535 / 100.0))
                    << i << "," << j << " " << tercio;
            }
        }
    }
    // Separator lines stay black, and the whole of a cell not drawn.
    EXPECT_EQ(hoja->imagen.GetPixelColor(60, 20), kBlack);
    EXPECT_EQ(hoja->imagen.GetPixelColor(20, 40), kBlack);
    EXPECT_EQ(Contar(hoja->imagen, 61 * 6, 41 * 5, 60, 40, kBlack), 60 * 40);
    // Cell (3, 2): three lines of white text in the corner, nothing white below them.
    for (int linea = 0; linea < 3; ++linea) {
        EXPECT_GT(Contar(hoja->imagen, 61 * 3 + 1, 41 * 2 + 12 * linea, 49, 12, kWhite), 10)
            << linea;
    }
    EXPECT_EQ(Contar(hoja->imagen, 61 * 3, 41 * 2 + 37, 60, 3, kWhite), 0);
}

TEST(ContactSheetRun, TransitionMixesFramesWithTheirExposures) {
    // Frame 1 = 40000, frame 2 = 20000 with factor 0.5; a level at k + 0.5 between them:
    // 40000 x 0.5 + 20000 x 0.25 = 25000 in every channel.
    std::vector<uint8_t> niveles(140 * 70, 255);
    niveles[0] = 77;  // decimated pixel (0, 0)
    test::SesionPrueba prueba(std::vector<Frame>{ConstantFrame(140, 70, 40000, 40000, 40000),
                                                 ConstantFrame(140, 70, 20000, 20000, 20000)},
                              std::vector<double>{1.0, 0.5}, niveles);
    prueba.session.mapa.IndicePorNivel[77] = 1.5f;
    const auto hoja = Generar(prueba);
    ASSERT_EQ(hoja->resultado, 1);
    const auto log = hoja->channel.log();
    // 20 x 10 decimated pixels: frame 1 has 199.5 of 200 (99.75% -> 99.8), frame 2 0.5 (0.25%
    // -> 0.2, half to even), 199 genuine (99.5%).
    EXPECT_EQ(log[3], "IMG_1.tiff: 99.8%");
    EXPECT_EQ(log[4], "IMG_2.tiff: 0.2%");
    EXPECT_EQ(log[5], "99.5% genuine pixels");
    // The decimated pixel (0, 0) sits in the first column of each cell, which no label
    // touches; equal channels make every cell show the same grey.
    for (int i = 0; i <= 10; ++i) {
        for (int j = 0; j <= 10 - i; ++j) {
            EXPECT_EQ(hoja->imagen.GetPixelColor(21 * i, 11 * j), Gris(25000));
            EXPECT_EQ(hoja->imagen.GetPixelColor(21 * i, 11 * j + 9), Gris(40000));
        }
    }
}

TEST(ContactSheetFailures, MapOfAnotherSizeOrLevelOutsideTheSet) {
    auto prueba = Conjunto(ConstantFrame(70, 70, 1, 2, 3), std::vector<uint8_t>(70 * 70, 0));
    test::EscribirMapa(prueba->session.mapa.RutaMapa, 70, 69, std::vector<uint8_t>(70 * 69, 0));
    const auto antes = prueba->Archivos();
    const auto hoja = Generar(*prueba);
    EXPECT_EQ(hoja->resultado, -1);
    EXPECT_EQ(hoja->channel.log(), (std::vector<std::string>{"Loading blending map...",
                                                             "Map dimensions mismatch", "DONE"}));
    EXPECT_EQ(test::OnlyBox(hoja->channel), "ERROR: Map dimensions do not match image dimensions");
    EXPECT_EQ(prueba->Archivos(), antes);
    // The right size, but level 0 read with a table built for four frames: frame 4 of two.
    test::EscribirMapa(prueba->session.mapa.RutaMapa, 70, 70, std::vector<uint8_t>(70 * 70, 0));
    prueba->session.mapa.IndicePorNivel = test::TablaIndicePorNivel(4);
    const auto fuera = Generar(*prueba);
    EXPECT_EQ(fuera->resultado, -1);
    EXPECT_NE(test::OnlyBox(fuera->channel).find("module TestImagenesBN "), std::string::npos);
    EXPECT_EQ(prueba->Archivos(), antes);
}

TEST(ContactSheetState, ReleasedDarkestFrameIsReloadedAndThreadsDoNotMatter) {
    const Frame uno = test::MakeFrame(140, 77, [](int x, int y, int c) {
        return static_cast<uint16_t>((x * 409 + y * 97 + c) % 65536);
    });
    auto prueba = Conjunto(uno, std::vector<uint8_t>(140 * 77, 255));
    const auto primera = Generar(*prueba, 1);
    prueba->session.set.Imagenes[0].release();
    const auto segunda = Generar(*prueba, 3);
    ASSERT_EQ(segunda->resultado, 1);
    EXPECT_EQ(prueba->session.set.Imagenes[0].at(1, 0)[0], 409);
    EXPECT_NE(primera->nombre, segunda->nombre);
    EXPECT_EQ(test::FileBytes(prueba->dir.file(primera->nombre)),
              test::FileBytes(prueba->dir.file(segunda->nombre)));
}

}  // namespace
}  // namespace brimsal
