// TIFF frames read and written (layouts, refusals, hostile headers, the parallel strip writers
// against libtiff), and the 8-bit picture surface: exact PNG and GIF round trips, drawing,
// clipping, load failures (drawn GIF charts with labels: the exposure histogram's tests).
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>

#include "app/RecorderChannel.h"
#include "image/Picture.h"
#include "image/TiffIO.h"
#include "support/Fixtures.h"

namespace brimsal {
namespace {

Frame RandomFrame(int w, int h, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> value(0, 65535);
    return test::MakeFrame(w, h, [&](int, int, int) { return static_cast<uint16_t>(value(rng)); });
}

// A TIFF opened for writing with the tags every fixture sets; nullptr when it cannot be.
TIFF* OpenFixture(const std::string& path, uint32_t width, uint32_t height, int bits, int samples,
                  uint16_t compression, uint16_t photometric = PHOTOMETRIC_RGB,
                  bool planar = false) {
    TIFF* tiff = TIFFOpen(path.c_str(), "w");
    if (tiff != nullptr) {
        TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
        TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height);
        TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, bits);
        TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, samples);
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, photometric);
        TIFFSetField(tiff, TIFFTAG_COMPRESSION, compression);
        TIFFSetField(tiff, TIFFTAG_PLANARCONFIG,
                     planar ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
    }
    return tiff;
}

// How a fixture TIFF is laid out.
struct Layout {
    int bits = 16;
    uint16_t compression = COMPRESSION_NONE;
    bool planar = false;
    int tile = 0;            // tile side; 0 = strips
    int rows_per_strip = 0;  // 0 = libtiff's default
    uint16_t photometric = PHOTOMETRIC_RGB;
    int samples = 3;
    uint16_t sample_format = SAMPLEFORMAT_UINT;
};

// Writes `frame` with libtiff directly, in the given layout (8-bit takes the high byte).
void WriteFixture(const std::string& path, const Frame& frame, const Layout& layout) {
    TIFF* tiff = OpenFixture(path, frame.width, frame.height, layout.bits, layout.samples,
                             layout.compression, layout.photometric, layout.planar);
    ASSERT_NE(tiff, nullptr);
    TIFFSetField(tiff, TIFFTAG_SAMPLEFORMAT, layout.sample_format);
    if (layout.photometric == PHOTOMETRIC_PALETTE) {
        std::vector<uint16_t> map(1u << layout.bits, 0);
        TIFFSetField(tiff, TIFFTAG_COLORMAP, map.data(), map.data(), map.data());
    }
    const int bytes = layout.bits / 8;
    const int spp_in_block = layout.planar ? 1 : layout.samples;
    auto sample = [&](int x, int y, int c) -> uint16_t {
        return c < 3 ? frame.at(x, y)[c] : static_cast<uint16_t>(65535);
    };
    auto put = [&](std::vector<uint8_t>& buffer, size_t index, uint16_t v) {
        if (bytes == 2) {
            std::memcpy(buffer.data() + index * 2, &v, 2);
        } else if (bytes == 4) {
            const float f = v / 65535.0f;
            std::memcpy(buffer.data() + index * 4, &f, 4);
        } else {
            buffer[index] = static_cast<uint8_t>(v >> 8);
        }
    };
    const int planes = layout.planar ? layout.samples : 1;
    if (layout.tile > 0) {
        TIFFSetField(tiff, TIFFTAG_TILEWIDTH, layout.tile);
        TIFFSetField(tiff, TIFFTAG_TILELENGTH, layout.tile);
        std::vector<uint8_t> buffer(static_cast<size_t>(TIFFTileSize(tiff)));
        for (int p = 0; p < planes; ++p) {
            for (int ty = 0; ty < frame.height; ty += layout.tile) {
                for (int tx = 0; tx < frame.width; tx += layout.tile) {
                    std::fill(buffer.begin(), buffer.end(), 0);
                    for (int y = 0; y < layout.tile && ty + y < frame.height; ++y) {
                        for (int x = 0; x < layout.tile && tx + x < frame.width; ++x) {
                            for (int c = 0; c < spp_in_block; ++c) {
                                const size_t i =
                                    (static_cast<size_t>(y) * layout.tile + x) * spp_in_block + c;
                                put(buffer, i, sample(tx + x, ty + y, layout.planar ? p : c));
                            }
                        }
                    }
                    TIFFWriteTile(tiff, buffer.data(), tx, ty, 0, static_cast<uint16_t>(p));
                }
            }
        }
    } else {
        if (layout.rows_per_strip > 0) {
            TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, layout.rows_per_strip);
        }
        std::vector<uint8_t> line(static_cast<size_t>(frame.width) * spp_in_block * bytes);
        for (int p = 0; p < planes; ++p) {
            for (int y = 0; y < frame.height; ++y) {
                for (int x = 0; x < frame.width; ++x) {
                    for (int c = 0; c < spp_in_block; ++c) {
                        put(line, static_cast<size_t>(x) * spp_in_block + c,
                            sample(x, y, layout.planar ? p : c));
                    }
                }
                ASSERT_GE(TIFFWriteScanline(tiff, line.data(), y, static_cast<uint16_t>(p)), 0);
            }
        }
    }
    TIFFClose(tiff);
}

