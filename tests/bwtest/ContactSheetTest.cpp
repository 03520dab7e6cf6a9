// TestImagenesBN: sheet size, cell layout and weights, grey levels, labels, report and failures.
#include <gtest/gtest.h>

#include <memory>
#include <tuple>
#include <vector>

#include "base/Paths.h"
#include "blend/BlendFixtures.h"
#include "bwtest/ContactSheet.h"
#include "image/Picture.h"
#include "support/RecorderChannel.h"

namespace brimsal {
namespace {

using test::ConstantFrame;
using test::SesionPrueba;

// The colour of a rendered pixel of mixed value s.
uint32_t Gris(double s) {
    const int nivel = NivelGrisHoja(s);
    return RGB(nivel, nivel, nivel);
}

// A run's result and log, and the sheet it wrote (the newest in the folder) with its path.
struct Hoja {
    int resultado = 0;
    RecorderChannel channel;
    Picture imagen;
    std::string ruta;
};

std::unique_ptr<Hoja> Generar(SesionPrueba& prueba, int threads = 2) {
    auto hoja = std::make_unique<Hoja>();
    hoja->resultado = TestImagenesBN(prueba.session.Ruta, prueba.session.set, prueba.session.mapa,
                                     hoja->channel, threads);
    const auto hojas = test::FilesLike(prueba.dir.path(), "BWTest_");
    if (hoja->resultado == 1 && !hojas.empty()) {
        hoja->ruta = hojas.back();
        hoja->imagen.LoadFromFile(hoja->ruta);
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
// weight (red kPesosMezcla[i], blue kPesosMezcla[j], green the rest) and carries its labels. The
// decimated pixel (0, 0) is a transition halfway to the black frame 2 (factor 0.5).
TEST(ContactSheetRun, LogSizeCellWeightsTransitionAndLabelsWhereTheyBelong) {
    const Frame uno = test::MakeFrame(420, 280, [](int x, int, int c) {
        return static_cast<uint16_t>(c == x / 140 ? 65535 : 0);
    });
    std::vector<uint8_t> niveles(420 * 280, 255);
    niveles[0] = 77;
    auto prueba = Conjunto(uno, niveles);
    prueba->session.mapa.IndicePorNivel[77] = 1.5f;
    const auto hoja = Generar(*prueba);
    ASSERT_EQ(hoja->resultado, 1);
    EXPECT_EQ(hoja->channel.log(),
              (std::vector<std::string>{
                  "Loading blending map...", "Decimating blending map to 60x40...",
                  "Decimated image contribution...", "IMG_1.tiff: 100%", "IMG_2.tiff: 0%",
                  "100% genuine pixels", "\nGenerating B&W contact sheet...",
                  "\nSaving B&W samples as " + NombreArchivo(hoja->ruta) + "...", "DONE"}));
    EXPECT_EQ(hoja->channel.beeps(), 1);
    // Progress per drawn cell: 33 of 66 is 50%.
    ASSERT_EQ(hoja->channel.progress().size(), 66u);
    EXPECT_EQ(hoja->channel.progress()[32], "50%");
    ASSERT_EQ(std::pair(hoja->imagen.GetWidth(), hoja->imagen.GetHeight()), std::pair(670, 450));

    // Renderings of 60 x 40 on a black sheet, the thirds sampled on their bottom row, below the
    // labels; cells whose weights would add up to more than 100 are not drawn.
    for (int i = 0; i <= 10; ++i) {
        for (int j = 0; j <= 10; ++j) {
            const int pesos[3] = {kPesosMezcla[i], 100 - kPesosMezcla[i] - kPesosMezcla[j],
                                  kPesosMezcla[j]};
            // The transition pixel sits in the first column of each cell, which no label touches:
            // 65535 x 0.5 of frame 1 and nothing of frame 2 in its red.
            EXPECT_EQ(hoja->imagen.GetPixelColor(61 * i, 41 * j),
                      j > 10 - i ? kBlack : Gris(kPesosMezcla[i] * 32767.5 / 100.0));
            for (int tercio = 0; tercio < 3; ++tercio) {
                EXPECT_EQ(hoja->imagen.GetPixelColor(61 * i + 10 + 20 * tercio, 41 * j + 39),
                          j > 10 - i ? kBlack : Gris(pesos[tercio] * 65535 / 100.0))
                    << i << "," << j << " " << tercio;
            }
        }
    }
    // Separator lines stay black.
    EXPECT_EQ(hoja->imagen.GetPixelColor(60, 20), kBlack);
    EXPECT_EQ(hoja->imagen.GetPixelColor(20, 40), kBlack);
    // Cell (3, 2): three lines of white text in the corner, nothing white below them.
    for (int linea = 0; linea < 3; ++linea) {
        EXPECT_GT(Contar(hoja->imagen, 61 * 3 + 1, 41 * 2 + 12 * linea, 49, 12, kWhite), 10)
            << linea;
    }
    EXPECT_EQ(Contar(hoja->imagen, 61 * 3, 41 * 2 + 37, 60, 3, kWhite), 0);
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
    EXPECT_NE(primera->ruta, segunda->ruta);
    EXPECT_EQ(test::FileBytes(primera->ruta), test::FileBytes(segunda->ruta));
}

}  // namespace
}  // namespace brimsal
