// TIFF frames read and written (layouts, refusals, hostile headers, the parallel strip writers
// against libtiff), and the 8-bit picture surface: exact PNG and GIF round trips, drawing,
// clipping, load failures (drawn GIF charts with labels: the exposure histogram's tests).
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <random>

#include "image/Picture.h"
#include "image/TiffIO.h"
#include "support/Fixtures.h"
#include "support/RecorderChannel.h"

namespace brimsal {
namespace {

Frame RandomFrame(int w, int h, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> value(0, 65535);
    return test::MakeFrame(w, h, [&](int, int, int) { return static_cast<uint16_t>(value(rng)); });
}

// How a fixture TIFF is laid out. `raw` > 0: one strip or tile of that many bytes follows the
// header, however little that is for the size declared.
struct Layout {
    int bits = 16;
    uint16_t compression = COMPRESSION_NONE;
    bool planar = false;
    int tile = 0;            // tile side; 0: strips
    int rows_per_strip = 0;  // 0: libtiff's default
    uint16_t photometric = PHOTOMETRIC_RGB;
    int samples = 3;
    int sample_format = 0;  // 0: unsigned integers, the tag left out
    int predictor = 0;      // 0: none, the tag left out
    size_t raw = 0;
};

// Writes a TIFF with libtiff directly, with the tags our own writer sets: sample (x, y, c) in 8 or
// 16 bits or as a float, row after row or tile after tile, each plane after the other.
void WriteFixture(const std::string& path, int width, int height, const Layout& layout,
                  const std::function<double(int x, int y, int c)>& sample) {
    TIFF* tiff = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tiff, nullptr);
    const std::pair<ttag_t, int> tags[] = {
        {TIFFTAG_IMAGEWIDTH, width},
        {TIFFTAG_IMAGELENGTH, height},
        {TIFFTAG_BITSPERSAMPLE, layout.bits},
        {TIFFTAG_SAMPLESPERPIXEL, layout.samples},
        {TIFFTAG_PHOTOMETRIC, layout.photometric},
        {TIFFTAG_COMPRESSION, layout.compression},
        {TIFFTAG_PLANARCONFIG, layout.planar ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG},
        {TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT},
        {TIFFTAG_SAMPLEFORMAT, layout.sample_format},
        {TIFFTAG_PREDICTOR, layout.predictor},
        {TIFFTAG_TILEWIDTH, layout.tile},
        {TIFFTAG_TILELENGTH, layout.tile},
        {TIFFTAG_ROWSPERSTRIP, layout.rows_per_strip}};
    for (const auto& [tag, value] : tags) {
        if (value != 0) {
            TIFFSetField(tiff, tag, value);
        }
    }
    TIFFSetField(tiff, TIFFTAG_SOFTWARE, "Brimsal");
    if (layout.photometric == PHOTOMETRIC_PALETTE) {
        std::vector<uint16_t> map(1u << layout.bits, 0);
        TIFFSetField(tiff, TIFFTAG_COLORMAP, map.data(), map.data(), map.data());
    }
    if (layout.raw > 0) {
        std::vector<uint8_t> bytes(layout.raw, 0x80);
        const auto size = static_cast<tmsize_t>(layout.raw);
        ASSERT_GT(layout.tile > 0 ? TIFFWriteRawTile(tiff, 0, bytes.data(), size)
                                  : TIFFWriteRawStrip(tiff, 0, bytes.data(), size),
                  0);
        TIFFClose(tiff);
        return;
    }
    const int bytes = layout.bits / 8;
    const int planes = layout.planar ? layout.samples : 1;
    const int spp_in_block = layout.samples / planes;
    const int block_w = layout.tile > 0 ? layout.tile : width;
    const int block_h = layout.tile > 0 ? layout.tile : 1;
    std::vector<uint8_t> block(static_cast<size_t>(block_w) * block_h * spp_in_block * bytes);
    for (int p = 0; p < planes; ++p) {
        for (int by = 0; by < height; by += block_h) {
            for (int bx = 0; bx < width; bx += block_w) {
                std::fill(block.begin(), block.end(), 0);
                for (int y = 0; y < block_h && by + y < height; ++y) {
                    for (int x = 0; x < block_w && bx + x < width; ++x) {
                        for (int c = 0; c < spp_in_block; ++c) {
                            const double v = sample(bx + x, by + y, layout.planar ? p : c);
                            const auto word = static_cast<uint16_t>(v);
                            const auto real = static_cast<float>(v);
                            uint8_t* at =
                                block.data() +
                                ((static_cast<size_t>(y) * block_w + x) * spp_in_block + c) * bytes;
                            if (bytes == 1) {
                                *at = static_cast<uint8_t>(v);
                            } else {
                                std::memcpy(at,
                                            bytes == 2 ? static_cast<const void*>(&word) : &real,
                                            static_cast<size_t>(bytes));
                            }
                        }
                    }
                }
                ASSERT_GE(
                    layout.tile > 0
                        ? TIFFWriteTile(tiff, block.data(), bx, by, 0, static_cast<uint16_t>(p))
                        : TIFFWriteScanline(tiff, block.data(), by, static_cast<uint16_t>(p)),
                    0);
            }
        }
    }
    TIFFClose(tiff);
}

// `frame` in the given layout: samples beyond the third at full scale, 8 bits the high byte.
void WriteFixture(const std::string& path, const Frame& frame, const Layout& layout) {
    WriteFixture(path, frame.width, frame.height, layout, [&](int x, int y, int c) {
        const uint16_t v = c < 3 ? frame.at(x, y)[c] : 65535;
        return layout.bits == 8 ? v >> 8 : v;
    });
}

// The message of the ImageError or PictureError reading `path` throws; "" when none.
std::string LoadError(const std::string& path,
                      const std::function<void(const std::string&)>& read = ReadTiff) {
    try {
        read(path);
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "";
}

// Every RGB layout reads back the frame; 8-bit samples come back scaled by 257. Our own writer
// makes a TIFF under any name, read back bit for bit, with no temporary left.
TEST(TiffIO, ReadsEveryRgbLayout) {
    test::TempDir dir;
    const Frame frame = RandomFrame(45, 29, 7);
    WriteTiff(frame, dir.file("image.png"));
    EXPECT_EQ(ReadTiff(dir.file("image.png")).pixels, frame.pixels);
    EXPECT_EQ(test::FilesLike(dir.path(), "").size(), 1u);
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
        const Frame back = ReadTiff(path);
        Samples expected = frame.pixels;
        for (uint16_t& v : expected) {
            v = layout.bits == 8 ? static_cast<uint16_t>((v >> 8) * 257) : v;
        }
        EXPECT_EQ(back.pixels, expected);
    }
}

// Other colour layouts, damaged files and headers that promise more than the file holds are
// errors naming the file; the hostile headers are refused from the header, before the frame is
// allocated (a 200 MP frame, a 24 GB tile).
TEST(TiffIO, HostileHeadersAreRefusedBeforeAllocationNamingTheFile) {
    test::TempDir dir;
    const std::pair<std::string, Layout> refused[] = {
        {"grey", {.photometric = PHOTOMETRIC_MINISBLACK, .samples = 1}},
        {"palette", {.bits = 8, .photometric = PHOTOMETRIC_PALETTE, .samples = 1}},
        {"cmyk", {.bits = 8, .photometric = PHOTOMETRIC_SEPARATED, .samples = 4}},
        {"float", {.bits = 32, .sample_format = SAMPLEFORMAT_IEEEFP}},
        {"five", {.samples = 5}},
    };
    for (const auto& [name, layout] : refused) {
        WriteFixture(dir.file(name), RandomFrame(8, 8, 3), layout);
    }
    WriteFixture(dir.file("huge"), 20000, 10000,
                 {.compression = COMPRESSION_LZW, .rows_per_strip = 10000, .raw = 64}, nullptr);
    WriteFixture(dir.file("tile"), 1, 1, {.compression = COMPRESSION_LZW, .tile = 65536, .raw = 16},
                 nullptr);
    WriteTiff(RandomFrame(64, 48, 5), dir.file("good"));
    std::filesystem::copy_file(dir.file("good"), dir.file("truncated"));
    std::filesystem::resize_file(dir.file("truncated"),
                                 std::filesystem::file_size(dir.file("good")) / 2);
    test::Touch(dir.file("empty"));
    test::WriteBytes(dir.file("text"), {'h', 'e', 'l', 'l', 'o', '\n'});
    const std::map<std::string, std::string> reasons = {{"huge", "declares 20000x10000 pixels"},
                                                        {"tile", "tiles of 65536x65536"},
                                                        {"five", "5 samples per pixel"}};
    for (const std::string name : {"huge", "tile", "five", "grey", "palette", "cmyk", "float",
                                   "truncated", "empty", "text", "missing"}) {
        const std::string message = LoadError(dir.file(name));
        EXPECT_NE(message.find(dir.file(name)), std::string::npos) << name << ": " << message;
        EXPECT_NE(message.find(reasons.contains(name) ? reasons.at(name) : ""), std::string::npos)
            << message;
    }
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
            const int rows_per_strip = floats ? 29 : 58;  // the writer's ~1 MB strips
            const std::string serial = dir.file("serial.tif");
            WriteFixture(serial, frame->width, frame->height,
                         {.bits = floats ? 32 : 16,
                          .compression = COMPRESSION_LZW,
                          .rows_per_strip = rows_per_strip,
                          .sample_format = floats ? SAMPLEFORMAT_IEEEFP : 0,
                          .predictor = floats ? PREDICTOR_FLOATINGPOINT : PREDICTOR_HORIZONTAL},
                         [&](int x, int y, int c) -> double {
                             const size_t i = (static_cast<size_t>(y) * frame->width + x) * 3 + c;
                             return floats ? real[i] : frame->pixels[i];
                         });
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

// The map held at one byte per pixel writes the same PNG as the map drawn point by point in
// colour; every grey level comes back exactly from that PNG and from a GIF, and drawing on the
// loaded map turns it to colour.
TEST(Picture, GreyMapInBytesWritesTheSamePngAsColourPoints) {
    test::TempDir dir;
    std::vector<uint8_t> levels(256);
    for (size_t i = 0; i < levels.size(); ++i) {
        levels[i] = static_cast<uint8_t>(i * 7);  // every level once
    }
    Picture map;
    map.SetGreyLevels(32, 8, levels.data());
    map.SaveToFile(dir.file("bulk.png"));
    map.SetSaveFormat(SaveFormat::kGif);
    map.SaveToFile(dir.file("bulk.gif"));
    Picture plotted;
    plotted.CreateBlank(32, 8, kBlack);
    for (int i = 0; i < 256; ++i) {
        plotted.SetDrawColor(RGB(levels[i], levels[i], levels[i]));
        plotted.PlotPoint(i % 32, i / 32);
    }
    plotted.SaveToFile(dir.file("plotted.png"));
    EXPECT_EQ(test::FileBytes(dir.file("bulk.png")), test::FileBytes(dir.file("plotted.png")));
    for (const char* name : {"bulk.png", "bulk.gif"}) {
        Picture back;
        back.LoadFromFile(dir.file(name));
        back.SetDrawColor(RGB(255, 0, 0));
        back.PlotPoint(3, 2);
        std::vector<uint8_t> red(256);
        back.GetRedSamples(red.data());
        EXPECT_EQ(red[67], 255) << name;
        red[67] = levels[67];
        EXPECT_EQ(red, levels) << name;
        EXPECT_EQ(back.GetPixelColor(3, 2), RGB(255, 0, 0));
        EXPECT_EQ(back.GetPixelColor(4, 2), RGB(levels[68], levels[68], levels[68]));
    }
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
    const std::string refusal = LoadError(dir.file("chunk.png"), Picture::ReadHeader);
    EXPECT_NE(refusal.find("chunk.png': not a readable image (a PNG chunk is longer"),
              std::string::npos)
        << refusal;
    EXPECT_EQ(picture.GetWidth(), 2);
    EXPECT_EQ(picture.GetPixelColor(1, 1), kWhite);
}

// Drawing is clipped, outlines cover their size, a clone is independent; the tone curve and
// resampling; more than 256 colours in a GIF fall back to a fixed 3-3-2 palette where pure colours
// survive; empty pictures and pixels outside are refused.
TEST(Picture, DrawingToneSizeAndPalette) {
    test::TempDir dir;
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
    picture.SetFillColor(RGB(1, 2, 128));
    picture.FillRectangle(0, 0, 10, 10);
    picture.ApplyGamma(2.2);  // 255 (v / 255)^(1 / 2.2): 20.5, 28.2, 186.0
    picture.ResizeTo(4, 3);
    EXPECT_EQ(picture.GetPixelColor(3, 2), RGB(21, 28, 186));
    EXPECT_THROW(picture.GetPixelColor(4, 0), PictureError);
    EXPECT_THROW(picture.CreateBlank(0, 3, kBlack), PictureError);
    EXPECT_THROW(picture.SetGreyLevels(3, 0, nullptr), PictureError);
    EXPECT_THROW(Picture().SaveToFile(dir.file("empty.png")), PictureError);
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
