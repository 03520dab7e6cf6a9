// FusionarImagenes from the map file to the written outputs: log, statistics, progressive map,
// variants, names, failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <ctime>
#include <filesystem>
#include <memory>
#include <vector>

#include "app/Misc.h"
#include "app/RecorderChannel.h"
#include "blend/Blend.h"
#include "blend/BlendFixtures.h"
#include "image/Picture.h"
#include "image/TiffIO.h"

namespace brimsal {
namespace {

using test::ConstantFrame;
using test::MakeFrame;
using test::SalidasDelLog;
using test::SesionPrueba;

BlendSettings Lineal() {
    BlendSettings settings;
    settings.Gamma10 = 10;
    return settings;
}

int Fusionar(SesionPrueba& prueba, RecorderChannel& channel, const BlendSettings& settings,
             bool bn = false, int threads = 2) {
    return FusionarImagenes(prueba.session.Ruta, bn, settings, prueba.session.set,
                            prueba.session.mapa, channel, threads);
}

// Three constant frames 4 x 2 (frame 1 = (100, 200, 300), frame 2 = (1000, 2000, 4000), frame 3
// = (3000, 6000, 12000)) with factors 1, 0.5, 0.25; map: three pixels of frame 1, two of frame
// 2, two of frame 3 and pixel (3, 1) at level 100, which the table sets to 2.25.
std::unique_ptr<SesionPrueba> ConTransicion() {
    std::vector<uint8_t> niveles = {255, 255, 255, 128, 128, 0, 0, 100};
    auto prueba =
        std::make_unique<SesionPrueba>(std::vector<Frame>{ConstantFrame(4, 2, 100, 200, 300),
                                                          ConstantFrame(4, 2, 1000, 2000, 4000),
                                                          ConstantFrame(4, 2, 3000, 6000, 12000)},
                                       std::vector<double>{1.0, 0.5, 0.25}, niveles);
    prueba->session.mapa.IndicePorNivel[100] = 2.25f;
    return prueba;
}

TEST(BlendRun, TransitionPixelInStatisticsOutputAndProgressiveMap) {
    auto creada = ConTransicion();
    SesionPrueba& prueba = *creada;
    RecorderChannel channel;
    ASSERT_EQ(Fusionar(prueba, channel, Lineal()), 1);
    const auto log = channel.log();
    const auto nombres = SalidasDelLog(log);
    ASSERT_EQ(nombres.size(), 1u);
    EXPECT_EQ(log, (std::vector<std::string>{
                       "Loading blending map...", "Image contribution...", "IMG_1.tiff: 37.5%",
                       "IMG_2.tiff: 34.4%", "IMG_3.tiff: 28.1%", "87.5% genuine pixels",
                       "Saving PNG progressive map as Map_120000_PB.png...", "\nBlending images...",
                       "Building output file...", "Saving image as " + nombres[0], "DONE"}));
    EXPECT_EQ(channel.beeps(), 1);
    EXPECT_TRUE(channel.boxes().empty());
    const Frame salida = prueba.Salida(nombres[0]);
    ASSERT_EQ(salida.width, 4);
    // Genuine pixels: c x F(k).
    EXPECT_EQ(salida.at(0, 0)[2], 300);
    EXPECT_EQ(salida.at(0, 1)[0], 500);   // frame 2: 1000 x 0.5
    EXPECT_EQ(salida.at(2, 1)[2], 3000);  // frame 3: 12000 x 0.25
    // 0.75 x 1000 x 0.5 + 0.25 x 3000 x 0.25 = 375 + 187.5 = 562.5, written 562 (half to even);
    // green 750 + 375 = 1125; blue 1500 + 750 = 2250.
    EXPECT_EQ(salida.at(3, 1)[0], 562);
    EXPECT_EQ(salida.at(3, 1)[1], 1125);
    EXPECT_EQ(salida.at(3, 1)[2], 2250);
    // The progressive map: genuine red, the transition in the map's grey.
    Picture pb;
    pb.LoadFromFile(prueba.dir.file("Map_120000_PB.png"));
    EXPECT_EQ(pb.GetPixelColor(0, 0), RGB(255, 0, 0));
    EXPECT_EQ(pb.GetPixelColor(2, 1), RGB(255, 0, 0));
    EXPECT_EQ(pb.GetPixelColor(3, 1), RGB(100, 100, 100));
}

TEST(BlendRun, AllGenuineMapWritesNoProgressiveMap) {
    // 5 x 3 = 15 pixels: 7 of frame 1, 8 of frame 2, none of frame 3.
    std::vector<uint8_t> niveles(15, 128);
    for (int i = 0; i < 7; ++i) {
        niveles[i] = 255;
    }
    SesionPrueba prueba(
        {ConstantFrame(5, 3, 1, 2, 3), ConstantFrame(5, 3, 4, 5, 6), ConstantFrame(5, 3, 7, 8, 9)},
        {1.0, 0.5, 0.25}, niveles);
    RecorderChannel channel;
    ASSERT_EQ(Fusionar(prueba, channel, Lineal()), 1);
    const auto log = channel.log();
    // 7 / 15 = 46.67 -> 46.7; 8 / 15 = 53.33 -> 53.3; together 100.
    EXPECT_EQ(std::vector<std::string>(log.begin() + 2, log.begin() + 6),
              (std::vector<std::string>{"IMG_1.tiff: 46.7%", "IMG_2.tiff: 53.3%", "IMG_3.tiff: 0%",
                                        "100% genuine pixels"}));
    EXPECT_EQ(log[6], "\nBlending images...");
    EXPECT_FALSE(ExisteArchivo(prueba.dir.file("Map_120000_PB.png")));
}

TEST(BlendRun, MapOnePixelNarrowerStopsBeforeStatistics) {
    auto creada = ConTransicion();
    SesionPrueba& prueba = *creada;
    test::EscribirMapa(prueba.session.mapa.RutaMapa, 3, 2, std::vector<uint8_t>(6, 255));
    const auto antes = prueba.Archivos();
    RecorderChannel channel;
    EXPECT_EQ(Fusionar(prueba, channel, Lineal()), -1);
    EXPECT_EQ(channel.log(), (std::vector<std::string>{"Loading blending map...",
                                                       "Map dimensions mismatch", "DONE"}));
    ASSERT_EQ(channel.boxes().size(), 1u);
    EXPECT_EQ(channel.boxes()[0].title, "ERROR");
    EXPECT_EQ(channel.boxes()[0].text, "Map dimensions do not match image dimensions");
    EXPECT_EQ(prueba.Archivos(), antes);
}

TEST(BlendRun, UnexpectedErrorsReportFusionarImagenesAndWriteNothing) {
    const struct {
        const char* nombre;
        void (*preparar)(SesionPrueba&);
        const char* texto;  // also in the report
    } casos[] = {
        // A table built for five frames: level 0 stands for frame 5 of a set of 3.
        {"level outside the set",
         [](SesionPrueba& p) { p.session.mapa.IndicePorNivel = test::TablaIndicePorNivel(5); },
         "Subscript out of range"},
        {"missing map file",
         [](SesionPrueba& p) { p.session.mapa.RutaMapa = p.dir.file("Map_999999.png"); },
         "Error number 53"},
        // A map name the file system takes, but too long once "_PB" and a temporary suffix are
        // added: the progressive map cannot be saved, so no output appears either.
        {"progressive map not saved",
         [](SesionPrueba& p) {
             const std::string largo = p.dir.file("Map_" + std::string(240, 'x') + ".png");
             std::filesystem::rename(p.session.mapa.RutaMapa, largo);
             p.session.mapa.RutaMapa = largo;
         },
         "module FusionarImagenes "},
    };
    for (const auto& caso : casos) {
        auto creada = ConTransicion();
        SesionPrueba& prueba = *creada;
        caso.preparar(prueba);
        const auto antes = prueba.Archivos();
        RecorderChannel channel;
        EXPECT_EQ(Fusionar(prueba, channel, Lineal()), -1) << caso.nombre;
        ASSERT_EQ(channel.boxes().size(), 1u) << caso.nombre;
        EXPECT_NE(channel.boxes()[0].text.find("module FusionarImagenes "), std::string::npos);
        EXPECT_NE(channel.boxes()[0].text.find(caso.texto), std::string::npos) << caso.nombre;
        EXPECT_EQ(channel.log(), (std::vector<std::string>{"An unexpected error occurred"}));
        EXPECT_EQ(prueba.Archivos(), antes) << caso.nombre;
    }
}

// A 2 x 1 set of one frame pair; pixel 0 from frame 1 holds `valor` in every channel.
std::unique_ptr<SesionPrueba> UnPixel(uint16_t valor) {
    return std::make_unique<SesionPrueba>(
        std::vector<Frame>{ConstantFrame(2, 1, valor, valor, valor), ConstantFrame(2, 1, 0, 0, 0)},
        std::vector<double>{1.0, 0.5}, std::vector<uint8_t>{255, 0});
}

TEST(BlendVariants, GammaCurveOnWrittenWords) {
    // Gamma 3.0 maps 8192 to 32767.67, gamma 2.2 maps 32768 to 47823.85, gamma 1.0 leaves the
    // value linear.
    const struct {
        uint16_t valor;
        int gamma10;
        uint16_t palabra;
        const char* nombre;
    } casos[] = {{8192, 30, 32768, "_sRGB_g3.tif"},
                 {32768, 22, 47824, "_sRGB_g2.2.tif"},
                 {12345, 10, 12345, "_sRGB_g1.tif"}};
    for (const auto& caso : casos) {
        auto creada = UnPixel(caso.valor);
        SesionPrueba& prueba = *creada;
        BlendSettings settings;
        settings.Gamma10 = caso.gamma10;
        RecorderChannel channel;
        ASSERT_EQ(Fusionar(prueba, channel, settings), 1);
        const std::string nombre = SalidasDelLog(channel.log())[0];
        EXPECT_NE(nombre.find(caso.nombre), std::string::npos) << nombre;
        const Frame salida = prueba.Salida(nombre);
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(salida.at(0, 0)[c], caso.palabra) << caso.gamma10;
        }
    }
}

TEST(BlendVariants, EttrOnTheWrittenImageColourAndBlackAndWhite) {
    // Colour, brightest word 32768: +1EV, the pixel reaches 65535. A frame clipped in red only:
    // in colour already clipped; in B&W the mix 0.33 x 65535 rounds to 21627, log2(65535 /
    // 21627) = 1.5994, and 0.33f x 65535 x 65535 / 21627 = 65533.64 is one grey in all channels.
    const struct {
        Frame uno;
        bool bn;
        const char* linea;
        uint16_t palabras[3];
    } casos[] = {
        {ConstantFrame(2, 1, 32768, 32768, 32768),
         false,
         "Histogram correction by +1EV",
         {65535, 65535, 65535}},
        {ConstantFrame(2, 1, 65535, 0, 0), false, "Already clipped highlights", {65535, 0, 0}},
        {ConstantFrame(2, 1, 65535, 0, 0),
         true,
         "Histogram correction by +1.599EV",
         {65534, 65534, 65534}},
    };
    for (const auto& caso : casos) {
        SesionPrueba prueba({caso.uno, ConstantFrame(2, 1, 0, 0, 0)}, {1.0, 0.5}, {255, 0});
        BlendSettings settings = Lineal();
        settings.ETTR = true;
        RecorderChannel channel;
        ASSERT_EQ(Fusionar(prueba, channel, settings, caso.bn), 1);
        const auto log = channel.log();
        const auto at = std::find(log.begin(), log.end(), "\nCalculating ETTR correction...");
        ASSERT_NE(at, log.end());
        EXPECT_EQ(*(at + 1), caso.linea);
        EXPECT_EQ(*(at + 2), "\nBlending images...");
        const auto nombre = SalidasDelLog(log)[0];
        EXPECT_EQ(nombre.rfind("BR_BW_", 0) == 0, caso.bn) << nombre;
        const Frame salida = prueba.Salida(nombre);
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(salida.at(0, 0)[c], caso.palabras[c]) << caso.linea;
        }
    }
}