std::string LoadError(const std::string& path) {
    try {
        LeerTIFF(path);
    } catch (const ImageError& error) {
        return error.what();
    }
    return "";
}

// Written under any name, the file is a TIFF, read back bit for bit, with no temporary left.
TEST(TiffIO, SixteenBitRoundTripIsBitExactWhateverTheExtension) {
    test::TempDir dir;
    const Frame frame = RandomFrame(37, 23, 1);
    EscribirTIFF(frame, dir.file("image.png"));
    const std::string magic = test::FileBytes(dir.file("image.png")).substr(0, 4);
    EXPECT_TRUE(magic == std::string("II*\0", 4) || magic == std::string("MM\0*", 4)) << magic;
    const Frame back = LeerTIFF(dir.file("image.png"));
    EXPECT_EQ(back.width, 37);
    EXPECT_EQ(back.height, 23);
    EXPECT_EQ(back.pixels, frame.pixels);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
}

// Every RGB layout reads back the frame; 8-bit samples come back scaled by 257.
TEST(TiffIO, ReadsEveryRgbLayout) {
    test::TempDir dir;
    const Frame frame = RandomFrame(45, 29, 7);
    const std::vector<std::pair<std::string, Layout>> layouts = {
        {"uncompressed strips", {}},
        {"one row per strip", {.rows_per_strip = 1}},
        {"seven rows per strip", {.rows_per_strip = 7}},
        {"lzw", {.compression = COMPRESSION_LZW}},
        {"deflate", {.compression = COMPRESSION_ADOBE_DEFLATE, .rows_per_strip = 5}},
        {"planar", {.planar = true, .rows_per_strip = 4}},
        {"tiles", {.tile = 16}},
        {"lzw planar tiles", {.compression = COMPRESSION_LZW, .planar = true, .tile = 32}},
        {"rgb with alpha", {.samples = 4}},
        {"eight bits lzw", {.bits = 8, .compression = COMPRESSION_LZW}},
    };
    for (const auto& [name, layout] : layouts) {
        SCOPED_TRACE(name);
        const std::string path = dir.file("fixture.tif");
        WriteFixture(path, frame, layout);
        const Frame back = LeerTIFF(path);
        ASSERT_EQ(back.width, frame.width);
        ASSERT_EQ(back.height, frame.height);
        Samples expected = frame.pixels;
        for (uint16_t& v : expected) {
            v = layout.bits == 8 ? static_cast<uint16_t>((v >> 8) * 257) : v;
        }
        EXPECT_EQ(back.pixels, expected);
    }
}

