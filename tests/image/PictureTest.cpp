// The 8-bit picture surface: exact PNG and GIF round trips, drawing, clipping, load failures
// (drawn GIF charts with labels: the exposure histogram's tests).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "image/Picture.h"
#include "support/Fixtures.h"

namespace brimsal {
namespace {

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
    for (const char* name : {"missing.png", "corrupt.png", "corrupt.gif"}) {
        EXPECT_THROW(picture.LoadFromFile(dir.file(name)), PictureError) << name;
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