// Headroom folds F into the factors (16-bit clamps, ETTR measures on the output's scale); float
// outputs are value / 65535 unclamped, and a pixel saturated in every channel of the darkest
// frame is neutral at 65535 x F(1) instead of the colour the channels stopped at.
TEST(BlendVariants, HeadroomFactorFloatOutputAndNeutralClip) {
    WhiteBalanceSettings daylight;
    daylight.txtWB = {"2.132483", "1", "1.480864"};
    const DevelopScale headroom = HeadroomScale(daylight);
    const double f = headroom.factor;
    const Frame saturada = MakeFrame(2, 1, [](int x, int, int c) {
        const uint16_t saturated[3] = {65535, 30731, 45509};  // dcraw's -H 1 clip, Daylight
        const uint16_t plain[3] = {1000, 2000, 3000};
        return x == 0 ? saturated[c] : plain[c];
    });
    const struct {
        Frame uno;
        bool headroom;
        bool ettr;
        bool flotante;
        std::array<double, 6> esperado;  // pixels (0, 0) and (1, 0)
    } casos[] = {
        {saturada, true, false, false, {65535, 65533, 65535, 2132, 4265, 6397}},
        {saturada,
         true,
         false,
         true,
         {65535 * f, 65535 * f, 65535 * f, 1000 * f, 2000 * f, 3000 * f}},
        {saturada, false, false, true, {65535, 30731, 45509, 1000, 2000, 3000}},
        // M = 10000 x F on the output's scale: +1.62EV, 10000 reaches 65535 as without headroom.
        {ConstantFrame(2, 1, 10000, 5001, 7001),
         true,
         true,
         false,
         {65535, 32774, 45881, 65535, 32774, 45881}},
    };
    for (const auto& caso : casos) {
        SesionPrueba prueba({caso.uno, ConstantFrame(2, 1, 0, 0, 0)}, {1.0, 0.5}, {255, 255});
        BlendSettings settings = Lineal();
        settings.ETTR = caso.ettr;
        settings.floatOutput = caso.flotante;
        settings.scale = caso.headroom ? headroom : DevelopScale{};
        RecorderChannel channel;
        ASSERT_EQ(Fusionar(prueba, channel, settings), 1);
        const auto log = channel.log();
        const auto linea = std::find(log.begin(), log.end(),
                                     "\nSet developed with headroom: F = " + TextoNumero(f));
        EXPECT_EQ(linea != log.end(), caso.headroom);
        if (caso.ettr) {
            EXPECT_NE(std::find(log.begin(), log.end(),
                                "Histogram correction by +" + TextoNumero(1.62) + "EV"),
                      log.end());
        }
        const std::string nombre = SalidasDelLog(log)[0];
        EXPECT_EQ(nombre.ends_with("_g1_float.tif"), caso.flotante) << nombre;
        for (int p = 0; p < 6; ++p) {
            const double esperado = caso.esperado[static_cast<size_t>(p)];
            if (caso.flotante) {
                int ancho = 0;
                int alto = 0;
                const auto muestras = LeerTIFFFlotante(prueba.dir.file(nombre), ancho, alto);
                EXPECT_FLOAT_EQ(muestras[static_cast<size_t>(p)], esperado / 65535) << p;
            } else {
                EXPECT_EQ(prueba.Salida(nombre).pixels[static_cast<size_t>(p)], esperado) << p;
            }
        }
    }
}