// Other colour layouts and damaged files are errors that name the file.
TEST(TiffIO, RefusedAndDamagedFilesAreErrorsNamingTheFile) {
    test::TempDir dir;
    const Frame frame = RandomFrame(8, 8, 3);
    const std::vector<std::pair<std::string, Layout>> refused = {
        {"grey", {.photometric = PHOTOMETRIC_MINISBLACK, .samples = 1}},
        {"palette", {.bits = 8, .photometric = PHOTOMETRIC_PALETTE, .samples = 1}},
        {"cmyk", {.bits = 8, .photometric = PHOTOMETRIC_SEPARATED, .samples = 4}},
        {"float", {.bits = 32, .sample_format = SAMPLEFORMAT_IEEEFP}},
    };
    std::vector<std::string> names = {"truncated", "empty", "text", "missing"};
    for (const auto& [name, layout] : refused) {
        WriteFixture(dir.file(name), frame, layout);
        names.push_back(name);
    }
    EscribirTIFF(RandomFrame(64, 48, 5), dir.file("good"));
    std::filesystem::copy_file(dir.file("good"), dir.file("truncated"));
    std::filesystem::resize_file(dir.file("truncated"),
                                 std::filesystem::file_size(dir.file("good")) / 2);
    test::Touch(dir.file("empty"));
    test::WriteBytes(dir.file("text"), {'h', 'e', 'l', 'l', 'o', '\n'});
    for (const std::string& name : names) {
        const std::string message = LoadError(dir.file(name));
        EXPECT_NE(message.find(dir.file(name)), std::string::npos) << name << ": " << message;
    }
}

// An LZW RGB header of w x h pixels (tiles of `tile` when non-zero) followed by `data` bytes of
// image data, however little that is for the size declared.
void WriteHostileHeader(const std::string& path, uint32_t w, uint32_t h, uint32_t tile,
                        size_t data) {
    TIFF* tiff = OpenFixture(path, w, h, 16, 3, COMPRESSION_LZW);
    ASSERT_NE(tiff, nullptr);
    if (tile > 0) {
        TIFFSetField(tiff, TIFFTAG_TILEWIDTH, tile);
        TIFFSetField(tiff, TIFFTAG_TILELENGTH, tile);
    } else {
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, h);
    }
    std::vector<uint8_t> bytes(data, 0x80);
    const auto size = static_cast<tmsize_t>(data);
    ASSERT_GT(tile > 0 ? TIFFWriteRawTile(tiff, 0, bytes.data(), size)
                       : TIFFWriteRawStrip(tiff, 0, bytes.data(), size),
              0);
    TIFFWriteDirectory(tiff);
    TIFFClose(tiff);
}

// Headers that promise more than the file holds are refused from the header, naming the file,
// before the frame is allocated (a 200 MP frame, a 24 GB tile).
TEST(TiffIO, HostileHeadersAreRefusedBeforeAllocationNamingTheFile) {
    test::TempDir dir;
    WriteHostileHeader(dir.file("huge.tif"), 20000, 10000, 0, 64);
    WriteHostileHeader(dir.file("tile.tif"), 1, 1, 65536, 16);
    WriteFixture(dir.file("five.tif"), RandomFrame(4, 4, 9), {.samples = 5});
    const std::pair<const char*, const char*> cases[] = {
        {"huge.tif", "declares 20000x10000 pixels"},
        {"tile.tif", "tiles of 65536x65536"},
        {"five.tif", "5 samples per pixel"},
    };
    for (const auto& [name, reason] : cases) {
        const std::string message = LoadError(dir.file(name));
        EXPECT_NE(message.find(dir.file(name)), std::string::npos) << message;
        EXPECT_NE(message.find(reason), std::string::npos) << message;
    }
}

// A failed load reports through the channel and keeps what the frame held; a good one replaces
// it; a release empties it, a second does nothing.
TEST(TiffIO, LoadReportsOrReplacesTheFrame) {
    test::TempDir dir;
    test::Touch(dir.file("empty.tiff"));
    EscribirTIFF(test::ConstantFrame(3, 2, 1, 2, 3), dir.file("a.tiff"));
    RecorderChannel channel;
    Frame frame = test::ConstantFrame(2, 2, 7, 8, 9);
    EXPECT_FALSE(CargarGflBitmap(dir.file("empty.tiff"), frame, channel));
    EXPECT_EQ(frame.width, 2);
    EXPECT_EQ(frame.at(1, 1)[2], 9);
    EXPECT_NE(test::OnlyBox(channel).find("gflLoadBitmap ['" + dir.file("empty.tiff")),
              std::string::npos);
    ASSERT_TRUE(CargarGflBitmap(dir.file("a.tiff"), frame, channel));
    EXPECT_EQ(frame.pixels.size(), 3u * 2 * 3);
    frame.release();
    frame.release();
    EXPECT_TRUE(frame.empty());
}

