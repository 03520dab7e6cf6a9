#include <gtest/gtest.h>

#include <atomic>
#include <clocale>
#include <cmath>
#include <numeric>

#include "app/Misc.h"
#include "app/Parallel.h"
#include "app/RecorderChannel.h"
#include "support/Fixtures.h"

namespace brimsal {
namespace {

TEST(PathHelpers, SplitAReferencePath) {
    const std::string path = "/photos/a/b.cr2";
    EXPECT_EQ(CarpetaDeRuta(path), "/photos/a/");
    EXPECT_EQ(NombreArchivo(path), "b.cr2");
    EXPECT_EQ(QuitarExtension(path), "/photos/a/b");
    EXPECT_EQ(ExtensionArchivo(path), "cr2");
}

TEST(PathHelpers, ExtensionIsLookedForOnlyInTheLastComponent) {
    // A point in a folder name is not an extension.
    EXPECT_THROW(QuitarExtension("/photos/set.2024/IMG_0001"), RunTimeError);
    EXPECT_THROW(ExtensionArchivo("/photos/set.2024/IMG_0001"), RunTimeError);
    EXPECT_EQ(QuitarExtension("/photos/set.2024/IMG_0001.nef"), "/photos/set.2024/IMG_0001");
    EXPECT_EQ(ExtensionArchivo("/a/archive.tar.gz"), "gz");
}

TEST(PathHelpers, MissingSeparatorIsAClearError) {
    try {
        NombreArchivo("b.cr2");
        FAIL() << "no error for a path without a folder";
    } catch (const RunTimeError& error) {
        EXPECT_EQ(error.number(), kErrInvalidArgument);
        EXPECT_NE(std::string(error.what()).find("b.cr2"), std::string::npos);
    }
    EXPECT_THROW(CarpetaDeRuta("b.cr2"), RunTimeError);
    EXPECT_THROW(QuitarExtension("/a/noextension"), RunTimeError);
}

TEST(PathHelpers, ExisteArchivoFindsRegularFilesOnly) {
    test::TempDir dir;
    test::Touch(dir.file("x.cr2"));
    EXPECT_TRUE(ExisteArchivo(dir.file("x.cr2")));
    EXPECT_FALSE(ExisteArchivo(dir.file("y.cr2")));
    EXPECT_FALSE(ExisteArchivo(dir.path()));        // a folder is not a file
    EXPECT_FALSE(ExisteArchivo(dir.path() + "/"));  // ends in the separator
    EXPECT_FALSE(ExisteArchivo(""));
}

TEST(TextHelpers, ReemplazarTodo) {
    EXPECT_EQ(ReemplazarTodo("1,5 2,0", ",", "."), "1.5 2.0");
    EXPECT_EQ(ReemplazarTodo("abc", "x", "y"), "abc");
    EXPECT_EQ(ReemplazarTodo("aAa", "a", "b"), "bAb");  // case-sensitive
    // An occurrence formed by a replacement and its neighbour is replaced too.
    EXPECT_EQ(ReemplazarTodo("aabb", "ab", "a"), "aa");
    // A replacement that contains the searched text still ends.
    EXPECT_EQ(ReemplazarTodo("a-a", "a", "aa"), "aa-aa");
}

TEST(NumberHelpers, MinMaxTakeTheSecondOnEqualValues) {
    EXPECT_EQ(MinLng(3, 3), 3);
    EXPECT_EQ(MinLng(2, 5), 2);
    EXPECT_EQ(MaxLng(2, 5), 5);
    EXPECT_EQ(MinDbl(1.5, -2.0), -2.0);
    EXPECT_EQ(MaxDbl(1.5, -2.0), 1.5);
    // -0.0 and 0.0 compare equal: the second comes back.
    EXPECT_TRUE(std::signbit(MinDbl(0.0, -0.0)));
    EXPECT_FALSE(std::signbit(MaxDbl(-0.0, 0.0)));
}

TEST(NumberHelpers, ByteBajo) {
    EXPECT_EQ(ByteBajo(511), 255);
    EXPECT_EQ(ByteBajo(256), 0);
    EXPECT_EQ(ByteBajo(0x1234), 0x34);
}

TEST(NumberHelpers, RedondearGoesHalfToEven) {
    EXPECT_EQ(Redondear(127.5), 128);
    EXPECT_EQ(Redondear(126.5), 126);
    EXPECT_EQ(Redondear(58981.5), 58982);
    EXPECT_EQ(Redondear(-2.5), -2);
    EXPECT_EQ(Redondear(2.4999999), 2);
    EXPECT_EQ(Redondear(1234.5) / 10, 123.4);
}

TEST(NumberText, PlainFormWithoutTrailingZeros) {
    EXPECT_EQ(TextoNumero(12.3, '.'), "12.3");
    EXPECT_EQ(TextoNumero(4.0, '.'), "4");
    EXPECT_EQ(TextoNumero(2.132483, '.'), "2.132483");
    EXPECT_EQ(TextoNumero(-0.0, '.'), "0");
    EXPECT_EQ(TextoNumero(-1.25, '.'), "-1.25");
    EXPECT_EQ(TextoNumero(65279, '.'), "65279");
    EXPECT_EQ(TextoNumero(1e20, '.'), "100000000000000000000");  // no exponent
    EXPECT_EQ(TextoNumero(0.000125, '.'), "0.000125");
}

TEST(NumberText, FifteenSignificantDigits) {
    EXPECT_EQ(TextoNumero(0.1 + 0.2, '.'), "0.3");
    EXPECT_EQ(TextoNumero(1.0 / 3.0, '.'), "0.333333333333333");
    EXPECT_EQ(TextoNumero(2.0 / 3.0, '.'), "0.666666666666667");
    EXPECT_EQ(TextoNumero(123456789.123456789, '.'), "123456789.123457");
    EXPECT_EQ(TextoNumero(static_cast<double>(0.45454547f), '.'), "0.454545468091965");
}

TEST(NumberText, CommaSeparator) {
    EXPECT_EQ(TextoNumero(2.5, ','), "2,5");
    EXPECT_EQ(TextoNumero(37.5, ','), "37,5");
    EXPECT_EQ(TextoNumero(100, ','), "100");
}

TEST(NumberText, FollowsTheNumericLocale) {
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    const char* comma = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "es_ES.UTF-8", "fr_FR.UTF-8"}) {
        if (std::setlocale(LC_NUMERIC, name) != nullptr) {
            comma = name;
            break;
        }
    }
    if (comma == nullptr) {
        GTEST_SKIP() << "no comma locale installed";
    }
    EXPECT_EQ(SeparadorDecimal(), ',');
    EXPECT_EQ(TextoNumero(12.3), "12,3");
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(TextoNumero(12.3), "12.3");
}

