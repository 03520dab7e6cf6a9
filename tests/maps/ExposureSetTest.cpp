#include <gtest/gtest.h>

#include "app/RecorderChannel.h"
#include "image/TiffIO.h"
#include "maps/ExposureSet.h"
#include "maps/FramePreload.h"
#include "support/Fixtures.h"

namespace brimsal {
namespace {

// A folder of RAW stand-ins with developed TIFFs beside them.
class ExposureSetTest : public ::testing::Test {
  protected:
    // Writes name.cr2 and, when `frame` is not empty, name.tiff.
    void Add(const std::string& name, const Frame& frame) {
        test::Touch(dir_.file(name + ".cr2"));
        raws_.push_back(name + ".cr2");
        if (!frame.empty()) {
            EscribirTIFF(frame, dir_.file(name + ".tiff"));
        }
    }
    std::string Ruta() const { return dir_.file(raws_.front()); }
    std::string Tiff(const std::string& name) const { return dir_.file(name + ".tiff"); }

    test::TempDir dir_;
    std::vector<std::string> raws_;
    ExposureSet set_;
    RecorderChannel channel_;
};

TEST_F(ExposureSetTest, OneRawFileIsTooFew) {
    Add("a", test::ConstantFrame(4, 3, 100, 100, 100));
    channel_.AnadirLog("earlier line", false);
    EXPECT_EQ(CargarTIFFs(Ruta(), raws_, set_, channel_), 0);
    EXPECT_EQ(channel_.log(),
              (std::vector<std::string>{"earlier line", "\nInsufficient TIFF files", "DONE"}));
    EXPECT_EQ(channel_.beeps(), 1);
    EXPECT_EQ(set_.N(), 0);
    EXPECT_FALSE(set_.TIFFsCargados);
}

TEST_F(ExposureSetTest, MissingTiffIsSkipped) {
    Add("a", test::ConstantFrame(4, 3, 100, 100, 100));
    Add("b", Frame());
    Add("c", test::ConstantFrame(4, 3, 200, 200, 200));
    EXPECT_EQ(CargarTIFFs(Ruta(), raws_, set_, channel_), 2);
    EXPECT_EQ(channel_.log(), (std::vector<std::string>{"Loading 3 TIFF files...",
                                                        "file b.tiff not found. Skipped"}));
    EXPECT_EQ(set_.ArchivosTIFF, (std::vector<std::string>{Tiff("a"), Tiff("c")}));
    EXPECT_TRUE(set_.TIFFsCargados);
    EXPECT_EQ(set_.AnchoImagen, 4);
    EXPECT_EQ(set_.AltoImagen, 3);
}

TEST_F(ExposureSetTest, OnlyOneTiffFoundIsTooFew) {
    Add("a", test::ConstantFrame(4, 3, 100, 100, 100));
    Add("b", Frame());
    EXPECT_EQ(CargarTIFFs(Ruta(), raws_, set_, channel_), 1);
    EXPECT_EQ(channel_.log(),
              (std::vector<std::string>{"Loading 2 TIFF files...", "file b.tiff not found. Skipped",
                                        "\nInsufficient TIFF files", "DONE"}));
    EXPECT_FALSE(set_.TIFFsCargados);
    EXPECT_TRUE(set_.Imagenes.at(0).empty());
}

TEST_F(ExposureSetTest, NarrowerThirdTiffIsAMismatch) {
    Add("a", test::ConstantFrame(10, 6, 100, 100, 100));
    Add("b", test::ConstantFrame(10, 6, 200, 200, 200));
    Add("c", test::ConstantFrame(9, 6, 300, 300, 300));
    Add("d", Frame());  // never looked at: the load stops at the mismatch
    EXPECT_EQ(CargarTIFFs(Ruta(), raws_, set_, channel_), -1);
    EXPECT_EQ(channel_.log(), (std::vector<std::string>{"Loading 4 TIFF files...",
                                                        "Image dimensions mismatch", "DONE"}));
    ASSERT_EQ(channel_.boxes().size(), 1u);
    EXPECT_EQ(channel_.boxes()[0].title, "ERROR");
    EXPECT_EQ(channel_.boxes()[0].text, "Image dimensions mismatch between a.tiff and c.tiff");
    EXPECT_FALSE(set_.TIFFsCargados);
    for (const Frame& frame : set_.Imagenes) {
        EXPECT_TRUE(frame.empty());
    }
}

TEST_F(ExposureSetTest, UnreadableTiffEndsTheLoadWithTheReport) {
    Add("a", test::ConstantFrame(4, 3, 100, 100, 100));
    Add("b", Frame());
    test::WriteBytes(Tiff("b"), {'n', 'o', 't', ' ', 'a', ' ', 't', 'i', 'f', 'f'});
    Add("c", test::ConstantFrame(4, 3, 100, 100, 100));
    EXPECT_EQ(CargarTIFFs(Ruta(), raws_, set_, channel_), -1);
    ASSERT_EQ(channel_.boxes().size(), 1u);
    EXPECT_EQ(channel_.boxes()[0].text.rfind(
                  "Unexpected error occurred in module gflLoadBitmap ['" + Tiff("b"), 0),
              0u);
    EXPECT_EQ(channel_.log(), (std::vector<std::string>{"An unexpected error occurred"}));
    EXPECT_FALSE(set_.TIFFsCargados);
    EXPECT_TRUE(set_.Imagenes.at(0).empty());
}

// Mean levels: a 12.34 %, b 50 %, c 4 %, the identical pair 25 %, black 0 %. Equal sums end in
// reverse load order; the all-black frame is the darkest.
TEST_F(ExposureSetTest, SortLogsAndOrdersDarkestFirst) {
    Add("a", test::ConstantFrame(10, 10, 8087, 8087, 8087));
    Add("b", test::ConstantFrame(10, 10, 32768, 32767, 32768));
    Add("c", test::ConstantFrame(10, 10, 2621, 2622, 2621));
    const Frame same = test::MakeFrame(10, 10, [](int x, int y, int c) {
        return static_cast<uint16_t>(16384 + (x - 5) * 3 + (y % 2 ? c : -c));
    });
    Add("first", same);
    Add("second", same);
    Add("dark", test::ConstantFrame(10, 10, 0, 0, 0));
    ASSERT_EQ(CargarTIFFs(Ruta(), raws_, set_, channel_), 6);
    ASSERT_TRUE(OrdenarPorExposicion(true, set_, channel_));
    EXPECT_EQ(channel_.log(),
              (std::vector<std::string>{
                  "Loading 6 TIFF files...", "\nCalculating absolute exposure...", "a.tiff: 12.3%",
                  "b.tiff: 50%", "c.tiff: 4%", "first.tiff: 25%", "second.tiff: 25%",
                  "dark.tiff: 0%", "Sorting images by exposure...", "Reloading sorted images..."}));
    EXPECT_EQ(set_.ArchivosTIFF,
              (std::vector<std::string>{Tiff("dark"), Tiff("c"), Tiff("a"), Tiff("second"),
                                        Tiff("first"), Tiff("b")}));
    EXPECT_EQ(set_.TIFFMasOscuro, Tiff("dark"));
    EXPECT_EQ(set_.Imagenes[1].at(0, 0)[1], 2622);
    EXPECT_EQ(set_.Imagenes[5].at(9, 9)[0], 32768);
    EXPECT_TRUE(set_.TIFFsCargados);
}

TEST_F(ExposureSetTest, SortWithoutReloadKeepsLoadOrderAndReleases) {
    Add("a", test::ConstantFrame(4, 4, 500, 500, 500));
    Add("b", test::ConstantFrame(4, 4, 50, 50, 50));
    ASSERT_EQ(CargarTIFFs(Ruta(), raws_, set_, channel_), 2);
    ASSERT_TRUE(OrdenarPorExposicion(false, set_, channel_));
    EXPECT_EQ(set_.TIFFMasOscuro, Tiff("b"));
    EXPECT_EQ(set_.ArchivosTIFF, (std::vector<std::string>{Tiff("a"), Tiff("b")}));
    EXPECT_FALSE(set_.TIFFsCargados);
    EXPECT_TRUE(set_.Imagenes[0].empty());
    EXPECT_TRUE(set_.Imagenes[1].empty());
    EXPECT_FALSE(channel_.logContains("Reloading sorted images..."));
}

TEST_F(ExposureSetTest, SecondLoadReplacesTheFirst) {
    Add("a", test::ConstantFrame(4, 4, 500, 500, 500));
    Add("b", test::ConstantFrame(4, 4, 50, 50, 50));
    ASSERT_EQ(CargarTIFFs(Ruta(), raws_, set_, channel_), 2);
    EscribirTIFF(test::ConstantFrame(8, 2, 7, 7, 7), Tiff("a"));
    EscribirTIFF(test::ConstantFrame(8, 2, 9, 9, 9), Tiff("b"));
    ASSERT_EQ(CargarTIFFs(Ruta(), raws_, set_, channel_), 2);
    EXPECT_EQ(set_.N(), 2);
    EXPECT_EQ(set_.AnchoImagen, 8);
    EXPECT_EQ(set_.Imagenes[1].at(7, 1)[0], 9);
    EXPECT_EQ(channel_.log().front(), "Loading 2 TIFF files...");
}

TEST_F(ExposureSetTest, SameResultWithOneThreadOrMany) {
    for (int i = 0; i < 5; ++i) {
        Add("f" + std::to_string(i), test::MakeFrame(33, 17, [i](int x, int y, int c) {
                return static_cast<uint16_t>((x * 131 + y * 71 + c * 13) * (5 - i) % 60000);
            }));
    }
    std::vector<std::string> logs[2];
    std::vector<std::string> order[2];
    for (int run = 0; run < 2; ++run) {
        RecorderChannel channel;
        ExposureSet set;
        const int threads = run == 0 ? 1 : 4;
        ASSERT_EQ(CargarTIFFs(Ruta(), raws_, set, channel, threads), 5);
        ASSERT_TRUE(OrdenarPorExposicion(true, set, channel, threads));
        logs[run] = channel.log();
        order[run] = set.ArchivosTIFF;
    }
    EXPECT_EQ(logs[0], logs[1]);
    EXPECT_EQ(order[0], order[1]);
}

// Frames read while the development runs make the same set, log and sort as frames read by the
// load; a TIFF rewritten after it was handed over is read again.
TEST_F(ExposureSetTest, PreloadedFramesMakeTheSameSet) {
    for (int i = 0; i < 5; ++i) {
        Add("f" + std::to_string(i), test::MakeFrame(33, 17, [i](int x, int y, int c) {
                return static_cast<uint16_t>((x * 131 + y * 71 + c * 13) * (5 - i) % 60000);
            }));
    }
    FramePreloader preloaded;
    for (int i = 0; i < 4; ++i) {
        preloaded.Submit(Tiff("f" + std::to_string(i)));
    }
    EscribirTIFF(test::ConstantFrame(33, 17, 9, 9, 9), Tiff("f2"));
    ExposureSet sets[2];
    std::vector<std::string> logs[2];
    for (int run = 0; run < 2; ++run) {
        RecorderChannel channel;
        ASSERT_EQ(
            CargarTIFFs(Ruta(), raws_, sets[run], channel, 2, run == 0 ? &preloaded : nullptr), 5);
        ASSERT_TRUE(OrdenarPorExposicion(true, sets[run], channel));
        logs[run] = channel.log();
    }
    EXPECT_EQ(logs[0], logs[1]);
    EXPECT_EQ(sets[0].ArchivosTIFF, sets[1].ArchivosTIFF);
    EXPECT_EQ(sets[0].rgb_sums, sets[1].rgb_sums);
    EXPECT_EQ(sets[0].TIFFMasOscuro, Tiff("f2"));
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(sets[0].Imagenes[i].pixels, sets[1].Imagenes[i].pixels) << i;
    }
}

TEST_F(ExposureSetTest, CancelledLoadLeavesTheSetReleased) {
    Add("a", test::ConstantFrame(4, 4, 500, 500, 500));
    Add("b", test::ConstantFrame(4, 4, 50, 50, 50));
    channel_.Cancelar();
    EXPECT_THROW(CargarTIFFs(Ruta(), raws_, set_, channel_), Cancelled);
    EXPECT_FALSE(set_.TIFFsCargados);
    EXPECT_EQ(set_.N(), 0);
}

}  // namespace
}  // namespace brimsal
