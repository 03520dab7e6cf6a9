// CargarTIFFs and OrdenarPorExposicion over a folder of RAW stand-ins with TIFFs beside them.
#include <gtest/gtest.h>

#include "app/RecorderChannel.h"
#include "image/TiffIO.h"
#include "maps/ExposureSet.h"
#include "maps/FramePreload.h"
#include "support/Fixtures.h"

namespace brimsal {
namespace {

using Lines = std::vector<std::string>;

// A folder of RAW stand-ins with developed TIFFs beside them.
class ExposureSetTest : public ::testing::Test {
  protected:
    // Writes name.cr2 and, when `frame` is not empty, name.tiff.
    void Add(const std::string& name, const Frame& frame) {
        test::Touch(dir_.file(name + ".cr2"));
        raws_.push_back(name + ".cr2");
        if (!frame.empty()) {
            EscribirTIFF(frame, Tiff(name));
        }
    }
    std::string Ruta() const { return dir_.file(raws_.front()); }
    std::string Tiff(const std::string& name) const { return dir_.file(name + ".tiff"); }

    test::TempDir dir_;
    Lines raws_;
    ExposureSet set_;
    RecorderChannel channel_;
};

// Loads that end early: the result, the log, the box, and a set left released. Files: 'f' a
// 10 x 6 TIFF, 'n' a narrower one, 'x' a file that is no TIFF, '-' no TIFF at all.
TEST_F(ExposureSetTest, LoadsThatDoNotGiveASet) {
    const struct {
        const char* kinds;  // of the TIFFs beside a.cr2, b.cr2, ...
        int result;
        Lines log;
        std::string box;
    } cases[] = {
        // One RAW file: no load, the log goes on.
        {"f", 0, {"earlier line", "\nInsufficient TIFF files", "DONE"}, "<0 boxes>"},
        {"f-",
         1,
         {"Loading 2 TIFF files...", "file b.tiff not found. Skipped", "\nInsufficient TIFF files",
          "DONE"},
         "<0 boxes>"},
        // "d" is never looked at: the load stops at the mismatch.
        {"ffn-",
         -1,
         {"Loading 4 TIFF files...", "Image dimensions mismatch", "DONE"},
         "ERROR: Image dimensions mismatch between a.tiff and c.tiff"},
        {"fxf",
         -1,
         {"An unexpected error occurred"},
         "ERROR: Unexpected error occurred in module gflLoadBitmap ['"},
    };
    for (const auto& c : cases) {
        test::TempDir dir;
        Lines raws;
        for (const char* kind = c.kinds; *kind != '\0'; ++kind) {
            const std::string name(1, static_cast<char>('a' + (kind - c.kinds)));
            test::Touch(dir.file(name + ".cr2"));
            raws.push_back(name + ".cr2");
            if (*kind == 'x') {
                test::WriteBytes(dir.file(name + ".tiff"), {'n', 'o', 't', ' ', 'a', ' ', 't'});
            } else if (*kind != '-') {
                EscribirTIFF(test::ConstantFrame(*kind == 'n' ? 9 : 10, 6, 100, 100, 100),
                             dir.file(name + ".tiff"));
            }
        }
        ExposureSet set;
        RecorderChannel channel;
        channel.AnadirLog("earlier line", false);
        EXPECT_EQ(CargarTIFFs(dir.file("a.cr2"), raws, set, channel), c.result);
        EXPECT_EQ(channel.log(), c.log);
        EXPECT_EQ(test::OnlyBox(channel).rfind(c.box, 0), 0u) << test::OnlyBox(channel);
        EXPECT_EQ(channel.beeps(), c.result >= 0 ? 1 : 0);
        EXPECT_FALSE(set.TIFFsCargados);
        for (const Frame& f : set.Imagenes) {
            EXPECT_TRUE(f.empty());
        }
    }
}

// Mean levels: a 12.34 %, b 50 %, c 4 %, the identical pair 25 %, black 0 %; a missing TIFF is
// skipped. Equal sums end in reverse load order; the all-black frame is the darkest.
TEST_F(ExposureSetTest, SortLogsAndOrdersDarkestFirst) {
    Add("a", test::ConstantFrame(10, 10, 8087, 8087, 8087));
    Add("b", test::ConstantFrame(10, 10, 32768, 32767, 32768));
    Add("c", test::ConstantFrame(10, 10, 2621, 2622, 2621));
    Add("gone", Frame());
    const Frame same = test::MakeFrame(10, 10, [](int x, int y, int c) {
        return static_cast<uint16_t>(16384 + (x - 5) * 3 + (y % 2 ? c : -c));
    });
    Add("first", same);
    Add("second", same);
    Add("dark", test::ConstantFrame(10, 10, 0, 0, 0));
    ASSERT_EQ(CargarTIFFs(Ruta(), raws_, set_, channel_), 6);
    EXPECT_EQ(set_.AnchoImagen, 10);
    ASSERT_TRUE(OrdenarPorExposicion(true, set_, channel_));
    EXPECT_EQ(channel_.log(),
              (Lines{"Loading 7 TIFF files...", "file gone.tiff not found. Skipped",
                     "\nCalculating absolute exposure...", "a.tiff: 12.3%", "b.tiff: 50%",
                     "c.tiff: 4%", "first.tiff: 25%", "second.tiff: 25%", "dark.tiff: 0%",
                     "Sorting images by exposure...", "Reloading sorted images..."}));
    EXPECT_EQ(set_.ArchivosTIFF, (Lines{Tiff("dark"), Tiff("c"), Tiff("a"), Tiff("second"),
                                        Tiff("first"), Tiff("b")}));
    EXPECT_EQ(set_.TIFFMasOscuro, Tiff("dark"));
    EXPECT_EQ(set_.Imagenes[1].at(0, 0)[1], 2622);
    EXPECT_EQ(set_.Imagenes[5].at(9, 9)[0], 32768);
    EXPECT_TRUE(set_.TIFFsCargados);
}

// A second load replaces the frames of the first; a sort without reload keeps the load order
// and releases the frames.
TEST_F(ExposureSetTest, SecondLoadAndSortWithoutReload) {
    Add("a", test::ConstantFrame(4, 4, 500, 500, 500));
    Add("b", test::ConstantFrame(4, 4, 50, 50, 50));
    ASSERT_EQ(CargarTIFFs(Ruta(), raws_, set_, channel_), 2);
    EscribirTIFF(test::ConstantFrame(8, 2, 9, 9, 9), Tiff("a"));
    EscribirTIFF(test::ConstantFrame(8, 2, 7, 7, 7), Tiff("b"));
    ASSERT_EQ(CargarTIFFs(Ruta(), raws_, set_, channel_), 2);
    EXPECT_EQ(set_.AnchoImagen, 8);
    EXPECT_EQ(set_.Imagenes[1].at(7, 1)[0], 7);
    ASSERT_TRUE(OrdenarPorExposicion(false, set_, channel_));
    EXPECT_EQ(set_.TIFFMasOscuro, Tiff("b"));
    EXPECT_EQ(set_.ArchivosTIFF, (Lines{Tiff("a"), Tiff("b")}));
    EXPECT_FALSE(set_.TIFFsCargados);
    EXPECT_TRUE(set_.Imagenes[0].empty());
    EXPECT_TRUE(set_.Imagenes[1].empty());
    EXPECT_FALSE(channel_.logContains("Reloading sorted images..."));
}

// One thread or many, or frames read while the development ran, make the same set, log and sort;
// a TIFF rewritten after it was handed over is read again. A cancelled load leaves the set
// released.
TEST_F(ExposureSetTest, SameSetWithOneThreadManyOrPreloadedFramesAndCancelReleases) {
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
    ExposureSet sets[3];
    Lines logs[3];
    for (int run = 0; run < 3; ++run) {
        RecorderChannel channel;
        const int threads = run == 0 ? 1 : 4;
        ASSERT_EQ(CargarTIFFs(Ruta(), raws_, sets[run], channel, threads,
                              run == 2 ? &preloaded : nullptr),
                  5);
        ASSERT_TRUE(OrdenarPorExposicion(true, sets[run], channel, threads));
        logs[run] = channel.log();
    }
    EXPECT_EQ(sets[0].TIFFMasOscuro, Tiff("f2"));
    for (int run = 1; run < 3; ++run) {
        EXPECT_EQ(logs[run], logs[0]);
        EXPECT_EQ(sets[run].ArchivosTIFF, sets[0].ArchivosTIFF);
        EXPECT_EQ(sets[run].rgb_sums, sets[0].rgb_sums);
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(sets[run].Imagenes[i].pixels, sets[0].Imagenes[i].pixels) << run << " " << i;
        }
    }
    channel_.Cancelar();
    EXPECT_THROW(CargarTIFFs(Ruta(), raws_, set_, channel_), Cancelled);
    EXPECT_FALSE(set_.TIFFsCargados);
    EXPECT_EQ(set_.N(), 0);
}

}  // namespace
}  // namespace brimsal