TEST(BlendVariants, BracketedOutputsAndTheirLog) {
    auto creada = UnPixel(300);
    SesionPrueba& prueba = *creada;
    prueba.session.set.Imagenes[0].at(1, 0)[0] = 255;
    prueba.session.mapa.IndicePorNivel[0] = 1.0f;  // both pixels from frame 1
    BlendSettings settings = Lineal();
    settings.NumBracketing = 5;
    settings.PasoBracketing = 2;
    RecorderChannel channel;
    ASSERT_EQ(Fusionar(prueba, channel, settings), 1);
    const auto log = channel.log();
    const auto nombres = SalidasDelLog(log);
    ASSERT_EQ(nombres.size(), 5u);
    const auto at = std::find(log.begin(), log.end(), "Building output files...");
    ASSERT_NE(at, log.end());
    for (int b = 1; b <= 5; ++b) {
        EXPECT_EQ(*(at + 2 * b - 1), "Bracketing " + std::to_string(b) + "/5...");
        EXPECT_EQ(*(at + 2 * b), "Saving image as " + nombres[b - 1]);
    }
    EXPECT_EQ(log.back(), "DONE");
    const std::string sufijos[] = {"_0EV.tif", "_+2EV.tif", "_+4EV.tif", "_+6EV.tif", "_+8EV.tif"};
    const std::string base = nombres[0].substr(0, nombres[0].size() - sufijos[0].size());
    for (int b = 0; b < 5; ++b) {
        EXPECT_EQ(nombres[b], base + sufijos[b]);
    }
    // +8EV at gamma 1 multiplies by 256: 300 -> 76800 and any larger value, written 65535;
    // 255 -> 65280 fits.
    const Frame mas8 = prueba.Salida(nombres[4]);
    EXPECT_EQ(mas8.at(0, 0)[0], 65535);
    EXPECT_EQ(mas8.at(1, 0)[0], 65280);
    EXPECT_EQ(prueba.Salida(nombres[1]).at(0, 0)[0], 1200);  // +2EV: x 4
}

