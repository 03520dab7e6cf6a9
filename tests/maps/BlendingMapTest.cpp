#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "app/Misc.h"
#include "app/RecorderChannel.h"
#include "image/Picture.h"
#include "maps/BlendingMap.h"
#include "support/Fixtures.h"

namespace brimsal {
namespace {

using test::ConstantFrame;
using test::MakeFrame;
using test::TempDir;

constexpr uint16_t kBajo = 1000;     // valid everywhere
constexpr uint16_t kAlto = 65000;    // above every threshold
constexpr uint16_t kUmbral = 58982;  // the Camera threshold at 90 %

WhiteBalanceSettings Camara() {
    WhiteBalanceSettings wb;
    wb.mode = WBMode::kCamera;
    return wb;
}

MapSettings Radios(int antighost, int progressive) {
    MapSettings settings;
    settings.antighost = antighost;
    settings.progressive = progressive;
    return settings;
}

ExposureSet SetDe(std::vector<Frame> frames) {
    ExposureSet set;
    set.AnchoImagen = frames.front().width;
    set.AltoImagen = frames.front().height;
    for (size_t i = 0; i < frames.size(); ++i) {
        set.ArchivosTIFF.push_back("/nowhere/img" + std::to_string(i + 1) + ".tiff");
    }
    set.Imagenes = std::move(frames);
    set.TIFFsCargados = true;
    return set;
}

std::vector<uint8_t> LeerNiveles(const std::string& path, int* w = nullptr, int* h = nullptr) {
    Picture picture;
    picture.LoadFromFile(path);
    std::vector<uint8_t> levels(static_cast<size_t>(picture.GetWidth()) * picture.GetHeight());
    picture.GetRedSamples(levels.data());
    if (w != nullptr) {
        *w = picture.GetWidth();
        *h = picture.GetHeight();
    }
    return levels;
}

TEST(BlendingMap, LevelTable) {
    const auto dos = ConstruirIndicePorNivel(2);
    EXPECT_EQ(dos[0], 2.0f);
    EXPECT_EQ(dos[255], 1.0f);
    EXPECT_EQ(dos[51], static_cast<float>(2 - 51.0 / 255));
    const auto tres = ConstruirIndicePorNivel(3);
    EXPECT_EQ(tres[128], 2.0f);  // whole-frame level of frame 2, not 3 - 2 * 128 / 255
    EXPECT_EQ(tres[127], static_cast<float>(3 - 2 * 127.0 / 255));
    const auto cinco = ConstruirIndicePorNivel(5);
    for (int k = 1; k <= 5; ++k) {
        EXPECT_EQ(cinco[NivelMapa(k, 5)], static_cast<float>(k));
    }
    EXPECT_THROW(ConstruirIndicePorNivel(1), RunTimeError);
    EXPECT_THROW(ConstruirIndicePorNivel(256), RunTimeError);
}

// The index is the brightest frame 2..N at or below every threshold; frame 1 otherwise, never
// tested; a channel equal to its threshold is valid.
TEST(BlendingMap, PixelMapRule) {
    const int w = 4;
    const int h = 1;
    // Pixel 0: valid in frame 3. Pixel 1: only in frame 2 (equal to the threshold there).
    // Pixel 2: clipped in 2 and 3 -> 1. Pixel 3: one channel above in frame 3, valid in 2.
    Frame f3 = MakeFrame(w, h, [](int x, int, int c) -> uint16_t {
        if (x == 0)
            return kBajo;
        if (x == 3)
            return c == 2 ? kUmbral + 1 : kBajo;
        return kAlto;
    });
    Frame f2 = MakeFrame(w, h, [](int x, int, int) -> uint16_t {
        return x == 1 ? kUmbral : x == 2 ? kAlto : kBajo;
    });
    Frame f1 = ConstantFrame(w, h, kAlto, kAlto, kAlto);  // clipped, yet taken untested
    const ExposureSet set = SetDe({std::move(f1), std::move(f2), std::move(f3)});
    const PlanoMapa indices = MapaDeIndices(set, {kUmbral, kUmbral, kUmbral}, 1);
    EXPECT_EQ(indices.data, (std::vector<uint8_t>{3, 2, 1, 2}));
}

TEST(BlendingMap, TwoAndThreeFrameLevelsWithoutPasses) {
    TempDir dir;
    const std::string ruta = dir.file("ref.CR2");
    {
        // Left half valid in frame 2, right half clipped in 2.
        Frame f2 =
            MakeFrame(8, 3, [](int x, int, int) -> uint16_t { return x < 4 ? kBajo : kAlto; });
        const ExposureSet set = SetDe({ConstantFrame(8, 3, kBajo, kBajo, kBajo), std::move(f2)});
        RecorderChannel channel;
        MapState mapa;
        ASSERT_TRUE(GenerarMapa(ruta, Radios(0, 0), Camara(), set, mapa, channel, 1));
        int w = 0;
        int h = 0;
        const auto levels = LeerNiveles(mapa.RutaMapa, &w, &h);
        EXPECT_EQ(w, 8);
        EXPECT_EQ(h, 3);
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < 8; ++x) {
                EXPECT_EQ(levels[static_cast<size_t>(y * 8 + x)], x < 4 ? 0 : 255);
            }
        }
        EXPECT_EQ(mapa.IndicePorNivel, ConstruirIndicePorNivel(2));
    }
    {
        // Columns: frame 3, frame 2, frame 1.
        Frame f3 =
            MakeFrame(3, 2, [](int x, int, int) -> uint16_t { return x == 0 ? kBajo : kAlto; });
        Frame f2 =
            MakeFrame(3, 2, [](int x, int, int) -> uint16_t { return x <= 1 ? kBajo : kAlto; });
        const ExposureSet set =
            SetDe({ConstantFrame(3, 2, kBajo, kBajo, kBajo), std::move(f2), std::move(f3)});
        RecorderChannel channel;
        MapState mapa;
        ASSERT_TRUE(GenerarMapa(ruta, Radios(0, 0), Camara(), set, mapa, channel, 1));
        const auto levels = LeerNiveles(mapa.RutaMapa);
        EXPECT_EQ(levels, (std::vector<uint8_t>{0, 128, 255, 0, 128, 255}));
        EXPECT_EQ(mapa.IndicePorNivel[128], 2.0f);
    }
}

