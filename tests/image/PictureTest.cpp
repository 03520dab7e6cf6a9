#include <gtest/gtest.h>

#include <filesystem>

#include "image/Picture.h"
#include "support/Fixtures.h"

namespace brimsal {
namespace {

TEST(Picture, PngLevelRoundTripIsExact) {
    test::TempDir dir;
    Picture map;
    map.CreateBlank(256, 3, kWhite);
    for (int level = 0; level < 256; ++level) {
        for (int y = 0; y < 3; ++y) {
            map.SetDrawColor(RGB(level, level, level));
            map.PlotPoint(level, y);
        }
    }
    map.SetSaveFormat(SaveFormat::kPng);
    map.SaveToFile(dir.file("map.png"));
    Picture back;
    back.LoadFromFile(dir.file("map.png"));
    ASSERT_EQ(back.GetWidth(), 256);
    ASSERT_EQ(back.GetHeight(), 3);
    for (int level = 0; level < 256; ++level) {
        for (int y = 0; y < 3; ++y) {
            ASSERT_EQ(back.GetPixelColor(level, y), RGB(level, level, level));
        }
    }
}

TEST(Picture, BulkGreyLevelsMatchPlottedPoints) {
    test::TempDir dir;
    std::vector<uint8_t> levels(7 * 5);
    for (size_t i = 0; i < levels.size(); ++i) {
        levels[i] = static_cast<uint8_t>(i * 7);
    }
    Picture map;
    map.SetGreyLevels(7, 5, levels.data());
    map.SaveToFile(dir.file("bulk.png"));
    Picture back;
    back.LoadFromFile(dir.file("bulk.png"));
    std::vector<uint8_t> red(levels.size());
    back.GetRedSamples(red.data());
    EXPECT_EQ(red, levels);
    EXPECT_EQ(back.GetPixelColor(3, 2), RGB(levels[17], levels[17], levels[17]));
}

TEST(Picture, GifIsReadableWithExactColours) {
    test::TempDir dir;
    Picture chart;
    chart.CreateBlank(40, 20, kWhite);
    chart.SetDrawColor(RGB(255, 0, 0));
    chart.DrawLineSegment(5, 0, 5, 19);
    chart.SetDrawColor(RGB(192, 192, 192));
    chart.PlotPoint(10, 10);
    chart.DrawTextAt("+1EV", 12, 2, kBlack);
    chart.SetSaveFormat(SaveFormat::kGif);
    chart.SaveToFile(dir.file("chart.gif"));
    Picture back;
    back.LoadFromFile(dir.file("chart.gif"));
    ASSERT_EQ(back.GetWidth(), 40);
    ASSERT_EQ(back.GetHeight(), 20);
    EXPECT_EQ(back.GetPixelColor(5, 7), RGB(255, 0, 0));
    EXPECT_EQ(back.GetPixelColor(10, 10), RGB(192, 192, 192));
    EXPECT_EQ(back.GetPixelColor(39, 19), kWhite);
    int dark = 0;
    for (int y = 0; y < 20; ++y) {
        for (int x = 12; x < 40; ++x) {
            dark += back.GetPixelColor(x, y) == kBlack ? 1 : 0;
        }
    }
    EXPECT_GT(dark, 10) << "the label was not drawn";
}

TEST(Picture, GifOfManyGreysKeepsEveryLevel) {
    test::TempDir dir;
    std::vector<uint8_t> levels(256);
    for (int i = 0; i < 256; ++i) {
        levels[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
    }
    Picture sheet;
    sheet.SetGreyLevels(16, 16, levels.data());
    sheet.SetSaveFormat(SaveFormat::kGif);
    sheet.SaveToFile(dir.file("greys.gif"));
    Picture back;
    back.LoadFromFile(dir.file("greys.gif"));
    std::vector<uint8_t> red(256);
    back.GetRedSamples(red.data());
    EXPECT_EQ(red, levels);
}

TEST(Picture, MissingOrCorruptFileIsAnError) {
    test::TempDir dir;
    Picture picture;
    picture.CreateBlank(2, 2, kWhite);
    EXPECT_THROW(picture.LoadFromFile(dir.file("missing.png")), PictureError);
    test::WriteBytes(dir.file("corrupt.png"), {0x89, 'P', 'N', 'G', 1, 2, 3});
    EXPECT_THROW(picture.LoadFromFile(dir.file("corrupt.png")), PictureError);
    test::WriteBytes(dir.file("corrupt.gif"), {'G', 'I', 'F', '8', '9', 'a', 0});
    EXPECT_THROW(picture.LoadFromFile(dir.file("corrupt.gif")), PictureError);
    // The picture keeps what it held.
    EXPECT_EQ(picture.GetWidth(), 2);
    EXPECT_EQ(picture.GetPixelColor(1, 1), kWhite);
}

TEST(Picture, DrawingIsClippedAndCloneIsIndependent) {
    Picture picture;
    picture.CreateBlank(4, 4, kBlack);
    picture.SetDrawColor(kWhite);
    picture.PlotPoint(-1, 2);
    picture.PlotPoint(4, 4);
    Picture copy = picture.CloneImage();
    copy.PlotPoint(0, 0);
    EXPECT_EQ(copy.GetPixelColor(0, 0), kWhite);
    EXPECT_EQ(picture.GetPixelColor(0, 0), kBlack);
    picture.SetFillColor(RGB(1, 2, 3));
    picture.FillRectangle(0, 0, 4, 4);
    EXPECT_EQ(picture.GetPixelColor(3, 3), RGB(1, 2, 3));
}

TEST(Picture, RectangleOutlineCoversItsWidthAndHeight) {
    Picture picture;
    picture.CreateBlank(10, 10, kBlack);
    picture.SetDrawColor(kWhite);
    picture.DrawRectangleOutline(2, 3, 4, 5);  // columns 2..5, rows 3..7
    EXPECT_EQ(picture.GetPixelColor(2, 3), kWhite);
    EXPECT_EQ(picture.GetPixelColor(5, 7), kWhite);
    EXPECT_EQ(picture.GetPixelColor(6, 7), kBlack);
    EXPECT_EQ(picture.GetPixelColor(5, 8), kBlack);
    EXPECT_EQ(picture.GetPixelColor(3, 5), kBlack);  // inside stays
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