TEST(BlendState, ReleasedDarkestFrameIsReloadedFromItsTiff) {
    auto creada = ConTransicion();
    SesionPrueba& prueba = *creada;
    RecorderChannel primero;
    ASSERT_EQ(Fusionar(prueba, primero, Lineal()), 1);
    prueba.session.set.Imagenes[0].release();
    RecorderChannel segundo;
    ASSERT_EQ(Fusionar(prueba, segundo, Lineal()), 1);
    EXPECT_EQ(prueba.session.set.Imagenes[0].at(0, 0)[0], 100);
    EXPECT_EQ(prueba.Salida(SalidasDelLog(primero.log())[0]).pixels,
              prueba.Salida(SalidasDelLog(segundo.log())[0]).pixels);
    // Reload failing: the image library's report, no output.
    prueba.session.set.Imagenes[0].release();
    prueba.session.set.TIFFMasOscuro = prueba.dir.file("gone.tiff");
    RecorderChannel tercero;
    EXPECT_EQ(Fusionar(prueba, tercero, Lineal()), -1);
    ASSERT_EQ(tercero.boxes().size(), 1u);
    EXPECT_NE(tercero.boxes()[0].text.find("gflLoadBitmap ["), std::string::npos);
    EXPECT_TRUE(SalidasDelLog(tercero.log()).empty());
}