TEST(BlendingMap, FullLogOfARun) {
    TempDir dir;
    const std::string ruta = dir.file("ref.CR2");
    Frame f2 =
        MakeFrame(30, 20, [](int x, int, int) -> uint16_t { return x < 10 ? kBajo : kAlto; });
    const ExposureSet set = SetDe({ConstantFrame(30, 20, kBajo, kBajo, kBajo), std::move(f2)});
    RecorderChannel channel;
    MapState mapa;
    ASSERT_TRUE(GenerarMapa(ruta, Radios(0, 3), Camara(), set, mapa, channel));
    const std::string archivo = NombreArchivo(mapa.RutaMapa);
    EXPECT_EQ(channel.log(), (std::vector<std::string>{
                                 "Threshold optimisation...",
                                 "R: 58982\nG: 58982\nB: 58982",
                                 "\nBuilding pixel map...",
                                 "Building anti ghosting map (0+3px) ...",
                                 "Building progressive map (3px) ...",
                                 "Generating PNG map...",
                                 "\nSaving PNG map as " + archivo + "...",
                                 "DONE",
                             }));
    EXPECT_EQ(mapa.RutaMapa, dir.path() + "/" + archivo);
    EXPECT_EQ(archivo.substr(0, 4), "Map_");
    EXPECT_EQ(archivo.size(), std::string("Map_hhmmss.png").size());
    EXPECT_EQ(channel.beeps(), 1);
    EXPECT_EQ(channel.progress().back(), "100%");
    EXPECT_EQ(mapa.Umbrales, (std::array<int32_t, 3>{58982, 58982, 58982}));

    // Without any radius no pass is logged.
    RecorderChannel quiet;
    ASSERT_TRUE(GenerarMapa(ruta, Radios(0, 0), Camara(), set, mapa, quiet));
    EXPECT_FALSE(quiet.logContains("Building progressive map (0px) ..."));
    EXPECT_EQ(quiet.log().size(), 6u);
    // Anti-ghosting alone: its radius is antighost + 0.
    RecorderChannel ag;
    ASSERT_TRUE(GenerarMapa(ruta, Radios(4, 0), Camara(), set, mapa, ag));
    EXPECT_TRUE(ag.logContains("Building anti ghosting map (4+0px) ..."));
    EXPECT_EQ(ag.log().size(), 7u);
}

// The worked border through the whole run: frame 2 valid left of column 10.
TEST(BlendingMap, WorkedBorderWritesTheTransitionLevels) {
    TempDir dir;
    Frame f2 = MakeFrame(16, 5, [](int x, int, int) -> uint16_t { return x < 10 ? kBajo : kAlto; });
    const ExposureSet set = SetDe({ConstantFrame(16, 5, kBajo, kBajo, kBajo), std::move(f2)});
    RecorderChannel channel;
    MapState mapa;
    ASSERT_TRUE(GenerarMapa(dir.file("ref.CR2"), Radios(0, 1), Camara(), set, mapa, channel));
    const auto levels = LeerNiveles(mapa.RutaMapa);
    for (int x = 0; x < 16; ++x) {
        const int expected = x <= 7 ? 0 : x == 8 ? 85 : x == 9 ? 170 : 255;
        EXPECT_EQ(levels[static_cast<size_t>(2 * 16 + x)], expected) << x;
    }
}