// Neither a failed save nor an unfinished strip writer leaves a file.
TEST(TiffIO, FailedWritesLeaveNoFile) {
    test::TempDir dir;
    RecorderChannel channel;
    EXPECT_FALSE(GuardarGflBitmap(test::ConstantFrame(2, 2, 1, 1, 1),
                                  dir.file("no/such/folder/out.tif"), channel));
    EXPECT_EQ(test::OnlyBox(channel).rfind(
                  "ERROR: Unexpected error occurred in module gflSaveBitmap [", 0),
              0u);
    {
        TiffStripWriter writer(dir.file("half.tif"), 4, 4);
        const std::vector<uint16_t> rows(4 * 3 * 2, 100);
        writer.WriteRows(rows.data(), 2);
        EXPECT_THROW(writer.Finish(), ImageError);
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

// Strips compressed on several threads and handed over in any row chunks make the same file,
// byte for byte, as libtiff compressing row after row with the writer's own tags: 16-bit words
// and floats, noise (LZW output larger than its input) and smooth rows.
TEST(TiffIO, ParallelStripWritersMatchSerialLibtiff) {
    test::TempDir dir;
    std::mt19937 rng(3);
    const Frame noise = RandomFrame(3000, 130, 4);
    const Frame smooth = test::MakeFrame(3000, 130, [&](int x, int y, int c) {
        return static_cast<uint16_t>(x * 7 + y * 50 + c * 900 + (rng() & 15));
    });
    for (const bool floats : {false, true}) {
        for (const Frame* frame : {&noise, &smooth}) {
            // Floats: the words scaled and spread over many exponents, some negative.
            std::vector<float> real(frame->pixels.size());
            for (size_t i = 0; i < real.size(); ++i) {
                real[i] = static_cast<float>(frame->pixels[i]) * (i % 5 == 0 ? -0.37f : 3.1e-3f);
            }
            const auto* bytes = floats ? reinterpret_cast<const uint8_t*>(real.data())
                                       : reinterpret_cast<const uint8_t*>(frame->pixels.data());
            const size_t row_bytes = static_cast<size_t>(frame->width) * 3 * (floats ? 4 : 2);
            const int rows_per_strip = floats ? 29 : 58;  // the writer's ~1 MB strips
            const std::string serial = dir.file("serial.tif");
            TIFF* tiff = OpenFixture(serial, frame->width, frame->height, floats ? 32 : 16, 3,
                                     COMPRESSION_LZW);
            ASSERT_NE(tiff, nullptr);
            if (floats) {
                TIFFSetField(tiff, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_IEEEFP);
            }
            TIFFSetField(tiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
            TIFFSetField(tiff, TIFFTAG_PREDICTOR,
                         floats ? PREDICTOR_FLOATINGPOINT : PREDICTOR_HORIZONTAL);
            TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, rows_per_strip);
            TIFFSetField(tiff, TIFFTAG_SOFTWARE, "Brimsal");
            for (int y = 0; y < frame->height; ++y) {
                std::vector<uint8_t> line(bytes + y * row_bytes, bytes + (y + 1) * row_bytes);
                ASSERT_GE(TIFFWriteScanline(tiff, line.data(), y, 0), 0);
            }
            TIFFClose(tiff);
            for (const auto& [threads, chunk] : {std::pair{1, 130}, {2, 1}, {2, 7}, {3, 64}}) {
                const std::string parallel = dir.file("parallel.tif");
                std::optional<TiffStripWriter> words;
                std::optional<TiffFloatWriter> reals;
                if (floats) {
                    reals.emplace(parallel, frame->width, frame->height, threads);
                } else {
                    words.emplace(parallel, frame->width, frame->height, threads);
                }
                TiffStripWriter& writer = floats ? *reals : *words;
                ASSERT_EQ(writer.rowsPerStrip(), rows_per_strip);
                for (int y = 0; y < frame->height; y += chunk) {
                    const int rows = std::min(chunk, frame->height - y);
                    if (floats) {
                        reals->WriteRows(real.data() + static_cast<size_t>(y) * frame->width * 3,
                                         rows);
                    } else {
                        words->WriteRows(frame->row(y), rows);
                    }
                }
                writer.Finish();
                EXPECT_EQ(test::FileBytes(parallel), test::FileBytes(serial))
                    << (floats ? "floats, " : "words, ") << threads << " threads, " << chunk;
                std::filesystem::remove(parallel);
            }
        }
    }
}

TEST(Channels, LongACanalClampsTheCallersValue) {
    int64_t value = 70000;
    EXPECT_EQ(LongACanal(value), 65535);
    EXPECT_EQ(value, 65535);
    EXPECT_EQ(CanalALong(static_cast<uint16_t>(-32768)), 32768);
}

// Every grey level, set in bulk, comes back exactly from a PNG and from a GIF.
TEST(Picture, EveryGreyLevelRoundTripsInPngAndGif) {
    test::TempDir dir;
    std::vector<uint8_t> levels(256);
    for (int i = 0; i < 256; ++i) {
        levels[static_cast<size_t>(i)] = static_cast<uint8_t>(i * 7);  // every level once
    }
    for (SaveFormat format : {SaveFormat::kPng, SaveFormat::kGif}) {
        Picture sheet;
        sheet.SetGreyLevels(32, 8, levels.data());
        sheet.SetSaveFormat(format);
        const std::string path = dir.file(format == SaveFormat::kPng ? "g.png" : "g.gif");
        sheet.SaveToFile(path);
        Picture back;
        back.LoadFromFile(path);
        ASSERT_EQ(back.GetWidth(), 32);
        ASSERT_EQ(back.GetHeight(), 8);
        std::vector<uint8_t> red(256);
        back.GetRedSamples(red.data());
        EXPECT_EQ(red, levels);
        EXPECT_EQ(back.GetPixelColor(17, 2), RGB(levels[81], levels[81], levels[81]));
    }
    // More than 256 colours: the GIF falls back to a fixed 3-3-2 palette; pure colours survive.
    Picture many;
    many.CreateBlank(32, 16, kBlack);
    for (int i = 0; i < 512; ++i) {
        many.SetDrawColor(RGB(i % 256, i / 2 % 256, 255 - i % 256));
        many.PlotPoint(i % 32, i / 32);
    }
    many.SetDrawColor(RGB(255, 0, 0));
    many.PlotPoint(0, 0);
    many.SetSaveFormat(SaveFormat::kGif);
    many.SaveToFile(dir.file("many.gif"));
    Picture back;
    back.LoadFromFile(dir.file("many.gif"));
    EXPECT_EQ(back.GetPixelColor(0, 0), RGB(255, 0, 0));
    EXPECT_EQ(back.GetPixelColor(31, 15), RGB(255, 255, 0));
}

// The map held at one byte per pixel writes the same file as the map drawn point by point in
// colour; drawing on a loaded grey map turns it to colour.
TEST(Picture, GreyMapInBytesWritesTheSamePngAsColourPoints) {
    test::TempDir dir;
    std::vector<uint8_t> levels(7 * 5);
    for (size_t i = 0; i < levels.size(); ++i) {
        levels[i] = static_cast<uint8_t>(i * 7);
    }
    Picture map;
    map.SetGreyLevels(7, 5, levels.data());
    map.SaveToFile(dir.file("bulk.png"));
    Picture plotted;
    plotted.CreateBlank(7, 5, kBlack);
    for (int i = 0; i < 35; ++i) {
        plotted.SetDrawColor(RGB(levels[i], levels[i], levels[i]));
        plotted.PlotPoint(i % 7, i / 7);
    }
    plotted.SaveToFile(dir.file("plotted.png"));
    EXPECT_EQ(test::FileBytes(dir.file("bulk.png")), test::FileBytes(dir.file("plotted.png")));
    Picture back;
    back.LoadFromFile(dir.file("bulk.png"));
    back.SetDrawColor(RGB(255, 0, 0));
    back.PlotPoint(3, 2);
    EXPECT_EQ(back.GetPixelColor(3, 2), RGB(255, 0, 0));
    EXPECT_EQ(back.GetPixelColor(4, 2), RGB(levels[18], levels[18], levels[18]));
}

TEST(Picture, MissingOrCorruptFileIsAnErrorAndKeepsThePicture) {
    test::TempDir dir;
    Picture picture;
    picture.CreateBlank(2, 2, kWhite);
    test::WriteBytes(dir.file("corrupt.png"), {0x89, 'P', 'N', 'G', 1, 2, 3});
    test::WriteBytes(dir.file("corrupt.gif"), {'G', 'I', 'F', '8', '9', 'a', 0});
    // After the header, a text chunk declaring 1.7 GB in a file of 42 bytes: refused unread.
    test::WriteBytes(
        dir.file("chunk.png"),
        {0x89, 'P',  'N',  'G',  '\r', '\n', 0x1a, '\n', 0,    0,   0,   13,  'I', 'H',
         'D',  'R',  0,    0,    0,    64,   0,    0,    0,    48,  8,   0,   0,   0,
         0,    0x84, 0x20, 0x23, 0xc3, 0x65, 0,    0,    0x0f, 't', 'E', 'X', 't', 'B'});
    for (const char* name : {"missing.png", "corrupt.png", "corrupt.gif", "chunk.png"}) {
        EXPECT_THROW(picture.LoadFromFile(dir.file(name)), PictureError) << name;
    }
    try {
        Picture::ReadHeader(dir.file("chunk.png"));
        ADD_FAILURE() << "no error";
    } catch (const PictureError& error) {
        EXPECT_NE(std::string(error.what())
                      .find("chunk.png': not a readable image (a PNG chunk is longer"),
                  std::string::npos)
            << error.what();
    }
    EXPECT_EQ(picture.GetWidth(), 2);
    EXPECT_EQ(picture.GetPixelColor(1, 1), kWhite);
}

TEST(Picture, DrawingIsClippedOutlinesCoverTheirSizeAndCloneIsIndependent) {
    Picture picture;
    picture.CreateBlank(10, 10, kBlack);
    picture.SetDrawColor(kWhite);
    picture.PlotPoint(-1, 2);
    picture.PlotPoint(10, 10);
    picture.DrawRectangleOutline(2, 3, 4, 5);  // columns 2..5, rows 3..7
    EXPECT_EQ(picture.GetPixelColor(2, 3), kWhite);
    EXPECT_EQ(picture.GetPixelColor(5, 7), kWhite);
    EXPECT_EQ(picture.GetPixelColor(6, 7), kBlack);
    EXPECT_EQ(picture.GetPixelColor(5, 8), kBlack);
    EXPECT_EQ(picture.GetPixelColor(3, 5), kBlack);  // inside stays
    Picture copy = picture.CloneImage();
    copy.PlotPoint(0, 0);
    EXPECT_EQ(copy.GetPixelColor(0, 0), kWhite);
    EXPECT_EQ(picture.GetPixelColor(0, 0), kBlack);
    picture.SetFillColor(RGB(1, 2, 3));
    picture.FillRectangle(0, 0, 10, 10);
    EXPECT_EQ(picture.GetPixelColor(9, 9), RGB(1, 2, 3));
}

// A 134 MP map (the map of a 100 MP set with room to spare) decodes to more than the image
// library's default allocation limit of 128 MB.
TEST(Picture, MapsOfHundredMegapixelSetsLoad) {
    test::TempDir dir;
    const int w = 12000;
    const int h = 11200;
    std::vector<uint8_t> levels(static_cast<size_t>(w) * h, 85);
    levels.back() = 170;
    Picture map;
    map.SetGreyLevels(w, h, levels.data());
    map.SaveToFile(dir.file("large.png"));
    Picture back;
    ASSERT_NO_THROW(back.LoadFromFile(dir.file("large.png")));
    EXPECT_EQ(back.GetWidth(), w);
    EXPECT_EQ(back.GetPixelColor(0, 0), RGB(85, 85, 85));
    EXPECT_EQ(back.GetPixelColor(w - 1, h - 1), RGB(170, 170, 170));
}

}  // namespace
}  // namespace brimsal