TEST(BlendState, ExistingFilesAreNeverOverwritten) {
    auto creada = ConTransicion();
    SesionPrueba& prueba = *creada;
    test::Touch(prueba.dir.file("Map_120000_PB.png"));
    // Occupy the output name of this second and the next few.
    const std::time_t ahora = std::time(nullptr);
    for (int s = 0; s < 5; ++s) {
        const std::time_t t = ahora + s;
        std::tm local{};
        localtime_r(&t, &local);
        char hhmmss[16];
        std::strftime(hhmmss, sizeof hhmmss, "%H%M%S", &local);
        test::Touch(prueba.dir.file(std::string("BR_") + hhmmss + "_sRGB_g1.tif"));
    }
    RecorderChannel channel;
    ASSERT_EQ(Fusionar(prueba, channel, Lineal()), 1);
    EXPECT_TRUE(channel.logContains("Saving PNG progressive map as Map_120000_PB_2.png..."));
    EXPECT_EQ(std::filesystem::file_size(prueba.dir.file("Map_120000_PB.png")), 0u);
    const std::string nombre = SalidasDelLog(channel.log())[0];
    EXPECT_NE(nombre.find("_sRGB_g1_2.tif"), std::string::npos) << nombre;
    EXPECT_EQ(prueba.Salida(nombre).at(0, 0)[0], 100);
}