TEST(BlendingMap, SameMapWithOneThreadOrAll) {
    TempDir dir;
    auto noise = [](unsigned seed) {
        return [seed](int x, int y, int c) -> uint16_t {
            const unsigned v = (x * 7919u + y * 104729u + c * 31u + seed) * 2654435761u;
            return static_cast<uint16_t>(v >> 16);
        };
    };
    const ExposureSet set = SetDe(
        {MakeFrame(90, 140, noise(1)), MakeFrame(90, 140, noise(2)), MakeFrame(90, 140, noise(3))});
    RecorderChannel a;
    RecorderChannel b;
    MapState uno;
    MapState todos;
    ASSERT_TRUE(GenerarMapa(dir.file("ref.CR2"), Radios(2, 5), Camara(), set, uno, a, 1));
    ASSERT_TRUE(GenerarMapa(dir.file("ref.CR2"), Radios(2, 5), Camara(), set, todos, b, 0));
    EXPECT_NE(uno.RutaMapa, todos.RutaMapa);  // never over an existing file
    EXPECT_EQ(LeerNiveles(uno.RutaMapa), LeerNiveles(todos.RutaMapa));
}

TEST(BlendingMap, TooFewOrTooManyFramesIsAnUnexpectedError) {
    TempDir dir;
    for (int n : {1, 256}) {
        std::vector<Frame> frames;
        for (int i = 0; i < n; ++i) {
            frames.push_back(ConstantFrame(2, 2, kBajo, kBajo, kBajo));
        }
        const ExposureSet set = SetDe(std::move(frames));
        RecorderChannel channel;
        MapState mapa;
        mapa.RutaMapa = "old.png";
        EXPECT_FALSE(GenerarMapa(dir.file("ref.CR2"), Radios(0, 0), Camara(), set, mapa, channel));
        ASSERT_EQ(channel.boxes().size(), 1u);
        EXPECT_NE(channel.boxes()[0].text.find("GenerarMapa"), std::string::npos);
        EXPECT_EQ(channel.log(), std::vector<std::string>{"An unexpected error occurred"});
        EXPECT_EQ(mapa.RutaMapa, "old.png");
        EXPECT_EQ(mapa.IndicePorNivel[0], 0.0f);
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(BlendingMap, CancelledRunWritesNothingAndKeepsTheState) {
    TempDir dir;
    Frame f2 =
        MakeFrame(40, 300, [](int x, int, int) -> uint16_t { return x < 20 ? kBajo : kAlto; });
    const ExposureSet set = SetDe({ConstantFrame(40, 300, kBajo, kBajo, kBajo), std::move(f2)});
    MapState mapa;
    mapa.RutaMapa = "/earlier/Map_000000.png";
    mapa.IndicePorNivel = ConstruirIndicePorNivel(5);
    mapa.Umbrales = {1, 2, 3};
    const MapState before = mapa;
    RecorderChannel channel;
    channel.CancelarTrasProgresos(1);
    EXPECT_THROW(GenerarMapa(dir.file("ref.CR2"), Radios(2, 2), Camara(), set, mapa, channel, 1),
                 Cancelled);
    EXPECT_EQ(mapa.RutaMapa, before.RutaMapa);
    EXPECT_EQ(mapa.IndicePorNivel, before.IndicePorNivel);
    EXPECT_EQ(mapa.Umbrales, before.Umbrales);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(BlendingMap, BadCoefficientTextIsReportedAsGenerarMapa) {
    TempDir dir;
    const ExposureSet set =
        SetDe({ConstantFrame(4, 4, kBajo, kBajo, kBajo), ConstantFrame(4, 4, kBajo, kBajo, kBajo)});
    WhiteBalanceSettings wb;
    wb.txtWB = {"x", "1", "1"};
    RecorderChannel channel;
    MapState mapa;
    EXPECT_FALSE(GenerarMapa(dir.file("ref.CR2"), Radios(0, 3), wb, set, mapa, channel));
    ASSERT_EQ(channel.boxes().size(), 1u);
    EXPECT_NE(channel.boxes()[0].text.find("GenerarMapa"), std::string::npos);
    EXPECT_TRUE(mapa.RutaMapa.empty());
}

}  // namespace
}  // namespace brimsal