TEST(NombreSinSobrescribir, AddsACounterBeforeTheExtension) {
    test::TempDir dir;
    const std::string folder = dir.path() + "/";
    EXPECT_EQ(NombreSinSobrescribir(folder, "Map_142530", ".png"), "Map_142530.png");
    test::Touch(folder + "Map_142530.png");
    EXPECT_EQ(NombreSinSobrescribir(folder, "Map_142530", ".png"), "Map_142530_2.png");
    test::Touch(folder + "Map_142530_2.png");
    EXPECT_EQ(NombreSinSobrescribir(folder, "Map_142530", ".png"), "Map_142530_3.png");
}

TEST(UserChannel, LogAppendsAndRestarts) {
    RecorderChannel channel;
    channel.AnadirLog("A", false);
    channel.AnadirLog("B", true);
    EXPECT_EQ(channel.log(), (std::vector<std::string>{"A", "B"}));
    channel.AnadirLog("C", false);
    EXPECT_EQ(channel.log(), (std::vector<std::string>{"C"}));
    EXPECT_EQ(channel.allLines().size(), 3u);
}

TEST(UserChannel, UnexpectedErrorReport) {
    RecorderChannel channel;
    channel.AnadirLog("Loading 3 TIFF files...", false);
    ErrorInesperado(channel, "CargarTIFFs", RunTimeError(kErrFileNotFound, "File not found"));
    ASSERT_EQ(channel.boxes().size(), 1u);
    EXPECT_EQ(channel.boxes()[0].title, "ERROR");
    EXPECT_EQ(channel.boxes()[0].text,
              std::string("Unexpected error occurred in module CargarTIFFs \nError number 53, "
                          "described as 'File not found'\nPlease report giving all possible "
                          "details to: ") +
                  kContactAddress);
    EXPECT_EQ(channel.log(), (std::vector<std::string>{"An unexpected error occurred"}));
}

TEST(UserChannel, ReportWithoutPendingErrorShowsNumberZero) {
    RecorderChannel channel;
    ErrorInesperado(channel, "gflLoadBitmap [bad file]");
    ASSERT_EQ(channel.boxes().size(), 1u);
    EXPECT_EQ(channel.boxes()[0].text.rfind(
                  "Unexpected error occurred in module gflLoadBitmap [bad file] \nError number 0, "
                  "described as ''\n",
                  0),
              0u);
}

TEST(UserChannel, CancellationIsPolled) {
    RecorderChannel channel;
    EXPECT_NO_THROW(ComprobarCancelacion(channel));
    channel.Cancelar();
    EXPECT_THROW(ComprobarCancelacion(channel), Cancelled);
}

TEST(Parallel, EveryIndexOnceAndChunksIndependentOfThreads) {
    for (int threads : {1, 2, 7}) {
        std::vector<std::atomic<int>> seen(1000);
        std::vector<int64_t> chunk_begin(static_cast<size_t>(NumTrozos(1000, 64)), -1);
        ParallelFor(
            1000, 64,
            [&](int64_t chunk, int64_t begin, int64_t end) {
                chunk_begin[static_cast<size_t>(chunk)] = begin;
                for (int64_t i = begin; i < end; ++i) {
                    seen[static_cast<size_t>(i)]++;
                }
            },
            threads);
        for (const auto& count : seen) {
            ASSERT_EQ(count.load(), 1);
        }
        for (size_t c = 0; c < chunk_begin.size(); ++c) {
            EXPECT_EQ(chunk_begin[c], static_cast<int64_t>(c) * 64);
        }
    }
}

TEST(Parallel, AnExceptionInABodyReachesTheCaller) {
    EXPECT_THROW(ParallelFor(
                     100, 1,
                     [](int64_t chunk, int64_t, int64_t) {
                         if (chunk == 37) {
                             throw RunTimeError(kErrOverflow, "Overflow");
                         }
                     },
                     2),
                 RunTimeError);
}

}  // namespace
}  // namespace brimsal