// Blends run one after the other (the darkest frame is never left holding an output) with 1, 2
// and 3 threads give the same images under new names.
TEST(BlendState, BlendsInARowAndAnyThreadCountGiveTheSameImage) {
    const int ancho = 131;
    const int alto = 150;  // more rows than one band of one thread
    std::vector<Frame> frames;
    for (int k = 0; k < 3; ++k) {
        frames.push_back(test::MakeFrame(ancho, alto, [k](int x, int y, int c) {
            return static_cast<uint16_t>((x * 37 + y * 101 + c * 7 + k * 1000) * (k + 1) % 65536);
        }));
    }
    std::vector<uint8_t> niveles(ancho * alto);
    for (size_t i = 0; i < niveles.size(); ++i) {
        niveles[i] = static_cast<uint8_t>(i * 7 % 256);
    }
    SesionPrueba prueba(std::move(frames), {1.0, 0.3, 0.07}, niveles);
    BlendSettings settings;
    settings.NumBracketing = 3;
    std::vector<std::vector<std::string>> nombres;
    for (int hilos : {1, 2, 3}) {
        RecorderChannel channel;
        ASSERT_EQ(Fusionar(prueba, channel, settings, false, hilos), 1);
        nombres.push_back(SalidasDelLog(channel.log()));
        ASSERT_EQ(nombres.back().size(), 3u);
    }
    EXPECT_NE(nombres[0], nombres[1]);  // never the same file twice
    for (size_t b = 0; b < 3; ++b) {
        const auto uno = prueba.Salida(nombres[0][b]).pixels;
        EXPECT_EQ(prueba.Salida(nombres[1][b]).pixels, uno);
        EXPECT_EQ(prueba.Salida(nombres[2][b]).pixels, uno);
    }
}

TEST(BlendState, CancelLeavesNoOutputFile) {
    auto creada = ConTransicion();
    SesionPrueba& prueba = *creada;
    RecorderChannel channel;
    channel.Cancelar();
    EXPECT_THROW(Fusionar(prueba, channel, Lineal()), Cancelled);
    for (const auto& nombre : prueba.Archivos()) {
        EXPECT_EQ(nombre.find("BR_"), std::string::npos) << nombre;
    }
}

// Numbers in log lines follow the user's decimal separator; numbers in file names never do.
class ComaDecimal {
  public:
    ComaDecimal() : anterior_(std::setlocale(LC_NUMERIC, nullptr)) {
        disponible_ = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr ||
                      std::setlocale(LC_NUMERIC, "de_DE.utf8") != nullptr;
    }
    ~ComaDecimal() { std::setlocale(LC_NUMERIC, anterior_.c_str()); }
    bool disponible() const { return disponible_; }

  private:
    std::string anterior_;
    bool disponible_ = false;
};

TEST(BlendLocale, CommaInLogLinesPointInNames) {
    ComaDecimal coma;
    if (!coma.disponible()) {
        GTEST_SKIP() << "no comma locale installed";
    }
    auto creada = ConTransicion();
    SesionPrueba& prueba = *creada;
    prueba.session.set.Imagenes[0].at(0, 0)[0] = 43690;
    BlendSettings settings;  // gamma 2.2
    settings.ETTR = true;
    settings.NumBracketing = 2;
    RecorderChannel channel;
    ASSERT_EQ(Fusionar(prueba, channel, settings), 1);
    EXPECT_TRUE(channel.logContains("IMG_2.tiff: 34,4%"));
    EXPECT_TRUE(channel.logContains("87,5% genuine pixels"));
    EXPECT_TRUE(channel.logContains("Histogram correction by +0,585EV"));
    const auto nombres = SalidasDelLog(channel.log());
    ASSERT_EQ(nombres.size(), 2u);
    EXPECT_NE(nombres[0].find("_sRGB_g2.2_0EV.tif"), std::string::npos) << nombres[0];
    EXPECT_NE(nombres[1].find("_sRGB_g2.2_+2EV.tif"), std::string::npos) << nombres[1];
}

}  // namespace
}  // namespace brimsal
